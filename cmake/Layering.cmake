# Include roots that follow the link graph. Every include names its folder
# ("aspi/aspi_device.h"), but no target sees the source tree as a whole:
# qtr5_headers(<target> <scope> <folder>...) gives <target> an include root of
# its own, build/include-roots/<target>/, holding a link to each header of the
# folders named (not of their subfolders). With PUBLIC or INTERFACE scope the
# root reaches the targets that link <target>, so a file can include only the
# headers of its own target and of the targets it links; any other include
# fails to compile. tools/check-layering.sh checks the same direction from the
# sources (tools/layering.txt), for files the build does not compile here.
function(qtr5_headers target scope)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  foreach(folder IN LISTS ARGN)
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/${folder}
         ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header IN LISTS headers)
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder}/${header} ${root}/${folder}/${header} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
