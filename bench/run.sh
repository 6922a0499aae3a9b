#!/usr/bin/env bash
# Tessel's benchmark: speed, memory and growth of a forced build on the real
# nodelists and on synthetic sets of 10,000 to 2,000,000 nodes, an
# up-to-date run, and the same work done by what a Linux sysop would use
# instead. Not a test: it passes or fails nothing, and CI never runs it.
#
#   bash bench/run.sh             the full run (about 5 minutes on 2 cores,
#                                 with 1.2 GB of scratch space)
#   bash bench/run.sh --quick     small sizes and few runs, to try the script
#   bash bench/run.sh --prepare   only build and make the synthetic sets
#   bash bench/run.sh --nodediff  only the nodediff section (nodediff.003
#                                 applied to nodelist.362 against a plain
#                                 copy); prints it and writes
#                                 build/bench-nodediff.md
#
# Writes bench/results.md (build/bench-results-quick.md with --quick) and
# prints it. Run it on a quiet machine: other work on the cores shows in
# every figure. Installs crashmail, ifcico and strace with apt-get when they are
# missing and it runs as root; without them their columns stay empty.
#
# Environment: TESSEL_BENCH_WORK  scratch directory (default
#   /dev/shm/tessel-bench, on a RAM disk, so that the disk's flush time
#   does not drown what the programs do; one row measures the disk too);
#   TESSEL_BENCH_DATA  the real nodelists (default ../shared/data);
#   TESSEL_BENCH_RUNS  timed runs per measurement (default 7, at least 5).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
QUICK=0
PREPARE=0
NODEDIFF_ONLY=0
[ "${1:-}" = "--quick" ] && QUICK=1
[ "${1:-}" = "--prepare" ] && PREPARE=1
[ "${1:-}" = "--nodediff" ] && NODEDIFF_ONLY=1
DATA=${TESSEL_BENCH_DATA:-$ROOT/../shared/data}
if [ -n "${TESSEL_BENCH_WORK:-}" ]; then
  WORK=$TESSEL_BENCH_WORK
elif [ -d /dev/shm ] && [ -w /dev/shm ]; then
  WORK=/dev/shm/tessel-bench
else
  WORK=$ROOT/build/bench-work
fi
RUNS=${TESSEL_BENCH_RUNS:-7}
[ "$RUNS" -lt 5 ] && RUNS=5
UPTODATE_RUNS=101
if [ $QUICK = 1 ]; then
  RUNS=3
  UPTODATE_RUNS=21
  RESULTS=$ROOT/build/bench-results-quick.md
else
  RESULTS=$ROOT/bench/results.md
fi
BUILD=$ROOT/build/bench-release
TOOLS=$ROOT/build/bench-tools
TESSEL=$BUILD/tessel
BT=$BUILD/bench_tool
log() { echo "bench: $*" >&2; }

# ---------------------------------------------------------------- tools
missing=()
command -v crashlist >/dev/null 2>&1 || missing+=(crashmail)
[ -x /usr/lib/ifmail/ifindex ] || missing+=(ifcico)
command -v strace >/dev/null 2>&1 || missing+=(strace)
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  log "installing ${missing[*]}"
  apt-get update -qq >/dev/null 2>&1 || true
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null 2>&1 ||
    log "could not install ${missing[*]}; their measurements are skipped"
fi
HAVE_CRASHLIST=0; command -v crashlist >/dev/null 2>&1 && HAVE_CRASHLIST=1
HAVE_IFINDEX=0; [ -x /usr/lib/ifmail/ifindex ] && HAVE_IFINDEX=1
HAVE_STRACE=0; command -v strace >/dev/null 2>&1 && HAVE_STRACE=1

log "building tessel (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTESSEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target tessel tessel-index bench_tool nodediff_bench -j2 >/dev/null
mkdir -p "$TOOLS"
# The program that does nothing, for the up-to-date comparison.
printf 'int main() { return 0; }\n' >"$TOOLS/noop.cc"
g++ -O2 "$TOOLS/noop.cc" -o "$TOOLS/noop"

mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
log "scratch directory $WORK"
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)

# ------------------------------------------------------------- the sets
# name  nodes  nets  files  (zones are spread over the files)
# GROWTH_FROM and GROWTH_TO name the sets whose time per node is compared;
# AWK_GOAL the set measured against awk | sort.
if [ $QUICK = 1 ]; then
  SETS=("2k 2000 60 2" "10k 10000 300 2" "40k 40000 1000 3" "80k 80000 2000 3")
  GROWTH_FROM=10k GROWTH_TO=40k AWK_GOAL=40k
  FAIL_SET=""
else
  # The largest set that builds: the sysop-name ordering holds all nodes of
  # one initial at once, in the memory that the initial chain leaves free.
  # At 2,000,000 nodes that is 13,420 records; at 2,400,000 it is the 5,172
  # of the freed node buffer, and 256 initials hold no more than 1,324,032.
  SETS=("10k 10000 300 2" "100k 100000 2800 3" "1M 1000000 12000 4" "2M 2000000 18000 6")
  GROWTH_FROM=100k GROWTH_TO=1M AWK_GOAL=1M
  FAIL_SET="2.4M 2400000 18000 6"
fi

# Makes the set "name" in $WORK/sets/name unless it is there already.
make_set() {
  local name=$1 nodes=$2 nets=$3 files=$4
  local dir=$WORK/sets/$name stamp="$nodes $nets $files $(cat "$ROOT/bench/bench_tool.cc" "$ROOT/src/testing/nodelist_generator.cc" "$ROOT/src/testing/random.h" | md5sum | cut -c1-12)"
  if [ -f "$dir/.made" ] && [ "$(cat "$dir/.made")" = "$stamp" ]; then return; fi
  log "generating set $name: $nodes nodes, $nets nets, $files files"
  rm -rf "$dir"
  mkdir -p "$dir"
  local slots=() zone=1 f
  for ((f = 1; f <= files; f++)); do
    local zones=$((f % 3 + 2))
    local base
    base=$(printf 'netlist%d' "$f")
    local share=$((nodes / files)) nshare=$((nets / files))
    [ $f = "$files" ] && share=$((nodes - share * (files - 1))) && nshare=$((nets - nshare * (files - 1)))
    "$BT" gen "$dir/$base.123" "$share" "$nshare" "$zones" "$zone" "$((f * 7919 + nodes))" >/dev/null
    slots+=("$base:123")
    zone=$((zone + zones))
  done
  "$BT" index "$dir/nlindex.qdx" "${slots[@]}"
  cp "$dir/nlindex.qdx" "$dir/.head"
  echo "$stamp" >"$dir/.made"
}

