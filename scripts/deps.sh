#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12, with apt-get:
# for the Windows builds MinGW with its -posix compilers, GoogleTest's
# sources and zip; and Wine for the tests under Windows: wine64, a French
# locale (Wine's code page 1252), wine32 (through qemu-user where the kernel
# refuses 32-bit programs; TAMSEL_NO_WINE32=1 leaves it out), and a virtual X
# server (xvfb, xauth) in which tamsel.exe's windows are tested under Wine.
# Quick when everything is already there: it only asks dpkg.
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

# 32-bit Wine runs the i686 installer, the one the zips ship. It needs the
# i386 packages, and a kernel that runs 32-bit programs; where the kernel
# refuses them (some virtual machines have no IA-32 emulation), qemu-user
# runs Wine's 32-bit Linux side: binfmt_misc hands every i386 program to
# qemu-i386-static. That entry is made only where a plain start of an i386
# program fails, so a kernel that runs them keeps running them itself.
# Wine's 32-bit loader needs its preloader under qemu; wine32 alone does not
# bring it. Wine prefixes are best made after this: one made before has an
# empty syswow64, from which 64-bit Wine starts no 32-bit program.
source "$(dirname "$0")/wine_route.sh"
qemuI386Magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
qemuI386Mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# Empty when i386 programs start here (natively or through qemu), else why
# they cannot be made to.
why32BitProgramsCannotRun() {
  kernelRuns32BitPrograms && return 0
  if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    echo "this kernel refuses 32-bit programs, and registering qemu-i386 with binfmt_misc needs root"
    return 0
  fi
  if ! grep -qw binfmt_misc /proc/filesystems; then
    echo "this kernel refuses 32-bit programs and has no binfmt_misc to hand them to qemu"
    return 0
  fi
  installed qemu-user-static || aptInstall qemu-user-static >&2
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || {
      echo "this kernel refuses 32-bit programs, and binfmt_misc cannot be mounted here"
      return 0
    }
  fi
  if [ ! -e "$qemuI386Entry" ]; then
    printf '%s' ":qemu-i386:M::$qemuI386Magic:$qemuI386Mask:/usr/bin/qemu-i386-static:F" |
      "${sudo_cmd[@]}" tee /proc/sys/fs/binfmt_misc/register >/dev/null 2>&1 || {
        echo "this kernel refuses 32-bit programs, and binfmt_misc refused the qemu-i386 entry"
        return 0
      }
  fi
  kernelRuns32BitPrograms || echo "this kernel refuses 32-bit programs, even through qemu-i386-static"
}

if [ "${TAMSEL_NO_WINE32:-}" = 1 ]; then
  echo "32-bit Wine: none (TAMSEL_NO_WINE32=1); the i686 installer's runs skip"
else
  why32=$(why32BitProgramsCannotRun)
  if [ -z "$why32" ] && { ! installed wine32:i386 || ! installed wine32-preloader:i386; }; then
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
    aptInstall wine32:i386 wine32-preloader:i386
  fi
  read -r route detail <<< "$(wineRoute i686)"
  case "$route" in
    native) echo "32-bit Wine: native (this kernel runs 32-bit programs)" ;;
    emulated) echo "32-bit Wine: emulated (qemu-i386-static through binfmt_misc; this kernel refuses 32-bit programs)" ;;
    *) echo "32-bit Wine: none (${why32:-$detail}); the i686 installer's runs skip" ;;
  esac
fi
