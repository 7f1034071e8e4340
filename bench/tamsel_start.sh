#!/usr/bin/env bash
# tamsel's start on the offscreen platform: wall time from process start to
# the main window shown and painted (TAMSEL_EXIT_WHEN_SHOWN=1 makes it quit
# then), median and best of RUNS runs, target under 300 ms. Beside it, in the
# same run and interleaved with it, the same for a program that shows one
# empty QWidget: the floor any Qt Widgets program pays on this machine.
# tamsel runs from a program folder holding the demo's install_info.ini, so
# its start includes loading a record. Builds in Release (build/bench, GUI on).
#
# Usage: bench/tamsel_start.sh [RUNS]   (default 21)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/editor/gui_build.sh
bench_build_gui tamsel start_floor
bench_gui_environment
runs=${1:-21}
target_ms=300

program="$bench_work/program"
mkdir "$program"
cp build/bench/bin/tamsel demo/install_info.ini "$program/"
floor=build/bench/bench/editor/start_floor

# Appends the wall time of one run of the command, in microseconds, to file $1.
time_run() {
  local log=$1 start
  shift
  start=${EPOCHREALTIME/./}
  timeout 20 "$@" >/dev/null
  echo $((${EPOCHREALTIME/./} - start)) >>"$log"
}

# One untimed run of each brings the libraries into the page cache.
TAMSEL_EXIT_WHEN_SHOWN=1 "$program/tamsel" >/dev/null
"$floor" >/dev/null
for ((run = 0; run < runs; run++)); do
  TAMSEL_EXIT_WHEN_SHOWN=1 time_run "$bench_work/tamsel.us" "$program/tamsel"
  time_run "$bench_work/floor.us" "$floor"
done

# "median best" of a file of microseconds, in milliseconds.
median_best() {
  sort -n "$1" | awk '{ v[NR] = $1 } END { printf "%.1f %.1f\n", v[int((NR + 1) / 2)] / 1000, v[1] / 1000 }'
}
read -r median best < <(median_best "$bench_work/tamsel.us")
read -r floor_median floor_best < <(median_best "$bench_work/floor.us")
verdict=$(awk -v m="$median" -v t="$target_ms" 'BEGIN { print (m < t) ? "OK" : "MISSED" }')
echo "tamsel_start_median: $median ms (target < $target_ms ms) $verdict"
echo "tamsel_start_best: $best ms"
echo "empty_qwidget_start_median: $floor_median ms"
echo "empty_qwidget_start_best: $floor_best ms"
# What tamsel adds to the floor: its widgets, style, fonts, icon and record.
echo "tamsel_start_over_floor: $(awk -v a="$median" -v b="$floor_median" 'BEGIN { printf "%.1f", a - b }') ms"
