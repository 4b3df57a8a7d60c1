#!/usr/bin/env bash
# Runs one Windows program under Wine in a private prefix, with the Wine and
# prefix architecture of the program's width:
#   wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# The prefix is made once (wineboot -i is slow) and reused by later runs;
# concurrent first runs wait for each other. A 32-bit program on a machine
# that cannot run one is not run: the reason is printed and the exit code is
# 77, which ctest counts as skipped.
set -euo pipefail
prefix=$1
program=$2
shift
# shellcheck source=../tests/wine/wine_lib.sh
. "$(dirname "$0")/../tests/wine/wine_lib.sh"
wine_use_or_skip "$program" "$(basename "$program")"
export WINEPREFIX=$prefix
wine_environment "${WINEDLLOVERRIDES:-}"  # a caller's own overrides are kept
unset DISPLAY  # console programs only: never open a window
wine_prefix_make
exec "${wine_command[@]}" "$@"
