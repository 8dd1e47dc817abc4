# Warnings are errors in our own code, on every compiler we build with.
function(tallyglass_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)
endfunction()
