#!/usr/bin/env bash
# Converts the bundled sample in a throwaway data folder and prints the
# import file. With a display the main window shows; without one the program
# runs in console mode.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/ui/vantrelix}
work=$(mktemp -d /tmp/vantrelix-run-XXXXXX)
trap 'rm -rf "$work"' EXIT

export VANTRELIX_COMMON_DOCUMENTS="$work"
# The guard's lock goes with the throwaway folder too, unless a session has
# its own runtime folder.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$work/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
mkdir -p "$work/TOLV_7_Data"
cp examples/Sample_VANTRELIX.CSV "$work/TOLV_7_Data/Sample_VANTRELIX.CSV"

echo "Data folder: $work/TOLV_7_Data"
status=0
"$program" || status=$?
echo
echo "TOLV_D.TXT:"
cat "$work/TOLV_7_Data/TOLV_D.TXT" 2>/dev/null || echo "(not written)"
exit $status
