#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# each briefly from its seed corpus; fails when any target finds a crash or a
# broken property. FUZZ_SECONDS (default 5) and FUZZ_RUNS bound each run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz-common.sh
fuzz_build

seconds=${FUZZ_SECONDS:-5}
runs=${FUZZ_RUNS:-5000000}
failed=()
for target in "${fuzz_targets[@]}"; do
  if fuzz_run "$target" -max_total_time="$seconds" -runs="$runs"; then
    echo "fuzz $target: $(fuzz_stat number_of_executed_units) runs, no fault"
  else
    echo "fuzz $target: FAULT (input kept under build-fuzz/fuzz-artifacts/)" >&2
    grep -E "ERROR|SUMMARY|==[0-9]+==|#[0-9]+ .* in " "$fuzz_log" | head -n 25 >&2 || tail -n 25 "$fuzz_log" >&2
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets with faults: ${failed[*]}" >&2
  exit 1
fi
