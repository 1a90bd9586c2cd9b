#!/usr/bin/env bash
# Real windows: a second copy restores and activates the first copy's
# minimised field selector. Xvfb with openbox as the window manager.
#   guard_window_test.sh PROGRAM
set -euo pipefail
program=$1
for tool in Xvfb openbox xdotool xprop; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/vantrelix-guardwin-XXXXXX)
display=":$((200 + $$ % 500))"
cleanup() {
  kill "${first:-}" "${wm:-}" "${xvfb:-}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1600x1000x24 > /dev/null 2>&1 & xvfb=$!
export DISPLAY=$display VANTRELIX_COMMON_DOCUMENTS=$work
unset QT_QPA_PLATFORM
for _ in $(seq 50); do xprop -root > /dev/null 2>&1 && break; sleep 0.1; done
openbox > /dev/null 2>&1 & wm=$!
sleep 0.5
mkdir -p "$work/TOLV_7_Data"
printf 'H\r\na,b\r\n' > "$work/TOLV_7_Data/Sample_VANTRELIX.CSV"
copy="$work/vtwin$$"
cp "$program" "$copy"

"$copy" SETUP 2> /dev/null & first=$!
id=$(timeout 10 xdotool search --sync --name 'Field Selector-2' | head -1)
sleep 0.5
xdotool windowminimize --sync "$id"
xprop -id "$id" _NET_WM_STATE | grep -q HIDDEN || { echo "FAIL: the window did not minimise"; exit 1; }

status=0
"$copy" 2> /dev/null || status=$?
[ "$status" -eq 3 ] || { echo "FAIL: the second copy exited with $status, not 3"; exit 1; }
for _ in $(seq 30); do
  xprop -id "$id" _NET_WM_STATE | grep -q HIDDEN || break
  sleep 0.1
done
if xprop -id "$id" _NET_WM_STATE | grep -q HIDDEN; then echo "FAIL: the first copy stayed minimised"; exit 1; fi
active=$(xdotool getactivewindow)
[ "$active" = "$id" ] || { echo "FAIL: active window $active is not the field selector $id"; exit 1; }
[ ! -e "$work/TOLV_7_Data/TOLV_D.TXT" ] || { echo "FAIL: an import file was written"; exit 1; }
echo "PASS: restored and active"
