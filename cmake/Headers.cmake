# Each library names the headers it offers with tamsel_headers(target path...):
# each path (a folder or a file below the repository root, e.g. platform/files)
# is linked into an include folder of the library's own in the build tree,
# under the same name. Code includes "platform/files/files.h" as ever, but only
# a target that links platform_files (directly or through a PUBLIC link) finds
# it: an include of a layer that a library does not link fails to compile.
# Tests, benchmarks and fuzz targets sit on top and keep the repository root.
function(tamsel_headers target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(path IN LISTS ARGN)
    set(source ${PROJECT_SOURCE_DIR}/${path})
    set(link ${root}/${path})
    set(current "")
    if(IS_SYMLINK ${link})
      file(READ_SYMLINK ${link} current)
    endif()
    # Made again when the checkout has moved since the last configure.
    if(NOT current STREQUAL source)
      get_filename_component(parent ${link} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(REMOVE ${link})
      file(CREATE_LINK ${source} ${link} SYMBOLIC)
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
