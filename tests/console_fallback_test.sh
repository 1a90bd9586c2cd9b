#!/usr/bin/env bash
# What a scheduler meets: an X server that refuses the client (no XAUTHORITY,
# as under cron or sudo) or that goes away between the program's look at it
# and Qt's connection gives console mode, not an abort; a closed standard
# output does not end the run; running out of memory is reported and leaves
# nothing behind; a missing shared data folder is reported, not created.
#   console_fallback_test.sh PROGRAM SAMPLE SCRATCH
set -euo pipefail
source "$(dirname "$0")/shell_test_support.sh"
program=$1
sample=$2
scratch=$3
for tool in Xvfb xauth xprop; do
  command -v "$tool" > /dev/null || skip "$tool is not installed"
done
make_scratch fallback "$scratch"
cleanup() {
  kill "${xvfb:-}" 2>/dev/null || true
  wait "${xvfb:-}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Starts Xvfb on a display it picks itself; gives once it accepts clients.
start_xvfb() {
  rm -f "$work/display"
  Xvfb -displayfd 3 -nolisten tcp "$@" 3> "$work/display" > /dev/null 2>&1 & xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  display=":$(cat "$work/display")"
}

xauth -f "$work/auth" add :0 . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')" 2>/dev/null
start_xvfb -auth "$work/auth"

copy="$work/vtfallback$$"
cp "$program" "$copy"
cp "$(dirname "$program")/vantrelix-windows" "$work/"  # what the program starts with a display
data="$work/TOLV_7_Data"
mkdir -p "$data"
cp "$sample" "$data/Sample_VANTRELIX.CSV"
export VANTRELIX_COMMON_DOCUMENTS=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

status=0
out=$(env -u XAUTHORITY HOME="$work" DISPLAY="$display" "$copy" 2> "$work/err") || status=$?
[ "$status" -eq 0 ] || fail "a refusing X server gave status $status: $(cat "$work/err")"
[ "$out" = "Records Imported = 9 --Finished--" ] || fail "no console run: $out"

# A server that ends when its last client leaves: the program's look at it
# is that client, so Qt finds no server.
kill "$xvfb"
wait "$xvfb" 2>/dev/null || true
for try in 1 2 3; do
  start_xvfb -terminate
  rm "$data/TOLV_D.TXT"
  status=0
  out=$(env -u XAUTHORITY DISPLAY="$display" "$copy" 2> "$work/err") || status=$?
  [ "$status" -eq 0 ] || fail "a display gone after the look gave status $status (try $try): $(cat "$work/err")"
  [ "$out" = "Records Imported = 9 --Finished--" ] || fail "no console run (try $try): $out"
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
done

rm "$data/TOLV_D.TXT"
status=0
( "$copy" 2> /dev/null; echo $? > "$work/status" ) | true
[ "$(cat "$work/status")" -eq 0 ] || fail "a closed standard output gave status $(cat "$work/status")"
[ -s "$data/TOLV_D.TXT" ] || fail "no import file with a closed standard output"

# One 48 MiB line in a process limited to far less memory than that needs.
printf 'previous' > "$data/TOLV_D.TXT"
head -c $((48 << 20)) /dev/zero | tr '\0' 'x' > "$data/Sample_VANTRELIX.CSV"
status=0
( ulimit -v 120000; "$copy" 2> "$work/err" > /dev/null ) || status=$?
[ "$status" -eq 2 ] || fail "out of memory gave status $status: $(cat "$work/err")"
grep -q "$data/Sample_VANTRELIX.CSV: I/O error 8: not enough memory\.\$" "$work/err" ||
  fail "no out-of-memory message naming the source: $(cat "$work/err")"
[ "$(cat "$data/TOLV_D.TXT")" = previous ] || fail "the previous import file was not kept"
[ "$(ls -A "$data" | tr '\n' ' ')" = "Sample_VANTRELIX.CSV TOLV_D.TXT VANTRELIX_SU.DAT " ] ||
  fail "left behind: $(ls -A "$data")"
# A shared folder that the administrator has not made yet is not made by us.
mkdir "$work/shared"
status=0
VANTRELIX_COMMON_DOCUMENTS="$work/shared" "$copy" 2> "$work/err" > /dev/null || status=$?
[ "$status" -eq 2 ] || fail "a missing shared folder gave status $status: $(cat "$work/err")"
grep -qF ": The shared data folder $work/shared/TOLV_7_Data does not exist; the administrator creates it." "$work/err" ||
  fail "no message naming the missing shared folder: $(cat "$work/err")"
[ -z "$(ls -A "$work/shared")" ] || fail "the shared folder was created: $(ls -A "$work/shared")"
echo "PASS: console fallback, display gone, closed output, out of memory, missing shared folder"
