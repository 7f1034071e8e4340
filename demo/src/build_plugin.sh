#!/usr/bin/env bash
# Builds the demo plugin with MinGW:  build_plugin.sh OUT.dll [ARCH]
# ARCH is i686 (the default) or x86_64; a plugin is loaded, for its
# registration, by an installer of the same architecture. --kill-at exports
# i686's __stdcall functions undecorated ("DllRegisterServer", not
# "DllRegisterServer@0"), the names GetProcAddress is asked for.
set -euo pipefail
src="$(cd "$(dirname "$0")" && pwd)"
# The version resource goes in as an object of its own.
arch="${2:-i686}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$arch-w64-mingw32-windres" "$src/plugin.rc" -O coff -o "$work/plugin_rc.o"
"$arch-w64-mingw32-gcc" -std=c11 -Os -s -Wall -Wextra -Wpedantic -Werror -shared -Wl,--kill-at \
  -o "$1" "$src/plugin.c" "$work/plugin_rc.o"
