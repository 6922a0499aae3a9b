#!/usr/bin/env bash
# Builds the Release preset whole (every program, tessel-unpack and the
# compressed manual pages, so that `cmake --install build/release` works
# right after it) and runs tessel on the sample nodelist in a scratch
# directory: sets up the catalogue, compiles the index, then reads it back.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

cmake --preset release >/dev/null
cmake --build --preset release -j2
bin="$root/build/release"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/tessel-example-XXXXXX")"
cp examples/NODELIST.001 "$scratch/"
cd "$scratch"
echo
echo "== Scratch directory: $scratch"

run() {
  echo
  echo "\$ $*"
  "$@"
}

run "$bin/tessel-index" init NODELIST
# tessel writes CR LF line ends and redraws its progress with backspaces.
echo
echo "\$ $bin/tessel"
"$bin/tessel" | tr -d '\r'
run "$bin/tessel-index" show
run "$bin/tessel-index" find 2:208/5
run "$bin/tessel-index" find susan_br
run "$bin/tessel-index" verify
