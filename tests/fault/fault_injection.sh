#!/usr/bin/env bash
# Fault injection for the updater's commit of installer.exe.
#
#   fault_injection.sh --fast  UPDATER INSTALLER [DRIVER]   (CI, a few seconds)
#   fault_injection.sh --large UPDATER [KILLS]              (by hand, about a minute)
#
# Kills: the updater is killed with SIGKILL at random moments of its commit
# (after it printed "Adding Icon...", up to a little past the end of the
# commit seen in a reference run). After each kill installer.exe must be byte
# for byte the old file or the new one, and the next run that ends normally
# must leave no temporary file (.tamsel-tmp-*) in the folder.
# Disk full (a small tmpfs, and ulimit -f) and a read-only folder (run as
# nobody): the updater ends with 1 and "Couldn't update installer", and the
# folder is exactly as it was.
# With DRIVER (tests/fault/fault_driver), the editor's Save and a backup are
# put through the same full-disk and read-only folders.
#
# --fast uses INSTALLER (the MinGW-built test installer) with an 8 MB plugin;
# --large builds the large job of bench/updater_large.sh (1 MB image, 64 MB
# plugin, 200 extra files of 256 KB, nine-image icon) under build/fault-large.
# SEED=n makes the kill moments repeatable. Exit status 0 only if every check held.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
tmpPrefix=".tamsel-tmp-"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
hashOf() { sha256sum "$1" | cut -d' ' -f1; }
nowNs() { date +%s%N; }
# Temporary files the atomic writer left in a folder, one name a line.
leftovers() { find "$1" -maxdepth 1 -name "$tmpPrefix*" -printf '%f\n' | sort; }
# A listing of a folder's files with their hashes, to compare before and after.
snapshot() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }

# ---- the jobs -------------------------------------------------------------

# writeJob FOLDER PLUGIN_MB EXTRA_COUNT EXTRA_KB ICON_SIZES...
# Writes the plugin, the extra files, the icon and install_info.ini (CR LF, as
# the editor writes it); installer.exe is put there by the caller.
writeJob() {
  local folder="$1" pluginMb="$2" extraCount="$3" extraKb="$4"
  shift 4
  mkdir -p "$folder/extra"
  head -c $((pluginMb * 1024 * 1024)) /dev/urandom > "$folder/plugin.dll"
  {
    printf '[Texts]\r\nName=Fault plugin\r\nVBName=Fault.Connect\r\nTitle=Fault installer\r\n'
    printf 'Warning=Close the host first.\r\n'
    printf '[Files]\r\nFilename=plugin.dll\r\nIcon=job.ico\r\n[Misc]\r\nRunAfterInstall=extra\\file000.bin\r\n'
    printf '[Extrafiles]\r\n'
    local i
    for i in $(seq -f '%03g' 0 $((extraCount - 1))); do
      head -c $((extraKb * 1024)) /dev/urandom > "$folder/extra/file$i.bin"
      printf 'extra\\file%s.bin\r\n' "$i"
    done
  } > "$folder/install_info.ini"
  /usr/bin/python3 "$root/demo/src/make_icon.py" "$folder/job.ico" "$@"
}

# The large job's installer: the demo installer padded to 1 MB.
buildLargeInstaller() {
  local out="$1" scratch="$2"
  printf 'const unsigned char installerPadding[1048576] = {1};\n' > "$scratch/padding.c"
  bash "$root/installer/build.sh" i686 "$out" "$scratch/padding.c"
}

# ---- running the updater --------------------------------------------------

# runToEnd FOLDER OUT [COMMAND PREFIX...]: one run answering the key prompt.
runToEnd() {
  local folder="$1" out="$2"
  shift 2
  (cd "$folder" && printf '\n' | "$@" "$updater" > "$out" 2>&1)
}

