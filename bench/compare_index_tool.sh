#!/usr/bin/env bash
# Checks that two builds of tessel-index behave the same: runs a fixed
# script of cases (every command, its main paths and its refusals, on the
# real nodelists of ../shared/data) once per build, each case in a fresh
# scratch directory, and compares what each case leaves: standard output,
# standard error, every exit status and the files (relative names and the
# md5 of their contents, not their times). For a refactoring: build the
# programs before and after it, then
#
#   bash bench/compare_index_tool.sh OLD_BIN_DIR NEW_BIN_DIR
#
# Each directory is a build tree (or a copy of one) holding tessel,
# tessel-index, tessel-make-nodelist and tessel-unpack side by side:
# tessel-index runs its archive reader from beside its own file (else from
# ../libexec/tessel, as installed), so each build unpacks with its own
# tessel-unpack. Copy the programs, do not link them: the place of a
# program is that of its real file. Both builds run their cases in
# the same scratch path, so paths in messages match; a temporary list's
# process id (NODELIST.003.PID.new) is masked. Prints one line per case,
# "same" or "DIFFERS" with a unified diff of the two records, and ends
# with status 1 when any case differs. TESSEL_DATA overrides the folder
# of real nodelists; TESSEL_COMPARE_RECORDS=DIR keeps every case's two
# records there (NAME.old, NAME.new), to read what a case does.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 OLD_BIN_DIR NEW_BIN_DIR" >&2
  exit 2
fi
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OLD=$(cd "$1" && pwd) || exit 2
NEW=$(cd "$2" && pwd) || exit 2
DATA=${TESSEL_DATA:-$ROOT/../shared/data}
for dir in "$OLD" "$NEW"; do
  for program in tessel tessel-index tessel-make-nodelist tessel-unpack; do
    [ -x "$dir/$program" ] || { echo "$dir has no $program" >&2; exit 2; }
  done
done
for file in nodelist.362 nodelist.003 nodediff.003 NODELIST.122 tqwnet.233; do
  [ -f "$DATA/$file" ] || { echo "$DATA has no $file" >&2; exit 2; }
done

SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/tic-XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
WORK=$SCRATCH/case  # where every case runs, for both builds
unset KORVO
export TZ=UTC LC_ALL=C
T0=1600000000  # the fixtures' time; "put ... DAYS" is that many days later

# put SOURCE DEST [DAYS]: a fixture, dated T0 + DAYS days.
put() {
  mkdir -p "$(dirname "$2")"
  cp "$1" "$2"
  touch -d "@$((T0 + ${3:-0} * 86400))" "$2"
}
# step PROGRAM ARGS...: runs the build's PROGRAM, marking both streams with
# the command and standard output with its status.
step() {
  local program=$1 status=0
  shift
  echo "\$ $program $*"
  echo "\$ $program $*" >&2
  "$BIN/$program" "$@" || status=$?
  echo "[status $status]"
}
ti() { step tessel-index "$@"; }
tessel() { step tessel "$@"; }
# zip_as ARCHIVE FILE MEMBER
zip_as() {
  mkdir -p "$(dirname "$1")"
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED).write(sys.argv[2], sys.argv[3])' \
    "$1" "$2" "$3"
  touch -d "@$((T0 + 7 * 86400))" "$1"
}
# The index of nl/NODELIST.362, built.
indexed_362() {
  put "$DATA/nodelist.362" nl/NODELIST.362
  ti init nl/NODELIST
  tessel
}

