# The downloads for machines without the Debian package, made by the default
# build target in the build folder:
#   Windows (mingw presets): qtr5-download-VERSION-windows-ARCH.zip, the
#     program stripped of its symbols and debug sections, and README.txt for
#     Windows users (line ends CR LF, for Notepad);
#   Linux (static terminal program): qtr5-download-VERSION-linux-ARCH.tar.gz,
#     the program stripped, its man page, and how to give a user the drive.
# Both hold the licence and the notices of the others' software the program
# contains (packaging/Notices.cmake). Each unpacks to one folder of the
# archive's name.
set(_pkg ${CMAKE_CURRENT_LIST_DIR})
set(_stage ${PROJECT_BINARY_DIR}/archive)
include(${_pkg}/Notices.cmake)

if(WIN32 AND TARGET qtr5-download)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(_arch x86)
  else()
    set(_arch x64)
  endif()
  set(QTR5_ARCHIVE qtr5-download-${PROJECT_VERSION}-windows-${_arch}.zip)
  string(REPLACE ".zip" "" _name ${QTR5_ARCHIVE})
  configure_file(${_pkg}/windows/README.txt.in ${_stage}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${_stage}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  qtr5_shipped_components(_components windows)
  qtr5_third_party_notices(${_stage}/THIRD-PARTY-NOTICES.txt CRLF ${_components})
  set(_contents $<TARGET_FILE:qtr5-download> ${_stage}/README.txt ${_stage}/LICENSE.txt
                ${_stage}/THIRD-PARTY-NOTICES.txt)
  set(_pack cf)
  set(_format --format=zip)
elseif(NOT WIN32 AND TARGET qtr5-download AND QTR5_STATIC_PROGRAM AND NOT QTR5_SGUTILS2_SHARED)
  set(QTR5_ARCHIVE qtr5-download-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}.tar.gz)
  string(REPLACE ".tar.gz" "" _name ${QTR5_ARCHIVE})
  qtr5_shipped_components(_components terminal)
  qtr5_third_party_notices(${_stage}/THIRD-PARTY-NOTICES.txt LF ${_components})
  # What to run and where the firmware file goes, for whoever unpacks it.
  configure_file(${_pkg}/README.linux.txt.in ${_stage}/README @ONLY)
  set(_contents $<TARGET_FILE:qtr5-download> ${_stage}/README ${_pkg}/qtr5-download.1
                ${_pkg}/README.drive-access.md ${_pkg}/60-qtr5-download.rules
                ${PROJECT_SOURCE_DIR}/LICENSE ${_stage}/THIRD-PARTY-NOTICES.txt)
  set(_pack cfz)
  set(_format --format=gnutar)
else()
  return()
endif()

file(MAKE_DIRECTORY ${_stage})
set(_dir ${_stage}/${_name})
set(_program ${_dir}/$<TARGET_FILE_NAME:qtr5-download>)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/${QTR5_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${_contents} ${_dir}
  COMMAND ${CMAKE_STRIP} ${_program}
  COMMAND ${CMAKE_COMMAND} -E tar ${_pack} ${PROJECT_BINARY_DIR}/${QTR5_ARCHIVE} ${_format} -- ${_name}
  WORKING_DIRECTORY ${_stage}
  DEPENDS qtr5-download ${_contents}
  COMMENT "Packing ${QTR5_ARCHIVE}"
  VERBATIM)
add_custom_target(qtr5-download-archive ALL DEPENDS ${PROJECT_BINARY_DIR}/${QTR5_ARCHIVE})