# waitForLine FILE TEXT PID: polls until FILE holds TEXT or PID has ended.
waitForLine() {
  until grep -qF "$2" "$1" 2>/dev/null; do
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.001
  done
}

# timedRun FOLDER OUT: one run to its end; commitNs becomes the shortest
# commit seen so far (ns, from "Adding Icon..." to "Installer updated!"), the
# span in which the kills are aimed.
timedRun() {
  local folder="$1" out="$2" fifo="$2.key"
  rm -f "$fifo"
  mkfifo "$fifo"
  exec 3<> "$fifo"
  (cd "$folder" && exec "$updater" <&3 > "$out" 2>&1) &
  local pid=$! start end
  waitForLine "$out" "Adding Icon..." "$pid"
  start=$(nowNs)
  waitForLine "$out" "Installer updated!" "$pid"
  end=$(nowNs)
  printf '\n' >&3
  wait "$pid"
  local rc=$?
  exec 3>&-
  rm -f "$fifo"
  [ "$rc" -eq 0 ] || return 1
  if [ -z "${commitNs:-}" ] || [ $((end - start)) -lt "$commitNs" ]; then
    commitNs=$((end - start))
  fi
}

declare -A outcomes=()
# killOnce FOLDER OUT DELAY_NS: starts a run, kills it DELAY_NS after
# "Adding Icon...", and files the outcome under one of:
#   old/before-temporary   nothing written yet
#   old/temporary-partial  killed while the temporary file was written
#   old/temporary-written  killed in the flush or before the rename (all bytes there)
#   new/before-message     killed after the rename, before "Installer updated!"
#   new/waiting-for-key    killed after the commit had ended
killOnce() {
  local folder="$1" out="$2" delayNs="$3" fifo="$2.key"
  rm -f "$fifo"
  mkfifo "$fifo"
  exec 3<> "$fifo"
  (cd "$folder" && exec "$updater" <&3 > "$out" 2>&1) &
  local pid=$!
  waitForLine "$out" "Adding Icon..." "$pid"
  sleep "$(printf '%d.%09d' $((delayNs / 1000000000)) $((delayNs % 1000000000)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exec 3>&-
  rm -f "$fifo"

  local hash temps outcome
  hash=$(hashOf "$folder/installer.exe")
  temps=$(leftovers "$folder")
  if [ "$hash" = "$oldHash" ]; then
    if [ -z "$temps" ]; then
      outcome=old/before-temporary
    elif [ "$(stat -c %s "$folder/$(head -n 1 <<< "$temps")")" -eq "$newSize" ] &&
      [ "$(hashOf "$folder/$(head -n 1 <<< "$temps")")" = "$newHash" ]; then
      outcome=old/temporary-written
    else
      outcome=old/temporary-partial
    fi
  elif [ "$hash" = "$newHash" ]; then
    if grep -qF "Installer updated!" "$out"; then
      outcome=new/waiting-for-key
    else
      outcome=new/before-message
    fi
  else
    outcome="neither-old-nor-new"
    fail "after a kill ${delayNs} ns into the commit installer.exe is neither the old nor the new file"
  fi
  outcomes[$outcome]=$((${outcomes[$outcome]:-0} + 1))
  printf '  kill %2d at +%4d of %4d ms: %s%s\n' "$killNumber" $((delayNs / 1000000)) \
    $((spanNs / 1000000)) "$outcome" \
    "$([ -n "$temps" ] && echo " (temporary files now: $(wc -l <<< "$temps"))")"
}

