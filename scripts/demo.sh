#!/usr/bin/env bash
# The main job on the demo: builds both programs, lays out a portable program
# folder (build/demo-folder/) with the demo files of demo/, runs updater there
# and shows the resources it wrote into installer.exe; with a display, it then
# opens tamsel on that folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/demo
folder=build/demo-folder

build_programs() {
  bash scripts/deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j 2
}

lay_out_folder() {
  rm -rf "$folder"
  cmake --install "$build" --prefix "$folder" >/dev/null
  bash demo/assemble.sh "$folder"
  echo "== Program folder $folder:"
  (cd "$folder" && find . -type f | sort)
}

run_updater() {
  echo "== Before: resources of installer.exe"
  wrestool -l "$folder/installer.exe"
  echo "== updater (answering its key prompt with Enter)"
  (cd "$folder" && printf '\n' | ./updater)
}

show_resources() {
  echo "== After: wrestool -l installer.exe"
  wrestool -l "$folder/installer.exe"
  if [ -x "$build/bin/reslist" ]; then
    echo "== After: reslist installer.exe"
    "$build/bin/reslist" "$folder/installer.exe"
  fi
}

build_programs
lay_out_folder
run_updater
show_resources

# With a display, open the editor on the demo folder: edit, Save, answer Yes,
# and the updater rewrites the demo installer.exe in a terminal window.
open_editor() {
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "== No display: not opening tamsel (set DISPLAY to edit the demo in the editor)."
    return
  fi
  bash scripts/deps.sh --gui   # a terminal emulator for the updater's window
  echo "== Opening tamsel in $folder (close its window to end)"
  (cd "$folder" && ./tamsel)
}

open_editor
