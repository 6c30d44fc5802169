# Cross-compiles the same sources as 64-bit Windows programs with MinGW-w64
# (x86_64, posix threads) and runs their tests under wine64. The programs we
# ship are the 32-bit ones (mingw-w64-i686.toolchain.cmake); this build is
# for the Windows tests on machines that cannot run 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# As in the 32-bit build: every .exe runs alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest starts the test programs through wine64, in a prefix of their own
# (scripts/wine-env.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR env VM_WINE_ARCH=win64 ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
