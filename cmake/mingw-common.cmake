# Shared part of the two MinGW toolchain files; each names its thread model.
set(CMAKE_C_COMPILER ${KIT_MINGW_TRIPLET}-gcc-${KIT_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KIT_MINGW_TRIPLET}-g++-${KIT_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KIT_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KIT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Debug information in every build: the packages ship stripped files, and
# each file's symbols stay beside the build (build/<tree>/symbols) to turn
# a crash report's address into a source line.
set(CMAKE_C_FLAGS_INIT "-g")
set(CMAKE_CXX_FLAGS_INIT "-g")
# Every deliverable stands alone: C and C++ runtimes linked in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../testbed/wine/winerun)
