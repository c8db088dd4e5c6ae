#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; the program ends with the
# table of ratios to the baselines measured in the same run (docs/benchmarks.md).
# Exits 2 when a goal is missed.
#
# The repetitions of all benchmarks are interleaved at random, so that a
# change in the load of the machine falls on baselines and measures alike.
# Environment: BENCH_BUILD (default build-bench), BENCH_REPETITIONS
# (default 5), BENCH_FILTER (a benchmark name pattern, default all),
# JOBS (default 2). The load benchmark writes a 256 MiB file under /tmp
# and removes it at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BENCH_BUILD:-build-bench}
reps=${BENCH_REPETITIONS:-5}
jobs=${JOBS:-2}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESTREL_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target vestrel_bench >/dev/null
"$build/bench/vestrel_bench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true --benchmark_filter="${BENCH_FILTER:-.}" \
  --benchmark_out="$build/bench.json" --benchmark_out_format=json
