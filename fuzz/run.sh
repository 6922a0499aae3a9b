#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build/fuzz and runs each one
# in turn for the given number of seconds (default 60). Fails when a target
# finds a crash, a hang, a sanitizer report or a broken check; the input is
# left in build/fuzz/artifacts/. The real nodelists in ../shared/data, when
# present, seed the nodelist target.
#
# The second argument is libFuzzer's random seed (default 1), so that a run
# from a fresh build folder repeats exactly: a slower machine walks a prefix
# of the same inputs. A seed of 0 picks a new one each time, for longer
# hunts: bash fuzz/run.sh 1800 0.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
seed="${2:-1}"
root="$(pwd)"
build="$root/build/fuzz"

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSEL_FUZZ=ON -DTESSEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target split_line_fuzzer nodelist_fuzzer index_head_fuzzer host_config_fuzzer \
  nodediff_fuzzer archive_member_fuzzer

# target and largest input, in bytes
targets=(
  "split_line_fuzzer 300"
  "nodelist_fuzzer 65536"
  "index_head_fuzzer 12600"
  "host_config_fuzzer 400"
  "nodediff_fuzzer 8192"
  "archive_member_fuzzer 16384"
)
passed=0
failed=0
for entry in "${targets[@]}"; do
  read -r name max_len <<<"$entry"
  corpus="$build/corpus/$name"
  logs="$build/logs/$name"
  mkdir -p "$corpus" "$logs" "$build/artifacts"
  seeds=("$root/fuzz/corpus/$name")
  if [ "$name" = nodelist_fuzzer ] && [ -d "$root/../shared/data" ]; then
    seeds+=("$root/../shared/data")
  fi
  echo "== $name: $seconds s, seed $seed"
  set +e
  (cd "$logs" && nice -n 19 "$build/fuzz/$name" -max_total_time="$seconds" -seed="$seed" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$max_len" -dict="$root/fuzz/nodelist.dict" -jobs=1 -workers=1 \
    -artifact_prefix="$build/artifacts/$name-" "$corpus" "${seeds[@]}" >/dev/null 2>&1)
  result=$?
  set -e
  log="$logs/fuzz-0.log"
  grep -E '^(#[0-9]+.*(DONE|pulse)|Done [0-9]+ runs)' "$log" | tail -n 2 || true
  if [ $result -eq 0 ]; then
    passed=$((passed + 1))
  else
    echo "$name failed (status $result):"
    tail -n 40 "$log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
