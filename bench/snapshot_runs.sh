#!/usr/bin/env bash
# Runs a fixed set of complete recordings (both real ones in ../shared/data when
# present, synthetic ones of several sizes, one with a missing slice) with every
# output switched on, and leaves each run's files in OUT/<case>/ with the parts
# that change from run to run taken out: the console without times, run.json
# without its timestamps. Two snapshots of different builds compare with
#   diff -r OUT_BEFORE OUT_AFTER
# Usage: bench/snapshot_runs.sh BUILD_DIR OUT [extra focustrack options...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=$2
shift 2
extra=("$@")
extra_json=""
for word in "${extra[@]}"; do extra_json+=", \"$word\""; done
data="$here/../shared/data"
rm -rf "$out"
mkdir -p "$out/slices"
out=$(cd "$out" && pwd)

# The console with every time figure replaced by "T", and the progress line
# (stderr on a terminal only) absent because stderr is a file here.
normalise_console() {
  sed -E 's/[0-9]+(\.[0-9]+)? ms/T ms/g; s/ +/ /g' "$1"
}

run_case() {
  local name=$1
  shift
  local dir="$out/$name"
  mkdir -p "$dir"
  local status=0
  "$build/focustrack" "$@" -o "$dir/out" -i --masks --dump "$dir/dump" "${extra[@]}" \
    >"$dir/console.raw" 2>"$dir/stderr.txt" || status=$?
  echo "$status" >"$dir/status.txt"
  normalise_console "$dir/console.raw" >"$dir/console.txt"
  rm "$dir/console.raw"
  if [ -f "$dir/out/run.json" ]; then
    sed -E 's/"(startTime|endTime)": *"[^"]*"/"\1": "T"/g' "$dir/out/run.json" >"$dir/run.json"
    rm "$dir/out/run.json"
  fi
  # The command line in run.json names this snapshot's folder; keep it
  # comparable between two snapshots made in different places.
  # So do the build's and the source's folders, and the extra options.
  for file in "$dir/run.json" "$dir/stderr.txt"; do
    [ -f "$file" ] && sed -i "s#$out#OUT#g; s#$build#BUILD#g; s#$here#SOURCE#g" "$file"
  done
  if [ -f "$dir/run.json" ] && [ -n "$extra_json" ]; then sed -i "s#$extra_json\]#]#" "$dir/run.json"; fi
}

synth() {
  local name=$1
  shift
  "$build/focustrack-synth" "$@" -p "$out/slices/$name/t%0_z%1.tif" >/dev/null
}

if [ -d "$data/traps-234" ]; then
  run_case traps-234 -w 234 -h 234 -p "$data/traps-234/t%0_z%1.tif" -c 4 -sc 5
  run_case traps-234-options -w 234 -h 234 -p "$data/traps-234/t%0_z%1.tif" -c 4 -sc 5 \
    -th 0.3 -tc 0.05 -tv 0.2 -b 2
  run_case traps-162 -w 162 -h 162 -p "$data/traps-162/t%0_z%1.tif" -c 5 -sc 5
fi

synth demo -w 320 -h 240 -sc 16 -c 5 --seed 7
run_case demo -w 320 -h 240 -sc 16 -c 5 -p "$out/slices/demo/t%0_z%1.tif"

synth odd -w 97 -h 61 -sc 6 -c 4 --seed 11
run_case odd -w 97 -h 61 -sc 6 -c 4 -p "$out/slices/odd/t%0_z%1.tif"

synth wide -w 640 -h 200 -sc 9 -c 3 --seed 5
run_case wide -w 640 -h 200 -sc 9 -c 3 -p "$out/slices/wide/t%0_z%1.tif"

synth default -w 960 -h 720 -sc 16 -c 3 --seed 3
run_case default -w 960 -h 720 -sc 16 -c 3 -p "$out/slices/default/t%0_z%1.tif"

# A recording whose third frame lacks a slice: the run ends after frame 2.
synth missing -w 200 -h 150 -sc 8 -c 4 --seed 9
rm "$out/slices/missing/t0003_z005.tif"
run_case missing -w 200 -h 150 -sc 8 -c 4 -p "$out/slices/missing/t%0_z%1.tif"

rm -rf "$out/slices"
echo "snapshot in $out: $(find "$out" -type f | wc -l) files"
