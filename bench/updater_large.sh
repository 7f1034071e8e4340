#!/usr/bin/env bash
# Figures for the updater, as "name: value unit" lines.
#
# Large run: a 1 MB installer image, a 64 MB plugin, 200 extra files of
# 256 KB and a nine-image icon; wall time and peak memory of updater
# (/usr/bin/time -v), beside the time of a flushed copy of the resulting
# file (dd bs=1M conv=fsync) made in the same run on the same disk.
# Small job: the demo program folder, wall time of one updater run (best of 5).
#
# Usage: bench/updater_large.sh [BUILD_DIR]   (default build/bench, Release)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build="${1:-build/bench}"
work="$root/build/bench-updater"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_WITH_GUI=OFF \
    -DTAMSEL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j 2 --target updater >/dev/null
updater="$root/$build/bin/updater"
[ -x "$updater" ] || updater="$build/bin/updater"

[ -n "${KEEP:-}" ] || rm -rf "$work"
mkdir -p "$work/large/extra" "$work/small"

# --- large run -------------------------------------------------------------
large="$work/large"
# The installer, padded to 1 MB with initialised read-only data.
printf 'const unsigned char installerPadding[1048576] = {1};\n' > "$work/padding.c"
i686-w64-mingw32-windres -O coff -o "$work/res.o" demo/src/installer.rc
i686-w64-mingw32-gcc -Os -s -o "$large/installer.exe" demo/src/installer.c "$work/padding.c" "$work/res.o"
head -c $((64 * 1024 * 1024)) /dev/urandom > "$large/plugin.dll"
{
  printf '[Texts]\r\nName=Large plugin\r\nVBName=Large.Connect\r\nTitle=Large installer\r\nWarning=\r\n'
  printf '[Files]\r\nFilename=plugin.dll\r\nIcon=large.ico\r\n[Misc]\r\nRunAfterInstall=extra\\file000.bin\r\n'
  printf '[Extrafiles]\r\n'
  for i in $(seq -f '%03g' 0 199); do
    head -c $((256 * 1024)) /dev/urandom > "$large/extra/file$i.bin"
    printf 'extra\\file%s.bin\r\n' "$i"
  done
} > "$large/install_info.ini"
/usr/bin/python3 demo/src/make_icon.py "$large/large.ico" 16 20 24 32 40 48 64 128 255

(cd "$large" && printf '\n' | /usr/bin/time -v "$updater" > "$work/large.out" 2> "$work/large.time")
tail -n 3 "$work/large.out" | head -n 1 | grep -q 'Installer updated!' || { cat "$work/large.out"; exit 1; }

wall_seconds() {  # "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:01.23" -> seconds
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0;
    for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.3f", s }' "$1"
}
peak_mb() {
  awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$1"
}

input_mb=$(du -cm --apparent-size "$large/plugin.dll" "$large/extra" "$large/large.ico" | tail -1 | cut -f1)
output_mb=$(awk -v b="$(stat -c %s "$large/installer.exe")" 'BEGIN { printf "%.1f", b / 1048576 }')
/usr/bin/time -v dd if="$large/installer.exe" of="$work/copy.exe" bs=1M conv=fsync 2> "$work/dd.time" >/dev/null

echo "updater_large_input: $input_mb MB"
echo "updater_large_output: $output_mb MB"
echo "updater_large_wall: $(wall_seconds "$work/large.time") s"
echo "updater_large_peak_rss: $(peak_mb "$work/large.time") MB"
echo "dd_copy_fsync_wall: $(wall_seconds "$work/dd.time") s"

# --- small job: the demo program folder ------------------------------------
cp "$updater" "$work/small/"
bash demo/assemble.sh "$work/small" >/dev/null
cp "$work/small/installer.exe" "$work/small-installer.orig"
best=""
for _ in 1 2 3 4 5; do
  cp "$work/small-installer.orig" "$work/small/installer.exe"
  start=$(date +%s%N)
  (cd "$work/small" && printf '\n' | ./updater >/dev/null)
  end=$(date +%s%N)
  ms=$(( (end - start) / 1000000 ))
  if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
done
echo "updater_small_wall: $best ms"

[ -n "${KEEP:-}" ] || rm -rf "$work"
