#!/usr/bin/env bash
# The many-positions workflow on three small synthetic positions, one of them
# missing a slice in frame 2, one whose pattern holds a space, and one whose
# options column holds shell text: every position runs, focustrack gets its
# words as an argument list (the shell text runs nothing), the merged tables
# hold the rows of every position unchanged, and the failed position is
# reported; every position and the whole run get a report page, and the
# third position, a trap recording, runs with its device mask. Then: a sheet naming a position ".." is refused, and a table
# that ends in a partial row is reported incomplete instead of being glued to
# the next position's rows.
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
fail() { echo "FAIL: $*"; exit 1; }

printf 'name\tpattern\twidth\theight\tframes\tslices\toptions\texclude\n' > "$work/samples.tsv"
folders=("$work/pos1" "$work/pos2" "$work/pos 3")
options=("-b 2 -i; touch $work/INJECTED" "-b '2'" "-b 2")
for i in 1 2 3; do
  folder=${folders[$((i - 1))]}
  traps=0
  exclude=""
  if [ "$i" = 3 ]; then traps=1; exclude="$folder/device.tif"; fi
  "$synth" -w 200 -h 150 -sc 6 -c 3 --seed "$i" --traps "$traps" -p "$folder/t%0_z%1.tif" >/dev/null
  printf 'pos%s\t%s\t200\t150\t3\t6\t%s\t%s\n' "$i" "$folder/t%0_z%1.tif" "${options[$((i - 1))]}" "$exclude" >> "$work/samples.tsv"
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
grep -q '"excludeMask"' "$work/results/pos3/run.json" || fail "pos3 ran without its device mask"
[ ! -e "$work/INJECTED" ] || fail "shell text in the options column ran"
grep -q "ignoring unknown option '-i;'" "$work/results/pos1/focustrack.log" || fail "'-i;' did not reach focustrack as a word"
grep -q "ignoring the word 'touch'" "$work/results/pos1/focustrack.log" || fail "'touch' did not reach focustrack as a word"
[ ! -e "$work/results/pos1/result_0001.bmp" ] || fail "'-i;' was taken for -i"

# A position named ".." would write into the folder above outdir.
mkdir -p "$work/dots"
printf 'name\tpattern\twidth\theight\tframes\tslices\toptions\n..\t%s\t200\t150\t3\t6\t\n' \
  "$work/pos1/t%0_z%1.tif" > "$work/dots/samples.tsv"
printf 'samples: %s\noutdir: %s\nfocustrack: %s\n' "$work/dots/samples.tsv" "$work/dots/results" \
  "$focustrack" > "$work/dots/config.yaml"
if snakemake -s "$source_dir/workflow/Snakefile" --configfile "$work/dots/config.yaml" \
  --directory "$work/dots" --cores 1 --quiet >"$work/dots/snakemake.log" 2>&1; then
  fail "a position named '..' was accepted"
fi
grep -q "position name '..' names no folder of its own" "$work/dots/snakemake.log" || {
  cat "$work/dots/snakemake.log"; fail "no reason given for '..'"; }
[ ! -e "$work/dots/_cells.csv" ] || fail "'..' wrote into the folder above outdir"

# pos1's per-cell table cut inside its last row: pos1 is incomplete, its
# whole rows are merged, pos2's first row stays a row of its own.
cp -r "$work/results" "$work/cut"
cells="$work/cut/pos1/_cells.csv"
lines=$(wc -l < "$cells")
truncate -s -7 "$cells"
python3 "$source_dir/workflow/scripts/merge_tables.py" --outdir "$work/cut" pos1 pos2 pos3 2>/dev/null
state=$(awk -F'\t' '$1 == "pos1" { print $2 "|" $4 }' "$work/cut/positions.tsv")
[ "${state%%|*}" = incomplete ] || fail "pos1 reported as '$state'"
case "$state" in
  *"_cells.csv line $lines is cut short (no line end)"*) ;;
  *) fail "pos1 reason '$state' does not name line $lines" ;;
esac
header_fields=$(head -1 "$work/cut/merged_cells.csv" | grep -o ', ' | wc -l)
while IFS= read -r row; do
  [ "$(grep -o ', ' <<<"$row" | wc -l)" -eq "$header_fields" ] || fail "merged row with other fields: $row"
done < "$work/cut/merged_cells.csv"
[ "$(grep -c '^pos1, ' "$work/cut/merged_cells.csv")" -eq $((lines - 2)) ] || fail "pos1's whole rows not merged"
# A row with a field too many is named as well.
sed -i '3s/$/7, /' "$work/cut/pos3/_average.csv"
python3 "$source_dir/workflow/scripts/merge_tables.py" --outdir "$work/cut" pos1 pos2 pos3 2>/dev/null
grep -q $'^pos3\tincomplete\t.*_average.csv line 3 has 17 fields, expected 16' "$work/cut/positions.tsv" || {
  cat "$work/cut/positions.tsv"; fail "pos3's long row not named"; }
echo "workflow checks passed"
