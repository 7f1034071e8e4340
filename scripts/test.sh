#!/usr/bin/env bash
# Builds everything and runs every test: the normal build (editor included),
# the Windows builds under Wine (scripts/windows.sh), and a build of
# everything but the GUI under AddressSanitizer and
# UndefinedBehaviorSanitizer, with a short smoke run of each fuzz target between them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WITH_GUI=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

# The Windows builds (i686, x86-64), their tests under Wine, updater.exe
# against the Linux updater on every scenario, and the program folder zips.
bash scripts/windows.sh build/release

# A few seconds of each fuzz target, as a smoke test.
bash fuzz/run.sh 5

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAMSEL_WITH_GUI=OFF -DTAMSEL_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
