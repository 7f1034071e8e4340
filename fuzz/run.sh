#!/usr/bin/env bash
# fuzz/run.sh SECONDS: real fuzzing, to find new faults. Builds every fuzz
# target (fuzz/NAME_fuzz.cpp) with clang in build/fuzz and runs each for
# SECONDS on a copy of its seed corpus fuzz/corpus/NAME and of the inputs
# that failed before, fuzz/regressions/NAME, so the repository is not
# modified. Exits non-zero when a target crashes; the crashing input is kept
# in build/fuzz/artifacts.
#
# A found input belongs in fuzz/regressions/NAME/, under a name that says
# what it broke, once the fault is mended: the test command replays every
# file there (and the seed corpus) without mutation, as the CTest test
# fuzz_replay_NAME.
set -euo pipefail
usage() {
  sed -n '2,13s/^# \{0,1\}//p' "$0"
}
case "${1:-}" in
  ''|-h|--help) usage; exit 2 ;;
esac
seconds=$1
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

# Every library is instrumented for coverage and the sanitizers, as the
# fuzz targets that link them are.
instrument="-fsanitize=fuzzer-no-link,address,undefined"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAMSEL_WITH_GUI=OFF -DTAMSEL_BUILD_TESTS=OFF \
  "-DCMAKE_C_FLAGS=$instrument" "-DCMAKE_CXX_FLAGS=$instrument" >/dev/null

targets=()
for source in "$root"/fuzz/*_fuzz.cpp; do
  [ -e "$source" ] && targets+=("$(basename "$source" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets"
  exit 0
fi
cmake --build "$build" --target "${targets[@]}" -j 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"
status=0
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  corpus=$work/$name
  mkdir -p "$corpus"
  for seeds in "$root/fuzz/corpus/$name" "$root/fuzz/regressions/$name"; do
    if [ -d "$seeds" ]; then
      cp -R "$seeds/." "$corpus/"
    fi
  done
  echo "== $target for ${seconds}s"
  if ! (cd "$work" && "$build/bin/$target" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$corpus" 2>"$work/$target.log"); then
    tail -n 60 "$work/$target.log"
    echo "$target FAILED; crashing input in $build/artifacts (once mended, keep it in fuzz/regressions/$name/)"
    status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$work/$target.log" | head -2 || true
  fi
done
exit $status
