# Cross build for 64-bit Windows 10 and later with Debian's mingw-w64 (posix threads).
# Everything is linked statically (libstdc++, libgcc, winpthread), so no compiler DLL ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTEL3_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTEL3_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTEL3_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTEL3_MINGW_TRIPLE}-windres)

# Headers and libraries of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTEL3_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -O2 as the Linux build: GCC 12's -O3 reports false -Wrestrict errors inside libstdc++.
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
