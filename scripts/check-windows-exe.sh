#!/usr/bin/env bash
# Checks a cross-built flash.exe without running it (no Wine needed):
#   check-windows-exe.sh FLASH.EXE x86|x64 [IMPORT-LIST]
# PE kind and GUI subsystem; every imported function on the import list
# (src/ui/windows/allowed-imports.txt unless another is given), so that the
# loader of each Windows release the program is for finds all of them; the
# version block and manifest; and the embedded block: its marker once, whole
# in initialized data at a 4-byte boundary, "ZEDA" at the start of its image
# region. The version and layout facts come from the build tree's generated
# flash_version.h and block_layout.sh beside FLASH.EXE, where the build took
# them from.
set -euo pipefail
exe=$1
arch=$2
allowed=${3:-$(dirname "$0")/../src/ui/windows/allowed-imports.txt}
case $arch in
  x86) triplet=i686-w64-mingw32 magic=010b ;;
  x64) triplet=x86_64-w64-mingw32 magic=020b ;;
  *) echo "usage: $0 FLASH.EXE x86|x64 [IMPORT-LIST]" >&2; exit 2 ;;
esac
failures=0
fail() {
  echo "FAIL: $exe: $*" >&2
  failures=$((failures + 1))
}

layout=$(dirname "$exe")/generated/block_layout.sh
[ -f "$layout" ] || { echo "FAIL: $exe: no $layout (is FLASH.EXE in its build tree?)" >&2; exit 1; }
# shellcheck source=/dev/null
. "$layout"

headers=$("$triplet-objdump" -p "$exe")
grep -q "^Magic[[:space:]]*$magic" <<<"$headers" || fail "not a $arch PE file"
grep -q "^Subsystem[[:space:]]*00000002" <<<"$headers" || fail "not a GUI-subsystem program"
# "DLL function" per imported function, the DLL's name in capitals; an
# import by ordinal is listed by its number and is on no list.
imports=$(awk '/DLL Name:/ { dll = toupper($3); next }
  /^[[:space:]]*$/ { dll = "" }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll, $3 }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && NF == 2 { print dll, "ordinal-" $2 }' <<<"$headers" | sort -u)
[ -n "$imports" ] || fail "no imports found"
listed=$(grep -v '^[[:space:]]*\(#\|$\)' "$allowed" |
  awk -F'|' '{ gsub(/[[:space:]]/, "", $1); gsub(/[[:space:]]/, "", $2); print toupper($1), $2 }' | sort -u)
while read -r dll function; do
  [ -n "$dll" ] || continue
  fail "imports $dll $function, which is not on $allowed"
done < <(comm -23 <(echo "$imports") <(echo "$listed"))

version_header=$(dirname "$exe")/generated/flash_version.h
version_fact() { sed -n "s/^#define $1 \"\\(.*\\)\"$/\\1/p" "$version_header"; }
file_version=$(version_fact FLASH_FILE_VERSION_TEXT 2>/dev/null || true)
product_version=$(version_fact FLASH_PRODUCT_VERSION_TEXT 2>/dev/null || true)
title=$(version_fact FLASH_APPLICATION_TITLE 2>/dev/null || true)
[ -n "$file_version" ] && [ -n "$product_version" ] && [ -n "$title" ] ||
  fail "no version facts in $version_header (is FLASH.EXE in its build tree?)"
numeric_version=${file_version//./, }
resources=$("$triplet-windres" -i "$exe" -J coff -O rc)
for line in 'LANGUAGE 9, 1' " FILEVERSION $numeric_version" " PRODUCTVERSION $numeric_version" \
  '    BLOCK "040904E4"' "      VALUE \"FileDescription\", \"$title\"" \
  "      VALUE \"InternalName\", \"$title\"" "      VALUE \"FileVersion\", \"$file_version\"" \
  "      VALUE \"ProductVersion\", \"$product_version\"" '    VALUE "Translation", 0x409, 1252'; do
  grep -qxF -- "$line" <<<"$resources" || fail "version block lacks: $line"
done
others=$(grep '      VALUE "' <<<"$resources" |
  grep -v -e FileDescription -e InternalName -e FileVersion -e ProductVersion |
  grep -v ', ""$' || true)
[ -z "$others" ] || fail "version texts that should be empty: $others"
[ "$(grep -c 'RT_MANIFEST' <<<"$resources")" = 1 ] || fail "not exactly one manifest"
# trustInfo in asm.v2 (with requestedPrivileges in asm.v3): XP SP2 and SP3
# refuse to start a program whose trustInfo is in asm.v3.
for word in 'Microsoft.Windows.Common-Controls' 'version=""6.0.0.0""' 'requireAdministrator' \
  'PerMonitorV2' 'true/pm' '<trustInfo xmlns=""urn:schemas-microsoft-com:asm.v2"">' \
  '<requestedPrivileges xmlns=""urn:schemas-microsoft-com:asm.v3"">'; do
  grep -qF -- "$word" <<<"$resources" || fail "manifest lacks $word"
done

offsets=$(grep -obUaF "$FLASH_BLOCK_MARKER" "$exe" | cut -d: -f1)
if [ "$(wc -w <<<"$offsets")" != 1 ]; then
  fail "the marker occurs $(wc -w <<<"$offsets") times, not once"
else
  at=$offsets
  [ "$(dd if="$exe" bs=1 skip=$((at + FLASH_BLOCK_MARKER_SIZE - 1)) count=1 status=none | od -An -tx1 | tr -d ' ')" = 00 ] ||
    fail "the marker does not end in a zero byte"
  [ "$(dd if="$exe" bs=1 skip=$((at + FLASH_BLOCK_IMAGE_OFFSET)) count=${#FLASH_BLOCK_KEY_WORD} status=none)" = "$FLASH_BLOCK_KEY_WORD" ] ||
    fail "the image region does not start with $FLASH_BLOCK_KEY_WORD"
  # The section whose file bytes hold the block: writable initialized data,
  # the whole block inside it, its address a multiple of 4.
  section=""
  while read -r idx name len vma lma off align; do
    read -r flags
    [[ $idx =~ ^[0-9]+$ ]] || continue
    if [ "$at" -ge $((0x$off)) ] && [ "$at" -lt $((0x$off + 0x$len)) ]; then
      section="$name $((at + FLASH_BLOCK_SIZE <= 0x$off + 0x$len)) $(((0x$vma + at - 0x$off) % 4)) $flags"
    fi
  done < <("$triplet-objdump" -h "$exe" | sed -n '/^Idx/,$p' | tail -n +2)
  read -r name whole misaligned flags <<<"$section"
  [ -n "$section" ] || fail "the block lies in no section"
  [ "$whole" = 1 ] || fail "the block runs past the end of $name"
  [ "$misaligned" = 0 ] || fail "the block is not at a 4-byte boundary"
  grep -q 'READONLY' <<<"$flags" && fail "the block lies in read-only $name"
  grep -q 'CONTENTS' <<<"$flags" || fail "the block lies in $name, which the file does not hold"
fi

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "$exe: $arch PE, GUI, $(wc -l <<<"$imports") imports all listed, version block, manifest," \
  "block in $name: ok"
