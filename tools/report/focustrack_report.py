#!/usr/bin/env python3
"""focustrack-report: writes report.html, one self-contained page that shows
how a focustrack run went, from the tables of its output folder alone.

  focustrack-report OUTDIR [--link-images] [--log FILE]
      the report of one run: OUTDIR/report.html, with the result images
      embedded (unless they are too large or --link-images is given) and
      the reason lines of FILE (the run's saved standard error) as warnings
  focustrack-report --positions RESULTS NAME [NAME ...]
      the report over the positions RESULTS/NAME of the many-positions
      workflow, figures coloured or panelled by position: RESULTS/report.html

Exit status: 0 when the report was written (also when some tables were
missing or damaged: the page says so), 1 when there was nothing to report
or the page could not be written, 2 for a wrong command line."""

import argparse
import os
import sys

SYSTEM_PYTHON = "/usr/bin/python3"  # where Debian's python3-matplotlib lands


def ensure_matplotlib():
    """True when matplotlib can be imported. Another Python on the PATH
    (a virtual environment, pyenv) may lack it while Debian's has it: then
    the report runs again under Debian's."""
    try:
        import matplotlib  # noqa: F401
        return True
    except ImportError:
        pass
    here = os.path.realpath(sys.executable or "")
    if (os.path.exists(SYSTEM_PYTHON) and here != os.path.realpath(SYSTEM_PYTHON)
            and not os.environ.get("FOCUSTRACK_REPORT_SYSTEM_PYTHON")):
        os.environ["FOCUSTRACK_REPORT_SYSTEM_PYTHON"] = "1"
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(__file__)] + sys.argv[1:])
    return False


def fail(message):
    print(f"focustrack-report: {message}", file=sys.stderr)
    return 1


def draw_figures(positions):
    import report_figures as figures
    import report_tracks as tracks
    makers = [figures.cells_per_frame, figures.mean_size, figures.size_distribution,
              figures.longest_tracks, tracks.lineage, tracks.track_lengths, tracks.growth_rates,
              figures.vacuoles]
    drawn = [make(positions) for make in makers]
    return [f for f in drawn if f is not None]


def write_page(path, text):
    temporary = path + ".tmp"
    try:
        with open(temporary, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(temporary, path)
    except OSError as error:
        return fail(f"cannot write '{path}': {error.strerror}")
    print(f"Report: {path}")
    return 0


def report_of_run(folder, link_images, log):
    import report_page as page
    from report_tables import Position
    if not os.path.isdir(folder):
        return fail(f"'{folder}' is not a folder")
    if log and not os.path.isfile(log):
        return fail(f"no log file '{log}'")
    position = Position(folder, log=log)
    if not position.has_any_table():
        return fail(f"'{folder}' holds none of the tables _cells.csv, _average.csv, _tracks.csv, "
                    f"_events.csv: is it the output folder (-o) of a focustrack run?")
    figures = draw_figures([position])
    notes = list(position.notes)
    viewer = page.viewer_block(position, notes, link_images)
    if not figures:
        notes.append("No figure could be drawn: the tables have no rows.")
    shown = os.path.normpath(folder)
    text = page.page(f"focustrack report: {shown if shown != '.' else position.name}",
                     "Output folder: " + shown, page.run_facts(position.run, position.units), position.warnings, notes, figures,
                     [page.event_counts([position]), viewer])
    return write_page(os.path.join(folder, "report.html"), text)


def report_of_positions(results, names):
    import report_page as page
    from report_tables import Position
    if not os.path.isdir(results):
        return fail(f"'{results}' is not a folder")
    positions = [Position(os.path.join(results, name), name) for name in names]
    warnings, notes = [], []
    for p in positions:
        if not os.path.isdir(p.folder):
            warnings.append(f"{p.name}: no output folder.")
            continue
        warnings += [f"{p.name}: {w}" for w in p.warnings]
        notes += [f"{p.name}: {n}" for n in p.notes]
    figures = draw_figures(positions)
    if not figures:
        notes.append("No figure could be drawn: no position has tables with rows.")
    text = page.page("focustrack report: all positions", "Results folder: " + os.path.normpath(results),
                     page.positions_block(positions), warnings, notes, figures,
                     [page.event_counts(positions)])
    return write_page(os.path.join(results, "report.html"), text)


def main(argv):
    parser = argparse.ArgumentParser(
        prog="focustrack-report", description="Writes report.html from the tables of a focustrack run.")
    parser.add_argument("folder", help="output folder of the run (with --positions: the results folder)")
    parser.add_argument("names", nargs="*", help="with --positions: the position folders in it")
    parser.add_argument("--positions", action="store_true", help="one report over several positions")
    parser.add_argument("--log", metavar="FILE",
                        help="the run's standard error, saved: its reason lines join the warnings")
    parser.add_argument("--link-images", action="store_true",
                        help="refer to the result images next to the page instead of embedding them")
    args = parser.parse_args(argv)
    if not args.positions and args.names:
        parser.error("one output folder, or --positions RESULTS NAME ...")
    if args.positions and not args.names:
        parser.error("--positions needs the names of the position folders")
    if not ensure_matplotlib():
        return fail("matplotlib is not installed: run scripts/setup.sh (Debian package "
                    "python3-matplotlib)")
    sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))
    if args.positions:
        return report_of_positions(args.folder, args.names)
    return report_of_run(args.folder, args.link_images, args.log)


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
    except Exception as error:  # a report is a convenience: never a traceback
        sys.exit(fail(f"cannot write the report: {type(error).__name__}: {error}"))
