#!/usr/bin/env bash
# Real windows: a second copy restores and activates the first copy's
# minimised field selector. Xvfb with openbox as the window manager.
#   guard_window_test.sh PROGRAM SCRATCH
set -euo pipefail
source "$(dirname "$0")/shell_test_support.sh"
program=$1
scratch=$2
for tool in Xvfb openbox xdotool xprop; do
  command -v "$tool" > /dev/null || skip "$tool is not installed"
done
make_scratch guardwin "$scratch"
cleanup() {
  # Ended before their folder goes: they write into it until they exit.
  for pid in ${first:-} ${wm:-} ${xvfb:-}; do
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Waits up to 10 s for a command to succeed.
until_true() {
  for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
  return 1
}

# Xvfb picks a free display itself and says which once it accepts clients.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3> "$work/display" > /dev/null 2>&1 & xvfb=$!
until_true test -s "$work/display" || fail "Xvfb did not start"
# A runtime folder whose path is too long for the endpoint's full path to
# fit a socket address.
runtime="$work/runtime"
while [ ${#runtime} -lt 100 ]; do runtime+=r; done
mkdir -m 700 "$runtime"
# openbox keeps its cache in the home: the test's own.
export DISPLAY=":$(cat "$work/display")" VANTRELIX_COMMON_DOCUMENTS=$work XDG_RUNTIME_DIR=$runtime HOME=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
openbox > /dev/null 2>&1 & wm=$!
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; }
until_true wm_running || fail "openbox did not start"
mkdir -p "$work/TOLV_7_Data"
printf 'H\r\na,b\r\n' > "$work/TOLV_7_Data/Sample_VANTRELIX.CSV"
copy="$work/vtwin$$"
cp "$program" "$copy"
cp "$(dirname "$program")/vantrelix-windows" "$work/"  # what the program starts with a display

hidden() { xprop -id "$id" _NET_WM_STATE | grep -q HIDDEN; }
managed() { xprop -id "$id" WM_STATE 2> /dev/null | grep -q 'window state: Normal'; }
"$copy" SETUP 2> /dev/null & first=$!
id=$(timeout 10 xdotool search --sync --onlyvisible --name 'Field Selector-2' | head -1)
[ -n "$id" ] || fail "no field selector"
# Minimised only once openbox manages it.
until_true managed || fail "the window manager did not take the window"
xdotool windowminimize --sync "$id"
until_true hidden || fail "the window did not minimise"

status=0
"$copy" 2> "$work/err" || status=$?
[ "$status" -eq 3 ] || fail "the second copy exited with $status, not 3: $(cat "$work/err")"
until_true eval '! hidden' || fail "the first copy stayed minimised"
until_true test "$(xdotool getactivewindow)" = "$id" ||
  fail "active window $(xdotool getactivewindow) is not the field selector $id"
[ ! -e "$work/TOLV_7_Data/TOLV_D.TXT" ] || fail "an import file was written"
echo "PASS: restored and active"
