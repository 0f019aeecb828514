# Writes THIRD-PARTY-NOTICES.txt for one download (cmake -P, at packaging
# time; packaging/Notices.cmake lists what goes in).
#   LIST     a file of components, one a line: name|licence|how it is in the
#            program|file|file...  (the files are what the build linked or
#            compiled in from the component)
#   OUTPUT   the notices file
#   NEWLINE  LF or CRLF
# Each file is traced to the Debian package that installed it (dpkg-query);
# the package's copyright file is copied in as it stands, followed by the
# texts from /usr/share/common-licenses that those files refer to, since a
# machine the download goes to need not have them. The notices are therefore
# made anew from the packages the build really used, and cannot drift from
# them.
cmake_minimum_required(VERSION 3.25)

file(STRINGS ${LIST} components)
set(contents "")
set(sections "")
set(seen_hashes "")
set(referred "")
set(number 0)
foreach(component IN LISTS components)
  string(REPLACE "|" ";" fields "${component}")
  list(POP_FRONT fields name licence how)
  math(EXPR number "${number} + 1")
  string(APPEND contents "  ${number}. ${name}: ${licence}; ${how}\n")
  string(APPEND sections "\n\n==== ${number}. ${name}\n${how}.\n")
  foreach(file IN LISTS fields)
    file(REAL_PATH "${file}" real)
    execute_process(COMMAND dpkg-query -S "${real}" OUTPUT_VARIABLE owner RESULT_VARIABLE failed
                    ERROR_VARIABLE error)
    if(failed)
      message(FATAL_ERROR "no Debian package holds ${real} (from ${file}): ${error}")
    endif()
    string(REGEX MATCH "(^|\n)([^:\n ]+(:[a-z0-9]+)?): " owner "${owner}")
    set(package ${CMAKE_MATCH_2})
    string(REGEX REPLACE ":.*" "" bare ${package})
    execute_process(COMMAND dpkg-query -W -f=\${Version} ${package} OUTPUT_VARIABLE version)
    set(copyright /usr/share/doc/${bare}/copyright)
    if(NOT EXISTS ${copyright})
      message(FATAL_ERROR "${package} has no ${copyright}")
    endif()
    file(SHA256 ${copyright} hash)
    list(FIND seen_hashes ${hash} earlier)
    if(earlier GREATER -1)
      string(APPEND sections "\n${real}: Debian package ${package} ${version}, its copyright"
                             " file as the one above.\n")
      continue()
    endif()
    list(APPEND seen_hashes ${hash})
    file(READ ${copyright} text)
    string(APPEND sections "\n${real}: Debian package ${package} ${version}; its copyright"
                           " file, ${copyright}:\n\n${text}")
    string(REGEX MATCHALL "/usr/share/common-licenses/[A-Za-z0-9.+-]+" names "${text}")
    foreach(path IN LISTS names)
      string(REGEX REPLACE "\\.+$" "" path ${path})
      if(EXISTS ${path})
        file(REAL_PATH ${path} path)
        list(APPEND referred ${path})
      endif()
    endforeach()
  endforeach()
endforeach()

list(REMOVE_DUPLICATES referred)
list(SORT referred)
set(licences "")
foreach(path IN LISTS referred)
  get_filename_component(short ${path} NAME)
  file(READ ${path} text)
  string(APPEND licences "\n\n==== Licence text: ${short} (${path})\n\n${text}")
endforeach()

set(notices "Third-party software in qtr5-download
=====================================

qtr5-download itself is under the MIT licence (the file LICENSE). The
programs of this download contain or use the software below. For each, the
notice of the Debian package the program was built with is reproduced in
full; after them follow the licence texts those notices refer to.

${contents}${sections}${licences}")
if(NEWLINE STREQUAL "CRLF")
  string(REPLACE "\r\n" "\n" notices "${notices}")
  string(REPLACE "\n" "\r\n" notices "${notices}")
endif()
file(WRITE ${OUTPUT} "${notices}")
