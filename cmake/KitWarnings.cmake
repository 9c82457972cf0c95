# kit_strict(<target>): warnings are errors in our own code.
#
# In the Windows trees that build the tests, a target that only tests (a
# test program, a stand-in of the test bed) is compiled without
# optimisation or debug information: it is half of all the compiling, and
# what it drives, the deliverables, are built as they ship. The benchmarks'
# reference programs keep the deliverables' flags, so that the figures
# compare like with like.
function(kit_strict target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wimplicit-fallthrough -Wformat=2 -Werror)
  if(WIN32 AND KIT_WIN_TESTS)
    set(dir "${CMAKE_CURRENT_SOURCE_DIR}/")
    if((dir MATCHES "/tests/" OR dir MATCHES "/testbed/" OR target MATCHES "_test$")
       AND NOT dir MATCHES "/testbed/(linkbench|msrbench|drawerbench|startup|minimalwin)/")
      target_compile_options(${target} PRIVATE -O0 -g0)
    endif()
  endif()
endfunction()
