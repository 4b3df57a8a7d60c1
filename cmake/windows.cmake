# What the Windows build adds: the resource compiler for the version block and
# manifest, and Wine as the runner of Windows programs in tests.
enable_language(RC)

# Keeps the executable small enough for a floppy disk with its 320 KiB block:
# optimised for size (a drive, not the processor, sets the pace), unused code
# dropped, symbols stripped.
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections -s)

# The program's own sources (src/) see the API of Windows 95 and NT 4.0
# only, so a call that later releases added cannot slip in unnoticed: such
# calls are looked up at run time (src/common/system_library_win32.h). The
# Windows test programs are not held to it.
set(FLASH_OLDEST_WINDOWS_API _WIN32_WINNT=0x0400 WINVER=0x0400)

# Only 64-bit Windows programs run here (the kernel runs no 32-bit programs, and
# Debian's 32-bit Wine is never installed). Each build folder has its own prefix.
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(FLASH_WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${FLASH_WINE_PREFIX})
  set(FLASH_RUNS_WINDOWS_PROGRAMS ON)
else()
  set(FLASH_RUNS_WINDOWS_PROGRAMS OFF)
endif()
