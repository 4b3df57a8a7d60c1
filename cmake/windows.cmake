# What the Windows build adds: the resource compiler for the version block and
# manifest, and Wine as the runner of Windows programs in tests.
enable_language(RC)

# Keeps the executable small enough for a floppy disk with its 320 KiB block:
# optimised for size (a drive, not the processor, sets the pace), unused code
# dropped, symbols stripped.
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections -s)

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
