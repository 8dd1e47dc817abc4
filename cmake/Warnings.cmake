# Warnings in our own code, on every compiler we build with. The presets and CI make them errors; a plain
# `cmake`, as a distribution's packager runs it with its own flags, leaves them warnings.
option(TALLYGLASS_WERROR "Treat warnings in our own code as errors" OFF)
function(tallyglass_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           $<$<BOOL:${TALLYGLASS_WERROR}>:-Werror>)
endfunction()
