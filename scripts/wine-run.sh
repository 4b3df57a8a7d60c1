#!/usr/bin/env bash
# Runs one Windows program under Wine in a private prefix:
#   wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# The prefix is made once (wineboot -i is slow) and reused by later runs;
# concurrent first runs wait for each other.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64
unset DISPLAY  # console programs only: never open a window
# No downloads of Wine's Mono or Gecko (no network for them, and not needed).
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml="
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.flash-ready" ]; then
    wine wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    touch "$prefix/.flash-ready"
  fi
) 9>"$prefix.lock"
exec wine "$@"
