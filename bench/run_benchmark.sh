#!/usr/bin/env bash
# Benchmark at the default size, 960 x 720 with 16 slices, on two inputs: a
# synthetic recording and one with real bright-field texture tiled from
# ../shared/data/traps-234 (skipped when that folder is absent). Each input is
# run with --threads 1 and with the default thread count (every core the
# process may use). Prints per input: wall and processor time per frame, the
# elapsed and processor milliseconds of every stage, the peak memory, and the
# speed-up of the default over one thread. The load average before and after
# says how busy the machine was; wall times on a shared machine are noisy.
# Usage: bench/run_benchmark.sh [frames]   (builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-10}
bash scripts/build.sh build >/dev/null
cmake --build build --target real_texture >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data=../shared/data

echo "machine: $(nproc) cores for this process; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
./build/focustrack-synth -w 960 -h 720 -sc 16 -c "$frames" --seed 11 -p "$work/synthetic/t%0_z%1.tif" >/dev/null
inputs=(synthetic)
if [ -d "$data/traps-234" ]; then
  ./build/real_texture "$data/traps-234" "$work/real/t%0_z%1.tif" 960 720 16 "$frames"
  inputs+=(real)
fi

# One run; leaves the stage table in $work/<name>.err and "wall user sys" in
# $work/<name>.time.
run() {
  local input=$1 threads=$2 name=$1-$2
  local TIMEFORMAT="%R %U %S"
  { time ./build/focustrack -w 960 -h 720 -sc 16 -c "$frames" -p "$work/$input/t%0_z%1.tif" \
      -o "$work/out-$name" --stage-times --threads "$threads" >/dev/null 2>"$work/$name.err" ; } \
      2>"$work/$name.time"
}

for input in "${inputs[@]}"; do
  run "$input" 1
  run "$input" 0
  echo
  echo "== $input input, $frames frames of 960 x 720 x 16"
  awk -v n="$frames" -v one="$work/$input-1" -v all="$work/$input-0" '
    function load(file, tag,   line, f) {
      while ((getline line < (file ".err")) > 0) {
        if (line ~ /^\[/) {
          split(line, f, /  +/)
          label[f[1]] = 1; order[++count[tag], tag] = f[1]
          wall[tag, f[1]] = f[4]; cpu[tag, f[1]] = f[5]
        } else if (line ~ /peak memory/) {
          sub(/.*peak memory /, "", line); peak[tag] = line
        }
      }
      getline line < (file ".time"); split(line, f, " ")
      total[tag] = f[1]; user[tag] = f[2] + f[3]
    }
    BEGIN {
      load(one, "one"); load(all, "all")
      printf "%-24s %14s %14s %14s %14s\n", "stage, ms per frame", "1 thread wall", "1 thread cpu", "default wall", "default cpu"
      for (k = 1; k <= count["one"]; ++k) {
        s = order[k, "one"]
        printf "%-24s %14s %14s %14s %14s\n", s, wall["one", s], cpu["one", s], wall["all", s], cpu["all", s]
      }
      printf "%-24s %14.1f %14.1f %14.1f %14.1f\n", "whole run per frame", 1000 * total["one"] / n,
             1000 * user["one"] / n, 1000 * total["all"] / n, 1000 * user["all"] / n
      printf "peak memory: 1 thread %s, default %s\n", peak["one"], peak["all"]
      printf "speed-up of the default over 1 thread (wall): %.2f\n", total["one"] / total["all"]
    }'
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "(stage cpu: processor time of the thread that ran the stage; whole-run cpu: user + system of all threads)"
