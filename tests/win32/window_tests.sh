#!/usr/bin/env bash
# The native window of flash.exe (32-bit or 64-bit), driven and photographed
# under Wine and Xvfb: builder mode over the sample description file, then
# the built flasher over simulated drives behind the test WNASPI32.DLL, in a
# prefix that reports Windows 98.
#
#   tests/win32/window_tests.sh WINDOWS_BUILD_DIR
#
# WINDOWS_BUILD_DIR holds flash.exe, test-aspi/WNASPI32.DLL and
# tests/win32/window_driver.exe (preset windows-x86 or windows-x64).
# Screenshots land in WINDOWS_BUILD_DIR/screenshots. Needs Wine of the
# executable's width, Xvfb and ImageMagick's import.
set -Eeuo pipefail
# A step that fails under set -e says which, instead of ending the run silently.
trap 'echo "FAIL: $(basename "$0"):$LINENO: $BASH_COMMAND" >&2' ERR

win=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
# shellcheck source=../wine/wine_lib.sh
. "$source_dir/tests/wine/wine_lib.sh"
work=$win/window-tests
shots=$win/screenshots

wine_use_or_skip "$win/flash.exe" "the window tests of $win/flash.exe"
export WINEPREFIX=$win/wine-window
# The DLL beside the program, not Wine's own ASPI layer.
wine_environment "wnaspi32=n"
unset FLASH_SIM_POPULATION FLASH_SIM_TRANSCRIPT

rm -rf "$work"
mkdir -p "$work/run" "$shots"

wine_start_display "$work"
watcher_pid=
cleanup() {
  [ -z "$watcher_pid" ] || kill "$watcher_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wine_stop_display
}
trap cleanup EXIT

windows98_unmanaged() {
  wine_reg_set 'HKCU\Software\Wine' Version win98 && wine_unmanaged_windows
}
echo "== Wine prefix reporting Windows 98 on display $DISPLAY"
wine_prefix_make windows98_unmanaged
# The prefix is kept between runs: a run cut off during the 144-DPI case
# must not leave the next one at 144 DPI.
wine_reg_delete 'HKCU\Control Panel\Desktop' LogPixels || true

cp "$win/flash.exe" "$win/test-aspi/WNASPI32.DLL" "$win/tests/win32/window_driver.exe" \
  "$source_dir/samples/flash.INI" "$source_dir/samples/SM01.bin" "$here"/*.script \
  "$here"/*.population "$work/run/"
# A file another model's mask lists as well.
cp "$source_dir/samples/SM01.bin" "$work/run/OTHER.bin"

# The driver asks for a screenshot with NAME.request and waits until it is gone.
(
  cd "$work/run"
  while sleep 0.1; do
    for request in *.request; do
      [ -e "$request" ] || continue
      import -window root "$shots/${request%.request}.png"
      cp "$shots/${request%.request}.png" .
      rm -f "$request"
    done
  done
) &
watcher_pid=$!

# drive SCRIPT [POPULATION]
drive() {
  echo "== $1"
  if ! (cd "$work/run" && FLASH_SIM_POPULATION=${2:-} wine_timeout 300 window_driver.exe "$1" \
          >"$1.log" 2>&1 </dev/null); then
    tr -d '\r' <"$work/run/$1.log" | tail -5
    fail "$1"
    return
  fi
  tr -d '\r' <"$work/run/$1.log" | tail -1
}

drive builder.script
drive flash.script slow_drive.population
drive slept.script slow_drive.population
drive write_failure.script write_failure.population

# The same window on a 144-DPI display. Wine reads the value when it starts.
wineserver -k 2>/dev/null || true
wine_reg_set 'HKCU\Control Panel\Desktop' LogPixels 144 REG_DWORD
drive high_dpi.script
wineserver -k 2>/dev/null || true
wine_reg_delete 'HKCU\Control Panel\Desktop' LogPixels || true

echo "== screenshots in $shots: $(cd "$shots" && ls)"
wine_finish "Window scripts under Wine ($(wine_exe_bits "$win/flash.exe")-bit)" "$work/run"
