# Warnings are errors for our own targets. Call tamsel_warnings(target) on each.
function(tamsel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
