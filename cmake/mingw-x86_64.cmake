# Cross-compiles for 64-bit Windows: a shipping build (the x64 package) and
# the tree whose programs and tests run under Wine. Like the i686 tree it
# uses the win32 thread model, so no deliverable depends on winpthreads and
# the tests run exactly what ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIT_MINGW_TRIPLET x86_64-w64-mingw32)
set(KIT_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
