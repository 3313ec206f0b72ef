#!/usr/bin/env bash
# Sets up, builds, generates a small synthetic recording and analyses it.
# Results land in demo/out: the two tables and one result image per frame.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
rm -rf demo
./build/focustrack-synth -w 320 -h 240 -sc 16 -c 5 --seed 7 -p demo/slices/t%0_z%1.tif
./build/focustrack -w 320 -h 240 -sc 16 -c 5 -p demo/slices/t%0_z%1.tif -o demo/out -i
echo
echo "Tables: demo/out/_cells.csv, demo/out/_average.csv; images: demo/out/result_*.bmp"
