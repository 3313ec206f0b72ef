"""Reads what a focustrack run left in its output folder: the four tables,
run.json, the result images and, when the many-positions workflow ran it,
the saved console log. Nothing here raises on bad input: every problem
becomes a note that the report shows, and what can be read is kept."""

import json
import math
import os
import re

TABLES = {
    "cells": "_cells.csv",
    "average": "_average.csv",
    "tracks": "_tracks.csv",
    "events": "_events.csv",
}

# Columns each figure relies on; a table without one of them is reported and
# its figures are left out.
REQUIRED = {
    "cells": ["Index", "Frame", "Id", "Has Nuclei", "Cell Size", "Move", "Vacuole Count"],
    "average": ["Index", "Frame", "Cell Count (All)", "Cell Size (All)", "Cell Count (Nuclei)",
                "Vacuole Count"],
    "tracks": ["Id", "First Frame", "Last Frame", "Frames Present", "From", "To", "Growth Rate",
               "Border Frames"],
    "events": ["Index", "Frame", "Event", "From Ids", "To Ids"],
}

SEPARATOR = ", "
RESULT_IMAGE = re.compile(r"^result_(\d{4,})\.(bmp|png)$")


class Table:
    """Rows of one table as dicts of text fields, keyed by the header names."""

    def __init__(self, name, path):
        self.name = name
        self.path = path
        self.header = []
        self.rows = []

    def column(self, name, convert=float):
        return [convert_field(row.get(name, ""), convert) for row in self.rows]


def convert_field(text, convert=float):
    """A field as a number; None for an empty field. "nan" and "inf" are
    numbers as the tables write them."""
    text = text.strip()
    if text == "":
        return None
    value = float(text)
    if convert is int:
        return int(value) if math.isfinite(value) else None
    return value


def id_list(text):
    """A list field such as "12 13" as integers."""
    return [int(word) for word in text.split()]


def split_row(line):
    """The fields of a row: each is followed by ", ", the last one too."""
    fields = line.split(SEPARATOR)
    if fields and fields[-1] == "":
        fields.pop()
    return fields


def read_table(folder, name, notes):
    """The table, or None (with a note) when it is missing, empty, or lacks
    a column the report needs. An incomplete last row (a run stopped while
    writing it) and rows that do not parse are left out, with a note."""
    file_name = TABLES[name]
    path = os.path.join(folder, file_name)
    if not os.path.exists(path):
        notes.append(f"{file_name} is missing: the figures drawn from it are left out.")
        return None
    try:
        with open(path, encoding="utf-8", errors="replace", newline="") as f:
            text = f.read()
    except OSError as error:
        notes.append(f"{file_name} cannot be read ({error.strerror}): its figures are left out.")
        return None
    if text.strip() == "":
        notes.append(f"{file_name} is empty, without even a header line: its figures are left out.")
        return None
    table = Table(name, path)
    lines = text.split("\n")
    complete_end = text.endswith("\n")
    table.header = split_row(lines[0].rstrip("\r"))
    missing = [c for c in REQUIRED[name] if c not in table.header]
    if missing:
        notes.append(f"{file_name} lacks the column{'s' if len(missing) > 1 else ''} "
                     f"{', '.join(repr(c) for c in missing)}: its figures are left out.")
        return None
    body = lines[1:]
    if complete_end:
        body = body[:-1]  # the empty text after the last line break
    bad = 0
    for number, line in enumerate(body, start=2):
        line = line.rstrip("\r")
        fields = split_row(line)
        last = number == len(body) + 1
        whole = line.endswith(SEPARATOR) and len(fields) == len(table.header)
        if not whole:
            if last and not complete_end:
                notes.append(f"The last line of {file_name} is incomplete (the run was probably "
                             f"stopped while writing it); it is left out.")
            else:
                bad += 1
            continue
        row = dict(zip(table.header, fields))
        if not row_parses(name, row):
            bad += 1
            continue
        table.rows.append(row)
    if bad:
        notes.append(f"{bad} line{'s' if bad > 1 else ''} of {file_name} could not be read and "
                     f"{'are' if bad > 1 else 'is'} left out.")
    if not table.rows and name in ("cells", "average"):
        notes.append(f"{file_name} has no rows yet.")
    return table


def row_parses(name, row):
    try:
        for column in REQUIRED[name]:
            if column in ("From", "To", "From Ids", "To Ids"):
                id_list(row[column])
            elif column != "Event":
                convert_field(row[column])
        return True
    except ValueError:
        return False


