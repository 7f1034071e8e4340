#!/usr/bin/env bash
# Runs a Windows program under Wine ($1, the loader) on a virtual X server of
# its own: with_display.sh LOADER PROGRAM [ARGS...]. Exits 77 (skipped) where
# either is missing.
set -euo pipefail
loader=$1
shift
if [ -z "$loader" ] || ! "$loader" --version > /dev/null 2>&1; then
  echo "skipped: no Wine to run $1 (bash scripts/deps.sh installs wine64)"
  exit 77
fi
if ! command -v xvfb-run > /dev/null || ! command -v xauth > /dev/null; then
  echo "skipped: no xvfb-run and xauth for Wine's windows (bash scripts/deps.sh installs them)"
  exit 77
fi
# No window manager runs on the virtual X server. Wine would wait for one,
# up to a second, each time a window shows or goes; windows it manages itself
# (caption and frame included) need none.
"$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
# A Wine session started without a display (making the prefix, the line
# above) cannot create windows: let it end, so that ours starts on the display.
"$(dirname "$loader")/wineserver" -w
exec xvfb-run -a -s "-screen 0 1024x768x24" "$loader" "$@"
