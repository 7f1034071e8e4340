#!/usr/bin/env bash
# Builds the installer with MinGW from Debian:
#   build.sh ARCH OUT.exe [MORE.c ...]     ARCH: i686 or x86_64
# The one place that says how: CMake, the demo and the tests all call it.
# MORE.c are linked in as they are (the tests pad the program with one).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
arch="$1"
out="$2"
shift 2
case "$arch" in
  i686 | x86_64) ;;
  *) echo "build.sh: ARCH is i686 or x86_64, not '$arch'" >&2; exit 2 ;;
esac
tools="$arch-w64-mingw32"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# windres finds the icon beside the .rc file and the manifest, which the
# updater writes too, in common/.
"$tools-windres" -O coff -I "$here" -I "$here/../common" -o "$work/resources.o" "$here/installer.rc"
# -mwindows: no console window when started from Explorer; -static-libgcc
# keeps the program to system DLLs only; mingw's own printf family gives
# C99 swprintf on every msvcrt.dll. Windows 7 is the oldest it runs on.
"$tools-gcc" -std=c11 -Os -s -Wall -Wextra -Wpedantic -Werror -I "$here/.." \
  -D__USE_MINGW_ANSI_STDIO=1 -D_WIN32_WINNT=0x0601 -mwindows -static-libgcc \
  -o "$out" \
  "$here/main.c" "$here/install.c" "$here/destination.c" "$here/transaction.c" \
  "$here/report.c" "$here/contract.c" "$here/names.c" "$here/text.c" "$here/files.c" \
  "$here/register.c" "$here/uninstall.c" "$here/../common/windows_names.c" \
  "$here/ui_silent.c" "$here/ui_windows.c" "$work/resources.o" "$@" \
  -lshell32 -lole32 -luser32 -lkernel32
