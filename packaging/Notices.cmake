# What of others' software each download ships, for its
# THIRD-PARTY-NOTICES.txt (written at build time by third_party_notices.cmake
# from the copyright files of the Debian packages the build used) and for the
# Debian package's copyright file.
#
# Checked against the link lines (build.ninja) and the program files:
#   terminal program (Linux, -static-pie): libsgutils2.a, the header-only
#     CLI11 and nlohmann-json, libstdc++.a, libgcc.a/libgcc_eh.a and glibc's
#     libc.a; `readelf -d` shows no NEEDED library. With QTR5_SGUTILS2_SHARED
#     only the GCC runtime is static; without QTR5_STATIC_PROGRAM nothing is.
#   desktop program (Linux): the same libsgutils2.a, CLI11 and nlohmann-json;
#     Qt 6 Core, Gui and Widgets as shared libraries of Debian's packages (as
#     are the C and C++ runtimes and OpenGL, which are system libraries).
#   Windows program (-static): CLI11 and nlohmann-json; libstdc++.a, libgcc.a
#     and libgcc_eh.a of the mingw-w64 GCC; the mingw-w64 runtime (crt2.o,
#     libmingwex.a, libmsvcrt.a and the import libraries) and winpthreads
#     (libwinpthread.a); `objdump -p` lists only system DLLs.
# A component is "name|licence|how it is in the program|file|file...": the
# files are the ones the build used, which the notices trace to their package.

find_package(CLI11 CONFIG QUIET)
find_package(nlohmann_json 3 CONFIG QUIET)

# The file of a library as the C++ compiler finds it when linking.
function(_qtr5_compiler_file out name)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${out} ${path} PARENT_SCOPE)
endfunction()

function(_qtr5_header out target header)
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  foreach(dir IN LISTS dirs)
    if(EXISTS ${dir}/${header})
      set(${out} ${dir}/${header} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${header} is not under ${dirs}")
endfunction()

# The components of one program: terminal, desktop or windows.
function(qtr5_shipped_components out program)
  _qtr5_header(cli11 CLI11::CLI11 CLI/CLI.hpp)
  _qtr5_header(json nlohmann_json::nlohmann_json nlohmann/json.hpp)
  set(header_only "compiled in (a library of C++ headers)")
  set(list "CLI11|BSD-3-Clause|${header_only}|${cli11}"
           "JSON for Modern C++ (nlohmann-json)|MIT|${header_only}|${json}")
  _qtr5_compiler_file(libstdcxx libstdc++.a)
  _qtr5_compiler_file(libgcc libgcc.a)
  set(gcc_runtime "GCC runtime libraries (libstdc++, libgcc)|GPL-3.0-or-later with the GCC Runtime Library Exception 3.1|statically linked|${libstdcxx}|${libgcc}")
  if(program STREQUAL "windows")
    _qtr5_compiler_file(mingwex libmingwex.a)
    _qtr5_compiler_file(winpthread libwinpthread.a)
    list(APPEND list "${gcc_runtime}"
         "MinGW-w64 runtime and winpthreads|ZPL-2.1, MIT and the further licences of its notice|statically linked|${mingwex}|${winpthread}")
  else()
    if(TARGET qtr5_transport_linux AND NOT QTR5_SGUTILS2_SHARED)
      list(APPEND list "libsgutils2 (sg3_utils)|BSD-2-Clause|statically linked|${QTR5_SGUTILS2_STATIC_LIBRARY}")
    endif()
    if(program STREQUAL "terminal" AND QTR5_STATIC_PROGRAM)
      list(APPEND list "${gcc_runtime}")
      if(NOT QTR5_SGUTILS2_SHARED)
        _qtr5_compiler_file(libc libc.a)
        list(APPEND list "GNU C Library (glibc)|LGPL-2.1-or-later|statically linked|${libc}")
      endif()
    elseif(program STREQUAL "desktop")
      list(APPEND list "Qt 6 (Core, Gui, Widgets)|LGPL-3.0-only|dynamically linked: the shared libraries of Debian's Qt 6 packages, which the program loads at start|$<TARGET_FILE:Qt6::Core>|$<TARGET_FILE:Qt6::Gui>|$<TARGET_FILE:Qt6::Widgets>")
    endif()
  endif()
  set(${out} ${list} PARENT_SCOPE)
endfunction()

# Writes the notices of the given components to <output> with the given line
# ends (LF or CRLF): by a custom command of the build, or with INSTALL first
# thing when the project is installed (as cpack does to make the package).
function(qtr5_third_party_notices output newline)
  set(when BUILD)
  if(ARGV2 STREQUAL "INSTALL")
    set(when INSTALL)
    list(POP_FRONT ARGN)
  endif()
  list(REMOVE_DUPLICATES ARGN)
  list(JOIN ARGN "\n" lines)
  file(GENERATE OUTPUT ${output}.components CONTENT "${lines}\n")
  set(script ${PROJECT_SOURCE_DIR}/packaging/third_party_notices.cmake)
  set(command ${CMAKE_COMMAND} -DLIST=${output}.components -DOUTPUT=${output}
              -DNEWLINE=${newline} -P ${script})
  if(when STREQUAL "INSTALL")
    install(CODE "execute_process(COMMAND ${command} COMMAND_ERROR_IS_FATAL ANY)")
  else()
    add_custom_command(OUTPUT ${output} COMMAND ${command}
                       DEPENDS ${output}.components ${script}
                       COMMENT "Writing ${output}" VERBATIM)
  endif()
endfunction()

# The Debian package's copyright file (machine-readable format): MIT for this
# project's code, and in its comment the components and their licences.
function(qtr5_debian_copyright output)
  list(REMOVE_DUPLICATES ARGN)
  set(QTR5_OTHERS "")
  foreach(component IN LISTS ARGN)
    string(REPLACE "|" ";" fields "${component}")
    list(GET fields 0 name)
    list(GET fields 1 licence)
    list(GET fields 2 how)
    string(APPEND QTR5_OTHERS " ${name}: ${licence}; ${how}.\n")
  endforeach()
  string(REGEX REPLACE "\n$" "" QTR5_OTHERS "${QTR5_OTHERS}")
  # A licence text is indented by one space, with " ." for an empty line.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE QTR5_LICENSE)
  string(REGEX REPLACE "\n+$" "" QTR5_LICENSE "${QTR5_LICENSE}")
  string(REPLACE "\n\n" "\n.\n" QTR5_LICENSE "${QTR5_LICENSE}")
  string(REPLACE "\n" "\n " QTR5_LICENSE " ${QTR5_LICENSE}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian-copyright.in ${output} @ONLY)
endfunction()
