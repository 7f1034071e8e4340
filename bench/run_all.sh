#!/usr/bin/env bash
# Builds everything in Release (build/bench, GUI on), runs every benchmark
# script in bench/ and prints one Markdown table of their figures: figure,
# measurement, target, OK or MISSED, and the command that produced it.
#
# A script prints its figures as "name: value unit" lines, followed by
# "(target ...) OK" or "(target ...) MISSED" when the figure has a target.
# Each script stays runnable alone; their own output goes to stderr here as
# they run. Exits non-zero when a script fails (a MISSED target is a figure,
# not a failure).
#
# Usage: bench/run_all.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/editor/gui_build.sh
bench_build_gui all

results=$(mktemp)
trap 'rm -f "$results"' EXIT
failed=0
for script in bench/*.sh; do
  [ "$script" = bench/run_all.sh ] && continue
  echo "== $script" >&2
  if ! out=$(bash "$script"); then
    failed=1
    echo "$script|failed|||$script" >>"$results"
  fi
  echo "$out" >&2
  # name: value unit [(target ...) OK|MISSED]  ->  name|value unit|target|verdict|command
  # (a figure's value starts with a digit, which keeps out build messages)
  echo "$out" | sed -nE \
    -e "s#^([A-Za-z0-9_]+): ([0-9][^ ]* [^ (]+) \(target ([^)]*)\) (OK|MISSED)\$#\1|\2|\3|\4|$script#p; t" \
    -e "s#^([A-Za-z0-9_]+): ([0-9].*)\$#\1|\2|||$script#p" >>"$results"
done

echo
echo "| figure | measurement | target | result | command |"
echo "|---|---|---|---|---|"
awk -F'|' '{ printf "| %s | %s | %s | %s | `%s` |\n", $1, $2, $3, $4, $5 }' "$results"
# Wall times stretch when other work shares the machine.
echo
echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the end of the run."
exit "$failed"
