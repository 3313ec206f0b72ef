"""The report's figures, drawn with matplotlib as SVG text. Every figure
function takes a list of positions (one for the report of a run, several
for the report over the positions of the workflow, where each position gets
its own colour or its own panel) and returns a Figure with the numbers it
plots, or None when no position has the table it needs."""

import io
import math
import re

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from matplotlib.ticker import MaxNLocator  # noqa: E402

WIDTH = 8.0             # inches; the page scales the SVG to its column
LONGEST_TRACKS = 10     # lines in the size-over-time figure (per position: 5)
LINEAGE_TRACKS = 150    # bars in a lineage panel at most: the longest tracks
COLOURS = plt.rcParams["axes.prop_cycle"].by_key()["color"]
DIVISION_COLOUR = "#1f77b4"
FUSION_COLOUR = "#d62728"


class Figure:
    def __init__(self, name, title, caption, svg, data):
        self.name = name
        self.title = title
        self.caption = caption
        self.svg = svg
        self.data = data


def colour(k):
    return COLOURS[k % len(COLOURS)]


def svg_text(fig, name):
    """The figure as inline SVG: no XML prologue, ids unique to the figure
    (several SVGs share one page) and no date, so the same tables give the
    same page."""
    buffer = io.StringIO()
    with plt.rc_context({"svg.hashsalt": name}):
        fig.savefig(buffer, format="svg", bbox_inches="tight", metadata={"Date": None})
    plt.close(fig)
    text = buffer.getvalue()
    return re.sub(r"^.*?(?=<svg)", "", text, flags=re.S)


def frame_axis(ax, timing=None):
    """Frames are whole numbers: ticks only there. With a frame interval
    (`timing`, see timing_of) a second axis on top gives the time."""
    ax.set_xlabel("frame")
    ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    if timing is not None:
        interval, first = timing
        top = ax.secondary_xaxis("top", functions=(lambda f: (f - first) * interval,
                                                   lambda m: m / interval + first))
        top.set_xlabel("minutes from the first frame", fontsize="small")


def with_runs(positions):
    return [p for p in positions if p.run is not None]


def areas_known(positions):
    """True when every position with a run.json knows its pixel size: sizes
    are then drawn in square microns, each position with its own."""
    runs = with_runs(positions)
    return bool(runs) and all(p.units.pixel_size is not None for p in runs)


def growth_known(positions):
    runs = with_runs(positions)
    return areas_known(positions) and all(p.units.interval is not None for p in runs)


def timing_of(positions):
    """(interval, first frame) when every position has the same ones, else
    None: the time axis is drawn only where it means one thing."""
    known = {(p.units.interval, p.units.first_frame) for p in with_runs(positions)}
    if len(known) != 1:
        return None
    interval, first = next(iter(known))
    return (interval, first) if interval is not None else None


def size_label(what, microns):
    return f"{what} (µm²)" if microns else f"{what} (pixels)"


def finite_or_none(value):
    return value if value is not None and math.isfinite(value) else None


def by_frame(table, column, convert=float):
    """{frame: [values of its rows]} of the cell table, frames ascending."""
    groups = {}
    for frame, value in zip(table.column("Frame", int), table.column(column, convert)):
        groups.setdefault(frame, []).append(value)
    return dict(sorted(groups.items()))


def cells_per_frame(positions):
    series = []
    for p in positions:
        t = p.table("average")
        if t is None:
            continue
        total = t.column("Cell Count (All)", int)
        nucleus = t.column("Cell Count (Nuclei)", int)
        series.append({"position": p.name, "frame": t.column("Frame", int), "all": total,
                       "with_nucleus": nucleus,
                       "without_nucleus": [a - b for a, b in zip(total, nucleus)]})
    if not series:
        return None
    fig, ax = plt.subplots(figsize=(WIDTH, 3.2))
    multi = len(positions) > 1
    for k, s in enumerate(series):
        if multi:
            ax.plot(s["frame"], s["all"], color=colour(k), marker=".", label=f"{s['position']}: all")
            ax.plot(s["frame"], s["with_nucleus"], color=colour(k), linestyle="--",
                    label=f"{s['position']}: with nucleus")
        else:
            ax.plot(s["frame"], s["all"], marker=".", color="black", label="all cells")
            ax.plot(s["frame"], s["with_nucleus"], marker=".", color=colour(0), label="with nucleus")
            ax.plot(s["frame"], s["without_nucleus"], marker=".", color=colour(1), label="without nucleus")
    frame_axis(ax, timing_of(positions))
    ax.set_ylabel("cells with a table row")
    ax.set_ylim(bottom=0)
    ax.legend(fontsize="small", ncol=2 if multi else 3)
    return Figure("cells-per-frame", "Cells per frame",
                  "Cells that have a row in _cells.csv (not touching the border), with and without a "
                  "nucleus, from _average.csv.", svg_text(fig, "cells-per-frame"), {"series": series})


def mean_size(positions):
    series = []
    for p in positions:
        t = p.table("average")
        if t is not None:
            sizes = [finite_or_none(v) for v in t.column("Cell Size (All)")]
            series.append({"position": p.name, "frame": t.column("Frame", int), "mean_size": sizes})
            if areas_known(positions):
                series[-1]["mean_size_um2"] = [None if v is None else p.units.area(v) for v in sizes]
    if not series:
        return None
    microns = areas_known(positions)
    fig, ax = plt.subplots(figsize=(WIDTH, 3.0))
    for k, s in enumerate(series):
        values = [math.nan if v is None else v for v in s["mean_size_um2" if microns else "mean_size"]]
        ax.plot(s["frame"], values, marker=".", color=colour(k), label=s["position"])
    frame_axis(ax, timing_of(positions))
    ax.set_ylabel(size_label("mean cell size", microns))
    if len(series) > 1:
        ax.legend(fontsize="small")
    return Figure("mean-size", "Mean cell size over time",
                  "Mean Cell Size of the frame's cells, from _average.csv (no point for a frame "
                  "without cells).", svg_text(fig, "mean-size"),
                  {"unit": "µm²" if microns else "pixels", "series": series})


