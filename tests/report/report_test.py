#!/usr/bin/env python3
"""Tests of focustrack-report on runs of synthetic recordings:

  report_test.py CASE FOCUSTRACK FOCUSTRACK_SYNTH FOCUSTRACK_REPORT

CASE is Page, BadInput, Positions or Units. Exit status 0 passed, 1 failed,
77 skipped (matplotlib, or Chromium for the cases that open the page, missing)."""

import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile


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
        common = ["-w", str(size[0]), "-h", str(size[1]), "-sc", str(slices), "-c", str(frames), "-p", slices_at]
        subprocess.run([self.synth, *common, "--seed", str(seed)], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([self.focustrack, *common, "-o", out, "-i", *options], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return out

    def run_report(self, *words):
        done = subprocess.run([self.report, *words], capture_output=True, text=True)
        self.expect("Traceback" not in done.stderr + done.stdout, f"traceback from {words}: {done.stderr}")
        return done


# Added at the end of a copy of the page: what the page shows once the
# browser has laid it out (the figures with the size of their drawing, the
# links to positions, the notes and the viewer's label), written into the page.
FACTS = """<script>(() => {
  const text = id => (document.getElementById(id) || {}).textContent || '';
  const facts = {
    figures: [...document.querySelectorAll('figure.figure')].map(f => {
      const box = f.querySelector('svg') ? f.querySelector('svg').getBoundingClientRect() : {width: 0, height: 0};
      return {name: f.dataset.figure, width: box.width, height: box.height};
    }),
    links: [...document.querySelectorAll('#positions a')].map(a => a.getAttribute('href')),
    notes: text('notes'),
    viewer: text('viewer-label'),
  };
  const out = document.createElement('pre');
  out.id = 'page-facts';
  out.textContent = JSON.stringify(facts);
  document.body.append(out);
})();</script>"""


def open_page(page):
    """Opens a copy of the page with FACTS in headless Chromium. Returns the
    facts and every line the page wrote to the console: exceptions, warnings
    and requests its content policy blocked all land there."""
    text = page_text(os.path.dirname(page))
    end = text.rindex("</body>")
    probe = os.path.join(os.path.dirname(page), "probe.html")
    with open(probe, "w", encoding="utf-8") as f:
        f.write(text[:end] + FACTS + text[end:])
    with tempfile.TemporaryDirectory(prefix="focustrack-chromium-") as profile:
        shown = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                f"--user-data-dir={profile}", "--window-size=1200,900", "--enable-logging=stderr",
                                "--v=0", "--dump-dom", "file://" + os.path.abspath(probe)],
                               capture_output=True, text=True, timeout=120)
    os.remove(probe)
    found = re.search(r'<pre id="page-facts">(.*?)</pre>', shown.stdout, re.S)
    console = [line for line in shown.stderr.splitlines() if ":CONSOLE" in line]
    return (json.loads(html.unescape(found.group(1))) if found else {}), console


def check_page(check, page):
    """Opens the page and checks that every figure is drawn; returns what it shows."""
    facts, console = open_page(page)
    check.expect(facts and console == [], f"{page}: facts {facts!r}, console {console}")
    shown = [f["name"] for f in facts.get("figures", [])]
    check.expect(shown == FIGURES, f"{page}: figures {shown}")
    for f in facts.get("figures", []):
        check.expect(f["width"] > 300 and f["height"] > 100, f"{page}: figure {f['name']} is {f}")
    return facts


def case_page(check):
    """The page opens without an error or request and shows every figure and frame."""
    out = check.record("run", seed=4, frames=8)
    done = check.run_report(out)
    page = os.path.join(out, "report.html")
    check.expect(done.returncode == 0 and f"Report: {page}" in done.stdout, f"report: {done.stderr}")
    check.expect(check_page(check, page).get("viewer") == "Frame 1 (1 of 8)", "viewer label")
    frames = [f["frame"] for f in page_data(page_text(out))["viewer"]["frames"]]
    check.expect(frames == list(range(1, 9)), f"viewer frames {frames}")


def case_positions(check):
    """A report over several positions, one of them without output."""
    names = ["p1", "p2", "p3"]
    for k, name in enumerate(names[:2]):
        check.run_report(check.record(name, seed=k + 1, frames=5, size=(200, 150), slices=8))
    os.makedirs(os.path.join(check.work, "p3"))  # a position that left nothing
    done = check.run_report("--positions", check.work, *names)
    page = os.path.join(check.work, "report.html")
    check.expect(done.returncode == 0, f"positions report: {done.stderr}")
    facts = check_page(check, page)
    check.expect(facts.get("links") == ["p1/report.html", "p2/report.html"], f"position links {facts}")
    check.expect("p3: _cells.csv is missing" in facts.get("notes", ""), f"notes {facts}")
    drawn = [s["position"] for s in page_data(page_text(check.work))["cells-per-frame"]["series"]]
    check.expect(drawn == names[:2], f"positions drawn {drawn}")


