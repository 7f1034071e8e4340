# Warnings are errors for our own targets. Call tamsel_warnings(target) on each.
function(tamsel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  # GCC 12 at -O3 reports a false -Wrestrict inside libstdc++ for
  # `"literal" + std::string` (GCC bug 105329, fixed in 13); it stays a
  # warning there, so a Release build is not stopped by the library's code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-error=restrict>)
  endif()
endfunction()
