#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12, with apt-get.
# Quick when everything is already there: it only asks dpkg.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev fontconfig fonts-urw-base35 fonts-dejavu-core fonts-dejavu-extra
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev llvm
  gcc-mingw-w64-i686 g++-mingw-w64-i686 gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 binutils-mingw-w64
  icoutils python3 python3-pefile osslsigncode openssl
  time
)
if [ "${1:-}" = "--gui" ]; then
  packages+=(xvfb xauth x11-apps imagemagick xterm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
