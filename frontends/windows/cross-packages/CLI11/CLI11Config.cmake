# The cross build uses the build machine's header-only CLI11. Its headers are
# reached through a directory that holds nothing else, so that the build
# machine's own C library headers stay out of the Windows build.
if(NOT TARGET CLI11::CLI11)
  set(_qtr5_dir ${CMAKE_BINARY_DIR}/cross-headers/cli11)
  file(MAKE_DIRECTORY ${_qtr5_dir})
  file(CREATE_LINK /usr/include/CLI ${_qtr5_dir}/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_qtr5_dir})
  unset(_qtr5_dir)
endif()
set(CLI11_FOUND TRUE)
