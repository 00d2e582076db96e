#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang in build-fuzz/, replays each
# target's seed corpus, then fuzzes each target for a bounded time, several at once.
# Any crash, sanitizer report, leak, hang or out-of-memory fails the run (exit 1);
# what the fuzzer kept lands in build-fuzz/fuzz-out/<target>/ with the log.
#   scripts/fuzz.sh [target...]      all targets when none is named
# Environment: FUZZ_SECONDS (per target, default 20), FUZZ_JOBS (default: cores).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
# clang, its sanitizer and fuzzer runtimes, and the symbolizer for readable stacks.
quintrel_install clang libclang-rt-14-dev llvm

ROOT=$PWD
BUILD=$ROOT/build-fuzz
SECONDS_PER_TARGET=${FUZZ_SECONDS:-20}
JOBS=${FUZZ_JOBS:-$(nproc)}

cmake -S . -B "$BUILD" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUINTREL_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target fuzz_all

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in tests/fuzz/fuzz_*.cpp; do
    t=$(basename "$src" .cpp)
    targets+=("${t#fuzz_}")
  done
fi

OUT=$BUILD/fuzz-out
mkdir -p "$OUT"

export QT_QPA_PLATFORM=offscreen
# Temporary files (the inputs handed over as files, the window's identification data) go
# in memory where the machine has it: a file truncated and rewritten for every input costs a
# disk flush. Each target gets a folder of its own, removed afterwards: a fuzzer that ends
# through _Exit leaves its temporary files behind.
TMP_BASE=$OUT
if [ -d /dev/shm ] && [ -w /dev/shm ]; then TMP_BASE=/dev/shm; fi
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
if command -v llvm-symbolizer >/dev/null; then export ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer); fi

# One target: replay the seeds, then fuzz from them into a scratch corpus (the seeds in the
# repository stay as they are). Writes the result to $OUT/<target>/result.
run_target() {
  local t=$1 dir=$OUT/$1 seeds=$ROOT/tests/fuzz/corpus/$1 bin=$BUILD/bin/fuzz_$1
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  local common=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$dir/artifacts/")
  local rc=0
  local tmp
  tmp=$(mktemp -d "$TMP_BASE/quintrel-fuzz-$1.XXXXXX")
  export TMPDIR=$tmp
  if [ ! -x "$bin" ]; then
    echo "no executable $bin" >"$dir/log"
    rc=2
  elif [ ! -d "$seeds" ]; then
    echo "no seed corpus $seeds" >"$dir/log"
    rc=2
  else
    # A whole process that hangs outside any one input is caught here.
    timeout --kill-after=10 $((SECONDS_PER_TARGET + 120)) \
      "$bin" "${common[@]}" -runs=0 "$seeds" >"$dir/log" 2>&1 || rc=$?
    if [ $rc -eq 0 ]; then
      timeout --kill-after=10 $((SECONDS_PER_TARGET + 120)) \
        "$bin" "${common[@]}" -max_total_time="$SECONDS_PER_TARGET" -print_final_stats=1 \
        "$dir/corpus" "$seeds" >>"$dir/log" 2>&1 || rc=$?
    fi
  fi
  rm -rf "$tmp"
  echo $rc >"$dir/result"
}

start=$(date +%s)
running=0
for t in "${targets[@]}"; do
  run_target "$t" &
  running=$((running + 1))
  if [ $running -ge "$JOBS" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

passed=0
failed=0
for t in "${targets[@]}"; do
  dir=$OUT/$t
  rc=$(cat "$dir/result" 2>/dev/null || echo 99)
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" 2>/dev/null | grep -o '[0-9]*$' || true)
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    echo "fuzz_$t: ok (${runs:-?} inputs in ${SECONDS_PER_TARGET}s)"
  else
    failed=$((failed + 1))
    echo "fuzz_$t: FAILED (exit $rc); log: $dir/log"
    grep -E -A40 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|ALARM|invariant broken|qFatal|Test unit written|==[0-9]+==ERROR' \
      "$dir/log" | head -80 || tail -40 "$dir/log"
    for a in "$dir"/artifacts/*; do
      [ -f "$a" ] && echo "  input $(basename "$a"): $(head -c 512 "$a" | od -An -tx1 | tr -d ' \n')"
    done
  fi
done
echo "fuzzing took $(( $(date +%s) - start ))s"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
