#!/usr/bin/env bash
# Runs tessel (Linux) and tessel.exe (under Wine) on the same inputs and
# compares what they leave: console bytes (the banner's second line, which
# names the build, aside), exit status and index bytes. Inputs: the example
# nodelist, and the real lists of ../shared/data when that folder is there.
# With those lists, tessel-index update and tessel-index.exe update (its
# archive reader tessel-unpack.exe under Wine) apply the real nodediff,
# zipped, and must make the same list.
# Usage: .ci/wine-compare.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux="$(cd "$1" && pwd)" windows="$(cd "$2" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$windows/wineprefix}" WINEDEBUG=-all TZ=UTC
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tessel-wine-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
shared="$root/../shared/data"
sets=("NODELIST=$root/examples/NODELIST.001")
if [ -d "$shared" ]; then
  sets+=("NODELIST=$shared/nodelist.362" "NODELIST=$shared/nodelist.003" "NODELIST=$shared/NODELIST.122"
         "TQWNET=$shared/tqwnet.233"
         "NODELIST=$shared/nodelist.362 FIDOZ2=$shared/NODELIST.122 TQWNET=$shared/tqwnet.233")
fi
failed=0
for set in "${sets[@]}"; do
  for side in linux windows; do
    rm -rf "${scratch:?}/$side" && mkdir -p "$scratch/$side"
    bases=()
    for item in $set; do
      base="${item%%=*}" file="${item#*=}"
      cp "$file" "$scratch/$side/$base.${file##*.}"
      touch -d @1600000000 "$scratch/$side/$base.${file##*.}"
      bases+=("$base")
    done
    (cd "$scratch/$side" && "$linux/tessel-index" init "${bases[@]}" >/dev/null)
  done
  # A build, an up-to-date run, a forced one leaving out zones; then the
  # index read-only (status 5) and cut short (status 100).
  for args in "" "" "-F 2 3" "-F readonly" "-F damaged"; do
    case "$args" in
      *readonly) chmod 444 "$scratch"/*/nlindex.qdx; args=-F ;;
      *damaged) chmod 644 "$scratch"/*/nlindex.qdx; for s in linux windows; do printf x >"$scratch/$s/nlindex.qdx"; done; args=-F ;;
    esac
    (cd "$scratch/linux" && { "$linux/tessel" $args >../linux.out; echo $? >../linux.status; } || true)
    (cd "$scratch/windows" && { wine "$windows/tessel.exe" $args >../windows.out; echo $? >../windows.status; } || true)
    same=yes
    cmp -s <(sed '2d' "$scratch/linux.out") <(sed '2d' "$scratch/windows.out") || same="no (console)"
    cmp -s "$scratch/linux.status" "$scratch/windows.status" || same="no (status)"
    cmp -s "$scratch/linux/nlindex.qdx" "$scratch/windows/nlindex.qdx" || same="no (index)"
    echo "${set//$root\/..\//} [tessel $args]: status $(cat "$scratch/linux.status"), $(wc -c <"$scratch/linux.out") console bytes, same: $same"
    [ "$same" = yes ] || failed=1
  done
done

if [ -d "$shared" ]; then
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED).write(sys.argv[2], "NODEDIFF.003")' \
    "$scratch/NODEDIFF.Z03" "$shared/nodediff.003"
  for side in linux windows; do
    rm -rf "${scratch:?}/$side" && mkdir -p "$scratch/$side/nl" "$scratch/$side/inbound"
    cp "$shared/nodelist.362" "$scratch/$side/nl/NODELIST.362"
    cp "$scratch/NODEDIFF.Z03" "$scratch/$side/inbound/"
    (cd "$scratch/$side" && "$linux/tessel-index" init nl/NODELIST >/dev/null)
  done
  (cd "$scratch/linux" && { "$linux/tessel-index" update --inbound inbound >../linux.out; echo $? >../linux.status; } || true)
  (cd "$scratch/windows" && { wine "$windows/tessel-index.exe" update --inbound inbound >../windows.out; echo $? >../windows.status; } || true)
  same=yes
  cmp -s "$scratch/linux.status" "$scratch/windows.status" || same="no (status)"
  [ -s "$scratch/linux/nl/NODELIST.003" ] || same="no (tessel-index made no NODELIST.003)"
  cmp -s "$scratch/linux/nl/NODELIST.003" "$scratch/windows/nl/NODELIST.003" || same="no (NODELIST.003)"
  echo "nodediff.003 zipped [tessel-index update]: status $(cat "$scratch/linux.status"), same list: $same"
  [ "$same" = yes ] || { cat "$scratch/windows.out"; failed=1; }
fi
exit $failed
