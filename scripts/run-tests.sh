#!/usr/bin/env bash
# Every test: the optimised build (with the real-kernel test under QEMU), the
# whole suite again under AddressSanitizer and UBSan, the fuzz targets for a
# few seconds each, the Windows executables with their tests under Wine, and
# the release archives.
set -euo pipefail
cd "$(dirname "$0")/.."
# Every package first: the configure steps below check for some of them.
bash scripts/install-deps.sh --tests --windows

jobs=$(nproc)
cmake --preset release
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

# The VM test links the transport statically, which the sanitizers cannot do;
# the style of the sources was checked above.
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" -LE "kernel|style"

bash scripts/fuzz-smoke.sh

bash scripts/windows-tests.sh

bash scripts/package-tests.sh
