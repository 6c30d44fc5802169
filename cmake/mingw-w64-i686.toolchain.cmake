# Cross-compiles the 32-bit Windows programs with MinGW-w64 (i686, posix
# threads) and runs their tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(VM_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every .exe runs alone: libgcc, libstdc++ and winpthread are linked in, so
# no MinGW DLL has to travel with it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest starts the test programs through Wine with the build tree's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
