# Shared by fuzz-smoke.sh and fuzz-bench.sh: builds the fuzz targets and runs
# one of them from a scratch copy of its seed corpus (never in the repository).
# Sourced, not run.

fuzz_targets=()
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

# fuzz_run TARGET LOG [libFuzzer options...]: runs from a fresh copy of the
# seeds, keeps a crashing input under build-fuzz/fuzz-artifacts/; returns
# libFuzzer's exit status.
fuzz_run() {
  local target=$1 log=$2
  shift 2
  local scratch
  scratch=$(mktemp -d)
  cp -r "tests/fuzz/corpus/$target" "$scratch/corpus"
  mkdir -p build-fuzz/fuzz-artifacts
  local status=0
  "build-fuzz/tests/fuzz/fuzz_$target" "$@" -print_final_stats=1 -rss_limit_mb=2048 -timeout=20 \
    -artifact_prefix="build-fuzz/fuzz-artifacts/$target-" "$scratch/corpus" >"$log" 2>&1 || status=$?
  rm -rf "$scratch"
  return $status
}

# fuzz_stat LOG NAME: one of libFuzzer's final "stat::" numbers.
fuzz_stat() {
  sed -n "s/^stat::$2: *//p" "$1" | tail -n 1
}
