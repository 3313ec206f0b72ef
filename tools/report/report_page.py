"""The report page: one HTML file with everything inline (figures as SVG,
the numbers behind each figure as JSON, the result images as data URIs
when they are small enough), so that it opens anywhere without a network."""

import base64
import html
import json
import math
import os
import shlex

EMBED_LIMIT = 24 * 1024 * 1024  # bytes of result images embedded at most; beyond, linked
EVENT_KINDS = ["appearance", "disappearance", "division", "fusion"]

STYLE = """
body { font-family: sans-serif; margin: 0 auto; max-width: 60em; padding: 1em 2em; color: #222; }
h1 { font-size: 1.6em; margin-bottom: 0.2em; }
h2 { font-size: 1.2em; margin-top: 2em; border-bottom: 1px solid #ccc; }
table.facts { border-collapse: collapse; font-size: 0.9em; }
table.facts th { text-align: left; padding: 0.2em 1em 0.2em 0; vertical-align: top; }
table.facts td { padding: 0.2em 1em 0.2em 0; }
code { font-size: 0.9em; word-break: break-all; }
.warnings { background: #fff4e0; border-left: 4px solid #e8a33d; padding: 0.5em 1em; }
.notes { background: #eef3fb; border-left: 4px solid #6b8fc7; padding: 0.5em 1em; }
figure { margin: 1em 0; }
figure svg { width: 100%; height: auto; }
figcaption { font-size: 0.85em; color: #555; }
nav a { margin-right: 1em; }
#viewer img { max-width: 100%; image-rendering: pixelated; border: 1px solid #ccc; }
#viewer input { width: 100%; }
"""

# The frame viewer: a slider over the result images listed in data-viewer.
VIEWER_SCRIPT = """
(function () {
  var data = JSON.parse(document.getElementById('data-viewer').textContent);
  var image = document.getElementById('viewer-image');
  var slider = document.getElementById('viewer-slider');
  var label = document.getElementById('viewer-label');
  function show(k) {
    var frame = data.frames[k];
    image.src = frame.src;
    image.alt = 'result image of frame ' + frame.frame;
    label.textContent = 'Frame ' + frame.frame + ' (' + (k + 1) + ' of ' + data.frames.length + ')';
  }
  slider.addEventListener('input', function () { show(Number(slider.value)); });
  show(Number(slider.value));
})();
"""


def esc(text):
    return html.escape(str(text), quote=True)


