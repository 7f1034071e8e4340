#!/usr/bin/env bash
# Builds the installer with MinGW from Debian:
#   build.sh ARCH OUT.exe [MORE.c ...]     ARCH: i686 or x86_64
# The one place that says how: CMake, the demo and the tests all call it.
# MORE.c are linked in as they are (the tests pad the program with one).
# Each installer carries the registration helper of the other architecture,
# built here first.
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

other=$([ "$arch" = i686 ] && echo x86_64 || echo i686)
# -static-libgcc keeps the programs to system DLLs only; mingw's own printf
# family gives C99 swprintf on every msvcrt.dll. Windows 7 is the oldest
# they run on. -mwindows: no console window when started from Explorer.
flags=(-std=c11 -Os -s -Wall -Wextra -Wpedantic -Werror -I "$here/.."
       -D__USE_MINGW_ANSI_STDIO=1 -D_WIN32_WINNT=0x0601 -mwindows -static-libgcc)

# The registration helper of the other architecture: the child side of a
# registration alone, carried inside the installer for a plugin it cannot
# load itself.
"$other-w64-mingw32-gcc" "${flags[@]}" -ffunction-sections -fdata-sections -Wl,--gc-sections \
  -o "$work/helper.exe" "$here/helper.c" "$here/register_child.c" "$here/files.c" \
  "$here/names.c" "$here/text.c" "$here/../common/windows_names.c" -lole32
"$tools-gcc" -c -DHELPER="$work/helper.exe" -o "$work/helper.o" "$here/helper.S"

# windres finds the icon beside the .rc file and the manifest, which the
# updater writes too, in common/.
"$tools-windres" -O coff -I "$here" -I "$here/../common" -o "$work/resources.o" "$here/installer.rc"
"$tools-gcc" "${flags[@]}" -o "$out" \
  "$here/main.c" "$here/install.c" "$here/destination.c" "$here/transaction.c" \
  "$here/report.c" "$here/contract.c" "$here/names.c" "$here/text.c" "$here/files.c" \
  "$here/register.c" "$here/register_child.c" "$here/uninstall.c" "$here/record.c" \
  "$here/entry.c" "$here/removal_helper.c" "$here/in_use.c" "$here/open_after.c" "$here/previous.c" \
  "$here/../common/windows_names.c" "$here/../common/architecture.c" "$here/ui_silent.c" "$here/ui_windows.c" "$here/ui_log.c" \
  "$work/helper.o" "$work/resources.o" "$@" \
  -lshell32 -lole32 -luser32 -lkernel32
