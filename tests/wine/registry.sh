# Sourced by the Wine test scripts: writes a value into the prefix's registry.
# Right after a prefix is made, Wine's first start may still be settling and
# `wine reg` can fail once; it is tried again, and a lasting failure is said.
#   wine_reg_set KEY NAME DATA [TYPE]
wine_reg_set() {
  local try
  for try in 1 2 3 4 5; do
    if wine reg add "$1" /v "$2" ${4:+/t "$4"} /d "$3" /f >/dev/null 2>&1; then
      return 0
    fi
    wineserver -w 2>/dev/null || true
    sleep "$try"
  done
  echo "FAIL: could not set $1\\$2 in the Wine prefix $WINEPREFIX" >&2
  return 1
}