# killRuns FOLDER WORK KILLS: each kill starts from the old installer; the
# next normal run must give the new file and leave no temporary file, with
# the kill's leftover beside it.
killRuns() {
  local folder="$1" work="$2" kills="$3" spanNs
  echo "== $kills kills, each within 1.2 x the shortest commit seen so far" \
    "(reference commit $((commitNs / 1000000)) ms)"
  local laterLeftovers=0
  for killNumber in $(seq 1 "$kills"); do
    cp "$work/installer.old" "$folder/installer.exe"
    spanNs=$((commitNs * 12 / 10))
    killOnce "$folder" "$work/kill.out" $(((RANDOM << 30 | RANDOM << 15 | RANDOM) % spanNs))
    if ! timedRun "$folder" "$work/after-kill.out"; then
      fail "the run after kill $killNumber failed: $(cat "$work/after-kill.out")"
    elif [ "$(hashOf "$folder/installer.exe")" != "$newHash" ]; then
      fail "the run after kill $killNumber did not write the new file"
    fi
    if [ -n "$(leftovers "$folder")" ]; then
      laterLeftovers=$((laterLeftovers + 1))
    fi
  done
  cp "$work/installer.old" "$folder/installer.exe"
  echo "== outcomes:"
  for outcome in "${!outcomes[@]}"; do echo "  $outcome: ${outcomes[$outcome]}"; done | sort
  local left
  left=$(leftovers "$folder" | wc -l)
  if [ "$laterLeftovers" -gt 0 ]; then
    fail "temporary files left after $laterLeftovers of $kills later successful runs;" \
      "$left in the folder now"
  else
    echo "== no temporary file left after any later successful run"
  fi
}

# ---- refused writes -------------------------------------------------------

# expectRefusedCommit FOLDER OUT RC WHAT: the updater's exit code and message.
expectRefusedCommit() {
  local rc="$3" what="$4"
  [ "$rc" -eq 1 ] || fail "$what: updater ended with $rc, not 1"
  grep -qF "Couldn't update installer" "$2" ||
    fail "$what: no \"Couldn't update installer\" in: $(tr '\n' '|' < "$2")"
}

# The folder must be exactly as it was (same files, same bytes): the old
# installer intact, no temporary file.
expectUnchanged() {
  local folder="$1" before="$2" what="$3" changes
  changes=$(diff <(snapshot "$folder") <(echo "$before"))
  [ -z "$changes" ] || fail "$what: the folder changed: $(head -n 4 <<< "$changes" | tr '\n' '|')"
}

# Inside a private mount namespace: a tmpfs over TARGET holding SOURCE's
# files and a filler that leaves only ROOM bytes free; then runs the named
# case. Called through unshare -m.
inSmallDisk() {
  local room="$1" source="$2" target="$3" used avail
  shift 3
  used=$(du -sb "$source" | cut -f1)
  mount -t tmpfs -o "size=$((used + room + 4 * 1024 * 1024))" tmpfs "$target" || exit 77
  cp -a "$source/." "$target/"
  avail=$(df -B1 --output=avail "$target" | tail -n 1)
  if [ "$avail" -gt "$room" ]; then
    head -c $((avail - room)) /dev/zero > "$target/filler" 2> /dev/null
  fi
  "$@"
}

updaterFullDisk() {
  local folder="$1" work="$2" before rc
  before=$(snapshot "$folder")
  runToEnd "$folder" "$work/full.out"
  rc=$?
  expectRefusedCommit "$folder" "$work/full.out" "$rc" "updater, disk full (tmpfs)"
  expectUnchanged "$folder" "$before" "updater, disk full (tmpfs)"
  echo "  updater, disk full (tmpfs $(df --output=size -h "$folder" | tail -1 | tr -d ' ')): exit $rc," \
    "$(grep -A1 -F "Couldn't update" "$work/full.out" | tail -n 1)"
  exit "$failures"
}

driverFullDisk() {
  local folder="$1" work="$2" before rc action
  for action in save backup; do
    before=$(snapshot "$folder")
    "$driver" "$action" "$folder" > "$work/driver.out" 2> "$work/driver.err"
    rc=$?
    [ "$rc" -eq 1 ] || fail "editor $action, disk full: driver ended with $rc, not 1"
    expectUnchanged "$folder" "$before" "editor $action, disk full (tmpfs)"
    echo "  editor $action, disk full (tmpfs): exit $rc, $(tr '\n' ' ' < "$work/driver.out")"
  done
  exit "$failures"
}

