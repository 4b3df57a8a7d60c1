#!/usr/bin/env bash
# The Windows executable and its tests. Both presets are built; the 32-bit
# flash.exe is checked without running it (this machine's kernel runs no
# 32-bit programs), the 64-bit one and the unit tests run under Wine, and the
# NT pass-through and the ASPI path are proven end to end against simulated
# drives.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --windows

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2  # the cross builds share the machine with Wine

echo "== 32-bit: built and checked, not run"
cmake --preset windows-x86 -DFLASH_BUILD_TESTS=OFF -DFLASH_BUILD_BENCH=ON
cmake --build --preset windows-x86 -j "$jobs" --target flash test_wnaspi32
bash scripts/check-windows-exe.sh build-win32/flash.exe x86

echo "== 64-bit: built, checked, unit tests under Wine"
cmake --preset windows-x64 -DFLASH_BUILD_TESTS=ON -DFLASH_BUILD_BENCH=ON
cmake --build --preset windows-x64 -j "$jobs"
bash scripts/check-windows-exe.sh build-win64/flash.exe x64
ctest --preset windows-x64 -j "$jobs"

echo "== the NT pass-through under Wine"
# The preload library that stands in for the drives is a Linux library.
cmake --preset release
cmake --build --preset release -j "$jobs" --target flash_wine_sg_preload
bash tests/wine/nt_pass_through_e2e.sh build-win64 build/tests/wine/libflash-wine-sg-preload.so

echo "== the ASPI path under Wine, in a prefix reporting Windows 98"
cmake --build --preset release -j "$jobs" --target reference_flasher
bash tests/wine/aspi_tests.sh build-win64 build/tests/wine/reference_flasher

echo "== the native window under Wine and Xvfb (screenshots in build-win64/screenshots)"
bash tests/win32/window_tests.sh build-win64

echo "== sizes (measured, never a failure)"
cmake --build build-win32 --target flash_size_bench 2>&1 | grep 'flash.exe ('
cmake --build build-win64 --target flash_size_bench 2>&1 | grep 'flash.exe ('
