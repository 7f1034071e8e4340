#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12, with apt-get:
# for the Windows builds MinGW with its -posix compilers, GoogleTest's
# sources and zip; and Wine for the tests
# under Windows: wine64, a French locale (Wine's
# code page 1252), and wine32 where the machine runs 32-bit programs
# (TAMSEL_NO_WINE32=1 leaves it out), and a virtual X server (xvfb, xauth) in
# which tamsel.exe's windows are tested under Wine. Quick when everything is already there:
# it only asks dpkg.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev fontconfig fonts-urw-base35 fonts-dejavu-core fonts-dejavu-extra
  libgtest-dev libgmock-dev googletest
  clang libclang-rt-14-dev llvm
  gcc-mingw-w64-i686 g++-mingw-w64-i686 gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 binutils-mingw-w64
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  icoutils python3 python3-pefile osslsigncode openssl
  time zip
  wine64 locales
  xvfb xauth
)
if [ "${1:-}" = "--gui" ]; then
  packages+=(x11-apps imagemagick xterm)
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
aptInstall() {
  echo "Installing: $*"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@"
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  aptInstall "${missing[@]}"
fi

# The installer's tests run Wine under a French locale, where Wine's ANSI
# code page is 1252, a Russian one (1251) and a Japanese one (932, whose
# two-byte characters may end in the byte of '\').
for loc in fr_FR ru_RU ja_JP; do
  if ! locale -a 2>/dev/null | grep -qx "$loc.utf8"; then
    echo "Generating the locale $loc.UTF-8"
    "${sudo_cmd[@]}" sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -qx "$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    regenerate=1
  fi
done
if [ -n "${regenerate:-}" ]; then
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# wine32 runs the i686 installer in the tests. It needs the i386 packages and
# a kernel that runs 32-bit programs, which some virtual machines do not
# (no IA-32 emulation): a 93-byte 32-bit Linux program that only exits tells.
runs32BitPrograms() {
  local probe rc=0
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00'\
'\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00'\
'\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' > "$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  return "$rc"
}
if [ "${TAMSEL_NO_WINE32:-}" != 1 ] && ! installed wine32:i386; then
  if runs32BitPrograms; then
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
    aptInstall wine32:i386
  else
    echo "Not installing wine32: this machine does not run 32-bit programs (the i686 Wine test skips)"
  fi
fi
