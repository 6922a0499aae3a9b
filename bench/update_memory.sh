#!/usr/bin/env bash
# Peak memory of `tessel-index update` with many large nodediffs waiting
# (16 of 60 MiB by default): a figure for bench/results.md, not a test.
# The list it makes from the one diff that applies is checked too.
#
#   bash bench/update_memory.sh [SIZE_MIB] [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
size="${1:-60}"
count="${2:-16}"
build=build/release
cmake --preset release >/dev/null
cmake --build "$build" -j2 --target tessel-index tessel-unpack bench_tool update_memory_bench >/dev/null
work="$(mktemp -d "${TMPDIR:-/tmp}/tessel-update-memory-XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$build/update_memory_bench" "$work" "$size" "$count"
echo "waiting: $(ls "$work/in" | wc -l) diffs, $(du -sm "$work/in" | cut -f1) MiB; list $(du -m "$work/nl/NODELIST.001" | cut -f1) MiB"
read -r median _ _ rss status < <("$build/bench_tool" time 1 0 "$work" -- "$(pwd)/$build/tessel-index" update --inbound in)
[ -f "$work/nl/NODELIST.008" ] || { echo "no nl/NODELIST.008 made (status $status)"; exit 1; }
awk -v s="$median" -v k="$rss" -v st="$status" \
  'BEGIN { printf "update: %.2f s, peak resident %.1f MB, status %s\n", s, k * 1024 / 1e6, st }'
