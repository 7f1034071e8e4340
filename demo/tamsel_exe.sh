#!/usr/bin/env bash
# tamsel.exe and updater.exe on the demo, under Wine on a virtual X server:
#   demo/tamsel_exe.sh WINDOWS_BUILD
# WINDOWS_BUILD is an x86-64 Windows build (cmake/toolchains/mingw-x86_64.cmake)
# with tamsel.exe and updater.exe in its bin/. A program folder of those two,
# installer-x64.exe as installer.exe and the demo files is made in a
# temporary folder; drive_tamsel.exe then works tamsel.exe's real windows:
# a new title, Save, Yes; tamsel.exe starts updater.exe, whose lines are shown.
set -euo pipefail
demo="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$demo")"
build="$1"
work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2> /dev/null || true; rm -rf "$work"' EXIT
job="$work/job"
mkdir -p "$job"
cp "$build/bin/tamsel.exe" "$build/bin/updater.exe" "$job/"
bash "$root/installer/build.sh" x86_64 "$job/installer.exe"
bash "$demo/assemble.sh" "$job" x86_64 > /dev/null
x86_64-w64-mingw32-gcc -std=c11 -municode -Os -s -Wall -Wextra -Wpedantic -Werror \
  -o "$work/drive_tamsel.exe" "$demo/src/drive_tamsel.c"

title() {  # the title in install_info.ini and in installer.exe's resource 108
  echo "   install_info.ini: $(iconv -f cp1252 -t utf-8 "$job/install_info.ini" | tr -d '\r' | grep '^Title=')"
  echo "   installer.exe:    $(/usr/bin/python3 "$root/scripts/explain_resources.py" "$job/installer.exe" cp1252 | grep -i 'title')"
}
(cd "$job" && printf '\n' | WINEPREFIX="$work/prefix" WINEDEBUG=-all LANG=fr_FR.UTF-8 LC_ALL=fr_FR.UTF-8 \
  /usr/lib/wine/wine64 updater.exe > /dev/null 2>&1) || true
echo "== Before: the demo folder updated once"
title

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  LANG=fr_FR.UTF-8 LC_ALL=fr_FR.UTF-8
# Wine draws the frames itself (no window manager on the virtual server); a
# session started without a display ends before one with it starts.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
/usr/lib/wine/wineserver -w
echo "== drive_tamsel.exe works tamsel.exe's windows (LANG=fr_FR.UTF-8: code page 1252)"
code=0
(cd "$job" && xvfb-run -a -s "-screen 0 800x600x24" /usr/lib/wine/wine64 "$work/drive_tamsel.exe" \
  "Démo plugin installer, saved by tamsel.exe" < /dev/null > "$work/out.txt" 2>&1) || code=$?
# (xvfb-run's server going away is no news.)
tr -d '\r' < "$work/out.txt" | grep -v -e '^$' -e '^X connection' | sed 's/^/   /'
echo "== After (drive_tamsel.exe ended with exit code $code)"
title
exit "$code"
