#!/usr/bin/env bash
# The native window of the 64-bit flash.exe, driven and photographed under
# Wine and Xvfb: builder mode over the sample description file, then the
# built flasher over simulated drives behind the test WNASPI32.DLL, in a
# prefix that reports Windows 98.
#
#   tests/win32/window_tests.sh WIN64_BUILD_DIR
#
# WIN64_BUILD_DIR holds flash.exe, test-aspi/WNASPI32.DLL and
# tests/win32/window_driver.exe (preset windows-x64). Screenshots land in
# WIN64_BUILD_DIR/screenshots. Needs wine64 (never wine32), Xvfb and
# ImageMagick's import.
set -Eeuo pipefail
# A step that fails under set -e says which, instead of ending the run silently.
trap 'echo "FAIL: $(basename "$0"):$LINENO: $BASH_COMMAND" >&2' ERR

win=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
# shellcheck source=../wine/registry.sh
. "$source_dir/tests/wine/registry.sh"
work=$win/window-tests
shots=$win/screenshots

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
# The DLL beside the program, not Wine's own ASPI layer; no downloads of
# Wine's Mono or Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml=;wnaspi32=n"
unset FLASH_SIM_POPULATION FLASH_SIM_TRANSCRIPT

rm -rf "$work"
mkdir -p "$work/run" "$shots"

# A display of our own: the first free number Xvfb finds.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
watcher_pid=
cleanup() {
  [ -z "$watcher_pid" ] || kill "$watcher_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

echo "== Wine prefix reporting Windows 98 on display $DISPLAY"
wine wineboot -i >/dev/null 2>&1 || true
wine_reg_set 'HKCU\Software\Wine' Version win98
# No window manager runs on the display: Wine draws the frames and captions.
wine_reg_set 'HKCU\Software\Wine\X11 Driver' Decorated N
wine_reg_set 'HKCU\Software\Wine\X11 Driver' Managed N
wineserver -w || true

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

failures=0
# drive SCRIPT [POPULATION]
drive() {
  echo "== $1"
  if ! (cd "$work/run" && FLASH_SIM_POPULATION=${2:-} timeout 300 wine window_driver.exe "$1" \
          >"$1.log" 2>&1 </dev/null); then
    tr -d '\r' <"$work/run/$1.log" | tail -5
    failures=$((failures + 1))
    return
  fi
  tr -d '\r' <"$work/run/$1.log" | tail -1
}

drive builder.script
drive flash.script slow_drive.population
drive write_failure.script write_failure.population

# The same window on a 144-DPI display. Wine reads the value when it starts.
wineserver -k
wine_reg_set 'HKCU\Control Panel\Desktop' LogPixels 144 REG_DWORD
drive high_dpi.script
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null

echo "== screenshots in $shots: $(cd "$shots" && ls)"
if [ "$failures" -ne 0 ]; then
  echo "$failures window script(s) failed; logs in $work/run" >&2
  exit 1
fi
echo "All window scripts passed."