# Room for the copy of the previous file that Save makes first (one tmpfs
# page), none for the new install_info.ini: the previous file must survive.
driverSaveAfterCopy() {
  local folder="$1" work="$2" before rc
  before=$(snapshot "$folder")
  "$driver" save "$folder" > "$work/driver.out" 2> "$work/driver.err"
  rc=$?
  [ "$rc" -eq 1 ] || fail "editor save, disk full after the copy: driver ended with $rc, not 1"
  cmp -s "$folder/install_info.ini" "$folder/install_info backup.ini" ||
    fail "editor save, disk full after the copy: install_info backup.ini is not the previous file"
  rm -f "$folder/install_info backup.ini"
  expectUnchanged "$folder" "$before" "editor save, disk full after the copy (tmpfs)"
  echo "  editor save, disk full after the copy (tmpfs): exit $rc, $(tr '\n' ' ' < "$work/driver.out")"
  exit "$failures"
}

# Runs FUNCTION FOLDER WORK on a copy of FOLDER in a tmpfs just too small for
# what the run writes (ROOM bytes free after the copy).
onSmallDisk() {
  local function="$1" folder="$2" work="$3" room="$4" mountPoint rc
  if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2> /dev/null; then
    echo "  SKIP $function: cannot mount a tmpfs here (needs root)"
    return
  fi
  mountPoint="$work/small-disk"
  mkdir -p "$mountPoint"
  unshare -m bash "$0" --in-small-disk "$room" "$folder" "$mountPoint" \
    "$function" "$mountPoint" "$work" "$updater" "${driver:-}"
  rc=$?
  if [ "$rc" -eq 77 ]; then
    echo "  SKIP $function: cannot mount a tmpfs here (needs root)"
  else
    failures=$((failures + rc))
  fi
}

# Runs a command as nobody on a copy of FOLDER made read-only (0555). The
# files in it may be written: only the folder stops a replacement (an
# installer nobody may write is refused before any commit is tried).
asNobodyReadOnly() {
  local folder="$1" copy="$2"
  shift 2
  rm -rf "$copy"
  cp -a "$folder" "$copy"
  chmod -R a+rwX "$copy"
  chmod 0555 "$copy"
  (cd "$copy" && printf '\n' | setpriv --reuid=65534 --regid=65534 --clear-groups "$@")
}

refusedWrites() {
  local folder="$1" work="$2" newBytes="$3" before rc
  echo "== refused writes"
  # A full disk: room for half of the new installer beside the old one.
  onSmallDisk updaterFullDisk "$folder" "$work" $((newBytes / 2))

  # A file-size limit below the new installer (ulimit -f counts KiB).
  before=$(snapshot "$folder")
  (cd "$folder" && ulimit -f $((newBytes / 2048)) && printf '\n' | "$updater" > "$work/ulimit.out" 2>&1)
  rc=$?
  expectRefusedCommit "$folder" "$work/ulimit.out" "$rc" "updater, ulimit -f"
  expectUnchanged "$folder" "$before" "updater, ulimit -f"
  echo "  updater, ulimit -f $((newBytes / 2048)): exit $rc, $(grep -A1 -F "Couldn't update" "$work/ulimit.out" | tail -n 1)"

  # A read-only folder: run as nobody, for whom the permission bits count.
  if [ "$(id -u)" -ne 0 ]; then
    echo "  SKIP read-only folder: needs root to run as nobody"
    return
  fi
  local copy="$work/read-only"
  before=$(snapshot "$folder")
  asNobodyReadOnly "$folder" "$copy" "$updater" > "$work/ro.out" 2>&1
  rc=$?
  expectRefusedCommit "$copy" "$work/ro.out" "$rc" "updater, read-only folder"
  expectUnchanged "$copy" "$before" "updater, read-only folder"
  echo "  updater, read-only folder as nobody: exit $rc, $(grep -A1 -F "Couldn't update" "$work/ro.out" | tail -n 1)"
  chmod 0755 "$copy"

  [ -n "${driver:-}" ] || return 0
  # The editor's Save and a backup, on an install-info folder of their own.
  local editorFolder="$work/editor"
  rm -rf "$editorFolder"
  mkdir -p "$editorFolder"
  cp "$folder/install_info.ini" "$editorFolder/"
  "$driver" backup "$editorFolder" > /dev/null 2>&1 || fail "driver: the first backup failed"
  onSmallDisk driverFullDisk "$editorFolder" "$work" 0
  onSmallDisk driverSaveAfterCopy "$editorFolder" "$work" 4096
  local action
  for action in save backup; do
    before=$(snapshot "$editorFolder")
    asNobodyReadOnly "$editorFolder" "$copy" "$driver" "$action" . > "$work/driver.out" 2> "$work/driver.err"
    rc=$?
    [ "$rc" -eq 1 ] || fail "editor $action, read-only folder: driver ended with $rc, not 1"
    expectUnchanged "$copy" "$before" "editor $action, read-only folder"
    echo "  editor $action, read-only folder as nobody: exit $rc, $(tr '\n' ' ' < "$work/driver.out")"
    chmod 0755 "$copy"
  done
}

