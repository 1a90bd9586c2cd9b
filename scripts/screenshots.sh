#!/usr/bin/env bash
# Takes the README's screenshots of both windows under Xvfb with openbox:
#   bash scripts/screenshots.sh [PROGRAM]
# Needs xvfb, openbox, imagemagick and xdotool (installed here if missing).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/ui/vantrelix}
for p in xvfb openbox imagemagick xdotool; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p"; }
done
work=$(mktemp -d /tmp/vantrelix-shots-XXXXXX)
# A runtime folder of its own: Qt would otherwise leave /tmp/runtime-root.
export DISPLAY=:77 VANTRELIX_COMMON_DOCUMENTS="$work" XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
Xvfb "$DISPLAY" -screen 0 1600x1000x24 >/dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; pkill -P $$ openbox 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
openbox >/dev/null 2>&1 &
sleep 1
mkdir -p "$work/TOLV_7_Data"
cp examples/Sample_VANTRELIX.CSV "$work/TOLV_7_Data/"

"$program" 2>/dev/null & run=$!
sleep 0.6
import -window "$(xdotool search --sync --name 'VANTRELIX-1' | head -1)" -frame docs/main-window.png
wait $run

"$program" SETUP 2>/dev/null & run=$!
id=$(xdotool search --sync --name 'Field Selector-2' | head -1)
sleep 1.5
import -window "$id" -frame docs/field-selector.png
xdotool windowactivate --sync "$id" key --clearmodifiers alt+F4
wait $run
# The field selector on an export that the reading in force reads only in
# part: day-first dates under month-first rules, and times without a colon.
mkdir -p "$work/unread/TOLV_7_Data"
printf '%s\r\n' "Date,Time,Patient,Doctor,Phone" \
  '14/12/2026,0930am,"Garcia, Maria",Dr. Patel,555-0142' \
  '3/12/2026,1015am,"Okafor, Grace",Dr. Patel,555-0178' \
  '15/12/2026,0105pm,"Chen, Li",Dr. Lee,555-0119' \
  '9/12/2026,0800am,"Schmidt, Lukas",Dr. Nguyen,555-0163' \
  > "$work/unread/TOLV_7_Data/Sample_VANTRELIX.CSV"
VANTRELIX_COMMON_DOCUMENTS="$work/unread" LANG=C.UTF-8 LC_ALL= "$program" SETUP 2>/dev/null & run=$!
id=$(xdotool search --sync --name 'Field Selector-2' | head -1)
sleep 1.5
import -window "$id" -frame docs/field-selector-unread.png
xdotool windowactivate --sync "$id" key --clearmodifiers alt+F4
wait $run
echo "docs/main-window.png docs/field-selector.png docs/field-selector-unread.png"
exit 0
