#!/usr/bin/env bash
# The main job on the demo: builds both programs, lays out a portable program
# folder (build/demo-folder/) with the demo files of demo/, runs updater there,
# says what each resource it wrote into installer.exe holds and, where Wine
# runs, lets that installer install the plugin silently into a temporary
# folder and runs updater.exe, the Windows build, on a copy of the folder,
# and (with xvfb-run) has tamsel.exe save the demo and start updater.exe;
# with a display, it then opens tamsel on that folder.
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
  echo "== What each resource holds (install_info.ini is in code page 1252)"
  /usr/bin/python3 scripts/explain_resources.py "$folder/installer.exe" cp1252
}

# The Wine loader to use, the architecture it runs and its route
# (scripts/wine_route.sh): the 32-bit one where it runs here, natively or
# emulated (installer.exe is i686), else the 64-bit one; nothing without Wine.
chooseWine() {
  local arch route loader
  for arch in i686 x86_64; do
    read -r route loader <<< "$(bash scripts/wine_route.sh "$arch")"
    if [ "$route" != none ]; then
      echo "$loader $arch $route"
      return
    fi
  done
}

# Where Wine runs, the updated installer installs the demo plugin silently
# into a temporary folder and prints what it read and did. The demo folder's
# installer.exe is the i686 build; without a 32-bit Wine, a copy of the folder
# with the x86-64 build (installer-x64.exe) and an x86-64 plugin is updated
# and run instead. A fresh Wine prefix takes some seconds to start.
run_installer_under_wine() {
  local wine arch route job="$folder" work
  read -r wine arch route <<< "$(chooseWine)"
  if [ -z "$wine" ]; then
    echo "== No Wine here: not running installer.exe (bash scripts/deps.sh installs wine64)."
    return
  fi
  work=$(mktemp -d)
  if [ "$arch" = x86_64 ]; then
    echo "== No 32-bit Wine here: running the x86-64 build on a copy of the folder"
    job="$work/job"
    mkdir -p "$job"
    cp -r "$folder/." "$job/"
    cp "$folder/installer-x64.exe" "$job/installer.exe"
    bash demo/src/build_plugin.sh "$job/plugin.dll" x86_64
    (cd "$job" && printf '\n' | ./updater > /dev/null)
  fi
  echo "== installer.exe /S /D=<temporary folder> under $wine, $route (LANG=fr_FR.UTF-8: code page 1252)"
  local code=0
  # Output to a file, not a pipe: the programs Wine keeps in the background
  # hold on to it, and a pipe would not end before they do.
  (
    cd "$job"
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      LANG=fr_FR.UTF-8 LC_ALL=fr_FR.UTF-8
    unset DISPLAY WAYLAND_DISPLAY
    "$wine" wineboot --init > /dev/null 2>&1 || true
    "$wine" installer.exe /S "/D=Z:${work//\//\\}\\installed" < /dev/null > "$work/out.txt" 2> /dev/null
  ) || code=$?
  tr -d '\r' < "$work/out.txt"
  echo "== installer.exe ended with exit code $code; the installed files:"
  (cd "$work/installed" 2> /dev/null && find . -type f -printf '%P, %s bytes\n' | sort) || echo "(none)"
  WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2> /dev/null || true
  rm -rf "$work"
}

# Where Wine runs, updater.exe (the same program built for Windows with
# MinGW, i686 where a 32-bit Wine runs, else x86-64) runs on a copy of the
# demo folder as it was before the update, and must write the same
# installer.exe as the Linux updater did.
run_windows_updater_under_wine() {
  local wine arch route work code=0
  read -r wine arch route <<< "$(chooseWine)"
  if [ -z "$wine" ]; then
    echo "== No Wine here: not running updater.exe (bash scripts/deps.sh installs wine64)."
    return
  fi
  echo "== Building updater.exe for Windows ($arch, MinGW)"
  cmake -S . -B "build/demo-win-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-$arch.cmake" > /dev/null
  cmake --build "build/demo-win-$arch" -j 2 --target updater > /dev/null
  work=$(mktemp -d)
  mkdir -p "$work/folder"
  cp -r "$folder/." "$work/folder/"
  cp "$build/installer.before.exe" "$work/folder/installer.exe"
  cp "build/demo-win-$arch/bin/updater.exe" "$work/folder/"
  echo "== updater.exe under $wine in a copy of the folder"
  (
    cd "$work/folder"
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=fr_FR.UTF-8
    unset DISPLAY WAYLAND_DISPLAY
    printf '\n' | "$wine" updater.exe > "$work/out.txt" 2>&1
  ) || code=$?
  tr -d '\r' < "$work/out.txt"
  if cmp -s "$work/folder/installer.exe" "$folder/installer.exe"; then
    echo "== updater.exe ended with exit code $code; its installer.exe is byte for byte the Linux updater's"
  else
    echo "== updater.exe ended with exit code $code; its installer.exe DIFFERS from the Linux updater's"
  fi
  WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2> /dev/null || true
  rm -rf "$work"
}

# Where Wine and a virtual X server run: the Windows programs on the demo.
# tamsel.exe saves it with a new title and starts updater.exe, which
# rewrites the installer (the x86-64 build, under wine64).
run_tamsel_exe_under_wine() {
  if [ "$(bash scripts/wine_route.sh x86_64 | cut -d' ' -f1)" = none ] || ! command -v xvfb-run > /dev/null; then
    echo "== No wine64 or xvfb-run here: not running tamsel.exe (bash scripts/deps.sh installs them)."
    return
  fi
  local windows=build/demo-win-x86_64
  cmake -S . -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake > /dev/null
  cmake --build "$windows" --target tamsel updater -j 2 > /dev/null
  echo "== tamsel.exe and updater.exe under Wine, on a copy of the demo folder"
  bash demo/tamsel_exe.sh "$windows"
}

build_programs
lay_out_folder
cp "$folder/installer.exe" "$build/installer.before.exe"
run_updater
show_resources
run_installer_under_wine
run_windows_updater_under_wine
run_tamsel_exe_under_wine

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
