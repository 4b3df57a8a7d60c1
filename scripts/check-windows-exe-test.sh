#!/usr/bin/env bash
# Shows that check-windows-exe.sh guards the import list:
#   check-windows-exe-test.sh FLASH.EXE x86|x64
# the executable passes with the list as it is, and fails, naming the
# function, once one function it imports is no longer on the list: the same
# as the program starting to import a function outside the list.
set -euo pipefail
here=$(dirname "$0")
exe=$1
arch=$2
list=$here/../src/ui/windows/allowed-imports.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$here/check-windows-exe.sh" "$exe" "$arch" "$list" >"$work/pass.out" 2>&1 || {
  cat "$work/pass.out" >&2
  echo "FAIL: $exe does not pass with the import list" >&2
  exit 1
}

# One import from each of two DLLs: a window call and a kernel one.
for removed in MessageBoxA CreateFileA; do
  grep -Ev "^[A-Z0-9]+\.DLL +\| +$removed +\|" "$list" >"$work/list.txt"
  [ "$(wc -l <"$work/list.txt")" -eq $(($(wc -l <"$list") - 1)) ] || {
    echo "FAIL: $removed is not exactly once on $list" >&2
    exit 1
  }
  if bash "$here/check-windows-exe.sh" "$exe" "$arch" "$work/list.txt" >"$work/out" 2>&1; then
    echo "FAIL: the check passed although $exe imports $removed, which is not listed" >&2
    exit 1
  fi
  failures=$(grep -c '^FAIL:' "$work/out" || true)
  grep -q "^FAIL: .* imports [A-Z0-9]*\.DLL $removed, which is not on " "$work/out" &&
    [ "$failures" = 1 ] || {
    cat "$work/out" >&2
    echo "FAIL: the check did not name $removed alone" >&2
    exit 1
  }
  grep '^FAIL:' "$work/out"
done
echo "check-windows-exe.sh: $exe passes with its import list and fails on an unlisted import: ok"
