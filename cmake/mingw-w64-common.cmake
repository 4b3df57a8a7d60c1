# Shared part of the MinGW-w64 cross toolchains. The including file sets
# MINGW_TRIPLET (i686-w64-mingw32 or x86_64-w64-mingw32) first.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model: the runtime calls Windows' own threads and critical
# sections, where the posix model links winpthreads, which is built for Vista
# and imports what Windows 95 to XP do not export. The program starts its one
# worker thread itself (src/ui/win32).
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A user copies one file to a machine: no libgcc or libstdc++ DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
