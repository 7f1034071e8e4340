#!/usr/bin/env bash
# Builds the profile benchmark in Release (build/bench) and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_WITH_GUI=OFF \
  -DTAMSEL_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j 2 --target profile_batch_bench
build/bench/bench/profile_batch_bench
