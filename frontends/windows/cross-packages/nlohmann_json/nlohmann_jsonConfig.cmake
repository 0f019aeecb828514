# The cross build uses the build machine's header-only nlohmann/json, reached
# through a directory that holds nothing else (see CLI11Config.cmake).
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(_qtr5_dir ${CMAKE_BINARY_DIR}/cross-headers/nlohmann_json)
  file(MAKE_DIRECTORY ${_qtr5_dir})
  file(CREATE_LINK /usr/include/nlohmann ${_qtr5_dir}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_qtr5_dir})
  unset(_qtr5_dir)
endif()
set(nlohmann_json_FOUND TRUE)
