#!/usr/bin/env bash
# Holds the sources to the repository's .clang-format and .clang-tidy:
#   check-style.sh ROOT BUILD_DIR
# clang-format: every C++ file under src, sim, tests and bench of ROOT.
# clang-tidy: every translation unit of src and sim that BUILD_DIR's
# compile_commands.json compiles (the headers they include come along,
# as .clang-tidy's HeaderFilterRegex says). Each finding is printed as
# FILE:LINE:COLUMN: ...; the exit code is 1 when there is any.
set -euo pipefail
root=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
jobs=$(nproc)

for tool in clang-format clang-tidy; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: $tool is missing: apt-get install -y $tool (or run scripts/install-deps.sh)" >&2
    exit 1
  }
done
[ -f "$build/compile_commands.json" ] || {
  echo "FAIL: no $build/compile_commands.json: configure that tree first" >&2
  exit 1
}

cd "$root"
found=0
format_out=$(mktemp)
tidy_out=$(mktemp)
trap 'rm -f "$format_out" "$tidy_out"' EXIT

find src sim tests bench -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null |
  xargs -0 -r -n 20 -P "$jobs" clang-format --dry-run --Werror >"$format_out" 2>&1 || true
if grep -q ': error: ' "$format_out"; then
  echo "Not formatted as .clang-format says (clang-format -i FILE mends it):"
  grep ': error: ' "$format_out" | sed "s|^$root/||"
  found=1
fi

# The translation units of the project's own code, from the compile database.
mapfile -t units < <(python3 - "$build/compile_commands.json" "$root" <<'EOF'
import json, os, sys
root = sys.argv[2] + "/"
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(root) and path[len(root):].split("/")[0] in ("src", "sim") and path not in seen:
        seen.add(path)
        print(path)
EOF
)
[ ${#units[@]} -gt 0 ] || {
  echo "FAIL: the compile database of $build names no file of $root/src or $root/sim" >&2
  exit 1
}
printf '%s\0' "${units[@]}" |
  xargs -0 -r -n 4 -P "$jobs" clang-tidy -p "$build" --quiet >"$tidy_out" 2>/dev/null || true
if grep -qE ': (warning|error): ' "$tidy_out"; then
  echo "Findings of .clang-tidy's checks:"
  grep -E ': (warning|error): ' "$tidy_out" | sed "s|^$root/||" | sort -u
  found=1
fi

[ "$found" = 0 ] || exit 1
echo "style: ${#units[@]} translation units and every source file as .clang-format and .clang-tidy say"
