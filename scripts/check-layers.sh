#!/usr/bin/env bash
# Fails when a source file includes a header of a layer its layer may not
# reach. The allowed arrows are the block after "<!-- include arrows -->" in
# docs/architecture.md, the one place they are written:
#   check-layers.sh [ROOT]      (ROOT: the source tree, default: this one)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
arrows=$(awk '/<!-- include arrows -->/ { marker = 1; next }
  marker && /^```/ { if (inside) exit; inside = 1; next }
  inside' "$root/docs/architecture.md")
[ -n "$arrows" ] || { echo "no include arrows in $root/docs/architecture.md" >&2; exit 2; }
layers=$(awk '{print $1}' <<<"$arrows")

# The layer a path inside src/ (or sim/) belongs to: the longest layer name
# that is the path or one of its leading folders.
layer_of() {
  local path=$1 best=""
  for layer in $layers; do
    if [ "$path" = "$layer" ] || [[ $path == "$layer"/* ]]; then
      [ ${#layer} -gt ${#best} ] && best=$layer
    fi
  done
  echo "$best"
}

failures=0
while IFS= read -r file; do
  rel=${file#"$root"/}
  case $rel in
    src/*) from=$(layer_of "$(dirname "${rel#src/}")") ;;
    sim/*) from=sim ;;
  esac
  [ -n "$from" ] || { echo "FAIL: $rel lies in no layer" >&2; failures=$((failures + 1)); continue; }
  allowed=" $from $(awk -v l="$from" '$1 == l { for (i = 3; i <= NF; i++) printf "%s ", $i }' <<<"$arrows")"
  while IFS=: read -r line header; do
    to=$(layer_of "$(dirname "$header")")
    [ -n "$to" ] || continue  # a header beside the file or of the system
    if [[ $allowed != *" $to "* ]]; then
      echo "FAIL: $rel:$line includes \"$header\": $from may not reach $to" >&2
      failures=$((failures + 1))
    fi
  done < <(grep -noE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+"' "$file" |
    sed -E 's/:[^"]*"/:/; s/"$//')
done < <(find "$root/src" "$root/sim" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

[ "$failures" -eq 0 ] || exit 1
echo "includes follow the layers: ok"
