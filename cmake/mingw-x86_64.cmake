# Cross-compiles for 64-bit Windows: the tree whose programs and tests run
# under Wine. It uses the posix thread model because GoogleTest on Windows
# needs std::mutex; the deliverables themselves use only Win32 threads, so
# they compile the same in both trees.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIT_MINGW_TRIPLET x86_64-w64-mingw32)
set(KIT_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
