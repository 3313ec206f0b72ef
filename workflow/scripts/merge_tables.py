#!/usr/bin/env python3
"""Merges the tables of several focustrack positions (cells, frames, tracks,
events) into one table each with a leading Position column, and reports each position's
outcome in positions.tsv. Rows are copied as they stand: every field keeps
its text, so the merged tables hold exactly what the positions wrote; a
position without the unit columns that another position has gets empty
fields in them. Every row must have the header's fields and its line end; a
position whose table has a row that does not is reported "incomplete" with
the line, and only its rows before that line are merged."""

import argparse
import json
import os
import sys

TABLES = [("_cells.csv", "merged_cells.csv"), ("_average.csv", "merged_average.csv"),
          ("_tracks.csv", "merged_tracks.csv"), ("_events.csv", "merged_events.csv")]
SEPARATOR = ", "  # follows every field, the last one too


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
    # Exit status 0: every frame completed, or the recording ended.
    if status.get("exit_status") != "0":
        text = reason + (f": {detail}" if detail else "")
        return "failed", frames, text
    return "complete", frames, reason


def columns(header):
    return header.rstrip("\n").split(SEPARATOR)[:-1]


def widest_header(headers):
    """The header with the most columns, when every other one is its
    beginning (positions whose run knew its units have unit columns at the
    end); else the first one, as written."""
    if not headers:
        return None
    widest = max(headers, key=lambda h: len(columns(h)))
    if all(columns(widest)[:len(columns(h))] == columns(h) for h in headers):
        return widest
    return headers[0]


def padding(header, widest):
    """Empty fields that bring a row under `header` to the columns of
    `widest`; none when the headers do not extend one another."""
    mine, all_columns = columns(header), columns(widest)
    if len(mine) >= len(all_columns) or all_columns[:len(mine)] != mine:
        return ""
    return SEPARATOR * (len(all_columns) - len(mine))


def whole_rows(path, source):
    """(header, rows, problem) of one table: the rows before the first one
    that lacks fields or its line end, and what is wrong with that one."""
    with open(path, newline="") as table:
        lines = table.read().splitlines(keepends=True)
    if not lines:
        return None, [], None
    header = lines[0]
    fields = header.count(SEPARATOR)
    if not header.endswith("\n"):
        return None, [], f"{source} line 1 (the header) has no line end"
    for number, line in enumerate(lines[1:], start=2):
        if not line.endswith("\n"):
            return header, lines[1:number - 1], f"{source} line {number} is cut short (no line end)"
        if line.count(SEPARATOR) != fields:
            found = line.count(SEPARATOR)
            return header, lines[1:number - 1], f"{source} line {number} has {found} fields, expected {fields}"
    return header, lines[1:], None


def read_tables(outdir, names):
    """Per table, the (name, header, rows) of every position that has it, and
    per position the first problem found in its tables."""
    tables = {source: [] for source, _ in TABLES}
    problems = {}
    for name in names:
        for source, _ in TABLES:
            path = os.path.join(outdir, name, source)
            if not os.path.exists(path):
                continue
            header, rows, problem = whole_rows(path, source)
            if problem and name not in problems:
                problems[name] = problem
            if header is not None:
                tables[source].append((name, header, rows))
    return tables, problems


def merge(outdir, names):
    tables, problems = read_tables(outdir, names)
    failed = []
    with open(os.path.join(outdir, "positions.tsv"), "w") as report:
        report.write("position\tstate\tframes_completed\treason\n")
        for name in names:
            state, frames, reason = outcome(os.path.join(outdir, name))
            if name in problems:
                state, reason = "incomplete", problems[name] + (f"; {reason}" if reason else "")
            report.write(f"{name}\t{state}\t{frames}\t{reason}\n")
            if state != "complete":
                failed.append((name, state, reason))
    for source, target in TABLES:
        with open(os.path.join(outdir, target), "w") as merged:
            positions = tables[source]
            header = widest_header([header for _, header, _ in positions])
            merged.write("Position, " + (header if header is not None else "\n"))
            for name, own_header, rows in positions:
                fill = padding(own_header, header)
                for row in rows:
                    merged.write(f"{name}, " + (row[:-1] + fill + "\n" if fill else row))
    for name, state, reason in failed:
        print(f"merge: position {name} {state}: {reason}", file=sys.stderr)
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
