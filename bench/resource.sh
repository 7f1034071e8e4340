#!/usr/bin/env bash
# Builds the resource commit benchmark in Release (build/bench) and runs it
# under /usr/bin/time -v for the wall time and peak memory of the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_WITH_GUI=OFF \
  -DTAMSEL_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j 2 --target resource_commit_bench
log=$(mktemp)
trap 'rm -f "$log"' EXIT
/usr/bin/time -v -o "$log" build/bench/bench/resource_commit_bench
awk -F': ' '/Elapsed \(wall clock\)/ { print "resource_run_wall_time: " $2 " m:ss" }
            /Maximum resident set size/ { print "resource_run_peak_rss: " $2 " KB" }' "$log"
