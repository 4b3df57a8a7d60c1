#!/usr/bin/env bash
# The release archives: packs atapi-flash-VERSION-linux-x86_64.tar.gz (in
# build/archives) and atapi-flash-VERSION-windows.zip (in build-win32/archives)
# and tests each as a user would meet it. Runs after the Linux and Windows
# builds of scripts/run-tests.sh, whose trees it reuses.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

cmake --build --preset release -j "$jobs" --target flash_archive
linux_archive=$(ls build/archives/atapi-flash-*-linux-*.tar.gz)

cmake --build --preset windows-x64 -j "$jobs" --target flash
cmake build-win32 -DFLASH_WIN64_EXE="$root/build-win64/flash.exe" >/dev/null
cmake --build build-win32 -j "$jobs" --target flash_archive
windows_archive=$(ls build-win32/archives/atapi-flash-*-windows.zip)

bash tests/packaging/archive_test.sh "$linux_archive" samples/SM01.bin
bash tests/packaging/archive_test.sh "$windows_archive" samples/SM01.bin "$root/build-win64/wineprefix-archive"
