# Cross-building for 64-bit Windows on Debian with mingw-w64. The -posix
# compilers are the ones whose C++ runtime has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORCHARD_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORCHARD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORCHARD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORCHARD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORCHARD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)


# One self-contained program: the C and C++ runtimes and winpthread are
# linked in, so nothing but Windows' own DLLs is needed beside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
