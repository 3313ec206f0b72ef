#!/usr/bin/env python3
"""Merges the tables of several focustrack positions (cells, frames, tracks,
events) into one table each with a leading Position column, and reports each position's
outcome in positions.tsv. Rows are copied as they stand: every field keeps
its text, so the merged tables hold exactly what the positions wrote; a
position without the unit columns that another position has gets empty
fields in them."""

import argparse
import json
import os
import sys

TABLES = [("_cells.csv", "merged_cells.csv"), ("_average.csv", "merged_average.csv"),
          ("_tracks.csv", "merged_tracks.csv"), ("_events.csv", "merged_events.csv")]


def outcome(folder):
    """(state, frames completed, reason) of one position's run."""
    status = {}
    try:
        with open(os.path.join(folder, "status.tsv")) as f:
            for line in f:
                key, _, value = line.rstrip("\n").partition("\t")
                status[key] = value
    except OSError:
        return "failed", 0, "no status file"
    try:
        with open(os.path.join(folder, "run.json")) as f:
            manifest = json.load(f)
    except (OSError, ValueError):
        return "failed", 0, f"focustrack exit status {status.get('exit_status', '?')}, no run.json"
    frames = manifest.get("framesCompleted", 0)
    reason = manifest.get("stopReason", "")
    detail = manifest.get("stopDetail", "")
    if status.get("exit_status") != "0" or reason != "end of frames":
        text = reason + (f": {detail}" if detail else "")
        return "failed", frames, text
    return "complete", frames, reason


def fields(header):
    return header.rstrip("\n").split(", ")[:-1]


def widest_header(headers):
    """The header with the most columns, when every other one is its
    beginning (positions whose run knew its units have unit columns at the
    end); else the first one, as written."""
    if not headers:
        return None
    widest = max(headers, key=lambda h: len(fields(h)))
    if all(fields(widest)[:len(fields(h))] == fields(h) for h in headers):
        return widest
    return headers[0]


def padding(header, widest):
    """Empty fields that bring a row under `header` to the columns of
    `widest`; none when the headers do not extend one another."""
    mine, all_columns = fields(header), fields(widest)
    if len(mine) >= len(all_columns) or all_columns[:len(mine)] != mine:
        return ""
    return ", " * (len(all_columns) - len(mine))


def merge(outdir, names):
    failed = []
    with open(os.path.join(outdir, "positions.tsv"), "w") as report:
        report.write("position\tstate\tframes_completed\treason\n")
        for name in names:
            state, frames, reason = outcome(os.path.join(outdir, name))
            report.write(f"{name}\t{state}\t{frames}\t{reason}\n")
            if state != "complete":
                failed.append((name, reason))
    for source, target in TABLES:
        tables = []
        for name in names:
            path = os.path.join(outdir, name, source)
            if not os.path.exists(path):
                continue
            with open(path) as table:
                lines = table.read().splitlines(keepends=True)
            if lines:
                tables.append((name, lines))
        header = widest_header([lines[0] for _, lines in tables])
        with open(os.path.join(outdir, target), "w") as merged:
            merged.write("Position, " + (header if header is not None else "\n"))
            for name, lines in tables:
                fill = padding(lines[0], header)
                for line in lines[1:]:
                    merged.write(f"{name}, " + (line[:-1] + fill + "\n" if fill and line.endswith("\n") else line))
    for name, reason in failed:
        print(f"merge: position {name} failed: {reason}", file=sys.stderr)
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--outdir", required=True)
    parser.add_argument("names", nargs="+")
    args = parser.parse_args()
    merge(args.outdir, args.names)
    return 0


if __name__ == "__main__":
    sys.exit(main())
