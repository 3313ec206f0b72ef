#!/usr/bin/env bash
# Sets up, builds, generates a small synthetic recording, analyses it and
# writes its report. Results land in demo/out: the four tables, one result
# image per frame and report.html.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
rm -rf demo
./build/focustrack-synth -w 320 -h 240 -sc 16 -c 5 --seed 7 -p demo/slices/t%0_z%1.tif
./build/focustrack -w 320 -h 240 -sc 16 -c 5 -p demo/slices/t%0_z%1.tif -o demo/out -i
./build/focustrack-report demo/out >/dev/null
echo
echo "Tables: demo/out/_cells.csv, demo/out/_average.csv, demo/out/_tracks.csv, demo/out/_events.csv"
echo "Images: demo/out/result_*.bmp"
echo "Report: $(pwd)/demo/out/report.html (open it in a web browser)"
