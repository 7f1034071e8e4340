#!/usr/bin/env bash
# Adds the demo files to a program folder that already holds the programs:
#   assemble.sh FOLDER [ARCH]
# Builds plugin.dll with MinGW for ARCH (i686 unless told x86_64), and
# installer.exe too when the folder has none yet (cmake --install puts the
# i686 one there); copies install_info.ini and the extra files, and takes the
# program's icon (a generated sample icon while editor/icons/tamsel.ico
# does not exist).
set -euo pipefail
demo="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$demo")"
folder="$1"
arch="${2:-i686}"
mkdir -p "$folder/data"
[ -f "$folder/installer.exe" ] || bash "$root/installer/build.sh" "$arch" "$folder/installer.exe"
bash "$demo/src/build_plugin.sh" "$folder/plugin.dll" "$arch"
cp "$demo/install_info.ini" "$demo/plugin-readme.txt" "$folder/"
cp "$demo/data/notes.txt" "$folder/data/"
if [ -f "$root/editor/icons/tamsel.ico" ]; then
  cp "$root/editor/icons/tamsel.ico" "$folder/tamsel.ico"
else
  /usr/bin/python3 "$demo/src/make_icon.py" "$folder/tamsel.ico" 16 32 48
fi
