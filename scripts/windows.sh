#!/usr/bin/env bash
# The Windows programs from the same sources, built with Debian's MinGW for
# i686 and x86-64 (cmake/toolchains/): everything that needs no Qt. For each
# architecture it builds, runs the cross-built tests under Wine where that
# Wine runs (and says why not where it does not), runs updater.exe and the
# Linux updater on every scenario of the updater's tests and compares what
# they write and print, and makes build/dist/tamsel-windows-ARCH.zip.
#
# Usage: scripts/windows.sh [LINUX_BUILD [ARCH...]]
#   LINUX_BUILD (default build/release) holds the Linux updater and
#   updater_run_test, which lays out the scenarios; without them the
#   comparison is skipped, and said.
#   ARCH is i686 or x86_64; without one, both are built in turn.
#
# Wine runs under the UTF-8 locale C.UTF-8, whatever the caller's: Wine
# writes non-ASCII names to the Linux file system in the locale's encoding,
# and without a UTF-8 locale it cannot write them at all.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux="$root/${1:-build/release}"
shift || true
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(i686 x86_64)
jobs=$(nproc)
mkdir -p build/dist
export LC_ALL=C.UTF-8

# How this machine runs Wine for an architecture: "native LOADER",
# "emulated LOADER" or "none REASON" (scripts/wine_route.sh).
routeOf() { bash scripts/wine_route.sh "$1"; }
loaderFor() {  # arch -> its Wine loader
  local route loader
  read -r route loader <<< "$(routeOf "$1")"
  echo "$loader"
}

# Empty when this architecture's Wine runs here, natively or emulated, else
# the reason it does not.
whyNoWine() {
  local route detail
  read -r route detail <<< "$(routeOf "$1")"
  [ "$route" != none ] || echo "$detail"
}

# Tests that did not run for want of 32-bit programs are counted in the file
# TAMSEL_SKIP_LOG names, when scripts/test.sh gives one, for its summary.
countSkipped32() {
  [ -z "${TAMSEL_SKIP_LOG:-}" ] || echo "$1" >> "$TAMSEL_SKIP_LOG"
}

# Standard input with the folder named by $FOLDER written as "<folder>".
folderAsWord() {
  awk '{ f = ENVIRON["FOLDER"]
         while ((i = index($0, f)) > 0) $0 = substr($0, 1, i - 1) "<folder>" substr($0, i + length(f))
         print }'
}

