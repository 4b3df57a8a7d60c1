#!/usr/bin/env bash
# Unpacks a release archive as a user would and builds a flasher with the
# program inside it, from the sample description file it carries:
#   archive_test.sh ARCHIVE SAMPLE_IMAGE [WINE_PREFIX]
# A .tar.gz is the Linux archive (checked: contents, the manual page renders,
# the builder works); a .zip is the Windows one (checked: contents, CRLF text
# files, both executables build a flasher under Wine in WINE_PREFIX).
set -euo pipefail
archive=$1 image=$2 prefix=${3:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/flash-archive.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $(basename "$archive"): $*" >&2
  failures=$((failures + 1))
}

# Builds SM01.EXE in DIR with the builder PROGRAM (a file in DIR), started
# by the command that follows (the program itself, or a Wine runner and its
# name). The flasher must be reported complete and be as long as the builder.
build_flasher() {
  local dir=$1 program=$2
  shift 2
  cp "$image" "$dir/SM01.bin"
  rm -f "$dir/SM01.EXE"
  local out
  out=$(cd "$dir" && printf 'click SM01.bin\npress\nclose\n' | "$@" 2>&1) || true
  grep -q '^status: Build SM01.EXE complete!' <<<"$out" ||
    fail "$program did not report the build complete: $(grep -m3 -e '^status' -e '^|' <<<"$out" | tr '\n' ' ')"
  [ -f "$dir/SM01.EXE" ] || { fail "$program wrote no SM01.EXE"; return; }
  [ "$(stat -c %s "$dir/SM01.EXE")" = "$(stat -c %s "$dir/$program")" ] ||
    fail "the flasher is not as long as the $program that built it"
}

case $archive in
  *.tar.gz)
    tar -xzf "$archive" -C "$work"
    top=$work/$(basename "$archive" .tar.gz)
    for f in flash flash.INI flash.8 README; do
      [ -f "$top/$f" ] || fail "lacks $f"
    done
    [ -x "$top/flash" ] || fail "flash is not executable"
    warnings=$(MANWIDTH=80 man --warnings -l "$top/flash.8" 2>&1 >/dev/null) || fail "man -l fails"
    [ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
    MANWIDTH=80 man -l "$top/flash.8" 2>/dev/null | grep -q 'EXIT STATUS' ||
      fail "the manual page lacks its EXIT STATUS section"
    build_flasher "$top" flash ./flash
    ;;
  *.zip)
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
      "$archive" "$work"
    top=$work/$(basename "$archive" .zip)
    for f in flash.exe x64/flash.exe flash.INI README.txt; do
      [ -f "$top/$f" ] || fail "lacks $f"
    done
    for f in flash.INI README.txt; do
      [ -f "$top/$f" ] || continue
      lf=$(grep -c $'[^\r]$\|^$' "$top/$f" || true)
      [ "$lf" = 0 ] || fail "$f has $lf lines that do not end in CRLF"
    done
    [ -n "$prefix" ] || { echo "no Wine prefix given: the executables were not run"; exit 1; }
    mkdir -p "$top/x64-run"
    cp "$top/x64/flash.exe" "$top/flash.INI" "$top/x64-run/"
    build_flasher "$top/x64-run" flash.exe "$root/scripts/wine-run.sh" "$prefix" flash.exe
    if bash "$root/tests/packaging/runs_32bit.sh"; then
      build_flasher "$top" flash.exe "$root/scripts/wine-run.sh" "$prefix" flash.exe
    else
      echo "skipped: the 32-bit flash.exe (this kernel runs no 32-bit programs)"
    fi
    ;;
  *) echo "usage: $0 ARCHIVE.tar.gz|ARCHIVE.zip SAMPLE_IMAGE [WINE_PREFIX]" >&2; exit 2 ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "$(basename "$archive"): $(du -k "$archive" | cut -f1) KiB, unpacked and built a flasher: ok"
