#!/usr/bin/env bash
# Builds the demo's Windows programs with MinGW:
#   build.sh OUT_DIR [ARCH]  ->  OUT_DIR/installer.exe and OUT_DIR/plugin.dll
# ARCH is i686 (the default: the platform the installers are made for) or
# x86_64. The installer comes from installer/, built by its own script.
set -euo pipefail
src="$(cd "$(dirname "$0")" && pwd)"
out="$1"
arch="${2:-i686}"
mkdir -p "$out"
bash "$src/../../installer/build.sh" "$arch" "$out/installer.exe"
bash "$src/build_plugin.sh" "$out/plugin.dll" "$arch"
