# Cross build of the Windows program with the mingw-w64 compilers (posix
# threading model, so std::thread and std::mutex work), ANSI API.
#
# The program is 32-bit (i686): ASPI layers are 32-bit DLLs that only a
# 32-bit program can load, and a 32-bit program runs on 32-bit Windows as
# well as on 64-bit Windows through its 32-bit subsystem. QTR5_MINGW_ARCH=
# x86_64 builds a 64-bit one, for test machines whose kernel runs no 32-bit
# Linux programs and therefore no 32-bit Wine.
# Everything is linked statically: the exe needs only system DLLs.
set(QTR5_MINGW_ARCH i686 CACHE STRING "i686 (the program) or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QTR5_MINGW_ARCH})

set(QTR5_MINGW_PREFIX ${QTR5_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${QTR5_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QTR5_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QTR5_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QTR5_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows XP SP3 is the oldest system the program runs on: the API level
# hides every later call at compile time, and the image's subsystem version
# lets the XP loader start it (the linker's default, 6.0, would be refused).
# tools/stages/40-windows.sh checks the imports against what XP offers.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0600 WIN32_LEAN_AND_MEAN)
set(_qtr5_xp_link "-Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,1 -Wl,--major-os-version,5 -Wl,--minor-os-version,1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${_qtr5_xp_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${_qtr5_xp_link}")
# GCC 12 reports overlapping copies inside std::string that cannot happen
# (-Wrestrict false positives once inlined at -O2 and above).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

# Programs built here run under Wine on the build machine.
find_program(QTR5_WINE NAMES wine)
if(QTR5_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QTR5_WINE})
endif()

# Header-only libraries come from the build machine, through package
# configurations that expose their headers and nothing else.
get_filename_component(_qtr5_source_dir ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(CLI11_DIR ${_qtr5_source_dir}/frontends/windows/cross-packages/CLI11 CACHE PATH "")
set(nlohmann_json_DIR ${_qtr5_source_dir}/frontends/windows/cross-packages/nlohmann_json CACHE PATH "")
