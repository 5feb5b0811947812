#!/usr/bin/env bash
# End-to-end timings of the real program, as a user meets them: start ->
# list visible, mark toggle key -> frame and key -> marks file on disk,
# peak memory; beside `ls -1 -a` and the cheap reference pipeline (readdir
# with d_type, sort, MD5, lines) measured in the same rounds.
#
#   bench/e2e_bench.sh [-b BUILD_DIR] [-d DATA_DIR] [-r ROUNDS] [-t TOGGLES]
#                      [-s "1000 10000 100000 1000000"] [-p LABEL=PROGRAM]...
#                      [-c] [-a]
#
# Without -p it measures the program of BUILD_DIR (built first). Each -p
# adds a program under a label; several are run in turn within each round,
# so that their ratios come from one run on the same load.
#
# With -c each round also runs every program on folders of names of CJK
# ideographs (cjk-entries-N), every character drawn from the system's
# fonts; their rows carry the label "cjk". With -a, the same on folders of
# names of two Arabic words (arabic-entries-N), every word shaped; label
# "arabic".
#
# Runs on a private Xvfb. Directories are made once in DATA_DIR (default
# $ORCHARD_BENCHDATA, else $TMPDIR/orchard-e2e-data) and reused. Sizes are
# interleaved within each round; the first round only warms caches and
# the marks files and is not counted. Prints medians; the raw values stay
# in the file named on the last line.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
data=${ORCHARD_BENCHDATA:-${TMPDIR:-/tmp}/orchard-e2e-data}
rounds=5
toggles=6
sizes="1000 10000 100000 1000000"
programs=()
kinds=entries
while getopts "b:d:r:t:s:p:ca" opt; do
  case $opt in
    b) build=$OPTARG ;;
    d) data=$OPTARG ;;
    r) rounds=$OPTARG ;;
    t) toggles=$OPTARG ;;
    s) sizes=$OPTARG ;;
    p) programs+=("$OPTARG") ;;
    c) kinds="$kinds cjk-entries" ;;
    a) kinds="$kinds arabic-entries" ;;
    *) sed -n '2,26p' "$0" >&2; exit 2 ;;
  esac
done

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORCHARD_BENCH=ON >/dev/null
if ((${#programs[@]} == 0)); then
  cmake --build "$build" -j2 --target orchard-menu e2e_probe >/dev/null
  programs=("=$(realpath "$build/app/orchard-menu")")
else
  cmake --build "$build" -j2 --target e2e_probe >/dev/null
fi
probe=$(realpath "$build/bench/e2e_probe")

mkdir -p "$data"
data=$(realpath "$data")
for n in $sizes; do
  for kind in $kinds; do
    if [[ ! -f "$data/$kind-$n.done" ]]; then
      echo "making $data/$kind-$n" >&2
      rm -rf "$data/$kind-$n"
      names=()
      [[ $kind == cjk-entries ]] && names=(cjk)
      [[ $kind == arabic-entries ]] && names=(arabic)
      "$probe" make-dir "$data/$kind-$n" "$n" "${names[@]}"
      touch "$data/$kind-$n.done"
    fi
  done
done

source scripts/xvfb.sh
start_xvfb
work=$(mktemp -d "${TMPDIR:-/tmp}/orchard-e2e-XXXXXX")
home="$work/home"
mkdir -m 700 "$home"
raw="$work/raw.txt"
: >"$raw"

# "name=value" lines of one measurement become "size [label/]name value".
record() {
  local n=$1 label=${2:-} line
  while IFS= read -r line; do
    [[ $line == *=* ]] || continue
    line=${line%% *}
    echo "$n ${label:+$label/}${line%%=*} ${line#*=}" >>"$raw"
  done
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((round = 0; round <= rounds; ++round)); do
  for n in $sizes; do
    for kind in $kinds; do
      dir="$data/$kind-$n"
      script=""
      [[ $kind == cjk-entries ]] && script=cjk
      [[ $kind == arabic-entries ]] && script=arabic
      if ((round > 0)); then
        "$probe" ls "$dir" | record "$n" "$script"
        "$probe" reference "$dir" | record "$n" "$script"
      fi
      for entry in "${programs[@]}"; do
        label=${entry%%=*}
        program=${entry#*=}
        # Each program keeps marks files of its own.
        mkdir -p -m 700 "$home/$label"
        if ((round == 0)); then
          "$probe" run "$program" "$dir" "$home/$label" 1 >/dev/null
        else
          "$probe" run "$program" "$dir" "$home/$label" "$toggles" | record "$n" "$script${script:+${label:+-}}$label"
        fi
      done
    done
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$(nproc) cores; $rounds rounds of $toggles toggles; medians"
"$probe" table "$raw"
echo "raw values: $raw"
