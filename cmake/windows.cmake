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

# Both widths run under Wine (the 32-bit programs need Debian's wine32:i386),
# each build folder in a prefix of its own. scripts/wine-run.sh reports a
# 32-bit program as skipped on a kernel that runs no 32-bit programs.
if(CMAKE_CROSSCOMPILING)
  set(FLASH_WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${FLASH_WINE_PREFIX})
  set(FLASH_RUNS_WINDOWS_PROGRAMS ON)
  # What wine-run.sh exits with when it did not run the program.
  set(FLASH_WINE_SKIP_EXIT_CODE 77)
else()
  set(FLASH_RUNS_WINDOWS_PROGRAMS OFF)
endif()
