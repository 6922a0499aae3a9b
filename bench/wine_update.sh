#!/usr/bin/env bash
# The weekly update with a zipped nodediff, on Linux and under Wine:
# `tessel-index update --inbound in` applying nodediff.003, zipped as
# NODEDIFF.Z03, to nodelist.362 (the archive read by tessel-unpack, run
# isolated), against the same diff unzipped, each in a fresh directory.
# Prints the figures; passes or fails nothing, and CI never runs it.
#
#   bash bench/wine_update.sh [RUNS]   (default 11 timed runs after a warm-up)
#
# Uses the Release builds build/release (cmake --preset release) and
# build/windows (cmake/build-libarchive-mingw.sh, then cmake --preset
# windows), building what is missing. Wine's server is kept running
# through the runs, as on a machine where Wine is in use; the start of a
# Windows program under Wine is timed alone too (tessel-index.exe
# --version).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-11}
DATA=${TESSEL_BENCH_DATA:-$ROOT/../shared/data}
LINUX=$ROOT/build/release WINDOWS=$ROOT/build/windows
log() { echo "wine bench: $*" >&2; }

(cd "$ROOT" && cmake --preset release >/dev/null && cmake --build --preset release --target tessel-index tessel-unpack -j2 >/dev/null)
(cd "$ROOT" && bash cmake/build-libarchive-mingw.sh >&2 && cmake --preset windows >/dev/null \
   && cmake --build --preset windows --target tessel-index tessel-unpack >/dev/null)
export WINEPREFIX=$WINDOWS/wineprefix WINEDEBUG=-all TZ=UTC
WINE=$(command -v wine || command -v wine64)
"$WINE" wineboot -i >/dev/null 2>&1 || true
wineserver -p 2>/dev/null || true  # already running: kept as it is
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WORK"' EXIT
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tessel-wine-bench-XXXXXX")
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED).write(sys.argv[2], "NODEDIFF.003")' \
  "$WORK/NODEDIFF.Z03" "$DATA/nodediff.003"

now_ns() { date +%s%N; }
# time_update SIDE DIFF: one update in a fresh directory; prints its ms.
time_update() {
  local side=$1 diff=$2 dir=$WORK/run start end
  rm -rf "$dir" && mkdir -p "$dir/nl" "$dir/in"
  cp "$DATA/nodelist.362" "$dir/nl/NODELIST.362"
  cp "$diff" "$dir/in/"
  (cd "$dir" && "$LINUX/tessel-index" init nl/NODELIST >/dev/null)
  start=$(now_ns)
  if [ "$side" = linux ]; then
    (cd "$dir" && "$LINUX/tessel-index" update --inbound in >/dev/null)
  else
    (cd "$dir" && "$WINE" "$WINDOWS/tessel-index.exe" update --inbound in >/dev/null)
  fi
  end=$(now_ns)
  [ -s "$dir/nl/NODELIST.003" ] || { log "$side: no NODELIST.003 from $(basename "$diff")"; exit 1; }
  awk -v n=$((end - start)) 'BEGIN { printf "%.1f\n", n / 1e6 }'
}
time_start() {
  local start end
  start=$(now_ns)
  "$WINE" "$WINDOWS/tessel-index.exe" --version >/dev/null
  end=$(now_ns)
  awk -v n=$((end - start)) 'BEGIN { printf "%.1f\n", n / 1e6 }'
}
# stats CMD...: RUNS timed runs after a warm-up; prints "median min max".
stats() {
  "$@" >/dev/null
  for ((i = 0; i < RUNS; i++)); do "$@"; done | sort -n |
    awk '{ v[NR] = $1 } END { printf "%.1f %.1f %.1f\n", v[int((NR + 1) / 2)], v[1], v[NR] }'
}

log "$RUNS runs each; load $(cut -d' ' -f1-3 /proc/loadavg)"
read -r lz lz_min lz_max < <(stats time_update linux "$WORK/NODEDIFF.Z03")
read -r lp lp_min lp_max < <(stats time_update linux "$DATA/nodediff.003")
read -r wz wz_min wz_max < <(stats time_update windows "$WORK/NODEDIFF.Z03")
read -r wp wp_min wp_max < <(stats time_update windows "$DATA/nodediff.003")
read -r ws ws_min ws_max < <(stats time_start)
echo "| update | Linux ms | Wine ms | Wine/Linux |"
echo "|---|--:|--:|--:|"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "| NODEDIFF.Z03 (zipped, through tessel-unpack) | $lz ($lz_min–$lz_max) | $wz ($wz_min–$wz_max) | $(ratio "$wz" "$lz") |"
echo "| nodediff.003 (plain) | $lp ($lp_min–$lp_max) | $wp ($wp_min–$wp_max) | $(ratio "$wp" "$lp") |"
echo "| the archive's cost (zipped − plain) | $(awk -v a="$lz" -v b="$lp" 'BEGIN { printf "%.1f", a - b }') | $(awk -v a="$wz" -v b="$wp" 'BEGIN { printf "%.1f", a - b }') | |"
echo "| a Windows program's start under Wine (tessel-index.exe --version) | | $ws ($ws_min–$ws_max) | |"
echo
echo "Median of $RUNS runs after one warm-up (min–max); load $(cut -d' ' -f1-3 /proc/loadavg) after the runs."