# The cases: each runs in an empty current directory.
case_usage_errors() {
  ti
  ti bogus
  ti show --bogus
  ti show extra
  ti find
  ti init
  ti init --force
  ti changes 1:1/1 2:2/2
  ti show --data
  ti init --home
  ti update --keep 0
  ti update --keep x
  ti update --diff NODELIST
  ti update --diff NODELIST=dir/DIFF
  ti update --done ''
  ti update --inbound
}
case_help_and_version() {
  ti --help
  ti show -h
  ti --version
}
case_missing_index() {
  for command in show verify update changes check; do ti "$command"; done
  ti find 1:102/0
  ti show --data nowhere
  mkdir home
  KORVO=$WORK/home ti show
  KORVO=$WORK/home ti check
}
case_init_fresh() {
  put "$DATA/nodelist.362" nl/NODELIST.362
  ti init nl/NODELIST nl/OTHERS
  ti show
  mkdir data
  ti init --data data nl/NODELIST
  ti show --data data
}
case_init_refused() {
  put "$DATA/nodelist.362" nl/NODELIST.362
  ti init nl/NODELIST.362
  ti init nl/NODELIST.Z03
  ti init NL
  ti init nl/NODELIST nl/nodelist
  ti init nl/A_BASE_NAME_FAR_TOO_LONG_FOR_THE_CATALOGUE_SLOT
  mkdir -p home data/with/a/path/long/enough/to/be/refused/by/init
  ti init --data "$WORK/data/with/a/path/long/enough/to/be/refused/by/init" --home home nl/NODELIST
  ti init nl/NODELIST
  ti init nl/NODELIST
}
case_init_force() {
  indexed_362
  ti init --force nl/NODELIST nl/SECOND
  ti show
  tessel
  ti show
}
case_init_home() {
  put "$DATA/nodelist.362" nl/NODELIST.362
  mkdir home data
  ti init --data "$WORK/data" --home "$WORK/home" nl/NODELIST
  ti init --data "$WORK/data" --home "$WORK/home" nl/NODELIST
  ti init --force --data "$WORK/data" --home "$WORK/home" nl/NODELIST nl/SECOND
  KORVO=$WORK/home tessel
  KORVO=$WORK/home ti show
  KORVO=$WORK/home ti find 1:102/0
  KORVO=$WORK/home ti check
  KORVO=$WORK/home ti verify
}
case_show_after_build() {
  put "$DATA/nodelist.362" nl/NODELIST.362
  ti init nl/NODELIST
  ti show
  tessel
  ti show
}
case_find() {
  indexed_362
  ti find 1:102/0
  ti find 1:102/0.0@fidonet
  ti find 1:1/0
  ti find 1:102/*
  ti find bob_satti
  ti find "Bob S"
  ti find josh
  ti find -- -
  ti find 1:102/x
}
case_find_no_match() {
  indexed_362
  ti find 9:9/9
  ti find 1:102/0.5
  ti find 9:9/*
  ti find zzzzzz
}
case_verify_clean() {
  indexed_362
  ti verify
}
case_verify_corrupted() {
  indexed_362
  printf 'XXXXXXXX' | dd of=nlindex.qdx bs=1 seek=5000 conv=notrunc status=none
  ti verify
  ti check
  truncate -s -1000 nlindex.qdx
  ti verify
  ti show
  printf 'x' >nlindex.qdx
  ti verify
  ti show
}
case_check_good() {
  indexed_362
  ti check
  ti check --data .
}
case_check_missing() {
  indexed_362
  ti init --force nl/NODELIST nl/GONE
  tessel
  ti check
  # Slot 2 renamed in place to slot 1's name, which init refuses to write.
  ti init --force nl/NODELIST nl/NODELIS2
  printf 'T' | dd of=nlindex.qdx bs=1 seek=70 conv=notrunc status=none
  tessel -F
  ti check
  # Files of stopped runs, three and a half days old (check names their age).
  local stale
  for stale in stale/nlindex.foo nlindex.foo nlindex.bar nl/NODELIST.003.4242.new; do
    put "$DATA/nodelist.362" "$stale"
    touch -d "@$(($(date +%s) - 302400))" "$stale"
  done
  head -c 100000 "$DATA/nodelist.003" >nl/NODELIST.003
  touch -d "@$((T0 + 7 * 86400))" nl/NODELIST.003
  ti check
  rm nl/NODELIST.*
  ti check
}
case_changes() {
  put "$DATA/nodelist.362" nl/NODELIST.362
  put "$DATA/nodelist.003" nl/NODELIST.003 7
  ti init nl/NODELIST
  tessel
  ti changes
  ti changes 1:102/*
  ti changes 2:*
  ti changes 1:102/0
  ti changes 1:102
}
case_changes_without_earlier_list() {
  indexed_362
  ti changes
}
case_update_diff_and_build() {
  indexed_362
  put "$DATA/nodediff.003" nl/NODEDIFF.003 7
  ti update
  tessel
  ti show
  ti verify
  ti changes 1:102/*
  ti find 1:102/0
}
case_update_zipped_diff() {
  indexed_362
  zip_as inbound/NODEDIFF.Z03 "$DATA/nodediff.003" NODEDIFF.003
  ti update --inbound inbound
  tessel
  ti show
}
case_update_full_lists() {
  indexed_362
  put "$DATA/nodelist.003" inbound/NODELIST.003 7
  zip_as nl/NODELIST.Z03 "$DATA/nodelist.003" NODELIST.003
  ti update --inbound inbound
}
case_update_other_network_refused() {
  put "$DATA/NODELIST.122" nl/NODELIST.122
  ti init nl/NODELIST
  put "$DATA/tqwnet.233" in/NODELIST.233 10
  ti update --inbound in
}
case_update_accept() {
  put "$DATA/NODELIST.122" nl/NODELIST.122
  ti init nl/NODELIST
  put "$DATA/tqwnet.233" in/NODELIST.233 10
  ti update --inbound in --accept NODELIST.233
  ti update --inbound in --accept in/NODELIST.233
}
case_update_done_and_bad() {
  indexed_362
  mkdir "done" bad
  put "$DATA/nodediff.003" in/NODEDIFF.003 7
  put "$DATA/nodelist.362" in/NODELIST.362
  put "$DATA/nodediff.003" in/NODEDIFF.010 14
  put "$DATA/NODELIST.122" done/NODEDIFF.003
  printf '<html>not found</html>\r\n' >in/NODEDIFF.017
  ti update --inbound in --done "done" --bad bad
  ti update --inbound in --done "done" --bad bad
  ti update --inbound in --done nowhere
  ti update --inbound in --bad .
}
case_update_keep() {
  put "$DATA/nodelist.362" nl/NODELIST.348 -14
  put "$DATA/nodelist.362" nl/NODELIST.355 -7
  indexed_362
  put "$DATA/nodediff.003" nl/NODEDIFF.003 7
  ti update --keep 1
  ls nl
}
case_update_crc_bad_diff() {
  indexed_362
  mkdir in
  sed '27s/Sanford/Sanfxrd/' "$DATA/nodediff.003" >in/NODEDIFF.003
  touch -d "@$((T0 + 7 * 86400))" in/NODEDIFF.003
  ti update --inbound in
  head -c 20000 "$DATA/nodediff.003" >in/NODEDIFF.003
  ti update --inbound in
}
case_update_diff_naming() {
  put "$DATA/nodelist.362" nl/FIDONET.362
  ti init nl/FIDONET
  put "$DATA/nodediff.003" nl/FIDODIFF.003 7
  ti update
  ti update --diff nl/FIDONET=FIDODIFF
}
case_made_up_lists() {
  mkdir nl in
  step tessel-make-nodelist 20000 1 nl/NODELIST.100
  step tessel-make-nodelist 20000 2 in/NODELIST.107 --lf --zones 6
  touch -d "@$T0" nl/NODELIST.100
  touch -d "@$((T0 + 7 * 86400))" in/NODELIST.107
  ti init nl/NODELIST
  tessel
  ti verify
  ti find 1:1/0
  ti find 1:128/*
  ti find pierre_p
  ti update --inbound in
}
case_update_nothing_to_do() {
  indexed_362
  ti update
  put "$DATA/nodediff.003" nl/NODEDIFF.003 7
  ti update
  ti update
}
case_update_later_day() {
  indexed_362
  put "$DATA/nodediff.003" nl/NODEDIFF.010 14
  ti update
}

differ=0
# run_case NAME: runs case_NAME once per build and compares the records.
run_case() {
  local name=$1 side
  for side in old new; do
    rm -rf "$WORK" && mkdir "$WORK"
    BIN=$OLD
    [ $side = new ] && BIN=$NEW
    (cd "$WORK" && "case_$name") >"$SCRATCH/out" 2>"$SCRATCH/err"
    {
      echo "--- standard output"
      cat "$SCRATCH/out"
      echo "--- standard error"
      cat "$SCRATCH/err"
      echo "--- files"
      (cd "$WORK" && find . -mindepth 1 | LC_ALL=C sort | while read -r path; do
        if [ -d "$path" ]; then echo "$path/"; else echo "$(md5sum <"$path" | cut -c1-32) $path"; fi
      done)
    } | sed -e "s|$WORK|<scratch>|g" -e 's/\(\.[0-9][0-9][0-9]\)\.[0-9][0-9]*\.new/\1.<pid>.new/g' >"$SCRATCH/$side"
  done
  if [ -n "${TESSEL_COMPARE_RECORDS:-}" ]; then
    mkdir -p "$TESSEL_COMPARE_RECORDS"
    cp "$SCRATCH/old" "$TESSEL_COMPARE_RECORDS/$name.old"
    cp "$SCRATCH/new" "$TESSEL_COMPARE_RECORDS/$name.new"
  fi
  if cmp -s "$SCRATCH/old" "$SCRATCH/new"; then
    echo "same     $name"
  else
    echo "DIFFERS  $name"
    diff -u --label "old: $name" --label "new: $name" "$SCRATCH/old" "$SCRATCH/new"
    differ=1
  fi
}

for name in $(sed -n 's/^case_\([a-z0-9_]*\)() {$/\1/p' "$0"); do
  run_case "$name"
done
exit $differ
