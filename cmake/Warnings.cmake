# Warnings for our own targets: call zarn_warnings(target) on every target we build.
function(zarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
    -Wno-missing-field-initializers)
endfunction()
