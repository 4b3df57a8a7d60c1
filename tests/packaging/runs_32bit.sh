#!/usr/bin/env bash
# Exit status 0 when this kernel runs 32-bit x86 programs: a tiny static
# 32-bit program is built and started (needs gcc-multilib).
set -euo pipefail
probe=$(mktemp -d "${TMPDIR:-/tmp}/flash-probe32.XXXXXX")
trap 'rm -rf "$probe"' EXIT
printf 'int main(void) { return 0; }\n' >"$probe/p.c"
gcc -m32 -static -o "$probe/p" "$probe/p.c" 2>/dev/null && "$probe/p" 2>/dev/null
