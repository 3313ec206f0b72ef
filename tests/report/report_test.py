#!/usr/bin/env python3
"""Tests of focustrack-report on real runs of synthetic recordings.

  report_test.py CASE FOCUSTRACK FOCUSTRACK_SYNTH FOCUSTRACK_REPORT

Page: the report of a run with divisions opens in headless Chromium
without any error, warning or network request, shows every figure and the
frame viewer, and the numbers behind each figure equal those of the tables.
BadInput: missing folders, missing, empty, damaged and truncated tables
give a clear message or a report with a note, never a traceback.
Positions: the report over several positions, one of them without output.
Units: with a pixel size and frame interval the figures draw square
microns, square microns per hour and a minute axis, their numbers equal to
the tables' pixel figures times the factors; without them the page says that
sizes stay in pixels and time in frames. PNG result images are shown too.

Exit status 0 passed, 1 failed, 77 skipped (matplotlib, or Chromium for
the cases that open the page, not installed)."""

import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

FIGURES = ["cells-per-frame", "mean-size", "size-distribution", "longest-tracks", "lineage",
           "track-lengths", "growth-rates", "vacuoles"]
SKIPPED = 77


class Check:
    def __init__(self, programs, work):
        self.focustrack, self.synth, self.report = programs
        self.work = work
        self.failures = []

    def expect(self, condition, what):
        if not condition:
            self.failures.append(what)
        return condition

    def record(self, name, seed, frames, size=(320, 240), slices=16, options=()):
        """Generates a recording and analyses it with result images."""
        slices_at = os.path.join(self.work, "slices", name, "t%0_z%1.tif")
        out = os.path.join(self.work, name)
        w, h = str(size[0]), str(size[1])
        common = ["-w", w, "-h", h, "-sc", str(slices), "-c", str(frames), "-p", slices_at]
        subprocess.run([self.synth, *common, "--seed", str(seed)], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([self.focustrack, *common, "-o", out, "-i", *options], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return out

    def run_report(self, *words):
        done = subprocess.run([self.report, *words], capture_output=True, text=True)
        self.expect("Traceback" not in done.stderr + done.stdout, f"traceback from {words}: {done.stderr}")
        return done


# Reading the tables again, independently of the report's own reader.

def table(path):
    with open(path) as f:
        lines = f.read().split("\n")
    header = lines[0].split(", ")[:-1]
    return [dict(zip(header, line.split(", ")[:-1])) for line in lines[1:] if line]


def number(text):
    value = float(text)
    return None if math.isnan(value) else value


def expected_numbers(folder):
    """What each figure should plot, from the tables."""
    cells = table(os.path.join(folder, "_cells.csv"))
    average = table(os.path.join(folder, "_average.csv"))
    tracks = table(os.path.join(folder, "_tracks.csv"))
    events = table(os.path.join(folder, "_events.csv"))
    frames = [int(r["Frame"]) for r in average]
    sizes = {}
    rows_of = {}
    for r in cells:
        sizes.setdefault(int(r["Frame"]), []).append(int(r["Cell Size"]))
        rows_of.setdefault(int(r["Id"]), []).append((int(r["Frame"]), int(r["Cell Size"])))
    vacuoles = {f: 0 for f in frames}
    for r in cells:
        vacuoles[int(r["Frame"])] += int(r["Vacuole Count"])
    return {
        "frames": frames,
        "all": [int(r["Cell Count (All)"]) for r in average],
        "nucleus": [int(r["Cell Count (Nuclei)"]) for r in average],
        "mean_size": [number(r["Cell Size (All)"]) for r in average],
        "sizes": dict(sorted(sizes.items())),
        "rows_of": rows_of,
        "tracks": sorted((int(r["Id"]), int(r["First Frame"]), int(r["Last Frame"]),
                          int(r["Frames Present"]), int(r["Border Frames"])) for r in tracks),
        "joins": sorted((int(p), int(r["Id"])) for r in tracks for p in r["From"].split()),
        "lengths": sorted(int(r["Frames Present"]) for r in tracks if int(r["Frames Present"]) > 0),
        "growth": sorted(float(r["Growth Rate"]) for r in tracks if r["Growth Rate"]),
        "vacuoles": [vacuoles[f] for f in frames],
        "per_cell": [number(r["Vacuole Count"]) for r in average],
        "events": {kind: sum(r["Event"] == kind for r in events)
                   for kind in ("appearance", "disappearance", "division", "fusion")},
    }


def compare_numbers(check, data, series_index, expected, name):
    """The page's data of one position against the tables."""
    def series(figure):
        return data[f"data-{figure}"]["series"][series_index]

    where = f"{name}: "
    s = series("cells-per-frame")
    check.expect((s["frame"], s["all"], s["with_nucleus"]) ==
                 (expected["frames"], expected["all"], expected["nucleus"]), where + "cells per frame")
    check.expect(series("mean-size")["mean_size"] == expected["mean_size"], where + "mean size")
    s = series("size-distribution")
    check.expect(dict(zip(s["frame"], s["sizes"])) == expected["sizes"], where + "size distribution")
    lines = [x for x in data["data-longest-tracks"]["series"] if x["position"] == s["position"]]
    shortest_drawn = min(len(x["frame"]) for x in lines)
    drawn = {x["id"] for x in lines}
    for x in lines:
        check.expect(list(zip(x["frame"], x["size"])) == expected["rows_of"][x["id"]], where + f"track {x['id']}")
    check.expect(all(len(rows) <= shortest_drawn for i, rows in expected["rows_of"].items() if i not in drawn),
                 where + "a longer track is not drawn")
    s = series("lineage")
    check.expect(sorted((t["id"], t["first"], t["last"], t["present"], t["border"]) for t in s["tracks"])
                 == expected["tracks"], where + "lineage bars")
    check.expect(sorted((j["from"], j["to"]) for j in s["links"]) == expected["joins"], where + "lineage links")
    for figure, key in (("track-lengths", "lengths"), ("growth-rates", "growth")):
        check.expect(sorted(series(figure)["values"]) == expected[key], where + figure)
    s = series("vacuoles")
    check.expect((s["total"], s["per_cell"]) == (expected["vacuoles"], expected["per_cell"]), where + "vacuoles")
    s = data["data-events"]["series"][series_index]
    check.expect({k: s[k] for k in expected["events"]} == expected["events"], where + "event counts")


# What the browser is asked about the page.
PAGE_FACTS = """(() => {
  const figures = [...document.querySelectorAll('figure.figure')].map(f => {
    const box = f.querySelector('svg') ? f.querySelector('svg').getBoundingClientRect() : {width: 0, height: 0};
    return {name: f.dataset.figure, width: box.width, height: box.height};
  });
  const data = {};
  for (const s of document.querySelectorAll('script[type="application/json"]')) data[s.id] = JSON.parse(s.textContent);
  return {figures, data, title: document.title};
})()"""

# Moves the frame viewer to a frame and answers what the image then shows.
VIEWER_AT = """new Promise(done => {
  const image = document.getElementById('viewer-image');
  const slider = document.getElementById('viewer-slider');
  const answer = () => done({width: image.naturalWidth, height: image.naturalHeight,
                             label: document.getElementById('viewer-label').textContent});
  if (Number(slider.value) === %d && image.complete) return answer();
  image.onload = answer;
  image.onerror = () => done({width: 0, height: 0, label: 'load failed'});
  slider.value = %d;
  slider.dispatchEvent(new Event('input'));
})"""


def check_page(check, browser, page, figures):
    browser.open(page)
    facts = browser.evaluate(PAGE_FACTS)
    check.expect(browser.problems() == [], f"{page}: {browser.problems()}")
    shown = [f["name"] for f in facts["figures"]]
    check.expect(shown == figures, f"{page}: figures {shown}")
    for f in facts["figures"]:
        check.expect(f["width"] > 300 and f["height"] > 100, f"{page}: figure {f['name']} is {f}")
    return facts


def check_viewer(check, browser, frames, size):
    for k, frame in ((0, frames[0]), (len(frames) - 1, frames[-1])):
        seen = browser.evaluate(VIEWER_AT % (k, k))
        check.expect((seen["width"], seen["height"]) == size, f"viewer at {k}: {seen}")
        check.expect(seen["label"].startswith(f"Frame {frame} "), f"viewer label {seen['label']!r}")
    check.expect(browser.problems() == [], f"viewer: {browser.problems()}")


def case_page(check):
    out = check.record("run", seed=4, frames=8)
    done = check.run_report(out)
    page = os.path.join(out, "report.html")
    check.expect(done.returncode == 0 and f"Report: {page}" in done.stdout, f"report: {done.stderr}")
    with open(page, "rb") as f:
        first = f.read()
    check.run_report(out)
    with open(page, "rb") as f:
        check.expect(f.read() == first, "two reports of the same tables differ")
    expected = expected_numbers(out)
    check.expect(expected["events"]["division"] > 0, "the recording has no division to draw")
    browser = cdp.Browser()
    try:
        facts = check_page(check, browser, page, FIGURES)
        compare_numbers(check, facts["data"], 0, expected, "run")
        viewer = facts["data"]["data-viewer"]
        check.expect(viewer["embedded"] and [f["frame"] for f in viewer["frames"]] == expected["frames"],
                     "viewer frames")
        check_viewer(check, browser, expected["frames"], (320, 240))
        # The images left next to the page instead of embedded.
        check.expect(check.run_report(out, "--link-images").returncode == 0, "report --link-images")
        facts = check_page(check, browser, page, FIGURES)
        check.expect([f["src"] for f in facts["data"]["data-viewer"]["frames"]] ==
                     [f"result_{k:04d}.bmp" for k in range(1, len(expected["frames"]) + 1)], "linked images")
        check_viewer(check, browser, expected["frames"], (320, 240))
    finally:
        browser.close()


def case_positions(check):
    names = ["p1", "p2", "p3"]
    for k, name in enumerate(names[:2]):
        check.run_report(check.record(name, seed=k + 1, frames=5, size=(200, 150), slices=8))
    os.makedirs(os.path.join(check.work, "p3"))  # a position that left nothing
    done = check.run_report("--positions", check.work, *names)
    page = os.path.join(check.work, "report.html")
    check.expect(done.returncode == 0, f"positions report: {done.stderr}")
    browser = cdp.Browser()
    try:
        facts = check_page(check, browser, page, FIGURES)
        for k, name in enumerate(names[:2]):
            check.expect(facts["data"]["data-cells-per-frame"]["series"][k]["position"] == name, "order")
            compare_numbers(check, facts["data"], k, expected_numbers(os.path.join(check.work, name)), name)
        links = browser.evaluate("[...document.querySelectorAll('#positions a')].map(a => a.getAttribute('href'))")
        check.expect(links == ["p1/report.html", "p2/report.html"], f"position links {links}")
        notes = browser.evaluate("document.getElementById('notes').textContent")
        check.expect("p3: _cells.csv is missing" in notes, f"notes {notes!r}")
    finally:
        browser.close()


def page_text(folder):
    with open(os.path.join(folder, "report.html"), encoding="utf-8") as f:
        return f.read()


def data_ids(text):
    return set(re.findall(r'<script type="application/json" id="data-([a-z-]+)"', text))


def damaged(check, base, name, damage):
    folder = os.path.join(check.work, name)
    shutil.copytree(base, folder)
    damage(folder)
    done = check.run_report(folder)
    check.expect(done.returncode == 0, f"{name}: exit {done.returncode}: {done.stderr}")
    return page_text(folder) if done.returncode == 0 else ""


def rewrite(path, change):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    with open(path, "w", encoding="utf-8") as f:
        f.write(change(text))


def case_bad_input(check):
    base = check.record("base", seed=2, frames=4, size=(200, 150), slices=8)
    os.makedirs(os.path.join(check.work, "empty"))
    for words, status, message in (([os.path.join(check.work, "nowhere")], 1, "is not a folder"),
                                   ([os.path.join(check.work, "empty")], 1, "holds none of the tables"),
                                   ([], 2, "usage")):
        done = check.run_report(*words)
        check.expect(done.returncode == status and message in done.stderr, f"{words}: {done.stderr}")

    log = os.path.join(check.work, "stderr.txt")
    with open(log, "w") as f:
        f.write("focustrack: cannot read slice 't0005_z003.tif' of frame 5: file not found\n")
    check.expect(check.run_report(base, "--log", log).returncode == 0, "report with --log")
    check.expect("focustrack: cannot read slice &#x27;t0005_z003.tif&#x27;" in page_text(base), "log warning")
    no_log = check.run_report(base, "--log", log + ".missing")
    check.expect(no_log.returncode == 1 and "no log file" in no_log.stderr, f"missing log: {no_log.stderr}")

    text = damaged(check, base, "empty-cells", lambda d: open(os.path.join(d, "_cells.csv"), "w").close())
    check.expect("_cells.csv is empty" in text, "empty table note")
    check.expect({"cells-per-frame", "lineage"} <= data_ids(text) and "size-distribution" not in data_ids(text),
                 f"figures without the cell table: {data_ids(text)}")

    cells = table(os.path.join(base, "_cells.csv"))
    text = damaged(check, base, "truncated", lambda d: rewrite(os.path.join(d, "_cells.csv"), lambda t: t[:-9]))
    check.expect("The last line of _cells.csv is incomplete" in text, "truncated note")
    sizes = re.search(r'id="data-size-distribution">(.*?)</script>', text)
    kept = sum(len(s) for s in json.loads(sizes.group(1))["series"][0]["sizes"]) if sizes else -1
    check.expect(kept == len(cells) - 1, f"truncated: {kept} sizes kept of {len(cells)} rows")

    def header_only(folder):
        for name in ("_cells.csv", "_average.csv", "_tracks.csv", "_events.csv"):
            rewrite(os.path.join(folder, name), lambda t: t.split("\n")[0] + "\n")
    text = damaged(check, base, "header-only", header_only)
    check.expect("_cells.csv has no rows yet" in text and "No figure could be drawn" in text, "header only")

    text = damaged(check, base, "bad-run-json", lambda d: rewrite(os.path.join(d, "run.json"), lambda t: "{"))
    check.expect("run.json cannot be read" in text and len(data_ids(text) & set(FIGURES)) == len(FIGURES),
                 "damaged run.json")
    text = damaged(check, base, "no-run-json", lambda d: os.remove(os.path.join(d, "run.json")))
    check.expect("run.json is missing" in text, "missing run.json")
    text = damaged(check, base, "renamed-column",
                   lambda d: rewrite(os.path.join(d, "_cells.csv"), lambda t: t.replace("Cell Size,", "Size,", 1)))
    check.expect("_cells.csv lacks the column &#x27;Cell Size&#x27;" in text, "missing column note")
    text = damaged(check, base, "garbage-line",
                   lambda d: rewrite(os.path.join(d, "_average.csv"), lambda t: t.replace("\n", "\nx, y, \n", 1)))
    check.expect("1 line of _average.csv could not be read" in text, "garbage line note")


def page_data(text):
    return {name: json.loads(body) for name, body in
            re.findall(r'<script type="application/json" id="data-([a-z-]+)">(.*?)</script>', text)}


def close(a, b):
    return a is None and b is None or a is not None and b is not None and abs(a - b) <= 1e-9 * max(1.0, abs(b))


def case_units(check):
    pixel, interval = 0.13, 7.5
    out = check.record("units", seed=4, frames=6, size=(200, 150), slices=8,
                       options=("--pixel-size", str(pixel), "--interval", str(interval), "--image-format", "png"))
    check.expect(check.run_report(out).returncode == 0, "report with units")
    text = page_text(out)
    data = page_data(text)
    check.expect("<th>Pixel size</th><td>0.13 µm (from option)</td>" in text, "pixel size fact")
    check.expect("<th>Frame interval</th><td>7.5 min (from option)</td>" in text, "interval fact")
    check.expect("minutes from the first frame" in text and "cell size (µm²)" in text, "axis labels")
    check.expect("is unknown" not in text, "no unknown-unit note")
    area = pixel * pixel
    expected = expected_numbers(out)
    s = data["mean-size"]["series"][0]
    check.expect(data["mean-size"]["unit"] == "µm²" and s["mean_size"] == expected["mean_size"], "mean size")
    check.expect(all(close(m, None if v is None else v * area) for m, v in zip(s["mean_size_um2"], s["mean_size"])),
                 "mean size in square microns")
    s = data["size-distribution"]["series"][0]
    check.expect([[v * area for v in g] for g in s["sizes"]] == s["sizes_um2"], "size distribution")
    # The table's growth column in square microns per hour is checked by the
    # Units tests of focustrack itself; the figure draws those values.
    tracks = table(os.path.join(out, "_tracks.csv"))
    written = sorted(float(r["Growth Rate (um^2/h)"]) for r in tracks if r["Growth Rate (um^2/h)"])
    drawn = sorted(data["growth-rates"]["series"][0]["values"])
    check.expect(data["growth-rates"]["unit"] == "µm² per hour" and len(drawn) == len(written) > 0 and
                 all(abs(a - b) <= 1e-5 * abs(b) for a, b in zip(drawn, written)), "growth in µm² per hour")
    frames = data["viewer"]["frames"]
    check.expect(len(frames) == 6 and all(f["src"].startswith("data:image/png;base64,") for f in frames),
                 "PNG result images in the viewer")

    plain = check.record("plain", seed=4, frames=3, size=(200, 150), slices=8)
    check.expect(check.run_report(plain).returncode == 0, "report without units")
    text = page_text(plain)
    data = page_data(text)
    check.expect("sizes are in pixels" in text and "time is counted in frames" in text, "unknown-unit notes")
    check.expect("<th>Pixel size</th><td>unknown: sizes in pixels</td>" in text, "unknown pixel size fact")
    check.expect(data["mean-size"]["unit"] == "pixels" and "mean_size_um2" not in data["mean-size"]["series"][0],
                 "pixels without a pixel size")
    check.expect(data["growth-rates"]["unit"] == "pixels per frame", "growth in pixels per frame")
    check.expect("minutes from the first frame" not in text, "no minute axis")


def matplotlib_available():
    for python in (sys.executable, "/usr/bin/python3"):
        if os.path.exists(python) and subprocess.run([python, "-c", "import matplotlib"],
                                                     capture_output=True).returncode == 0:
            return True
    return False


def main():
    case, programs = sys.argv[1], sys.argv[2:5]
    if not matplotlib_available():
        print("matplotlib is not installed; skipping")
        return SKIPPED
    if case in ("Page", "Positions") and cdp.chromium_path() is None:
        print("chromium is not installed; skipping")
        return SKIPPED
    work = tempfile.mkdtemp(prefix=f"focustrack-report-{case}-")
    check = Check(programs, work)
    try:
        {"Page": case_page, "BadInput": case_bad_input, "Positions": case_positions,
         "Units": case_units}[case](check)
    except Exception as error:  # the checks so far are reported with it
        check.failures.append(f"stopped by {type(error).__name__}: {error}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in check.failures:
        print("FAIL:", failure)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
