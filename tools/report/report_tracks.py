"""Figures of the track table: the lineage chart and the histograms of
track lengths and growth rates."""

import math

import numpy as np
from matplotlib.ticker import MaxNLocator

from report_figures import (DIVISION_COLOUR, FUSION_COLOUR, LINEAGE_TRACKS, WIDTH, Figure, colour,
                            frame_axis, growth_known, plt, svg_text, timing_of)
from report_tables import convert_field, id_list


def track_records(table):
    """The rows of _tracks.csv as small dicts, in id order."""
    records = []
    for row in table.rows:
        number = {name: convert_field(row[name], int)
                  for name in ("Id", "First Frame", "Last Frame", "Frames Present", "Border Frames")}
        if None in number.values():
            continue  # a damaged row: the reader has kept only rows whose numbers parse
        records.append({"id": number["Id"], "first": number["First Frame"], "last": number["Last Frame"],
                        "present": number["Frames Present"], "border": number["Border Frames"],
                        "from": id_list(row["From"]), "to": id_list(row["To"]),
                        "growth": convert_field(row["Growth Rate"])})
    return records


def lineage_order(records):
    """Tracks in the order the chart draws them, top to bottom: every track
    right below its first parent, children in id order; the longest are
    kept when there are too many."""
    by_id = {r["id"]: r for r in records}
    keep = sorted(records, key=lambda r: (-(r["last"] - r["first"]), r["id"]))[:LINEAGE_TRACKS]
    kept = {r["id"] for r in keep}
    order, placed = [], set()

    def place(track_id):
        stack = [track_id]
        while stack:
            current = stack.pop()
            if current in placed or current not in kept:
                continue
            placed.add(current)
            order.append(current)
            stack.extend(sorted(by_id[current]["to"], reverse=True))

    for r in sorted(records, key=lambda r: r["id"]):
        if not any(parent in kept for parent in r["from"]):
            place(r["id"])
    for r in records:  # tracks whose parents were all placed after them
        place(r["id"])
    return [by_id[i] for i in order]


def lineage_links(records, shown):
    links = []
    for r in records:
        for parent in r["from"]:
            if parent in shown and r["id"] in shown:
                kind = "fusion" if len(r["from"]) > 1 else "division"
                links.append({"from": parent, "to": r["id"], "kind": kind})
    return links


def draw_lineage(ax, order, links, timing):
    row = {r["id"]: k for k, r in enumerate(order)}
    for r in order:
        y = row[r["id"]]
        face = "#7f7f7f" if r["present"] == 0 else colour(0)
        ax.barh(y, r["last"] - r["first"] + 0.8, left=r["first"] - 0.4, height=0.6, color=face)
    ends = {r["id"]: r["last"] + 0.4 for r in order}
    starts = {r["id"]: r["first"] - 0.4 for r in order}
    for link in links:
        line_colour = FUSION_COLOUR if link["kind"] == "fusion" else DIVISION_COLOUR
        ax.plot([ends[link["from"]], starts[link["to"]]], [row[link["from"]], row[link["to"]]],
                color=line_colour, linewidth=1.2)
    ax.set_ylim(len(order) - 0.5, -0.5)
    if len(order) <= 80:
        ax.set_yticks(range(len(order)), [str(r["id"]) for r in order], fontsize=6)
        ax.set_ylabel("track id")
    else:
        ax.set_yticks([])
    frame_axis(ax, timing)


def lineage(positions):
    series = []
    for p in positions:
        t = p.table("tracks")
        if t is None:
            continue
        records = track_records(t)
        order = lineage_order(records)
        shown = {r["id"] for r in order}
        series.append({"position": p.name, "total": len(records),
                       "tracks": [{k: r[k] for k in ("id", "first", "last", "present", "border")}
                                  for r in order],
                       "links": lineage_links(records, shown)})
    if not series:
        return None
    heights = [max(1.6, 0.5 + 0.16 * len(s["tracks"])) for s in series]
    fig, axes = plt.subplots(len(series), 1, figsize=(WIDTH, sum(heights)), squeeze=False,
                             gridspec_kw={"height_ratios": heights})
    for ax, s in zip(axes[:, 0], series):
        draw_lineage(ax, s["tracks"], s["links"], timing_of(positions))
        if len(series) > 1:
            ax.set_title(s["position"], fontsize="medium")
    handles = [plt.Line2D([], [], color=colour(0), linewidth=6, label="track (frames with a row)"),
               plt.Line2D([], [], color="#7f7f7f", linewidth=6, label="track always at the border"),
               plt.Line2D([], [], color=DIVISION_COLOUR, label="division"),
               plt.Line2D([], [], color=FUSION_COLOUR, label="fusion")]
    axes[0, 0].legend(handles=handles, fontsize="x-small", loc="lower left", bbox_to_anchor=(0, 1.02),
                      ncol=4, frameon=False)
    capped = any(s["total"] > len(s["tracks"]) for s in series)
    caption = ("Each track id of _tracks.csv as a bar from its First to its Last Frame (border "
               "frames included); lines join a parent's last frame to its children's first frame.")
    if capped:
        caption += f" Only the {LINEAGE_TRACKS} longest tracks of a position are drawn."
    return Figure("lineage", "Lineage", caption, svg_text(fig, "lineage"), {"series": series})


def histogram(positions, name, title, caption, label, values_of, integer_bins, unit):
    """`values_of(records, position)`: the values of one position, as drawn."""
    series = []
    for p in positions:
        t = p.table("tracks")
        if t is not None:
            series.append({"position": p.name, "values": values_of(track_records(t), p)})
    every = [v for s in series for v in s["values"]]
    if not series or not every:
        return None
    low, high = min(every), max(every)
    if integer_bins and high - low <= 60:
        edges = np.arange(low - 0.5, high + 1.0, 1.0)
    else:
        edges = np.histogram_bin_edges(every, bins=min(30, max(5, len(every) // 3)))
    fig, ax = plt.subplots(figsize=(WIDTH, 3.0))
    data = [s["values"] for s in series]
    labels = [s["position"] for s in series]
    ax.hist(data, bins=edges, stacked=True, label=labels, color=[colour(k) for k in range(len(data))],
            edgecolor="white", linewidth=0.5)
    for s in series:
        s["counts"] = [int(c) for c in np.histogram(s["values"], bins=edges)[0]]
    ax.set_xlabel(label)
    ax.set_ylabel("tracks")
    ax.yaxis.set_major_locator(MaxNLocator(integer=True))
    if integer_bins:
        ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    if len(series) > 1:
        ax.legend(fontsize="small")
    return Figure(name, title, caption, svg_text(fig, name),
                  {"unit": unit, "edges": [float(e) for e in edges], "series": series})


def track_lengths(positions):
    return histogram(positions, "track-lengths", "Track lengths",
                     "Frames Present of every track with at least one row in _cells.csv.",
                     "frames present", lambda records, p: [r["present"] for r in records if r["present"] > 0],
                     True, "frames")


def growth_rates(positions):
    """In square microns per hour where every position knows its pixel size
    and frame interval, else in pixels per frame."""
    per_hour = growth_known(positions)

    def values_of(records, p):
        rates = [r["growth"] for r in records if r["growth"] is not None and math.isfinite(r["growth"])]
        return [p.units.growth(v) for v in rates] if per_hour else rates

    unit = "µm² per hour" if per_hour else "pixels per frame"
    return histogram(positions, "growth-rates", "Growth rates",
                     "Growth Rate (least-squares slope of Cell Size over time) of every track with at "
                     f"least two rows in _cells.csv, in {unit}.", f"growth rate ({unit})",
                     values_of, False, unit)
