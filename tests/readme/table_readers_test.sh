#!/usr/bin/env bash
# The pandas and R lines of the README that read the tables, run as they are
# written there on the tables of real runs: a run with units (track and event
# tables with unit columns) and a run whose frames have no nucleus and
# averages of "nan". Each must give the header's column names, one row per
# line and the numbers of the text. Arguments: focustrack binary,
# focustrack-synth binary. Exit 77 = skipped (neither pandas nor R).
set -euo pipefail
focustrack=$1
synth=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
readme="$source_dir/README.md"
python=/usr/bin/python3
have_pandas=0
have_r=0
[ -x "$python" ] && "$python" -c "import pandas" 2>/dev/null && have_pandas=1
command -v Rscript >/dev/null && have_r=1
if [ $have_pandas = 0 ] && [ $have_r = 0 ]; then
  echo "neither pandas nor R is installed; skipping"
  exit 77
fi
pandas_line=$(grep -m1 '^cells = pd\.' "$readme" || true)
r_line=$(grep -m1 '^cells <- ' "$readme" || true)
[ -n "$pandas_line" ] && [ -n "$r_line" ] || { echo "README lacks the reader lines"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$synth" -w 200 -h 150 -sc 8 -c 4 --seed 9 -p "$work/a/t%0_z%1.tif" >/dev/null
"$focustrack" -w 200 -h 150 -sc 8 -c 4 -p "$work/a/t%0_z%1.tif" -o "$work/units" \
  --pixel-size 0.13 --interval 5 >/dev/null 2>&1
"$synth" -w 97 -h 61 -sc 6 -c 4 --seed 11 -p "$work/b/t%0_z%1.tif" >/dev/null
"$focustrack" -w 97 -h 61 -sc 6 -c 4 -p "$work/b/t%0_z%1.tif" -o "$work/empty" >/dev/null 2>&1
grep -q ', nan, ' "$work/empty/_average.csv" || { echo "the empty run has no nan average"; exit 1; }

failed=0
for table in "$work"/units/_cells.csv "$work"/units/_average.csv "$work"/units/_tracks.csv \
             "$work"/units/_events.csv "$work"/empty/_average.csv "$work"/empty/_tracks.csv; do
  if [ $have_pandas = 1 ]; then
    "$python" - "$table" "$pandas_line" <<'PY' || failed=1
import math, sys
import pandas as pd
path, line = sys.argv[1], sys.argv[2]
scope = {"pd": pd}
exec(line.replace('"out/_cells.csv"', repr(path)), scope)
cells = scope["cells"]
rows = [l.rstrip("\n") for l in open(path)]
header = rows[0].split(", ")[:-1]
problems = []
if list(cells.columns) != header:
    problems.append(f"columns {list(cells.columns)} != {header}")
if len(cells) != len(rows) - 1:
    problems.append(f"{len(cells)} rows, {len(rows) - 1} lines")
for k, text_row in enumerate(rows[1:] if not problems else []):
    for name, text in zip(header, text_row.split(", ")[:-1]):
        value = cells[name].iloc[k]
        if text == "":
            ok = value is None or (isinstance(value, float) and math.isnan(value))
        else:
            try:
                number = float(text)
            except ValueError:
                ok = str(value) == text
            else:
                ok = (math.isnan(number) and math.isnan(float(value))) or float(value) == number \
                    if " " not in text else str(value) == text
        if not ok:
            problems.append(f"row {k + 1} {name}: {text!r} read as {value!r}")
if problems:
    print(f"pandas on {path}:", *problems[:5], sep="\n  ")
    sys.exit(1)
PY
  fi
  if [ $have_r = 1 ]; then
    # The column names, the row count and the first numeric column's sum as
    # R reads them, against the text.
    column=$(head -1 "$table" | awk -F', ' '{print $2}')
    expected=$(head -1 "$table" | sed 's/, $//; s/, /|/g')$'\n'$(($(wc -l <"$table") - 1))$'\n'$(awk -F', ' \
      'NR > 1 {s += $2} END {print s + 0}' "$table")
    got=$(Rscript -e "${r_line//\"out\/_cells.csv\"/\"$table\"}" -e "cat(paste(names(cells), collapse = \"|\"), \
      nrow(cells), sum(cells[[\"$column\"]]), sep = \"\\n\")" 2>&1) || true
    [ "$got" = "$expected" ] || { echo "R on $table: got"$'\n'"$got"$'\n'"expected"$'\n'"$expected"; failed=1; }
  fi
done
[ $failed = 0 ] && echo "pandas: $have_pandas, R: $have_r: every table read as written"
exit $failed
