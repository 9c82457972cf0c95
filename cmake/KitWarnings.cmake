# kit_strict(<target>): warnings are errors in our own code.
function(kit_strict target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wimplicit-fallthrough -Wformat=2 -Werror)
endfunction()
