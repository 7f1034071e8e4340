#!/usr/bin/env bash
# Pictures of tamsel.exe's two windows under Wine, for the README:
# docs/tamsel-win32-main.png and docs/tamsel-win32-backup.png. Builds the
# x86-64 Windows test program, which shows both windows on the demo's record
# on a virtual X server, and takes each with ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --gui
build=build/win-x86_64
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake > /dev/null
cmake --build "$build" --target win32_editor_test -j 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  TAMSEL_SCREENSHOT_DIR="$work" TAMSEL_CODEPAGE=1252 LC_ALL=C.UTF-8
/usr/lib/wine/wine64 wineboot --init > /dev/null 2>&1
# Wine draws the frames itself: no window manager runs on the virtual server.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
/usr/lib/wine/wineserver -w  # the session started without a display ends first
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  /usr/lib/wine/wine64 "$0" --gtest_filter=*ForScreenshots > "$TAMSEL_SCREENSHOT_DIR/run.txt" 2>&1 &
  for _ in $(seq 1 600); do [ -s "$TAMSEL_SCREENSHOT_DIR/windows.txt" ] && break; sleep 0.1; done
  [ -s "$TAMSEL_SCREENSHOT_DIR/windows.txt" ] || { head -40 "$TAMSEL_SCREENSHOT_DIR/run.txt"; exit 1; }
  sleep 1
  while read -r name geometry; do
    import -window root -crop "$geometry" +repage "docs/tamsel-win32-$name.png"
    echo "docs/tamsel-win32-$name.png ($geometry)"
  done < "$TAMSEL_SCREENSHOT_DIR/windows.txt"
  touch "$TAMSEL_SCREENSHOT_DIR/done"
  wait
' "$build/bin/win32_editor_test.exe"
/usr/lib/wine/wineserver64 -k 2> /dev/null || true
