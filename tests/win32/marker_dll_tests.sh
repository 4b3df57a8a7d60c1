#!/usr/bin/env bash
# No DLL planted beside the program is ever loaded: marker DLLs named like
# the system DLLs a program might load by bare name (tests/win32/marker_dll.cpp;
# each leaves NAME.dll.loaded beside itself when loaded) lie beside flash.exe
# and the flasher it builds, while the builder runs from the console and in
# its window and the flasher starts on the NT family (Wine's default version).
#
#   tests/win32/marker_dll_tests.sh WINDOWS_BUILD_DIR
#
# WINDOWS_BUILD_DIR holds flash.exe, tests/win32/window_driver.exe and
# tests/win32/markers/*.dll (preset windows-x86 or windows-x64).
set -Eeuo pipefail
# A step that fails under set -e says which, instead of ending the run silently.
trap 'echo "FAIL: $(basename "$0"):$LINENO: $BASH_COMMAND" >&2' ERR

win=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
# shellcheck source=../wine/wine_lib.sh
. "$source_dir/tests/wine/wine_lib.sh"
work=$win/marker-dlls
run=$work/run

wine_use_or_skip "$win/flash.exe" "the planted-DLL runs of $win/flash.exe"
export WINEPREFIX=$win/wine-markers
planted=(shcore uxtheme dwmapi version wnaspi32)
# Wherever a search finds a planted DLL, Wine is to take it before its own,
# as Windows takes a DLL from the program's folder before the system's. Not
# version.dll: Wine's own user32 imports it (Windows' does not), so Wine
# would take the planted one for itself before the program runs; it keeps
# Wine's order (its own first), and lies there all the same.
wine_environment "shcore,uxtheme,dwmapi,wnaspi32=n,b"
unset FLASH_SIM_POPULATION FLASH_SIM_TRANSCRIPT

rm -rf "$work"
mkdir -p "$run" "$work/driver"
wine_start_display "$work"
trap 'wineserver -k 2>/dev/null || true; wine_stop_display' EXIT
echo "== Wine prefix of the NT family on display $DISPLAY"
wine_prefix_make wine_unmanaged_windows

cp "$win/flash.exe" "$source_dir/samples/flash.INI" "$source_dir/samples/SM01.bin" \
  "$here/markers.script" "$run/"
for name in "${planted[@]}"; do
  [ -f "$win/tests/win32/markers/$name.dll" ] || { echo "FAIL: no marker $name.dll in $win" >&2; exit 1; }
  cp "$win/tests/win32/markers/$name.dll" "$run/"
done
# The driver lies elsewhere: what it loads itself is no finding.
cp "$win/tests/win32/window_driver.exe" "$work/driver/"

# no_marker_loaded WHEN: no marker was loaded; the markers are reset.
no_marker_loaded() {
  local marker
  for marker in "$run"/*.loaded; do
    [ -e "$marker" ] || continue
    fail "$1: $(basename "${marker%.loaded}") was loaded by $(tr -d '\r' <"$marker" | sort -u | paste -sd,)"
    rm -f "$marker"
  done
}

echo "== builder mode (console)"
wine_console_run "$run" builder 120 'click SM01.bin\npress\nclose\n' flash.exe
expect "$run/builder.out" "status: Build SM01.EXE complete!"
no_marker_loaded "builder mode"

echo "== the builder's window"
if ! (cd "$run" && wine_timeout 300 ../driver/window_driver.exe markers.script \
        >"$run/window.log" 2>&1 </dev/null); then
  tr -d '\r' <"$run/window.log" | tail -5
  fail "the window script failed"
fi
no_marker_loaded "the builder's window"

echo "== a flasher's start on the NT family"
[ -f "$run/SM01.EXE" ] || { fail "no flasher SM01.EXE was built"; wine_finish "Planted DLLs"; }
wine_console_run "$run" flasher 120 'yes\n\n\nclose\n' SM01.EXE
# No drive letter is a CD-ROM here: the scan of the NT family finds nothing.
expect "$run/flasher.out" "| Can't find ATAPI Drive !"
no_marker_loaded "a flasher's NT start"

wine_finish "Planted DLLs under Wine ($(wine_exe_bits "$win/flash.exe")-bit)" "$run"