def read_run(folder, notes):
    """run.json as a dict, or None with a note."""
    path = os.path.join(folder, "run.json")
    if not os.path.exists(path):
        notes.append("run.json is missing: the run's settings and outcome are unknown.")
        return None
    try:
        with open(path, encoding="utf-8") as f:
            run = json.load(f)
    except (OSError, ValueError) as error:
        notes.append(f"run.json cannot be read ({error}).")
        return None
    if not isinstance(run, dict):
        notes.append("run.json does not hold a run record.")
        return None
    return run


def run_warnings(run):
    """What run.json says went wrong, one sentence each."""
    if run is None:
        return []
    warnings = []
    reason = run.get("stopReason", "")
    detail = run.get("stopDetail", "")
    if run.get("endTime") is None:
        warnings.append("The run has not finished: it is still going, or it was killed.")
    if reason not in ("end of frames", "running", ""):
        warnings.append(f"The run stopped early: {reason}" + (f" ({detail})" if detail else "") + ".")
    settings = run.get("settings") or {}
    wanted = settings.get("frameCount")
    done = run.get("framesCompleted")
    if isinstance(wanted, int) and isinstance(done, int) and done < wanted and reason == "end of frames":
        warnings.append(f"{done} of {wanted} frames were completed: the recording ended earlier.")
    return warnings


class Units:
    """The pixel size (microns) and frame interval (minutes) of a run, each
    None while unknown, with where each came from, as run.json records them."""

    def __init__(self, run):
        run = run if isinstance(run, dict) else {}
        self.pixel_size, self.pixel_source = Units.value(run.get("pixelSize"), "microns")
        self.interval, self.interval_source = Units.value(run.get("frameInterval"), "minutes")
        first = (run.get("settings") or {}).get("firstFrame", 1)
        self.first_frame = first if isinstance(first, int) else 1

    @staticmethod
    def value(entry, key):
        if not isinstance(entry, dict):
            return None, "unknown"
        number = entry.get(key)
        if isinstance(number, (int, float)) and not isinstance(number, bool) and number > 0 \
                and math.isfinite(number):
            return float(number), str(entry.get("source", "unknown"))
        return None, "unknown"

    def area(self, pixels):
        """Square microns of a pixel count."""
        return pixels * (self.pixel_size * self.pixel_size)

    def growth(self, pixels_per_frame):
        """Square microns per hour of a growth in pixels per frame."""
        return self.area(pixels_per_frame) * (60.0 / self.interval)

    def minutes(self, frame):
        return (frame - self.first_frame) * self.interval


def unit_notes(units):
    """What the report says about units it does not know."""
    notes = []
    if units.pixel_size is None:
        notes.append("The pixel size is unknown (no --pixel-size, none in the input's metadata): sizes "
                     "are in pixels and movement in pixel widths.")
    if units.interval is None:
        notes.append("The frame interval is unknown (no --interval, none in the input's metadata): "
                     "time is counted in frames.")
    return notes


def log_warnings(path):
    """The reason lines ("focustrack: ...") of a saved standard error or
    console log, without colour sequences."""
    if not path or not os.path.exists(path):
        return []
    found = []
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                line = re.sub(r"\x1b\[[0-9;]*m", "", line).strip()
                if line.startswith("focustrack:"):
                    found.append(line)
    except OSError:
        return []
    return found


def result_images(folder):
    """(frame ordinal, file name) of every result image, in ordinal order."""
    try:
        names = os.listdir(folder)
    except OSError:
        return []
    images = []
    for name in names:
        match = RESULT_IMAGE.match(name)
        if match:
            images.append((int(match.group(1)), name))
    return sorted(images)


class Position:
    """Everything the report knows about one output folder."""

    def __init__(self, folder, name=None, log=None):
        """`log`: a saved copy of the run's standard error; by default the
        focustrack.log that the many-positions workflow keeps in the folder."""
        self.folder = folder
        self.name = name or os.path.basename(os.path.realpath(folder)) or folder
        self.notes = []
        self.tables = {key: read_table(folder, key, self.notes) for key in TABLES}
        self.run = read_run(folder, self.notes)
        self.units = Units(self.run)
        if self.run is not None:
            self.notes += unit_notes(self.units)
        self.warnings = run_warnings(self.run) + log_warnings(log or os.path.join(folder, "focustrack.log"))
        self.images = result_images(folder)

    def table(self, key):
        table = self.tables.get(key)
        return table if table is not None and table.rows else None

    def has_any_table(self):
        return any(os.path.exists(os.path.join(self.folder, f)) for f in TABLES.values())
