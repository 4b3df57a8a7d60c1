#!/usr/bin/env bash
# Runs every fuzz target for FUZZ_BENCH_RUNS executions (default ten million),
# one after another, and prints the executions and their rate per target.
# FUZZ_BENCH_SECONDS, when set, also ends each run after that many seconds
# (for a busy machine: the counts then say how far each got).
# A benchmark: it only measures. A crash is still reported (and the script
# then exits non-zero), because it is a finding, not a timing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz-common.sh
fuzz_build

runs=${FUZZ_BENCH_RUNS:-10000000}
limit=()
[ -n "${FUZZ_BENCH_SECONDS:-}" ] && limit=(-max_total_time="$FUZZ_BENCH_SECONDS")
faults=0
printf '%-18s %12s %9s %10s  %s\n' target runs seconds exec/s result
for target in "${fuzz_targets[@]}"; do
  start=$(date +%s)
  result=ok
  fuzz_run "$target" -runs="$runs" "${limit[@]}" || { result="FAULT: input in build-fuzz/fuzz-artifacts/"; faults=1; }
  elapsed=$(( $(date +%s) - start ))
  printf '%-18s %12s %9s %10s  %s\n' "$target" "$(fuzz_stat number_of_executed_units)" \
    "$elapsed" "$(fuzz_stat average_exec_per_sec)" "$result"
  [ "$result" = ok ] || grep -E "ERROR|SUMMARY" "$fuzz_log" | head -n 5
done
exit $faults