# ---- modes ----------------------------------------------------------------

# Prepares FOLDER (job written, installer.exe in place), does the reference
# run on a copy, then the kills and the refused writes.
exercise() {
  local folder="$1" work="$2" kills="$3"
  cp "$folder/installer.exe" "$work/installer.old"
  oldHash=$(hashOf "$work/installer.old")
  rm -rf "$work/reference"
  cp -a "$folder" "$work/reference"
  # The fresh inputs' write-back would otherwise slow the reference commit's
  # flush, and the kill moments would spread past the later, shorter commits.
  sync
  timedRun "$work/reference" "$work/reference.out" || {
    fail "the reference run failed: $(cat "$work/reference.out")"
    return
  }
  newHash=$(hashOf "$work/reference/installer.exe")
  newSize=$(stat -c %s "$work/reference/installer.exe")
  rm -rf "$work/reference"
  echo "== old installer $(stat -c %s "$work/installer.old") bytes, new $newSize bytes"
  killRuns "$folder" "$work" "$kills"
  refusedWrites "$folder" "$work" "$newSize"
}

case "${1:-}" in
  --in-small-disk)
    shift
    room="$1" source="$2" target="$3" function="$4" folder="$5" work="$6" updater="$7" driver="$8"
    inSmallDisk "$room" "$source" "$target" "$function" "$folder" "$work"
    ;;
  --fast)
    updater="$(realpath "$2")" installer="$3" driver="${4:+$(realpath "$4")}"
    [ -f "$installer" ] || { echo "SKIP: no test installer ($installer)"; exit 77; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    chmod 0755 "$work"
    RANDOM=${SEED:-$$}
    writeJob "$work/job" 8 20 64 16 32 48
    cp "$installer" "$work/job/installer.exe"
    exercise "$work/job" "$work" 5
    ;;
  --large)
    updater="$(realpath "$2")" kills="${3:-20}" driver=""
    work="$root/build/fault-large"
    rm -rf "$work"
    mkdir -p "$work/job"
    chmod 0755 "$work"
    RANDOM=${SEED:-$$}
    buildLargeInstaller "$work/job/installer.exe" "$work"
    writeJob "$work/job" 64 200 256 16 20 24 32 40 48 64 128 255
    exercise "$work/job" "$work" "$kills"
    [ "$failures" -gt 0 ] || rm -rf "$work"
    ;;
  *)
    sed -n '2,21p' "$0"
    exit 2
    ;;
esac
if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks held"
