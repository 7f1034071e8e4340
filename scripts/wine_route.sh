#!/usr/bin/env bash
# The one place that names Wine's loader for an architecture and says how
# this machine runs it. The scripts, the MinGW toolchain files and the tests
# all ask it:
#
#   bash scripts/wine_route.sh ARCH        ARCH: i686 or x86_64
#
# prints one line:
#   native LOADER      the kernel runs the loader's programs itself
#   emulated LOADER    32-bit Wine whose Linux side runs under qemu-user
#                      (qemu-i386-static, registered with binfmt_misc), on a
#                      kernel that refuses 32-bit programs
#   none REASON        no Wine for ARCH runs here, and why
#
# It starts no Wine, so it is quick; that the loader really runs programs is
# for its caller to find out. Sourced, it only defines wineRoute and
# kernelRuns32BitPrograms.

# A 93-byte 32-bit Linux program that only exits: whether this kernel (or a
# binfmt_misc entry) starts i386 programs.
kernelRuns32BitPrograms() {
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

# The binfmt_misc entry that hands i386 programs to qemu, when it is on.
qemuI386Entry=/proc/sys/fs/binfmt_misc/qemu-i386

wineRoute() {
  local arch=$1
  case "$arch" in
    x86_64)
      if [ -x /usr/lib/wine/wine64 ]; then
        echo "native /usr/lib/wine/wine64"
      else
        echo "none no 64-bit Wine (bash scripts/deps.sh installs wine64)"
      fi ;;
    i686)
      # Debian's 32-bit loader (package wine32). /usr/bin/wine picks a
      # loader by what is installed, not by the program, so nothing names it.
      if [ ! -x /usr/lib/wine/wine ]; then
        echo "none no 32-bit Wine (wine32:i386; bash scripts/deps.sh installs it)"
      elif [ -r "$qemuI386Entry" ] && [ "$(head -n 1 "$qemuI386Entry")" = enabled ]; then
        # binfmt_misc comes before the kernel's own loader: with the entry
        # on, every i386 program runs under qemu, whatever the kernel can do.
        if [ -e /usr/lib/wine/wine-preloader ]; then
          echo "emulated /usr/lib/wine/wine"
        else
          echo "none 32-bit Wine under qemu needs its preloader (wine32-preloader:i386; bash scripts/deps.sh installs it)"
        fi
      elif kernelRuns32BitPrograms; then
        echo "native /usr/lib/wine/wine"
      else
        echo "none this kernel refuses 32-bit programs, and qemu-i386 is not registered with binfmt_misc (bash scripts/deps.sh registers it, as root)"
      fi ;;
    *)
      echo "none no Wine for '$arch': the architectures are i686 and x86_64" ;;
  esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  [ $# = 1 ] || { echo "usage: $0 i686|x86_64" >&2; exit 2; }
  wineRoute "$1"
fi
