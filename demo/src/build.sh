#!/usr/bin/env bash
# Builds the demo's Windows programs with MinGW (i686):
#   build.sh OUT_DIR  ->  OUT_DIR/installer.exe and OUT_DIR/plugin.dll
set -euo pipefail
src="$(cd "$(dirname "$0")" && pwd)"
out="$1"
mkdir -p "$out"
cc=i686-w64-mingw32-gcc
"i686-w64-mingw32-windres" -O coff -o "$out/installer_res.o" "$src/installer.rc"
"$cc" -Os -s -Wall -Wextra -o "$out/installer.exe" "$src/installer.c" "$out/installer_res.o"
"$cc" -Os -s -Wall -Wextra -shared -o "$out/plugin.dll" "$src/plugin.c"
rm -f "$out/installer_res.o"