def panels(count, height):
    """A column of up to three panels per row, one per position."""
    columns = min(count, 3)
    rows = (count + columns - 1) // columns
    fig, axes = plt.subplots(rows, columns, figsize=(WIDTH, height * rows), squeeze=False, sharey=True)
    flat = [ax for row in axes for ax in row]
    for ax in flat[count:]:
        ax.set_visible(False)
    return fig, flat


def size_distribution(positions):
    series = []
    for p in positions:
        t = p.table("cells")
        if t is not None:
            groups = by_frame(t, "Cell Size", int)
            series.append({"position": p.name, "frame": list(groups), "sizes": list(groups.values())})
            if areas_known(positions):
                series[-1]["sizes_um2"] = [[p.units.area(v) for v in g] for g in groups.values()]
    if not series:
        return None
    microns = areas_known(positions)
    fig, axes = panels(len(series), 3.2)
    for ax, s in zip(axes, series):
        ax.boxplot(s["sizes_um2" if microns else "sizes"], positions=s["frame"], widths=0.6,
                   manage_ticks=False, flierprops={"markersize": 3})
        frame_axis(ax, timing_of(positions))
        if len(series) > 1:
            ax.set_title(s["position"], fontsize="medium")
    axes[0].set_ylabel(size_label("cell size", microns))
    return Figure("size-distribution", "Cell sizes per frame",
                  "Distribution of Cell Size over the cells of each frame (box: quartiles, line: "
                  "median, whiskers: 1.5 interquartile ranges), from _cells.csv.",
                  svg_text(fig, "size-distribution"), {"unit": "µm²" if microns else "pixels", "series": series})


def longest_tracks(positions):
    per_position = LONGEST_TRACKS if len(positions) == 1 else max(LONGEST_TRACKS // 2, 1)
    series = []
    for p in positions:
        t = p.table("cells")
        if t is None:
            continue
        tracks = {}
        for row_id, frame, size in zip(t.column("Id", int), t.column("Frame", int), t.column("Cell Size", int)):
            entry = tracks.setdefault(row_id, {"frame": [], "size": []})
            entry["frame"].append(frame)
            entry["size"].append(size)
        chosen = sorted(tracks, key=lambda i: (-len(tracks[i]["frame"]), i))[:per_position]
        for track_id in chosen:
            series.append({"position": p.name, "id": track_id, **tracks[track_id]})
            if areas_known(positions):
                series[-1]["size_um2"] = [p.units.area(v) for v in tracks[track_id]["size"]]
    if not series:
        return None
    microns = areas_known(positions)
    fig, ax = plt.subplots(figsize=(WIDTH, 3.6))
    names = [p.name for p in positions]
    for k, s in enumerate(series):
        label = f"{s['id']}" if len(positions) == 1 else f"{s['position']} {s['id']}"
        line_colour = colour(k) if len(positions) == 1 else colour(names.index(s["position"]))
        sizes = s["size_um2" if microns else "size"]
        ax.plot(s["frame"], sizes, marker=".", color=line_colour, label=label)
        ax.annotate(label, (s["frame"][-1], sizes[-1]), xytext=(4, 0), textcoords="offset points",
                    fontsize="x-small", va="center", color=line_colour)
    frame_axis(ax, timing_of(positions))
    ax.set_ylabel(size_label("cell size", microns))
    ax.legend(title="track id", fontsize="x-small", ncol=2, loc="center left", bbox_to_anchor=(1.02, 0.5))
    return Figure("longest-tracks", "Size over time of the longest tracks",
                  "Cell Size of the tracks with the most rows in _cells.csv, one line per track, "
                  "labelled by its id.", svg_text(fig, "longest-tracks"),
                  {"unit": "µm²" if microns else "pixels", "series": series})


def vacuoles(positions):
    series = []
    for p in positions:
        cells, average = p.table("cells"), p.table("average")
        if cells is None and average is None:
            continue
        frames = average.column("Frame", int) if average is not None else list(by_frame(cells, "Frame"))
        totals = by_frame(cells, "Vacuole Count", int) if cells is not None else {}
        per_cell = ([finite_or_none(v) for v in average.column("Vacuole Count")] if average is not None
                    else [None] * len(frames))
        series.append({"position": p.name, "frame": frames,
                       "total": [sum(totals.get(f, [])) for f in frames], "per_cell": per_cell})
    if not series:
        return None
    fig, (left, right) = plt.subplots(1, 2, figsize=(WIDTH, 3.0))
    for k, s in enumerate(series):
        left.plot(s["frame"], s["total"], marker=".", color=colour(k), label=s["position"])
        right.plot(s["frame"], [math.nan if v is None else v for v in s["per_cell"]], marker=".",
                   color=colour(k), label=s["position"])
    left.set_ylabel("vacuoles in the frame's cells")
    right.set_ylabel("vacuoles per cell")
    for ax in (left, right):
        frame_axis(ax, timing_of(positions))
        ax.set_ylim(bottom=0)
    if len(series) > 1:
        right.legend(fontsize="small")
    return Figure("vacuoles", "Vacuole counts over time",
                  "Left: the sum of Vacuole Count over the frame's rows in _cells.csv. Right: the "
                  "mean per cell, Vacuole Count of _average.csv.", svg_text(fig, "vacuoles"),
                  {"series": series})
