# Redraws the pictures into OUT and compares each with the checked-in file.
# Usage: cmake -DGENERATOR=... -DOUT=... -DREFERENCE=... -DFILES="a;b" -P compare_pictures.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${GENERATOR} ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make-pictures failed: ${status}")
endif()
set(stale "")
foreach(name IN LISTS FILES)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name} ${REFERENCE}/${name}
                  RESULT_VARIABLE different)
  if(different)
    list(APPEND stale ${name})
  endif()
endforeach()
if(stale)
  message(FATAL_ERROR "checked-in pictures differ from the generator's output: ${stale}\n"
                      "run: cmake --build <build dir> --target update-pictures")
endif()
