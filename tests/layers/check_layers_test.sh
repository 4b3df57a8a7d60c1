#!/usr/bin/env bash
# The layer check on small trees: each case adds one include to a tree that
# has the real arrows, and the check must pass or fail as the arrows say.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/flash-layers.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
# case FILE INCLUDE pass|fail
check_case() {
  local file=$1 header=$2 want=$3 tree=$work/$RANDOM$RANDOM
  mkdir -p "$tree/docs" "$tree/src" "$tree/sim" "$(dirname "$tree/$file")"
  cp "$root/docs/architecture.md" "$tree/docs/"
  printf '#include <vector>\n#include "%s"\n' "$header" >"$tree/$file"
  local got=pass
  bash "$root/scripts/check-layers.sh" "$tree" >/dev/null 2>&1 || got=fail
  if [ "$got" != "$want" ]; then
    echo "FAIL: $file including \"$header\": the check said $got, not $want" >&2
    failures=$((failures + 1))
  fi
}

check_case src/app/flash_form.cpp device/cddrive.h pass
check_case src/device/cddrive.cpp app/flash_form.h fail
check_case src/app/program.cpp ui/console/console_front_end.h fail
check_case src/ui/console/console_front_end.cpp ui/terminal/keys.h fail
check_case src/ui/front_end_choice.cpp ui/terminal/terminal_front_end.h pass
check_case src/device/transport_linux.cpp device/testing/module_reset.h pass
check_case src/catalogue/own_block.cpp protocol/profile_table.h fail
check_case sim/preload/sim_preload.cpp sim/population.h pass
check_case sim/sim_drive.cpp app/flash_form.h fail
check_case src/common/format_text.h ui/win32/dpi.h fail
check_case src/catalogue/ini_file.cpp local_header.h pass

bash "$root/scripts/check-layers.sh" "$root" || failures=$((failures + 1))
[ "$failures" -eq 0 ] || exit 1
echo "layer check: every case as expected"
