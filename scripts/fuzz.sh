#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, writes their seed corpus, runs
# each target once over the seeds and then fuzzes it for FUZZ_TIME seconds.
# Fails on any finding (crash, sanitizer report, hang, oversized
# allocation); the input that caused it is left in $build/findings.
#
#   FUZZ_TIME=600 scripts/fuzz.sh      (make fuzz FUZZ_TIME=600)
#
# Environment: FUZZ_TIME (seconds per target, default 60), FUZZ_BUILD (the
# build directory, default build-fuzz), JOBS (build jobs, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_TIME:-60}
build=${FUZZ_BUILD:-build-fuzz}
jobs=${JOBS:-2}

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVESTREL_FUZZ=ON -DBUILD_TESTING=OFF -DVESTREL_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_load fuzz_decode write_fuzz_seeds >/dev/null

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$build/findings"
"$build/fuzz/write_fuzz_seeds" "$seeds"

# Limits that turn a hang or a runaway allocation into a finding. Loading
# allocates the file's size and the index; decoding also makes the
# costume's bitmaps, at most 64 Mi pixels of 4 bytes in all, so no single
# allocation may reach 257 MiB.
declare -A malloc_limit=([fuzz_load]=64 [fuzz_decode]=257)
common=(-timeout=10 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

for target in fuzz_load fuzz_decode; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  log="$build/$target.log"
  opts=("${common[@]}" -malloc_limit_mb="${malloc_limit[$target]}"
        -artifact_prefix="$build/findings/$target-")
  echo "== $target: every seed once"
  if ! "$build/fuzz/$target" "${opts[@]}" -runs=0 "$seeds" >"$log" 2>&1; then
    tail -n 40 "$log"; echo "FINDING in $target on the seed corpus (log: $log)"; exit 1
  fi
  echo "== $target: fuzzing for ${seconds}s"
  if ! "$build/fuzz/$target" "${opts[@]}" -max_total_time="$seconds" "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 40 "$log"; echo "FINDING in $target (log: $log, input in $build/findings)"; exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "   $target: no finding; ${runs:-?} runs, ${rate:-?} executions per second, corpus $(ls "$corpus" | wc -l) files"
done
