#!/usr/bin/env python3
"""Merges the tables of several focustrack positions (cells, frames, tracks,
events) into one table each with a leading Position column, and reports each position's
outcome in positions.tsv. Rows are copied as they stand: every field keeps
its text, so the merged tables hold exactly what the positions wrote."""

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
        header = None
        with open(os.path.join(outdir, target), "w") as merged:
            for name in names:
                path = os.path.join(outdir, name, source)
                if not os.path.exists(path):
                    continue
                with open(path) as table:
                    lines = table.read().splitlines(keepends=True)
                if not lines:
                    continue
                if header is None:
                    header = lines[0]
                    merged.write("Position, " + header)
                for line in lines[1:]:
                    merged.write(f"{name}, " + line)
            if header is None:
                merged.write("Position, \n")
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