# A real list in $WORK/real/name: the file (a link), the index, and the
# peers' directories with their settings.
make_real() {
  local file=$1 name=${1%.*} ext=${1##*.}
  local dir=$WORK/real/$file
  rm -rf "$dir"
  mkdir -p "$dir/tessel" "$dir/crashlist" "$dir/ifindex/out" "$dir/ifindex/in"
  ln -s "$DATA/$file" "$dir/tessel/$file"
  ln -s "$DATA/$file" "$dir/crashlist/$file"
  ln -s "$DATA/$file" "$dir/ifindex/$file"
  "$BT" index "$dir/tessel/nlindex.qdx" "$name:$ext"
  echo "$name" >"$dir/crashlist/cmnodelist.prefs"
  cat >"$dir/ifindex/config" <<EOF
logfile $dir/ifindex/log
debugfile $dir/ifindex/debug
address 2:999/999
inbound $dir/ifindex/in
outbound $dir/ifindex/out
nodelist $dir/ifindex/$name
EOF
}

# ------------------------------------------------------------- nodediff
# Applying the real nodediff.003 to nodelist.362 against a plain copy of the
# list: in-process through the platform layer, and as whole programs
# (tessel-index update against cp -p). Sets NODEDIFF_SECTION.
NODEDIFF_SECTION=""
measure_nodediff() {
  if [ ! -f "$DATA/nodelist.362" ] || [ ! -f "$DATA/nodediff.003" ]; then
    log "no nodelist.362 and nodediff.003 in $DATA; the nodediff rows are skipped"
    return
  fi
  log "nodediff.003 applied to nodelist.362, against a plain copy"
  local runs=$((RUNS * 3))
  read -r nd_copy nd_update nd_wcopy nd_wupdate nd_cp nd_tool < <("$BUILD/nodediff_bench" "$DATA/nodelist.362" \
    "$DATA/nodediff.003" "$runs" "$WORK/nodediff" "$BUILD/tessel-index")
  rm -rf "$WORK/nodediff"
  local r1 r2 r3
  r1=$(ratio "$nd_wupdate" "$nd_wcopy")
  r2=$(ratio "$nd_update" "$nd_copy")
  r3=$(ratio "$nd_tool" "$nd_cp")
  NODEDIFF_RATIO=$r1
  NODEDIFF_SECTION=$(
    echo "## Nodediff: nodediff.003 applied to nodelist.362"
    echo
    echo "Median of $runs runs after one warm-up. In-process, through the platform layer: the copy reads"
    echo "nodelist.362 and writes it to a new file (flushed with fsync); the update reads nodelist.362 and"
    echo "nodediff.003, applies the diff, checks the new list's CRC and writes it the same way; once with"
    echo "buffers kept from run to run (the work alone), once with fresh buffers, as one run of the program"
    echo "meets them (fresh memory costs a page fault per 4 KiB). Whole programs: \`tessel-index update"
    echo "--inbound in\` in a fresh directory (its start, linked statically and without the archive"
    echo "library, which only the helper tessel-unpack loads; the locks, catalogue, listings, the same work,"
    echo "the file made new, its time stamp and rename) against \`cp -p nodelist.362 NODELIST.003\`."
    echo
    echo "| work | copy ms | update ms | update/copy |"
    echo "|---|--:|--:|--:|"
    echo "| in-process, buffers kept | $(ms "$nd_wcopy") | $(ms "$nd_wupdate") | $r1 |"
    echo "| in-process, fresh buffers | $(ms "$nd_copy") | $(ms "$nd_update") | $r2 |"
    echo "| whole programs | $(ms "$nd_cp") | $(ms "$nd_tool") | $r3 |"
  )
}

if [ $PREPARE = 1 ]; then
  for entry in "${SETS[@]}" ${FAIL_SET:+"$FAIL_SET"}; do
    read -r name nodes nets files <<<"$entry"
    make_set "$name" "$nodes" "$nets" "$files"
  done
  exit 0
fi

# ------------------------------------------------------------- measuring
# Results, one line per row, fields separated by "|".
declare -a BUILD_ROWS PEER_ROWS PHASE_ROWS

# time RUNS DIR COMMAND... -> "median min max rss status"
timed() {
  local runs=$1 dir=$2
  shift 2
  "$BT" time "$runs" 1 "$dir" -- "$@"
}

ms() { awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

if [ $NODEDIFF_ONLY = 1 ]; then
  measure_nodediff
  echo "$NODEDIFF_SECTION" | tee "$ROOT/build/bench-nodediff.md"
  exit 0
fi
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1e6 }'; }
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.2fM", n / s / 1e6 }'; }

# Counts the temporary file's read and write calls (and repositionings) of
# one forced build, and the sysop-name passes that read it: a pass runs
# between an initial's display and its backspace.
count_calls() {
  local dir=$1
  if [ $HAVE_STRACE = 0 ]; then echo "- - - -"; return; fi
  (cd "$dir" && strace -qq -y -e trace=read,write,pread64,pwrite64,lseek,readv,writev \
    -o "|awk -f $ROOT/bench/count_calls.awk >$WORK/calls.txt" "$TESSEL" -F >/dev/null)
  # strace has ended; its awk may still be writing.
  for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$WORK/calls.txt" ] && break; sleep 0.2; done
  cat "$WORK/calls.txt"
  rm -f "$WORK/calls.txt"
}

# Measures tessel's forced build in "dir"; appends a row.
measure_tessel() {
  local label=$1 dir=$2 bytes=$3 files=$4
  local out status
  (cd "$dir" && "$TESSEL" -F >"$WORK/out.txt") && status=0 || status=$?
  if [ $status != 0 ]; then
    log "$label: tessel -F ended with status $status: $(tr -d '\r\a' <"$WORK/out.txt" | grep -a -v '^$' | tail -1)"
    return 1
  fi
  local nodes nets
  nodes=$(tr -d '\r' <"$WORK/out.txt" | awk '/nodes processed/ { print $1 }')
  nets=$(tr -d '\r' <"$WORK/out.txt" | awk '/nets processed/ { print $1 }')
  log "$label: timing tessel -F ($nodes nodes)"
  read -r med min max rss st < <(timed "$RUNS" "$dir" "$TESSEL" -F)
  read -r reads writes seeks passes < <(count_calls "$dir")
  TESSEL_TIME[$label]=$med
  TESSEL_NODES[$label]=$nodes
  TESSEL_PASSES[$label]=$passes
  # Where the time goes, from the build's own progress lines.
  read -r ph_read ph_node ph_sysop ph_rest < <("$BT" phases "$RUNS" "$dir" -- "$TESSEL" -F)
  TESSEL_LINEAR[$label]=$(awk -v a="$ph_read" -v b="$ph_node" 'BEGIN { print a + b }')
  TESSEL_SYSOP[$label]=$ph_sysop
  PHASE_ROWS+=("$label|$nodes|$(ms "$ph_read")|$(ms "$ph_node")|$(ms "$ph_sysop")|$(ms "$ph_rest")|$passes|$(awk -v n="$nodes" -v a="$ph_read" -v b="$ph_node" 'BEGIN { printf "%.3f", (a + b) / n * 1e6 }')|$(awk -v n="$nodes" -v c="$ph_sysop" 'BEGIN { printf "%.3f", c / n * 1e6 }')")
  BUILD_ROWS+=("$label|$files|$nodes|$nets|$(mb "$bytes")|$(ms "$med")|$(ms "$min")–$(ms "$max")|$(rate "$nodes" "$med")|$(mib "$rss")|$reads|$writes|$seeks|$passes")
}

measure_peers() {
  local label=$1 dir=$2
  shift 2
  local files=("$@")
  local t=${TESSEL_TIME[$label]}
  log "$label: floor, awk | sort"
  read -r floor _ _ _ _ < <(timed "$RUNS" "$dir" "$BT" readloop "${files[@]}")
  mkdir -p "$WORK/awk"
  read -r awk_t _ _ awk_rss awk_st < <(LC_ALL=C timed "$RUNS" "$dir" env LC_ALL=C awk -f "$ROOT/bench/extract.awk" \
    -v out="$WORK/awk/out" "${files[@]}")
  local cm="-" cmr="-" ifx="-" ifr="-"
  if [ -n "${REAL_DIR[$label]:-}" ]; then
    local rd=${REAL_DIR[$label]}
    if [ $HAVE_CRASHLIST = 1 ]; then
      log "$label: crashlist"
      read -r cm_t _ _ _ cm_st < <(timed "$RUNS" "$rd/crashlist" crashlist .)
      cm=$(ms "$cm_t")
      cmr=$(ratio "$t" "$cm_t")
      CRASHLIST_RATIO[$label]=$cmr
    fi
    if [ $HAVE_IFINDEX = 1 ]; then
      log "$label: ifindex"
      read -r if_t _ _ _ if_st < <(timed "$RUNS" "$rd/ifindex" /usr/lib/ifmail/ifindex -I "$rd/ifindex/config")
      ifx=$(ms "$if_t")
      ifr=$(ratio "$t" "$if_t")
      IFINDEX_RATIO[$label]=$ifr
    fi
  fi
  AWK_RATIO[$label]=$(ratio "$t" "$awk_t")
  FLOOR_RATIO[$label]=$(ratio "$t" "$floor")
  PEER_ROWS+=("$label|$(ms "$t")|$(ms "$floor")|$(ratio "$t" "$floor")|$(ms "$awk_t")|$(ratio "$t" "$awk_t")|$cm|$cmr|$ifx|$ifr")
}

declare -A TESSEL_TIME TESSEL_NODES TESSEL_PASSES TESSEL_LINEAR TESSEL_SYSOP REAL_DIR CRASHLIST_RATIO IFINDEX_RATIO AWK_RATIO FLOOR_RATIO

# ------------------------------------------------------------- real lists
REAL_LABELS=()
if [ -d "$DATA" ]; then
  for file in nodelist.362 nodelist.003 NODELIST.122 tqwnet.233; do
    [ -f "$DATA/$file" ] || continue
    make_real "$file"
    REAL_DIR[$file]=$WORK/real/$file
    measure_tessel "$file" "$WORK/real/$file/tessel" "$(stat -L -c %s "$DATA/$file")" 1 && REAL_LABELS+=("$file")
  done
else
  log "no real nodelists in $DATA; their rows are skipped"
fi

# ------------------------------------------------------------- synthetic sets
SET_LABELS=()
for entry in "${SETS[@]}"; do
  read -r name nodes nets files <<<"$entry"
  make_set "$name" "$nodes" "$nets" "$files"
  dir=$WORK/sets/$name
  bytes=$(cat "$dir"/netlist*.123 | wc -c)
  measure_tessel "$name" "$dir" "$bytes" "$files" && SET_LABELS+=("$name")
done

for label in "${REAL_LABELS[@]}"; do
  measure_peers "$label" "$WORK/real/$label/tessel" "$label"
done
for label in "${SET_LABELS[@]}"; do
  dir=$WORK/sets/$label
  mapfile -t files < <(cd "$dir" && ls netlist*.123)
  measure_peers "$label" "$dir" "${files[@]}"
done

# The 1996 list once more, on the disk under the project, where the build's
# flush of the new index (fsync) waits for the device.
DISK_ROW=""
if [ -n "${REAL_DIR[nodelist.362]:-}" ]; then
  disk=$ROOT/build/bench-disk
  rm -rf "$disk"
  mkdir -p "$disk"
  ln -s "$DATA/nodelist.362" "$disk/nodelist.362"
  "$BT" index "$disk/nlindex.qdx" nodelist:362
  log "nodelist.362 on disk"
  read -r dmed dmin dmax _ _ < <(timed "$RUNS" "$disk" "$TESSEL" -F)
  DISK_ROW="$(ms "$dmed") ms (runs $(ms "$dmin")–$(ms "$dmax") ms)"
  rm -rf "$disk"
fi

# The set past the ceiling: it must end with the insufficient-memory message.
FAIL_NOTE=""
if [ -n "$FAIL_SET" ]; then
  read -r name nodes nets files <<<"$FAIL_SET"
  make_set "$name" "$nodes" "$nets" "$files"
  log "$name: one forced build, expected to run out of memory"
  start=$(date +%s.%N)
  (cd "$WORK/sets/$name" && "$TESSEL" -F >"$WORK/out.txt") && st=0 || st=$?
  end=$(date +%s.%N)
  msg=$(tr -d '\r\a\b' <"$WORK/out.txt" | grep -a -o 'Insufficient memory[^$]*' | head -1 || true)
  FAIL_NOTE="$nodes nodes: exit status $st after $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s, \"${msg:-no message}\""
  rm -rf "$WORK/sets/$name"  # 200 MB of RAM disk
fi

measure_nodediff

# ------------------------------------------------------------- up to date
log "up-to-date run: 10 catalogued nodelists, 100 numbered files each"
UP=$WORK/uptodate
rm -rf "$UP"
mkdir -p "$UP"
"$BT" uptodate "$UP" 10 100
cp "$UP/nlindex.qdx" "$UP/.head"
(cd "$UP" && "$TESSEL" >"$WORK/out.txt") || true
UPTODATE_OK=no
grep -aq "up to date" "$WORK/out.txt" && cmp -s "$UP/nlindex.qdx" "$UP/.head" && UPTODATE_OK=yes
read -r up_t up_min _ up_rss _ < <(timed "$UPTODATE_RUNS" "$UP" "$TESSEL")
read -r noop_t noop_min _ noop_rss _ < <(timed "$UPTODATE_RUNS" "$UP" "$TOOLS/noop")
read -r true_t _ _ _ _ < <(timed "$UPTODATE_RUNS" "$UP" /bin/true)
up_extra=$(awk -v a="$up_t" -v b="$noop_t" 'BEGIN { printf "%.2f", (a - b) * 1000 }')

# ------------------------------------------------------------- the report
MACHINE="$(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
{
  echo "# Benchmark results"
  echo
  echo "Made by \`bash bench/run.sh$([ $QUICK = 1 ] && echo ' --quick')\` on $(date -u '+%Y-%m-%d %H:%M UTC'); machine: $MACHINE;"
  echo "$(uname -sr); scratch directory on $(df -T "$WORK" | awk 'NR == 2 { print $2 }'), page cache warm; load average"
  echo "$LOAD_BEFORE before the run, $(cut -d' ' -f1-3 /proc/loadavg) after it."
  echo "Times are the median of $RUNS runs after one warm-up (min–max beside it); RSS is the peak"
  echo "resident size; reads, writes and seeks are the calls on the temporary file nlindex.foo of one"
  echo "build (strace), passes the sysop-name passes that read it."
  echo
  echo "## Forced build (\`tessel -F\`)"
  echo
  echo "| list | files | nodes | nets | input MB | median ms | min–max ms | nodes/s | peak RSS MiB | temp reads | temp writes | temp seeks | sysop passes |"
  echo "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|"
  for row in "${BUILD_ROWS[@]}"; do echo "|${row}|"; done
  echo
  echo "## Where the time goes"
  echo
  echo "Medians of $RUNS forced builds, split at tessel's progress lines: reading the nodelists into the"
  echo "temporary file (with the program's start), the node-number section, the sysop-name section (its"
  echo "passes), and the rest (flushing and renaming the new index, deleting the temporary file). Below a"
  echo "millisecond the split is as coarse as the pipe that carries the progress lines."
  echo
  echo "| list | nodes | reading ms | node-number ms | sysop-name ms | rest ms | sysop passes | reading + node-number µs/node | sysop-name µs/node |"
  echo "|---|--:|--:|--:|--:|--:|--:|--:|--:|"
  for row in "${PHASE_ROWS[@]}"; do echo "|${row}|"; done
  echo
  [ -n "$DISK_ROW" ] && echo "nodelist.362 with the scratch directory on the disk ($(df -T "$ROOT" | awk 'NR == 2 { print $2 }'), the new index flushed with fsync): $DISK_ROW." && echo
  [ -n "$FAIL_NOTE" ] && echo "Past the ceiling, $FAIL_NOTE (as designed: no pass memory for one initial's nodes)." && echo
  echo "## Against the peers (same files)"
  echo
  echo "floor: one plain read of the same bytes (65,520-byte reads); awk | sort: \`LC_ALL=C awk\` extraction into"
  echo "two \`LC_ALL=C sort\`s, by address and by sysop name; crashlist (crashmail): address index; ifindex"
  echo "(ifcico): gdbm index. Ratios are tessel's time over the peer's."
  echo
  echo "| list | tessel ms | floor ms | tessel/floor | awk+sort ms | tessel/awk+sort | crashlist ms | tessel/crashlist | ifindex ms | tessel/ifindex |"
  echo "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|"
  for row in "${PEER_ROWS[@]}"; do echo "|${row}|"; done
  echo
  echo "## Up-to-date run (10 catalogued nodelists, 100 numbered files in each directory)"
  echo
  echo "| program | median ms | min ms | peak RSS MiB |"
  echo "|---|--:|--:|--:|"
  echo "| \`tessel\` (up to date: $UPTODATE_OK) | $(ms "$up_t") | $(ms "$up_min") | $(mib "$up_rss") |"
  echo "| a C++ program that does nothing | $(ms "$noop_t") | $(ms "$noop_min") | $(mib "$noop_rss") |"
  echo "| \`/bin/true\` | $(ms "$true_t") | | |"
  echo
  echo "Median of $UPTODATE_RUNS runs; tessel takes $up_extra ms more than the program that does nothing."
  echo
  [ -n "$NODEDIFF_SECTION" ] && echo "$NODEDIFF_SECTION" && echo
  echo "## Notes"
  echo
  echo "- Sysop-name passes: the ordering holds one pass of records at once, at most 49,140 and at most"
  echo "  what the heap has left beside the initial chain (one 65,520-byte block per 65,516 nodes); a"
  echo "  build needs more passes where the sets outgrow that: $(for row in "${BUILD_ROWS[@]}"; do echo "$row" | awk -F'|' '{ printf "%s %s, ", $1, $13 }'; done | sed 's/, $//')."
  echo "  With three passes or more and more than 65,516 nodes, the temporary file is read once more"
  echo "  before the first pass and its records are written again behind it, grouped by pass, so that"
  echo "  each pass reads its records with one read; otherwise each pass scans the initial chain and"
  echo "  picks its records out of the file."
  echo "- Sorting: a sysop-name pass and a net's run are ordered by a radix or key sort and, where"
  echo "  two records have equal keys, again by the exact partition-exchange steps (their order of"
  echo "  equal keys is part of the index)."
  echo "- Temporary-file reads count the calls that reach the system; the program asks for one read per"
  echo "  run of records it needs, and the platform layer serves runs that lie close together from one"
  echo "  16 KiB read."
  echo "- Versions: tessel $(cd "$ROOT" && git describe --always --dirty 2>/dev/null || echo '?'), $(dpkg-query -W -f='crashmail ${Version}, ' crashmail 2>/dev/null)$(dpkg-query -W -f='ifcico ${Version}, ' ifcico 2>/dev/null)$(dpkg-query -W -f='mawk ${Version}, ' mawk 2>/dev/null)$(sort --version | head -1)."
  echo
  echo "## Goals"
  echo
  echo "| goal | measured | met |"
  echo "|---|---|---|"
  # The goals: nodelist.362 against crashlist and the floor, the largest
  # sets against awk | sort, the up-to-date run against doing nothing.
  goal() {  # goal DESCRIPTION VALUE LIMIT
    [ -n "$2" ] && [ "$2" != "-" ] &&
      echo "| $1 (≤ $3) | $2 | $(awk -v r="$2" -v l="$3" 'BEGIN { print (r <= l) ? "yes" : "no" }') |"
    return 0
  }
  goal "nodelist.362 over crashlist" "${CRASHLIST_RATIO[nodelist.362]:-}" 0.6
  goal "nodelist.362 over the plain-read floor" "${FLOOR_RATIO[nodelist.362]:-}" 4.5
  if [ $QUICK = 1 ]; then
    goal "$AWK_GOAL nodes over awk + sort" "${AWK_RATIO[$AWK_GOAL]:-}" 0.2
  else
    goal "1M nodes over awk + sort" "${AWK_RATIO[1M]:-}" 0.2
    goal "2M nodes over awk + sort" "${AWK_RATIO[2M]:-}" 0.35
  fi
  echo "| up-to-date run over a program that does nothing (≤ 1.0 ms) | +$up_extra ms | $(awk -v d="$up_extra" 'BEGIN { print (d <= 1.0) ? "yes" : "no" }') |"
  [ -n "${NODEDIFF_RATIO:-}" ] && echo "| nodediff.003 applied to nodelist.362 at most twice a plain copy (in-process, buffers kept; ratio ≤ 2.0) | $NODEDIFF_RATIO | $(awk -v r="$NODEDIFF_RATIO" 'BEGIN { print (r <= 2.0) ? "yes" : "no" }') |"
  # Memory: the working heap's pages count once a build has touched them,
  # so peak RSS rises with the input until the whole heap is in use and
  # stays there however large the input: the two largest sets must agree.
  rss_max=0; rss_min=999999
  for row in "${BUILD_ROWS[@]}"; do
    v=$(echo "$row" | cut -d'|' -f9)
    rss_max=$(awk -v a="$rss_max" -v b="$v" 'BEGIN { print (b > a) ? b : a }')
    rss_min=$(awk -v a="$rss_min" -v b="$v" 'BEGIN { print (b < a) ? b : a }')
  done
  n=${#SET_LABELS[@]}
  flat="-"
  if [ "$n" -ge 2 ]; then
    a=$(for row in "${BUILD_ROWS[@]}"; do echo "$row"; done | awk -F'|' -v l="${SET_LABELS[$((n - 2))]}" '$1 == l { print $9 }')
    b=$(for row in "${BUILD_ROWS[@]}"; do echo "$row"; done | awk -F'|' -v l="${SET_LABELS[$((n - 1))]}" '$1 == l { print $9 }')
    flat=$(awk -v a="$a" -v b="$b" 'BEGIN { d = b - a; if (d < 0) d = -d; print (d <= 0.25) ? "yes" : "no" }')
    flat_note="; ${SET_LABELS[$((n - 2))]} $a MiB, ${SET_LABELS[$((n - 1))]} $b MiB"
  fi
  echo "| peak RSS under 8 MiB at every size, and no growth once the 3,000,000-byte heap is in use | $rss_min–$rss_max MiB$flat_note | $(awk -v m="$rss_max" -v f="$flat" 'BEGIN { print (m < 8 && f != "no") ? "yes" : "no" }') |"
  if [ -n "${TESSEL_TIME[$GROWTH_FROM]:-}" ] && [ -n "${TESSEL_TIME[$GROWTH_TO]:-}" ]; then
    g=$(awk -v a="${TESSEL_TIME[$GROWTH_FROM]}" -v na="${TESSEL_NODES[$GROWTH_FROM]}" \
      -v b="${TESSEL_TIME[$GROWTH_TO]}" -v nb="${TESSEL_NODES[$GROWTH_TO]}" 'BEGIN { printf "%.2f", (b / nb) / (a / na) }')
    gl=$(awk -v a="${TESSEL_LINEAR[$GROWTH_FROM]}" -v na="${TESSEL_NODES[$GROWTH_FROM]}" \
      -v b="${TESSEL_LINEAR[$GROWTH_TO]}" -v nb="${TESSEL_NODES[$GROWTH_TO]}" 'BEGIN { printf "%.2f", (b / nb) / (a / na) }')
    gs=$(awk -v a="${TESSEL_SYSOP[$GROWTH_FROM]}" -v na="${TESSEL_NODES[$GROWTH_FROM]}" \
      -v b="${TESSEL_SYSOP[$GROWTH_TO]}" -v nb="${TESSEL_NODES[$GROWTH_TO]}" 'BEGIN { printf "%.2f", (b / nb) / (a / na) }')
    pf=${TESSEL_PASSES[$GROWTH_FROM]} pt=${TESSEL_PASSES[$GROWTH_TO]}
    if [ "$pf" = "$pt" ]; then
      verdict=$(awk -v g="$g" 'BEGIN { print (g <= 1.05) ? "yes" : "no" }')
    else
      verdict="$(awk -v g="$gl" 'BEGIN { print (g <= 1.05) ? "yes" : "no" }'), except the sysop-name passes ($pf → $pt)"
    fi
    echo "| time no worse than linear from $GROWTH_FROM to $GROWTH_TO nodes, except where the memory budget forces more sysop-name passes (time per node, $GROWTH_TO over $GROWTH_FROM; ≤ 1.00 is linear) | whole build $g; reading + node-number section $gl; sysop-name section $gs with $pf → $pt passes | $verdict |"
  fi
} >"$RESULTS"
cat "$RESULTS"
