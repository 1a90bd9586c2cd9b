#!/usr/bin/env bash
# Instructions per converted line for the whole program in console mode, as
# callgrind counts them (exact, whatever else the machine does): a run on a
# generated export less a run on a one-line export, over the lines between.
#   bash bench/instructions.sh [LINES] [BUILD_FOLDER]
# The optimised build is the one measured (make release-build).
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-100000}
build=${2:-build-release}
program="$PWD/$build/ui/vantrelix"
[ -x "$program" ] || { echo "no $program: run make release-build" >&2; exit 2; }
command -v valgrind > /dev/null || { echo "valgrind is needed (apt-get install valgrind)" >&2; exit 2; }
work=$(mktemp -d /tmp/vantrelix-instructions-XXXXXX)
trap 'rm -rf "$work"' EXIT

python3 bench/generate_export.py "$lines" "$work/export.csv"
head -n 2 "$work/export.csv" > "$work/one.csv"

# Instructions of one console run on SOURCE, settings and data folder its own.
count() {
  local source=$1 run=$work/run-$(basename "$1")
  mkdir -p "$run/home" "$run/data/TOLV_7_Data"
  export HOME=$run/home VANTRELIX_COMMON_DOCUMENTS=$run/data
  env -u DISPLAY -u WAYLAND_DISPLAY "$program" --set source="$source" name=3 phone=5 date=1 time=2 \
    doctor=4 location=6 email=7 header=yes > /dev/null
  # 4: doubtful dates, which the generated export has; still a full pass.
  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY valgrind --tool=callgrind --callgrind-out-file="$run/out" \
    "$program" > /dev/null 2> "$run/log" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 4 ] || { cat "$run/log" >&2; exit 1; }
  grep -o 'Collected : [0-9]*' "$run/log" | grep -o '[0-9]*'
}

many=$(count "$work/export.csv")
one=$(count "$work/one.csv")
python3 - "$many" "$one" "$lines" <<'PY'
import sys
many, one, lines = (int(a) for a in sys.argv[1:])
print(f"whole program, console mode: {many:,} instructions for {lines:,} lines, {one:,} for one")
print(f"instructions per converted line: {(many - one) / (lines - 1):,.0f}")
PY
