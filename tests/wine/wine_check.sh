#!/usr/bin/env bash
# Checks installer.exe after an update through a real Windows loader (wine64):
# the installer prints what FindResource/LoadResource give it (the RCDATA
# texts 101..108, the plugin and extra-file sizes, the extra-file table 103
# and the icon group after the extra files), and that output must equal what
# install_info.ini asked for, worked out here from the ini and the files.
#
#   tests/wine/wine_check.sh [UPDATER]     (default: builds build/bin/updater)
#
# Not part of CI: it installs wine64 with apt-get when missing and starts a
# fresh wine prefix (build/wine-check/prefix). Two jobs: the demo program
# folder, and a wider one (a nine-image icon with a 256-pixel image, 30 extra
# files in a subfolder, one of them missing). Exit status 0 when both match.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
work="$root/build/wine-check"

if ! dpkg-query -W -f='${Status}' wine64 2> /dev/null | grep -q 'install ok installed'; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    wine wine64
fi
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)

updater="${1:-}"
if [ -z "$updater" ]; then
  [ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja > /dev/null
  cmake --build build -j 2 --target updater > /dev/null
  updater="$root/build/bin/updater"
fi
updater="$(realpath "$updater")"

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The installer for x86_64: wine64 runs it without a 32-bit wine.
buildInstaller() {
  x86_64-w64-mingw32-windres -O coff -o "$work/installer_res.o" demo/src/installer.rc
  x86_64-w64-mingw32-gcc -Os -s -Wall -Wextra -o "$1" demo/src/installer.c "$work/installer_res.o"
}

# What the installer must print for FOLDER's install_info.ini, with the icon
# resource IDs (the updater's choice) written as N.
expected() {
  /usr/bin/python3 - "$1" << 'EOF'
import os, struct, sys

folder = sys.argv[1]
sections, current = {}, None
with open(os.path.join(folder, "install_info.ini"), "rb") as f:
    for raw in f.read().decode("latin-1").splitlines():
        line = raw.strip()
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1].lower(), [])
        elif current is not None and line:
            current.append(line)

def value(section, key):
    for line in sections.get(section, []):
        name, sep, rest = line.partition("=")
        if sep and name.strip().lower() == key.lower():
            return rest.strip()
    sys.exit(f"the check needs {key} in [{section}]")

def size(name):
    path = os.path.join(folder, name.replace("\\", "/"))
    return f"{os.path.getsize(path)} bytes" if name and os.path.isfile(path) else "(missing)"

def text(id, what, section, key):
    print(f'{id} {what:<16} "{value(section, key)}"')

text(101, "Name", "texts", "Name")
text(102, "Filename", "files", "Filename")
text(104, "RunAfterInstall", "misc", "RunAfterInstall")
text(105, "VBName", "texts", "VBName")
print(f'106 {"plugin file":<16} {size(value("files", "Filename"))}')
text(107, "Warning", "texts", "Warning")
text(108, "Title", "texts", "Title")
extras = sections.get("extrafiles", [])
print(f"103 location table {sum(len(e) + 1 for e in extras) + 1} bytes")
for k, name in enumerate(extras, 1):
    print(f"  {108 + k} {name:<16} {size(name)}")
with open(os.path.join(folder, value("files", "Icon")), "rb") as f:
    icon = f.read()
count = struct.unpack_from("<H", icon, 4)[0]
print(f"{109 + len(extras)} icon group     {count} images")
for i in range(count):
    w, h = icon[6 + 16 * i], icon[7 + 16 * i]
    print(f"  icon N: {w or 256}x{h or 256}, present")
EOF
}

# check NAME FOLDER: update FOLDER's installer, run it under wine, compare.
failures=0
check() {
  local name="$1" folder="$2"
  (cd "$folder" && printf '\n' | "$updater" > "$work/$name.updater.out")
  grep -qF "Installer updated!" "$work/$name.updater.out" || {
    cat "$work/$name.updater.out"
    exit 1
  }
  local start end
  start=$(date +%s%N)
  (cd "$folder" && "$wine" installer.exe < /dev/null 2> "$work/$name.wine.err") |
    tr -d '\r' | sed -E 's/^  icon [0-9]+:/  icon N:/' > "$work/$name.actual"
  end=$(date +%s%N)
  expected "$folder" > "$work/$name.expected"
  echo "== $name: the installer under wine ($(((end - start) / 1000000)) ms)"
  cat "$work/$name.actual"
  if diff -u "$work/$name.expected" "$work/$name.actual"; then
    echo "== $name: matches install_info.ini"
  else
    echo "== $name: MISMATCH (above: - asked for, + read through the loader)"
    failures=$((failures + 1))
  fi
}

began=$(date +%s)
# First start of the prefix (wineboot) outside the timed runs.
"$wine" wineboot --init > /dev/null 2>&1 || true
echo "== wine prefix ready after $(($(date +%s) - began)) s"

demo="$work/demo"
bash demo/assemble.sh "$demo" > /dev/null
buildInstaller "$demo/installer.exe"
check demo "$demo"

wide="$work/wide"
mkdir -p "$wide/files"
buildInstaller "$wide/installer.exe"
head -c $((4 * 1024 * 1024 + 3)) /dev/urandom > "$wide/plugin.dll"
/usr/bin/python3 demo/src/make_icon.py "$wide/wide.ico" 16 20 24 32 40 48 64 128 256
{
  printf '[Texts]\r\nName=Wide plugin\r\nVBName=Wide.Connect\r\nTitle=Wide installer\r\n'
  printf 'Warning=No Warning\r\n[Files]\r\nFilename=plugin.dll\r\nIcon=wide.ico\r\n'
  printf '[Misc]\r\nRunAfterInstall=files\\f07.txt\r\n[Extrafiles]\r\n'
  for i in $(seq -w 1 30); do
    [ "$i" = 13 ] || head -c $((10#$i * 997)) /dev/urandom > "$wide/files/f$i.txt"
    printf 'files\\f%s.txt\r\n' "$i"
  done
} > "$wide/install_info.ini"
check wide "$wide"

echo "== wine_check took $(($(date +%s) - began)) s"
[ "$failures" -eq 0 ]
