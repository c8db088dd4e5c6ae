#!/usr/bin/env bash
# Builds and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
