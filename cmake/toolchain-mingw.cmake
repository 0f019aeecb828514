# Cross build of the Windows program with the mingw-w64 compilers (posix
# threading model, so std::thread and std::mutex work), 64-bit, ANSI API.
# Everything is linked statically: the exe needs only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QTR5_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QTR5_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QTR5_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QTR5_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QTR5_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 API level (AttachConsole, SetWindowsHookEx, the pass-through ioctls).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# GCC 12 reports overlapping copies inside std::string that cannot happen
# (-Wrestrict false positives once inlined at -O2 and above).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

# Programs built here run under Wine on the build machine.
find_program(QTR5_WINE NAMES wine64 wine)
if(QTR5_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QTR5_WINE})
endif()

# Header-only libraries come from the build machine, through package
# configurations that expose their headers and nothing else.
get_filename_component(_qtr5_source_dir ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(CLI11_DIR ${_qtr5_source_dir}/app/windows/cross-packages/CLI11 CACHE PATH "")
set(nlohmann_json_DIR ${_qtr5_source_dir}/app/windows/cross-packages/nlohmann_json CACHE PATH "")
