#!/usr/bin/env bash
# The style check itself, on a small tree with one planted offence of each
# kind (it must fail and name both places), then on the project's sources
# with the build tree's compile database:
#   check_style_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/flash-style.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
tree=$work/tree
mkdir -p "$tree/src" "$tree/build"
cp "$root/.clang-format" "$root/.clang-tidy" "$tree/"
# Line 3 is off-format (two statements on one line); line 5 gives a null
# pointer as 0, which modernize-use-nullptr flags.
printf '%s\n' '#include <cstddef>' '' 'int Twice(int n) { int m = n; return m * 2; }' '' \
  'const char* Name() { return 0; }' >"$tree/src/planted.cpp"
printf '[{"directory": "%s", "command": "c++ -std=c++17 -c src/planted.cpp", "file": "src/planted.cpp"}]\n' \
  "$tree" >"$tree/build/compile_commands.json"
status=0
bash "$root/scripts/check-style.sh" "$tree" "$tree/build" >"$work/planted.out" 2>&1 || status=$?
for place in "src/planted.cpp:3:" "src/planted.cpp:5:"; do
  grep -q "^$place" "$work/planted.out" || {
    echo "FAIL: the planted offence at $place was not named" >&2
    failures=$((failures + 1))
  }
done
if [ "$status" = 0 ]; then
  echo "FAIL: the check passed a tree with planted offences" >&2
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || cat "$work/planted.out" >&2

bash "$root/scripts/check-style.sh" "$root" "$build" || failures=$((failures + 1))
[ "$failures" -eq 0 ] || exit 1
