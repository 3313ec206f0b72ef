#!/usr/bin/env bash
# The many-positions workflow on three small synthetic positions, one of them
# missing a slice in frame 2: every position runs, the merged tables hold the
# rows of every position unchanged, the failed position is reported, and
# every position and the whole run get a report page.
# Arguments: focustrack binary, focustrack-synth binary. Exit 77 = skipped.
set -euo pipefail
focustrack=$1
synth=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
if ! command -v snakemake >/dev/null; then
  echo "snakemake is not installed; skipping"
  exit 77
fi
if ! python3 -c 'import matplotlib' 2>/dev/null && ! /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  echo "matplotlib is not installed (the reports need it); skipping"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Position 3 is a trap recording analysed with its device mask.
printf 'name\tpattern\twidth\theight\tframes\tslices\toptions\texclude\n' > "$work/samples.tsv"
for i in 1 2 3; do
  traps=0
  exclude=""
  if [ "$i" = 3 ]; then traps=1; exclude="$work/pos3/device.tif"; fi
  "$synth" -w 200 -h 150 -sc 6 -c 3 --seed "$i" --traps "$traps" -p "$work/pos$i/t%0_z%1.tif" >/dev/null
  printf 'pos%s\t%s\t200\t150\t3\t6\t-b 2\t%s\n' "$i" "$work/pos$i/t%0_z%1.tif" "$exclude" >> "$work/samples.tsv"
done
rm "$work/pos2/t0002_z003.tif"
cat > "$work/config.yaml" <<YAML
samples: $work/samples.tsv
outdir: $work/results
focustrack: $focustrack
YAML
snakemake -s "$source_dir/workflow/Snakefile" --configfile "$work/config.yaml" --directory "$work" \
  --cores 2 --quiet >"$work/snakemake.log" 2>&1 || { cat "$work/snakemake.log"; exit 1; }
python3 "$source_dir/tests/workflow/check_merge.py" "$work/results" pos1 pos2 pos3
grep -q '"excludeMask"' "$work/results/pos3/run.json" || { echo "pos3 ran without its device mask"; exit 1; }