def clean(value):
    """JSON has no NaN or infinity: such numbers become null."""
    if isinstance(value, float) and not math.isfinite(value):
        return None
    if isinstance(value, dict):
        return {k: clean(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [clean(v) for v in value]
    return value


def data_script(name, data):
    text = json.dumps(clean(data), separators=(",", ":"), allow_nan=False).replace("</", "<\\/")
    return f'<script type="application/json" id="data-{esc(name)}">{text}</script>'


def unit_fact(value, unit, source, unknown):
    if value is None:
        return unknown
    return f"{value:g} {unit} (from {source})"


def run_facts(run, units):
    if run is None:
        return ""
    words = run.get("commandLine") or []
    reason = run.get("stopReason", "")
    if run.get("stopDetail"):
        reason += f" ({run['stopDetail']})"
    rows = [("Program", f"{run.get('program', 'focustrack')} {run.get('version', '?')}"),
            ("Command line", "<code>" + esc(shlex.join(str(w) for w in words)) + "</code>"),
            ("Frames completed", run.get("framesCompleted", "?")),
            ("Stop reason", reason or "?"),
            ("Pixel size", unit_fact(units.pixel_size, "µm", units.pixel_source,
                                     "unknown: sizes in pixels")),
            ("Frame interval", unit_fact(units.interval, "min", units.interval_source,
                                         "unknown: time in frames")),
            ("Started", run.get("startTime") or "?"),
            ("Ended", run.get("endTime") or "not finished")]
    cells = "".join(f"<tr><th>{esc(k)}</th><td>{v if k == 'Command line' else esc(v)}</td></tr>"
                    for k, v in rows)
    return f'<table class="facts" id="run">{cells}</table>'


def message_box(kind, title, lines):
    if not lines:
        return ""
    items = "".join(f"<li>{esc(line)}</li>" for line in lines)
    return f'<section class="{kind}" id="{kind}"><strong>{esc(title)}</strong><ul>{items}</ul></section>'


def event_counts(positions):
    """Events per kind and position, as a table and its data."""
    series = []
    for p in positions:
        table = p.table("events")
        counts = {kind: 0 for kind in EVENT_KINDS}
        if table is not None:
            for row in table.rows:
                if row["Event"] in counts:
                    counts[row["Event"]] += 1
        series.append({"position": p.name, "present": p.tables.get("events") is not None, **counts})
    head = "".join(f"<th>{k}</th>" for k in EVENT_KINDS)
    body = "".join("<tr><th>" + esc(s["position"]) + "</th>" +
                   "".join(f"<td>{s[k] if s['present'] else '–'}</td>" for k in EVENT_KINDS) + "</tr>"
                   for s in series)
    return (f'<section id="events"><h2>Events</h2><table class="facts"><tr><th></th>{head}</tr>{body}'
            f'</table>{data_script("events", {"series": series})}</section>')


def figure_block(figure):
    return (f'<section id="section-{esc(figure.name)}"><h2>{esc(figure.title)}</h2>'
            f'<figure class="figure" id="figure-{esc(figure.name)}" data-figure="{esc(figure.name)}">'
            f'{figure.svg}<figcaption>{esc(figure.caption)}</figcaption></figure>'
            f'{data_script(figure.name, figure.data)}</section>')


def image_source(folder, name, embed):
    if not embed:
        return name
    kind = "png" if name.endswith(".png") else "bmp"
    with open(os.path.join(folder, name), "rb") as f:
        return f"data:image/{kind};base64," + base64.b64encode(f.read()).decode("ascii")


def viewer_block(position, notes, link_images=False):
    """A slider over the result images; empty without images. They are
    embedded unless asked otherwise or too large."""
    if not position.images:
        return ""
    frames_of = {}
    average = position.table("average")
    if average is not None:
        frames_of = dict(zip(average.column("Index", int), average.column("Frame", int)))
    first = (position.run or {}).get("settings", {}).get("firstFrame", 1)
    total = sum(os.path.getsize(os.path.join(position.folder, n)) for _, n in position.images)
    embed = total <= EMBED_LIMIT and not link_images
    if not embed and not link_images:
        notes.append("The result images are too large to embed: the frame viewer shows them from "
                     "the folder of the report, so keep the page next to them.")
    frames = [{"ordinal": k, "frame": frames_of.get(k, first + k - 1), "file": name,
               "src": image_source(position.folder, name, embed)} for k, name in position.images]
    return (f'<section id="section-viewer"><h2>Result images</h2><div id="viewer">'
            f'<div id="viewer-label"></div><input type="range" id="viewer-slider" min="0" '
            f'max="{len(frames) - 1}" value="0" step="1"><img id="viewer-image" alt="">'
            f'</div>{data_script("viewer", {"embedded": embed, "frames": frames})}'
            f'<script>{VIEWER_SCRIPT}</script></section>')


def positions_block(positions):
    """The report over several positions: one line per position."""
    rows = []
    for p in positions:
        run = p.run or {}
        link = os.path.join(os.path.basename(os.path.normpath(p.folder)), "report.html")
        has_report = os.path.exists(os.path.join(p.folder, "report.html"))
        name = f'<a href="{esc(link)}">{esc(p.name)}</a>' if has_report else esc(p.name)
        rows.append(f"<tr><th>{name}</th><td>{esc(run.get('framesCompleted', '?'))}</td>"
                    f"<td>{esc(run.get('stopReason', 'no run.json'))}</td>"
                    f"<td>{len(p.warnings) + len(p.notes)}</td></tr>")
    return ('<table class="facts" id="positions"><tr><th>Position</th><th>Frames completed</th>'
            '<th>Stop reason</th><th>Warnings and notes</th></tr>' + "".join(rows) + "</table>")


def page(title, subtitle, header, warnings, notes, figures, extra_blocks):
    navigation = "".join(f'<a href="#section-{esc(f.name)}">{esc(f.title)}</a>' for f in figures)
    body = "".join(figure_block(f) for f in figures)
    return ("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
            "img-src data: file:; style-src 'unsafe-inline'; script-src 'unsafe-inline'\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
            f"<title>{esc(title)}</title><style>{STYLE}</style></head><body>"
            f"<header><h1>{esc(title)}</h1><p>{esc(subtitle)}</p>{header}</header>"
            f"{message_box('warnings', 'Warnings', warnings)}"
            f"{message_box('notes', 'Notes on the tables', notes)}"
            f"<nav>{navigation}</nav><main>{body}{''.join(extra_blocks)}</main>"
            "</body></html>\n")
