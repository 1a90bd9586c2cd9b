#!/usr/bin/env bash
# Converts the same generated export with this engine and with its peers, side
# by side, checks every peer's output against ours, and prints a table. The
# rounds interleave the programs, so that a busy moment falls on all of them.
# DuckDB (from the npm registry, bench/duckdb) runs with one thread and two.
#   bash bench/run.sh [LINES] [ROUNDS]
# The engine runs through build/bench/convert_bench: the conversion pass
# alone, without the program's one-second start and 250 ms finish.
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-1000000}
rounds=${2:-3}
work=${BENCH_DIR:-/tmp/vantrelix-bench}
mkdir -p "$work/out"

bash scripts/install-deps.sh
missing=()
for p in gawk miller time python3; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
if ! command -v npm > /dev/null; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq nodejs npm
fi
mkdir -p "$work/duckdb"
cp bench/duckdb/package.json bench/duckdb/package-lock.json bench/duckdb/peer.mjs "$work/duckdb/"
(cd "$work/duckdb" && npm ci --no-audit --no-fund --silent)
# The optimised build, as the package ships it.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-release -j2 --target convert_bench > /dev/null

src="$work/export-$lines.csv"
[ -f "$src" ] || python3 bench/generate_export.py "$lines" "$src"
bytes=$(stat -c %s "$src")

declare -A cmd
cmd[engine]="build-release/bench/convert_bench '$src' '$work/out' > /dev/null"
cmd[cat]="cat '$src' > '$work/cat.txt'"
cmd[gawk]="LC_ALL=C gawk -f bench/peers.awk '$src' > '$work/gawk.txt'"
cmd[miller]="mlr --icsv --ocsv --quote-all --headerless-csv-output put -f bench/peers.mlr then cut -o -f Patient,Phone,Date,Time,Doctor,Location,Email '$src' | sed 's/\$/\r/' > '$work/miller.txt'"
cmd[python]="python3 bench/peers.py '$src' '$work/python.txt'"
cmd[duckdb1]="node '$work/duckdb/peer.mjs' '$src' '$work/duckdb1.txt' 1"
cmd[duckdb2]="node '$work/duckdb/peer.mjs' '$src' '$work/duckdb2.txt' 2"
order=(engine cat gawk miller python duckdb1 duckdb2)
# PEERS=... (names from the list above) runs only those, with the engine.
if [ -n "${PEERS:-}" ]; then read -r -a order <<< "engine $PEERS"; fi

# Check the peers once, row by row, before timing them.
# What each writes: the engine's import file, the peers' NAME.txt.
output() { if [ "$1" = engine ]; then echo "$work/out/TOLV_D.TXT"; else echo "$work/$1.txt"; fi; }
for name in "${order[@]}"; do bash -c "${cmd[$name]}"; done
for name in "${order[@]}"; do
  case "$name" in engine | cat) continue ;; esac
  if ! cmp -s "$(output engine)" "$(output "$name")"; then
    echo "$name: output differs from the engine's" >&2
    diff <(head -c 2000000 "$(output engine)") <(head -c 2000000 "$(output "$name")") | head -5 >&2
    exit 1
  fi
done
echo "outputs agree, byte for byte: ${order[*]} (cat copies the export) ($(wc -l < "$(output engine)") lines)"

results="$work/results.txt"
: > "$results"
for ((r = 1; r <= rounds; r++)); do
  for name in "${order[@]}"; do
    # Each starts without its last output and with the page cache written
    # out: the engine makes its output durable before it ends (fsync), the
    # peers leave theirs for the kernel to write while the next one runs.
    rm -f "$(output "$name")"
    sync
    /usr/bin/time -f "$name %e %M" -a -o "$results" bash -c "${cmd[$name]}"
  done
done

python3 - "$results" "$lines" "$bytes" <<'PY'
import statistics, sys
path, lines, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
runs = {}
for row in open(path):
    name, secs, rss = row.split()
    runs.setdefault(name, []).append((float(secs), int(rss)))
med = {n: statistics.median(s for s, _ in v) for n, v in runs.items()}
print(f"{lines} lines, {size / 1e6:.1f} MB, {len(next(iter(runs.values())))} rounds")
print(f"{'':8} {'lines/s':>12} {'MB/s':>8} {'peak RSS':>10} {'min s':>7} {'median s':>9} {'max s':>7} {'engine x':>9}")
for name, v in runs.items():
    secs = [s for s, _ in v]
    m = med[name]
    ratio = m / med["engine"]
    print(f"{name:8} {lines / m:12,.0f} {size / 1e6 / m:8.1f} {max(r for _, r in v) / 1024:8.1f}MB "
          f"{min(secs):7.3f} {m:9.3f} {max(secs):7.3f} {ratio:9.2f}")
if "cat" in med:
    print(f"engine time / cat time: {med['engine'] / med['cat']:.2f}")
PY
