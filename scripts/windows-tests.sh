#!/usr/bin/env bash
# The Windows executables and their tests, for both widths: each is built,
# checked, and run under Wine: the unit tests (ctest), the NT pass-through and
# the ASPI path end to end against simulated drives, the native window, and
# the runs with DLLs planted beside the program. Where this machine cannot
# run 32-bit programs, the 32-bit runs are reported as skipped (never as
# passed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --windows
# shellcheck source=../tests/wine/wine_lib.sh
. tests/wine/wine_lib.sh
# Asked once; every Wine run below inherits the answer.
wine_kernel_runs_32bit || true

jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2  # the cross builds share the machine with Wine

echo "== Linux pieces of the Wine tests: the SG_IO preloads, the reference builder"
linux_targets=(flash_wine_sg_preload reference_flasher)
# 32-bit Wine loads a 32-bit preload; no such Wine runs where the kernel
# starts no 32-bit programs.
! wine_kernel_runs_32bit || linux_targets+=(flash_wine_sg_preload_x86)
cmake --preset release
cmake --build --preset release -j "$jobs" --target "${linux_targets[@]}"

skipped=()
failed=()
# step WHAT COMMAND...: runs one test script; a skip or a failure is said and
# kept for the summary, and the next step runs all the same.
step() {
  local what=$1 status=0
  shift
  echo "== $what"
  "$@" || status=$?
  if [ "$status" = "$WINE_SKIP_EXIT_CODE" ]; then
    skipped+=("$what")
  elif [ "$status" != 0 ]; then
    echo "FAIL: $what (exit code $status)" >&2
    failed+=("$what")
  fi
}

# unit_tests PRESET BITS: ctest under Wine. ctest counts a skipped test as
# "did not run" and still ends with 0; the skip is said here as well.
unit_tests() {
  ctest --preset "$1" -j "$jobs" || return
  if [ "$2" = 32 ] && ! wine_kernel_runs_32bit; then
    echo "skipped: the 32-bit unit tests: $WINE_NO_32BIT_REASON"
    return "$WINE_SKIP_EXIT_CODE"
  fi
}

for bits in 32 64; do
  if [ "$bits" = 32 ]; then preset=windows-x86 arch=x86 build=build-win32; else
    preset=windows-x64 arch=x64 build=build-win64; fi
  echo "== $bits-bit: built and checked"
  cmake --preset "$preset" -DFLASH_BUILD_TESTS=ON -DFLASH_BUILD_BENCH=ON
  cmake --build --preset "$preset" -j "$jobs"
  bash scripts/check-windows-exe.sh "$build/flash.exe" "$arch"

  step "$bits-bit: unit tests under Wine" unit_tests "$preset" "$bits"
  step "$bits-bit: the NT pass-through under Wine" \
    bash tests/wine/nt_pass_through_e2e.sh "$build" build/tests/wine
  step "$bits-bit: the ASPI path under Wine, in a prefix reporting Windows 98" \
    bash tests/wine/aspi_tests.sh "$build" build/tests/wine/reference_flasher
  step "$bits-bit: the native window under Wine and Xvfb (screenshots in $build/screenshots)" \
    bash tests/win32/window_tests.sh "$build"
  step "$bits-bit: no DLL planted beside the program is loaded" \
    bash tests/win32/marker_dll_tests.sh "$build"
done

echo "== sizes (measured, never a failure)"
cmake --build build-win32 --target flash_size_bench 2>&1 | grep 'flash.exe ('
cmake --build build-win64 --target flash_size_bench 2>&1 | grep 'flash.exe ('

[ ${#skipped[@]} -eq 0 ] || printf 'skipped (not run, not passed): %s\n' "${skipped[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}" >&2
  exit 1
fi
echo "Windows tests: every step that ran passed"
