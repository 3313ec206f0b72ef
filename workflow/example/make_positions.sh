#!/usr/bin/env bash
# Generates three small synthetic positions (320 x 240, 16 slices, 5 frames)
# under positions/, for the example sample sheet.
set -euo pipefail
synth=${1:-build/focustrack-synth}
for i in 1 2 3; do
  "$synth" -w 320 -h 240 -sc 16 -c 5 --seed "$i" -p "positions/pos0$i/t%0_z%1.tif"
done