def page_text(folder):
    with open(os.path.join(folder, "report.html"), encoding="utf-8") as f:
        return f.read()


def rewrite(path, change):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    with open(path, "w", encoding="utf-8") as f:
        f.write(change(text))


def header_only(folder):
    for name in ("_cells.csv", "_average.csv", "_tracks.csv", "_events.csv"):
        rewrite(os.path.join(folder, name), lambda t: t.split("\n")[0] + "\n")


# A damage done to a copy of a run's folder and the note its report shows.
DAMAGES = [
    ("empty-cells", lambda d: open(os.path.join(d, "_cells.csv"), "w").close(), "_cells.csv is empty"),
    ("truncated", lambda d: rewrite(os.path.join(d, "_cells.csv"), lambda t: t[:-9]),
     "The last line of _cells.csv is incomplete"),
    ("header-only", header_only, "No figure could be drawn"),
    ("bad-run-json", lambda d: rewrite(os.path.join(d, "run.json"), lambda t: "{"), "run.json cannot be read"),
    ("no-run-json", lambda d: os.remove(os.path.join(d, "run.json")), "run.json is missing"),
    ("renamed-column", lambda d: rewrite(os.path.join(d, "_cells.csv"), lambda t: t.replace("Cell Size,", "Size,", 1)),
     "_cells.csv lacks the column &#x27;Cell Size&#x27;"),
    ("garbage-line", lambda d: rewrite(os.path.join(d, "_average.csv"), lambda t: t.replace("\n", "\nx, y, \n", 1)),
     "1 line of _average.csv could not be read"),
]


def case_bad_input(check):
    """Bad folders and damaged tables give a message or a note, never a traceback."""
    base = check.record("base", seed=2, frames=4, size=(200, 150), slices=8)
    os.makedirs(os.path.join(check.work, "empty"))
    log = os.path.join(check.work, "stderr.txt")
    with open(log, "w") as f:
        f.write("focustrack: cannot read slice 't0005_z003.tif' of frame 5: file not found\n")
    for words, status, message in (([os.path.join(check.work, "nowhere")], 1, "is not a folder"),
                                   ([os.path.join(check.work, "empty")], 1, "holds none of the tables"),
                                   ([], 2, "usage"),
                                   ([base, "--log", log + ".missing"], 1, "no log file")):
        done = check.run_report(*words)
        check.expect(done.returncode == status and message in done.stderr, f"{words}: {done.stderr}")
    check.expect(check.run_report(base, "--log", log).returncode == 0, "report with --log")
    check.expect("focustrack: cannot read slice &#x27;t0005_z003.tif&#x27;" in page_text(base), "log warning")

    for name, damage, note in DAMAGES:
        folder = os.path.join(check.work, name)
        shutil.copytree(base, folder)
        damage(folder)
        done = check.run_report(folder)
        check.expect(done.returncode == 0, f"{name}: exit {done.returncode}: {done.stderr}")
        check.expect(done.returncode == 0 and note in page_text(folder), f"{name}: no note {note!r}")


def page_data(text):
    return {name: json.loads(body) for name, body in
            re.findall(r'<script type="application/json" id="data-([a-z-]+)">(.*?)</script>', text)}


def case_units(check):
    """Figures in square microns and minutes, or a note that pixels and frames are used."""
    pixel, interval = 0.13, 7.5
    out = check.record("units", seed=4, frames=6, size=(200, 150), slices=8,
                       options=("--pixel-size", str(pixel), "--interval", str(interval)))
    check.expect(check.run_report(out).returncode == 0, "report with units")
    text = page_text(out)
    check.expect("<th>Pixel size</th><td>0.13 µm (from option)</td>" in text, "pixel size fact")
    check.expect("<th>Frame interval</th><td>7.5 min (from option)</td>" in text, "interval fact")
    check.expect("minutes from the first frame" in text and "cell size (µm²)" in text, "axis labels")
    s = page_data(text)["mean-size"]
    drawn = s["series"][0]
    check.expect(s["unit"] == "µm²" and len(drawn["mean_size"]) == 6, "mean size in square microns")
    check.expect(all(m is None and v is None or abs(m - v * pixel * pixel) <= 1e-9 * max(1.0, m)
                     for m, v in zip(drawn["mean_size_um2"], drawn["mean_size"])), "square microns")

    plain = check.record("plain", seed=4, frames=3, size=(200, 150), slices=8)
    check.expect(check.run_report(plain).returncode == 0, "report without units")
    text = page_text(plain)
    check.expect("sizes are in pixels" in text and "time is counted in frames" in text, "unknown-unit notes")
    check.expect(page_data(text)["mean-size"]["unit"] == "pixels", "pixels without a pixel size")
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
    if case in ("Page", "Positions") and shutil.which("chromium") is None:
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
