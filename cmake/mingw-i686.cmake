# Cross-compiles for 32-bit Windows, the shipping target. The win32 thread
# model keeps winpthreads out of the deliverables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KIT_MINGW_TRIPLET i686-w64-mingw32)
set(KIT_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
