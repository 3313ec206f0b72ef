#!/usr/bin/env bash
# Benchmark at the default size: generates a 960 x 720 recording with 16
# slices and 10 frames, runs focustrack on it without and with result images,
# and prints the time per frame, every stage's time and the peak memory.
# Usage: bench/run_benchmark.sh [frames]   (builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-10}
bash scripts/build.sh build >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

start=$(now)
./build/focustrack-synth -w 960 -h 720 -sc 16 -c "$frames" --seed 11 -p "$work/slices/t%0_z%1.tif" >/dev/null
echo "generated $frames frames of 960 x 720 x 16 slices in $(since "$start") s"
for images in no yes; do
  extra=()
  [ "$images" = yes ] && extra=(-i)
  start=$(now)
  ./build/focustrack -w 960 -h 720 -sc 16 -c "$frames" -p "$work/slices/t%0_z%1.tif" \
    -o "$work/out-$images" --stage-times "${extra[@]}" >"$work/log-$images" 2>"$work/err-$images"
  wall=$(since "$start")
  echo
  echo "== result images: $images"
  awk -v w="$wall" -v n="$frames" 'BEGIN { printf "wall time %.2f s, %.1f ms per frame\n", w, 1000 * w / n }'
  echo "processor time per frame (log):"
  sed -n 's/.*| *\([0-9.]*\) ms | Frame \([0-9]*\) Finished.*/  frame \2: \1 ms/p' "$work/log-$images"
  cat "$work/err-$images"
done
