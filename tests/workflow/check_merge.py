#!/usr/bin/env python3
"""Checks the merged tables of the workflow test row by row against the
per-position tables, the positions report, and that every position and the
whole run got its report page."""

import os
import sys


def lines(path):
    with open(path) as f:
        return f.read().splitlines()


def main():
    results, names = sys.argv[1], sys.argv[2:]
    failures = []
    tables = [("_cells.csv", "merged_cells.csv"), ("_average.csv", "merged_average.csv"),
              ("_tracks.csv", "merged_tracks.csv"), ("_events.csv", "merged_events.csv")]
    for source, target in tables:
        merged = lines(os.path.join(results, target))
        expected = ["Position, " + lines(os.path.join(results, names[0], source))[0]]
        for name in names:
            expected += [f"{name}, {row}" for row in lines(os.path.join(results, name, source))[1:]]
        if merged != expected:
            failures.append(f"{target} differs from the position tables")
        if len(merged) < 2 and target != "merged_events.csv":
            failures.append(f"{target} has no rows")
    frames = {}
    for name in names:
        frames[name] = len(lines(os.path.join(results, name, "_average.csv"))) - 1
    if frames != {"pos1": 3, "pos2": 1, "pos3": 3}:
        failures.append(f"frames per position {frames}, expected 3, 1, 3")
    report = {row.split("\t")[0]: row.split("\t") for row in lines(os.path.join(results, "positions.tsv"))[1:]}
    if [report[n][1] for n in names] != ["complete", "failed", "complete"]:
        failures.append(f"positions report {report}")
    if "missing slice" not in report["pos2"][3] or "t0002_z003.tif" not in report["pos2"][3]:
        failures.append(f"pos2 reason {report['pos2'][3]!r}")
    for folder in [os.path.join(results, name) for name in names] + [results]:
        page = os.path.join(folder, "report.html")
        if not os.path.exists(page):
            failures.append(f"no {page}")
    with open(os.path.join(results, "pos2", "report.html"), encoding="utf-8") as f:
        if "The run stopped early: missing slice" not in f.read():
            failures.append("the report of pos2 does not say why its run stopped")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
