#!/usr/bin/env bash
# Kills the program with SIGKILL at random instants of a pass, in the three
# ways the import file is written (an unnamed file, a named temporary file,
# a rewrite in place where the folder takes no new file), then lets the next
# run complete. Counts imports that are neither the old nor the new one, and
# temporary files left after the next run. Needs root (the in-place runs are
# made as user 4301, the named ones through a preloaded shim).
#   bash bench/kill_sweep.sh PROGRAM [KILLS_PER_MODE]
set -euo pipefail
program=$(readlink -f "$1")
kills=${2:-100}
[ "$(id -u)" -eq 0 ] || { echo "needs root"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/vantrelix-kills-XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# A file system without unnamed files, as a network share is.
cat > "$work/notmpfile.c" <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
int openat(int dir, const char* path, int flags, ...) {
  static int (*real)(int, const char*, int, ...);
  if (!real) real = dlsym(RTLD_NEXT, "openat");
  va_list ap; va_start(ap, flags); int mode = va_arg(ap, int); va_end(ap);
  if ((flags & O_TMPFILE) == O_TMPFILE) { errno = EOPNOTSUPP; return -1; }
  return real(dir, path, flags, mode);
}
C
cc -shared -fPIC -O2 -o "$work/notmpfile.so" "$work/notmpfile.c" -ldl

python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
for tag, n in (("a", 600000), ("b", 650000)):
    with open(f"{w}/{tag}.csv", "w") as f:
        f.write("Date,Time,Patient,Doctor,Phone\n")
        for i in range(n):
            f.write(f"12/{i % 28 + 1}/2026,9:{i % 60:02d} am,\"{tag}{i}, Pat\",Dr. Lee,555-{i % 10000:04d}\n")
PY

docs="$work/docs"
data="$docs/TOLV_7_Data"
mkdir -p "$data" "$work/run"
chmod 700 "$work/run"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export VANTRELIX_COMMON_DOCUMENTS=$docs LANG=C.UTF-8 XDG_RUNTIME_DIR=$work/run

run() {  # mode; the program replaces the calling (sub)shell, so that $! is its pid
  case $1 in
    unnamed) exec "$program" ;;
    named) LD_PRELOAD="$work/notmpfile.so" exec "$program" ;;
    inplace) exec setpriv --reuid=4301 --regid=4301 --clear-groups \
               env XDG_RUNTIME_DIR="$work/run4301" "$program" ;;
  esac
}

# The settings name $data/source.csv; the first run writes the defaults.
"$program" > /dev/null 2>&1 || true
python3 - "$data/VANTRELIX_SU.DAT" "$data/source.csv" <<'PY'
import sys
p, src = sys.argv[1], sys.argv[2].encode()
b = bytearray(open(p, "rb").read())
b[0] = len(src); b[1:1 + len(src)] = src
open(p, "wb").write(b)
PY
for tag in a b; do
  cp "$work/$tag.csv" "$data/source.csv"
  "$program" > /dev/null
  cp "$data/TOLV_D.TXT" "$work/$tag.expected"
done

for mode in unnamed named inplace; do
  if [ $mode = inplace ]; then
    mkdir -p "$work/run4301" && chown 4301 "$work/run4301" && chmod 700 "$work/run4301"
    chown 4301 "$data/VANTRELIX_SU.DAT" && chmod 644 "$data/VANTRELIX_SU.DAT"
    chmod 666 "$data/TOLV_D.TXT"
    chmod 644 "$data/source.csv"
    chmod 555 "$data"
  fi
  # How long a pass takes, so that the kills fall inside it.
  start=$(date +%s%N)
  (run $mode) > /dev/null 2> "$work/err" || { echo "$mode: the timing run failed: $(cat "$work/err")"; continue; }
  pass_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  # The program waits a second before it converts: the kills fall after it.
  from_ms=950
  damaged=0 leftover_after_kill=0 leftover_after_next=0 killed_in_pass=0
  for i in $(seq "$kills"); do
    tag=$([ $((i % 2)) -eq 0 ] && echo a || echo b)
    old=$([ $tag = a ] && echo b || echo a)
    # The previous import is the other source's; the next pass converts this one.
    [ $mode = inplace ] && chmod 755 "$data"
    cp "$work/$old.expected" "$data/TOLV_D.TXT"
    cp "$work/$tag.csv" "$data/source.csv"
    [ $mode = inplace ] && chmod 666 "$data/TOLV_D.TXT" && chmod 555 "$data"
    run $mode > /dev/null 2>&1 &
    pid=$!
    sleep "$(awk -v ms=$((from_ms + (RANDOM * 32768 + RANDOM) % (pass_ms - from_ms + 30))) 'BEGIN { printf "%.3f", ms / 1000 }')"
    if kill -9 $pid 2>/dev/null; then killed_in_pass=$((killed_in_pass + 1)); fi
    wait $pid 2>/dev/null || true
    if ! cmp -s "$data/TOLV_D.TXT" "$work/$old.expected" && ! cmp -s "$data/TOLV_D.TXT" "$work/$tag.expected"; then
      damaged=$((damaged + 1))
    fi
    ls -A "$data" | grep -q '^\.TOLV_D\.TXT\.' && leftover_after_kill=$((leftover_after_kill + 1))
    (run $mode) > /dev/null 2> "$work/err" || echo "next run failed ($mode, kill $i): $(cat "$work/err")"
    cmp -s "$data/TOLV_D.TXT" "$work/$tag.expected" || echo "next run wrong ($mode, kill $i)"
    ls -A "$data" | grep -q '^\.' && leftover_after_next=$((leftover_after_next + 1))
  done
  echo "$mode: pass $pass_ms ms, $kills kills ($killed_in_pass before the end), damaged imports $damaged, temporary files after the kill $leftover_after_kill, after the next run $leftover_after_next"
done
chmod 755 "$data"
