#!/usr/bin/env bash
# Everything `make test` (and so CI) runs, failing on any failure:
#   1. the unit tests built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan; -fno-sanitize-recover=all, leaks detected; the end-to-end
#      tests, which drive a real X display, are left out there);
#   2. each fuzz target over its seed corpus and then for FUZZ_SECONDS
#      seconds (default 60; scripts/fuzz.sh, build-fuzz);
#   3. the normal build and every CTest test (build), last, so that the last
#      lines printed are CTest's summary of that run.
# Environment: JOBS (default 2), FUZZ_SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}

# Runs a command with its output in a log, shown only when it fails.
quiet() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "FAILED: $* (log: $log)"
    return 1
  fi
}

echo "== Sanitizer build (ASan + UBSan): unit tests"
mkdir -p build-asan
quiet build-asan/configure.log cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVESTREL_SANITIZE=ON -DVESTREL_BENCH=OFF -DVESTREL_E2E=OFF -DBUILD_TESTING=ON
quiet build-asan/build.log cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  quiet build-asan/ctest.log ctest --test-dir build-asan -LE e2e --output-on-failure -j "$jobs"
grep -E 'tests passed|tests failed' build-asan/ctest.log

echo "== Fuzzing: seeds, then ${fuzz_seconds}s per target"
FUZZ_TIME=$fuzz_seconds FUZZ_BUILD=build-fuzz JOBS=$jobs scripts/fuzz.sh

echo "== Normal build: every test"
mkdir -p build
# The options are given in full: `make run` configures the same directory
# without tests.
quiet build/configure.log cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=ON -DVESTREL_E2E=ON -DVESTREL_BENCH=ON -DVESTREL_SANITIZE=OFF
quiet build/build.log cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
