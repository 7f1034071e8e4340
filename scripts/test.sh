#!/usr/bin/env bash
# Builds everything and runs every test, in parts: the normal build (editor
# included), each Windows build with its tests under Wine (scripts/windows.sh),
# a build of everything but the GUI under AddressSanitizer and
# UndefinedBehaviorSanitizer, and there the replay of every fuzz target over
# its seed corpus and the inputs that once failed (fuzz/regressions). Every
# part runs even when one before it failed, so one failure hides no other;
# a summary line per part closes the run, and the exit code is non-zero if
# any part failed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
sanitizerOptions=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
                  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)

linuxTests() {
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WITH_GUI=ON >/dev/null
  cmake --build build/release -j "$jobs"
  ctest --test-dir build/release --output-on-failure -j "$jobs" -E '^fuzz_replay_' |
    tee build/release/ctest.log
  # The i686 installer's tests skip (77) where no 32-bit Wine runs.
  grep -c '_i686 .*Skipped' build/release/ctest.log >> "$TAMSEL_SKIP_LOG" || true
}

# The Windows builds, their tests under Wine, updater.exe against the Linux
# updater on every scenario, and the program folder zips.
windowsI686() { bash scripts/windows.sh build/release i686; }
windowsX8664() { bash scripts/windows.sh build/release x86_64; }

sanitizerTests() {
  cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAMSEL_WITH_GUI=OFF \
    -DTAMSEL_SANITIZE=ON >/dev/null
  cmake --build build/sanitize -j "$jobs"
  env "${sanitizerOptions[@]}" ctest --test-dir build/sanitize --output-on-failure -j "$jobs" \
    -E '^fuzz_replay_'
}

# No mutation, so the same inputs give the same verdict on every run; real
# fuzzing is bash fuzz/run.sh SECONDS.
fuzzReplay() {
  cmake --build build/sanitize -j "$jobs"
  env "${sanitizerOptions[@]}" ctest --test-dir build/sanitize --output-on-failure -j "$jobs" \
    -R '^fuzz_replay_'
}

# A full run needs a few gigabytes (two builds, and a Wine prefix at a time);
# a disk that fills fails tests at random, so the free space is said first.
echo "disk: $(df -Ph . | awk 'NR == 2 { print $4 }') free for build/"
summary=()
failed=0
# Each part counts, a number a line, the tests it skipped for want of 32-bit
# programs into the file TAMSEL_SKIP_LOG names, so that no skip reads as a pass.
skipLog=$(mktemp)
trap 'rm -f "$skipLog"' EXIT
part() {  # part NAME FUNCTION: runs FUNCTION under errexit, in a subshell
  local name=$1 start rc skipped note=""
  start=$(date +%s)
  echo "=== $name"
  : > "$skipLog"
  set +e
  ( set -e; export TAMSEL_SKIP_LOG=$skipLog; "$2" )
  rc=$?
  set -e
  skipped=$(awk '{ n += $1 } END { print n + 0 }' "$skipLog")
  [ "$skipped" = 0 ] || note="; $skipped skipped for want of 32-bit programs"
  if [ "$rc" = 0 ]; then
    summary+=("passed  $name ($(($(date +%s) - start)) s$note)")
  else
    summary+=("FAILED  $name ($(($(date +%s) - start)) s, exit code $rc$note)")
    failed=$((failed + 1))
  fi
}

part "Linux build and tests" linuxTests
part "Windows i686 build, tests under Wine, zip" windowsI686
part "Windows x86-64 build, tests under Wine, zip" windowsX8664
part "Sanitizer build and tests" sanitizerTests
part "Fuzz replay (corpora and regressions, under the sanitizers)" fuzzReplay

echo "=== Summary"
printf '%s\n' "${summary[@]}"
echo "parts: $((${#summary[@]} - failed)) passed, $failed failed"
[ "$failed" = 0 ]
