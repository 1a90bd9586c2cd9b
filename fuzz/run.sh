#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a time.
#   bash fuzz/run.sh SECONDS [TARGET...]
# Findings land in build-fuzz/findings/<target>/; each becomes a test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_comma fuzz_text_reader fuzz_parse fuzz_normalise fuzz_fast_normalise fuzz_setup_load fuzz_conversion)
build=${FUZZ_BUILD:-build-fuzz}
missing=()
for p in clang-14 libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DVANTRELIX_ENGINE_ONLY=ON -DVANTRELIX_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" > /dev/null
cmake --build "$build" -j2 > /dev/null
scratch=$(mktemp -d /tmp/vantrelix-fuzz-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export VANTRELIX_FUZZ_DIR=$scratch
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  echo "== $t for ${seconds}s"
  "$build/fuzz/$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/$t/" -print_final_stats=1 \
    "$build/corpus/$t" "fuzz/corpus/$t" 2>&1 | grep -E '^(stat::number_of_executed_units|stat::new_units_added|==|SUMMARY|property violated)|Done ' || true
  if ls "$build/findings/$t"/* > /dev/null 2>&1; then
    echo "FINDING in $t: $(ls "$build/findings/$t")"
    exit 1
  fi
done
