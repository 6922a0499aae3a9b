#!/usr/bin/env bash
# Checks that two builds of tessel give the same results: the index bytes,
# the console output and the exit status of a forced build of every real
# nodelist (alone, all together, and with a zone left out) and of every
# synthetic set that bench/run.sh has made. For tuning: build the program
# before and after a change, then
#
#   bash bench/compare.sh OLD/tessel NEW/tessel
#
# Prints one line per case and ends with status 1 when any case differs.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OLD=$(realpath "$1")
NEW=$(realpath "$2")
DATA=${TESSEL_BENCH_DATA:-$ROOT/../shared/data}
WORK=${TESSEL_BENCH_WORK:-/dev/shm/tessel-bench}
BUILD=$ROOT/build/bench-release
BT=$BUILD/bench_tool
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTESSEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target bench_tool -j2 >/dev/null
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/tessel-compare-XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT

differ=0
# check NAME DIR ARGS... : runs both builds on a copy of DIR's index.
check() {
  local name=$1 dir=$2
  shift 2
  local head
  head=$(mktemp "$SCRATCH/head-XXXXXX")
  cp "$dir/nlindex.qdx" "$head"
  local results=()
  for bin in "$OLD" "$NEW"; do
    cp "$head" "$dir/nlindex.qdx"
    local st=0
    (cd "$dir" && "$bin" "$@" >"$SCRATCH/out") || st=$?
    cp "$dir/nlindex.qdx" "$SCRATCH/index.$(basename "$(dirname "$bin")")-$st"
    results+=("$st $(md5sum <"$dir/nlindex.qdx" | cut -c1-32) $(md5sum <"$SCRATCH/out" | cut -c1-32)")
  done
  cp "$head" "$dir/nlindex.qdx"
  if [ "${results[0]}" = "${results[1]}" ]; then
    echo "same      $name (status ${results[0]%% *}, index $(stat -c %s "$SCRATCH"/index.*-* | head -1) bytes)"
  else
    echo "DIFFERENT $name: old ${results[0]} / new ${results[1]}"
    differ=1
  fi
  rm -f "$SCRATCH"/index.*
}

if [ -d "$DATA" ]; then
  real=$SCRATCH/real
  mkdir -p "$real"
  slots=()
  for file in nodelist.362 nodelist.003 NODELIST.122 tqwnet.233; do
    [ -f "$DATA/$file" ] || continue
    ln -s "$DATA/$file" "$real/$file"
    slots+=("${file%.*}:${file##*.}")
    one=$SCRATCH/one-$file
    mkdir -p "$one"
    ln -s "$DATA/$file" "$one/$file"
    "$BT" index "$one/nlindex.qdx" "${file%.*}:${file##*.}"
    check "$file" "$one" -F
  done
  "$BT" index "$real/nlindex.qdx" "${slots[@]}"
  check "all real lists" "$real" -F
  check "all real lists, zone 2 left out" "$real" -F 2
  check "all real lists, up to date" "$real"
fi
for dir in "$WORK"/sets/*/; do
  [ -f "$dir/nlindex.qdx" ] || continue
  check "set $(basename "$dir")" "$dir" -F
done
exit $differ
