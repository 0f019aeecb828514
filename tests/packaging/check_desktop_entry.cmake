# The desktop entry hands a file manager's file to the program, for a file
# type that the shipped MIME definition really makes of *.hex files.
# Usage: cmake -DENTRY=... -DMIME_XML=... -DWORK=... -P check_desktop_entry.cmake
file(READ ${ENTRY} entry)
if(NOT entry MATCHES "\nExec=qtr5-download-gui %f\n")
  message(FATAL_ERROR "${ENTRY}: Exec does not pass the file (%f) to qtr5-download-gui")
endif()
if(NOT entry MATCHES "\nMimeType=([^;\n]+);\n")
  message(FATAL_ERROR "${ENTRY}: no MimeType")
endif()
set(type ${CMAKE_MATCH_1})
find_program(UPDATE_MIME update-mime-database)
if(NOT UPDATE_MIME)
  message(STATUS "update-mime-database is missing: the MIME definition is not compiled")
  return()
endif()
# The definition compiled on its own, as the package's trigger does.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/mime/packages)
configure_file(${MIME_XML} ${WORK}/mime/packages/ COPYONLY)
# The folder is named in XDG_DATA_DIRS, or the tool warns that none looks there.
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_DATA_DIRS=${WORK} ${UPDATE_MIME} ${WORK}/mime
                RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0 OR NOT error STREQUAL "")
  message(FATAL_ERROR "update-mime-database refused ${MIME_XML}: ${error}")
endif()
file(READ ${WORK}/mime/globs2 globs)
if(NOT globs MATCHES ":${type}:\\*\\.hex\n")
  message(FATAL_ERROR "${MIME_XML} does not give *.hex the entry's type ${type}")
endif()
