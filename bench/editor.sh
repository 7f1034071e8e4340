#!/usr/bin/env bash
# Editor core with 5,000 extra files: frmMain's load and save of the record,
# each the median of 7 runs, against a target of 100 ms. Builds in Release
# (build/bench, GUI on).
#
# Usage: bench/editor.sh [ENTRIES [RUNS]]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/editor/gui_build.sh
bench_build_gui editor_load_save_bench
bench_gui_environment
build/bench/bench/editor/editor_load_save_bench "$@"
