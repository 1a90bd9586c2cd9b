#!/usr/bin/env bash
# Big and hostile sources, on demand (make test keeps small versions):
# a large export with flat memory, one huge line without a line end, ten
# million empty lines (at scale 1), binary garbage, every byte value in every field; each
# at two sizes, to show the time grows linearly.
#   bash bench/hostile.sh [SCALE]     SCALE 1: 200 MB export (default); 10: 2 GB
set -euo pipefail
cd "$(dirname "$0")/.."
scale=${1:-1}
work=${BENCH_DIR:-/tmp/vantrelix-hostile}
mkdir -p "$work/out"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j2 --target convert_bench > /dev/null

make_input() {  # kind size path
  python3 - "$@" <<'PY'
import os, random, sys
kind, size, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rng = random.Random(7)
with open(path, "wb") as f:
    if kind == "oneline":
        chunk = b"x" * (1 << 20)
        for _ in range(size >> 20): f.write(chunk)
    elif kind == "empty":
        f.write(b"\r\n" * (size // 2))
    elif kind == "garbage":
        # Without Ctrl-Z, which would end the input at once.
        for _ in range(size >> 20): f.write(rng.randbytes(1 << 20).replace(b"\x1a", b"\x1b"))
    elif kind == "bytes":
        row = b",".join(bytes([b for b in range(256) if b not in (10, 13, 26, 34, 44, 9)]) for _ in range(7))
        line = row + b"\r\n"
        f.write(line * (size // len(line)))
PY
}

run() {  # label path
  local out
  rm -f "$work/out/TOLV_D.TXT"  # replacing a big earlier output would be timed too
  out=$( { /usr/bin/time -f "%e %M" build/bench/convert_bench "$2" "$work/out" > /dev/null; } 2>&1 | tail -1)
  printf "%-28s %10s MB %8s s %8s MB peak\n" "$1" "$(( $(stat -c %s "$2") / 1000000 ))" "${out% *}" "$(( ${out#* } / 1024 ))"
}

export_lines=$((2000000 * scale))
[ -f "$work/export-$export_lines.csv" ] || python3 bench/generate_export.py "$export_lines" "$work/export-$export_lines.csv"
[ -f "$work/export-$((export_lines / 10)).csv" ] || python3 bench/generate_export.py "$((export_lines / 10))" "$work/export-$((export_lines / 10)).csv"
run "export, 1/10 size" "$work/export-$((export_lines / 10)).csv"
run "export" "$work/export-$export_lines.csv"
# kind and the smaller size in bytes (the larger is ten times that); an empty
# line becomes 120 bytes of output, so 10 million of them write 1.2 GB.
for entry in oneline:50000000 empty:2000000 garbage:20000000 bytes:20000000; do
  kind=${entry%%:*}
  for size in $((${entry#*:} * scale)) $((${entry#*:} * scale * 10)); do
    f="$work/$kind-$size"
    [ -f "$f" ] || make_input "$kind" "$size" "$f"
    run "$kind" "$f"
  done
done
