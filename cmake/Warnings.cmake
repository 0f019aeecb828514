# Strict warnings for the project's own targets (not for third-party code).
function(qtr5_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12 reports false -Wrestrict warnings inside std::string's operator+
    # once it inlines deeply (-O2/-O3); only optimised GCC builds skip it.
    target_compile_options(${target} PRIVATE
      $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-restrict>)
  endif()
endfunction()
