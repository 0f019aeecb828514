# Installation rules and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

set(_pkg ${CMAKE_CURRENT_LIST_DIR})

foreach(_program qtr5-download qtr5-download-gui)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${_pkg}/qtr5-download.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package's copyright file: MIT for this project's code, and the names of
# the others' software the programs contain or use, whose notices in full
# are in THIRD-PARTY-NOTICES.txt beside it.
include(${_pkg}/Notices.cmake)
set(_components "")
if(TARGET qtr5-download)
  qtr5_shipped_components(_terminal terminal)
  list(APPEND _components ${_terminal})
endif()
if(TARGET qtr5-download-gui)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)  # its targets name the libraries the notices trace
  qtr5_shipped_components(_desktop desktop)
  list(APPEND _components ${_desktop})
endif()
qtr5_debian_copyright(${PROJECT_BINARY_DIR}/debian/copyright ${_components})
qtr5_third_party_notices(${PROJECT_BINARY_DIR}/debian/THIRD-PARTY-NOTICES.txt LF INSTALL
                         ${_components})
install(FILES ${PROJECT_BINARY_DIR}/debian/copyright
              ${PROJECT_BINARY_DIR}/debian/THIRD-PARTY-NOTICES.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${_pkg}/README.drive-access.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${_pkg}/60-qtr5-download.rules DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

if(TARGET qtr5-download-gui)
  install(FILES ${_pkg}/qtr5-download-gui.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_pkg}/qtr5-download.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_pkg}/qtr5-download-hex.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  foreach(_size 16 32 48 64)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/bitmaps/qtr5-download-${_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
            RENAME qtr5-download.png)
  endforeach()
endif()

set(CPACK_PACKAGE_NAME qtr5-download)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "qtr5-download developers")
set(CPACK_PACKAGE_CONTACT "qtr5-download developers <qtr5-download@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware download utility for the XPM-3177K CD-ROM drive")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Finds an XPM-3177K E-IDE/ATAPI CD-ROM drive, reads an Intel HEX firmware\n"
    "file into a 64 KiB image, sends it to the drive in one vendor command,\n"
    "verifies that the drive came back, and tells the user to reboot.\n"
    "Contains the terminal program qtr5-download and the desktop program\n"
    "qtr5-download-gui. An example udev rule gives a group access to the drive.")
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}_${PROJECT_VERSION}_${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_PACKAGE_NAME qtr5-download)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