# Runs the Linux updater and updater.exe on copies of every scenario folder
# and compares installer.exe, standard output (CR LF read as LF), standard
# error (the folder's name read as <folder>) and the exit code; the Windows
# error codes that updater.exe adds after the same words are left out of both.
compareWithLinux() {
  local arch=$1 build=$2 loader work failed=0 compared=0
  local noWindowsCode='s/ \(Windows error [0-9]+\)//g'
  loader=$(loaderFor "$arch")
  if [ ! -x "$linux/bin/updater" ] || [ ! -x "$linux/bin/updater_run_test" ]; then
    echo "Windows $arch: comparison with the Linux updater skipped: no $linux/bin/updater and updater_run_test"
    return 0
  fi
  work=$(mktemp -d)
  TAMSEL_KEEP_SCENARIOS="$work/in" TAMSEL_CODEPAGE=1252 "$linux/bin/updater_run_test" \
    --gtest_filter=UpdaterRun.WritesExactlyTheResourcesOfTheInstallInfo >/dev/null
  for key in "$work"/in/*.key; do
    [ -e "$key" ] || break
    local n name folder rcLinux=0 rcWindows=0
    n=$(basename "$key" .key)
    name=$(cat "$work/in/$n.name")
    if [ -e "$work/in/$n.linux-only" ]; then
      echo "  scenario $n skipped (two names that differ only in letter case; Windows keeps one): $name"
      continue
    fi
    for side in linux windows; do cp -r "$work/in/$n" "$work/$side-$n"; done
    (cd "$work/linux-$n" && TAMSEL_CODEPAGE=1252 "$linux/bin/updater" <"$key" >../linux.out 2>../linux.err) || rcLinux=$?
    (cd "$work/windows-$n" && WINEPREFIX="$root/$build/wine-prefix" WINEDEBUG=-all TAMSEL_CODEPAGE=1252 \
      "$loader" "$root/$build/bin/updater.exe" <"$key" >../windows.out 2>../windows.err) || rcWindows=$?
    folder="Z:$(printf '%s' "$work/windows-$n" | tr '/' '\\')"
    tr -d '\r' <"$work/windows.out" | sed -E "$noWindowsCode" >"$work/windows.lf"
    tr -d '\r' <"$work/windows.err" | sed -E "$noWindowsCode" |
      FOLDER="$folder" folderAsWord >"$work/windows.err.lf"
    FOLDER="$work/linux-$n" folderAsWord <"$work/linux.err" >"$work/linux.err.lf"
    compared=$((compared + 1))
    if ! cmp -s "$work/linux-$n/installer.exe" "$work/windows-$n/installer.exe" ||
       ! cmp -s "$work/linux.out" "$work/windows.lf" || ! cmp -s "$work/linux.err.lf" "$work/windows.err.lf" ||
       [ "$rcLinux" != "$rcWindows" ]; then
      failed=1
      echo "  scenario $n differs: $name"
      cmp "$work/linux-$n/installer.exe" "$work/windows-$n/installer.exe" || true
      diff "$work/linux.out" "$work/windows.lf" || true
      diff "$work/linux.err.lf" "$work/windows.err.lf" || true
      echo "  exit codes: Linux $rcLinux, Windows $rcWindows"
    fi
  done
  rm -rf "$work"
  if [ "$failed" != 0 ]; then
    echo "Windows $arch: updater.exe differs from the Linux updater"
    return 1
  fi
  echo "Windows $arch: updater.exe wrote the same installer.exe and printed the same text (Windows error codes aside) as the Linux updater in $compared scenarios"
}

# The program folder: cmake --install (tamsel.exe and updater.exe stripped,
# installer.exe, installer-x64.exe, README.txt and the sample
# install_info.ini) with the demo's plugin, built for ARCH, and the files the
# sample names, zipped.
makeZip() {
  local arch=$1 build=$2 stage
  stage=$(mktemp -d)
  cmake --install "$build" --prefix "$stage/tamsel-windows-$arch" --strip >/dev/null
  bash demo/assemble.sh "$stage/tamsel-windows-$arch" "$arch" >/dev/null
  rm -f "$root/build/dist/tamsel-windows-$arch.zip"
  (cd "$stage" && zip -qr "$root/build/dist/tamsel-windows-$arch.zip" "tamsel-windows-$arch")
  rm -rf "$stage"
  echo "Windows $arch: build/dist/tamsel-windows-$arch.zip"
}

# Runs updater.exe in the unpacked folder $1 under the Wine for $2, in a
# fresh prefix under $3; with a fourth argument, then installer.exe silently,
# and checks that the demo plugin registered: the "registered:" line, and
# its ProgID in the registry.
updateAndInstall() {
  local folder=$1 arch=$2 work=$3 loader code=0
  loader=$(loaderFor "$arch")
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  [ ! -d "$WINEPREFIX" ] || /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$work/installed"
  "$loader" wineboot --init >/dev/null 2>&1 || true
  (cd "$folder" && printf '\n' | "$loader" updater.exe >"$work/updater.out" 2>"$work/updater.err") || code=$?
  tr -d '\r' <"$work/updater.err" | sed 's/^/    /'
  if [ "$code" != 0 ] || ! grep -q '^Installer updated!' "$work/updater.out"; then
    tr -d '\r' <"$work/updater.out" | sed 's/^/    /'
    echo "updater.exe ended with exit code $code, without \"Installer updated!\""
    return 1
  fi
  [ $# -gt 3 ] || return 0
  # Output to a file, not a pipe: the programs Wine keeps in the background
  # hold on to it, and a pipe would not end before they do.
  (cd "$folder" && "$loader" installer.exe /S "/D=Z:${work//\//\\}\\installed" \
    </dev/null >"$work/installer.out" 2>/dev/null) || code=$?
  # The line names the file and the ProgID; a route other than the
  # installer's own child process may follow them.
  if [ "$code" != 0 ] ||
     ! tr -d '\r' <"$work/installer.out" | grep -q '^registered: .*\\plugin\.dll (DemoPlugin\.Connect)\( \|$\)' ||
     ! "$loader" reg query 'HKCU\Software\Classes\DemoPlugin.Connect' >/dev/null 2>&1; then
    tr -d '\r' <"$work/installer.out" | sed 's/^/    /'
    echo "installer.exe /S ended with exit code $code; the demo plugin is not registered"
    return 1
  fi
}

# Unpacks the zip $1 into the folder $2, with CMake, which every build here has.
unpack() {
  local zip
  zip=$(realpath "$1")
  (cd "$2" && cmake -E tar xf "$zip")
}

# The pairs of names in the zip $1 that Windows takes for one (letter case,
# trailing dots and blanks): unpacked there, one would replace the other.
collidingNames() {
  python3 - "$1" <<'EOF'
import sys, zipfile
seen = {}
for name in zipfile.ZipFile(sys.argv[1]).namelist():
    key = "/".join(part.rstrip(". ").lower() for part in name.rstrip("/").split("/"))
    if key in seen:
        print(f"{seen[key]} and {name}")
    seen.setdefault(key, name)
EOF
}

# Each zip as a Windows user meets it: no two names that Windows takes for
# one, unpacked, README.txt ASCII with CR LF,
# updater.exe run in the folder as it comes, and the installer it wrote run
# silently, which must install and register the demo plugin.
checkZip() {
  local arch=$1 zip="build/dist/tamsel-windows-$1.zip" work folder reason noI686 pairs failed=0
  work=$(mktemp -d)
  folder="$work/tamsel-windows-$arch"
  unpack "$zip" "$work"
  pairs=$(collidingNames "$zip")
  if [ -n "$pairs" ]; then
    echo "Windows $arch: the zip holds names that Windows takes for one: $pairs"
    failed=1
  fi
  if LC_ALL=C grep -q -e '[^[:print:][:space:]]' -e $'[^\r]$' -e '^$' "$folder/README.txt" ||
     [ "$(tail -c 2 "$folder/README.txt" | od -An -tx1)" != ' 0d 0a' ]; then
    echo "Windows $arch: the zip's README.txt is not ASCII text with CR LF line ends"
    failed=1
  fi
  reason=$(whyNoWine "$arch")
  noI686=$(whyNoWine i686)  # the zip's installer.exe is i686
  if [ -n "$reason" ]; then
    echo "Windows $arch: the zip's updater.exe and installer.exe not run: $reason"
    [ "$arch" != i686 ] || countSkipped32 1
  elif [ -z "$noI686" ]; then
    if (updateAndInstall "$folder" "$arch" "$work" install); then
      echo "Windows $arch: the zip's updater.exe wrote its installer.exe, which installed and registered the demo plugin"
    else
      failed=1
    fi
  else
    if (updateAndInstall "$folder" "$arch" "$work"); then
      echo "Windows $arch: the zip's updater.exe wrote its installer.exe; installing with it skipped: $noI686"
      countSkipped32 1
    else
      failed=1
    fi
    # The rest of the chain, where only the x86-64 installer runs: on a
    # fresh copy of the x86-64 zip (an x86-64 plugin), installer-x64.exe
    # takes installer.exe's place.
    if [ "$arch" = x86_64 ]; then
      rm -rf "$folder" && unpack "$zip" "$work"
      cp "$folder/installer-x64.exe" "$folder/installer.exe"
      if (updateAndInstall "$folder" "$arch" "$work" install); then
        echo "Windows $arch: with the zip's installer-x64.exe as installer.exe, updater.exe wrote it, and it installed and registered the demo plugin"
      else
        failed=1
      fi
    fi
  fi
  WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
  return "$failed"
}

# The build's Wine prefix (over a gigabyte) goes once its tests and the
# comparison are done, or the script ends early: a full run makes several,
# and a shared disk need not hold them all.
testPrefix=
dropTestPrefix() {
  [ -n "$testPrefix" ] && [ -d "$testPrefix" ] || return 0
  WINEPREFIX="$testPrefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$testPrefix"
}
trap dropTestPrefix EXIT

for arch in "${arches[@]}"; do
  build=build/win-$arch
  testPrefix="$root/$build/wine-prefix"
  start=$(date +%s)
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j "$jobs"
  built=$(($(date +%s) - start))
  read -r route detail <<< "$(routeOf "$arch")"
  if [ "$route" = native ]; then
    start=$(date +%s)
    ctest --test-dir "$build" --output-on-failure -j "$jobs"
    # The same tests must pass for a caller with no locale at all, as a
    # minimal container or a fresh CI runner has it: the one that writes
    # non-ASCII names, run from an empty environment.
    if ! bare=$(env -i PATH="$PATH" HOME="${HOME:-/root}" \
                ctest --test-dir "$build" --output-on-failure -R '^updater_run_test$' 2>&1); then
      printf '%s\n' "$bare" | tail -n 60
      echo "Windows $arch: updater_run_test fails when the caller has no locale"
      exit 1
    fi
    echo "Windows $arch: updater_run_test passes under Wine for a caller with no locale"
    compareWithLinux "$arch" "$build"
    dropTestPrefix
    echo "Windows $arch: built in ${built} s; tests under Wine ran, in $(($(date +%s) - start)) s"
  else
    # The test programs are listed in CTest (as not run) whatever the route.
    listed=$(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p')
    if [ "$route" = emulated ]; then
      why="the route here is 32-bit Wine emulated through qemu-user, under which Wine's own 32-bit side fails at random; they run where the kernel runs 32-bit programs"
    else
      why=$detail
    fi
    echo "Windows $arch: built in ${built} s; ${listed:-0} test programs under Wine skipped: $why"
    [ "$arch" != i686 ] || countSkipped32 "${listed:-0}"
  fi
  makeZip "$arch" "$build"
  checkZip "$arch"
done
