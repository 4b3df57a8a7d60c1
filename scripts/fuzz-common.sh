# Shared by fuzz-smoke.sh and fuzz-bench.sh: builds the fuzz targets and runs
# one of them from a scratch copy of its seed corpus (never in the repository).
# Sourced, not run.

fuzz_targets=()
# Scratch space for corpus copies and logs, gone when the script ends however it ends.
fuzz_scratch=$(mktemp -d)
trap 'rm -rf "$fuzz_scratch"' EXIT
fuzz_log=$fuzz_scratch/log

fuzz_build() {
  if ! command -v clang++ >/dev/null || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
    echo "The fuzz targets need clang and libFuzzer: apt-get install -y clang libfuzzer-14-dev" >&2
    echo "(or run: bash scripts/install-deps.sh)" >&2
    return 1
  fi
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$(nproc)"
  local dir
  for dir in tests/fuzz/corpus/*/; do
    fuzz_targets+=("$(basename "$dir")")
  done
}

# fuzz_run TARGET [libFuzzer options...]: runs from a fresh copy of the
# seeds with its output in $fuzz_log, keeps a crashing input under
# build-fuzz/fuzz-artifacts/; returns libFuzzer's exit status.
fuzz_run() {
  local target=$1
  shift
  rm -rf "$fuzz_scratch/corpus"
  cp -r "tests/fuzz/corpus/$target" "$fuzz_scratch/corpus"
  mkdir -p build-fuzz/fuzz-artifacts
  "build-fuzz/tests/fuzz/fuzz_$target" "$@" -print_final_stats=1 -rss_limit_mb=2048 -timeout=20 \
    -artifact_prefix="build-fuzz/fuzz-artifacts/$target-" "$fuzz_scratch/corpus" >"$fuzz_log" 2>&1
}

# fuzz_stat NAME: one of libFuzzer's final "stat::" numbers of the last run.
fuzz_stat() {
  sed -n "s/^stat::$1: *//p" "$fuzz_log" | tail -n 1
}
