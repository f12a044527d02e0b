#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a product source includes a header of a higher layer.

The layers, lowest first: base (number formatting, text building, the worker base, the job
observer, the one output writer) -> averaging (the 40-lambda engine and its great-circle maths)
-> logfile (framing, the decoder, the rows' assembly) -> filters (the filter stages between the
decoder and the rows' sinks) -> the passes and outputs, in this order: index and convert (the
job runner and the text), geodata (the drive as map layers), report (drive quality, provenance),
export and map (map layer files; the map's points and background files), calibration and bins
(a propagation model fitted to the drive; the drive in square cells) -> workflow (the steps of
every job, for both front ends) -> settings (the configuration file and the window-state model,
no Qt) -> the map's drawing (mapdraw: QtGui only, so that the command line draws without a
display) -> the front ends (app, cli). A folder may include its own layer and the ones below.
Qt is allowed in the window (app) and, without QtWidgets, in mapdraw; GDAL only in export, map,
calibration and bins. Folders outside the product (tests, tools, fuzz, bench) are not checked;
a product folder that is not listed here fails, so that a new one is placed deliberately.

usage: check_layers.py SOURCE_DIR
"""
import pathlib
import re
import sys

LAYERS = {
    "base": 0,
    "averaging": 1,
    "logfile": 2,
    "filters": 2.5,  # the filter stages between the decoder and the rows' sinks
    # The passes and outputs, in the order they may include one another.
    "index": 3,
    "convert": 3,  # the job runner and the text
    "geodata": 3.1,  # the drive as map layers
    "report": 3.2,  # drive quality, provenance records
    "export": 3.3,  # map layer files
    "map": 3.3,  # the map's points and backgrounds
    "calibration": 3.4,  # a propagation model fitted to the drive
    "bins": 3.4,  # the drive in cells of a UTM grid
    "workflow": 3.6,  # the steps of every job, for both front ends
    "settings": 4,
    "mapdraw": 4.5,  # above the core: no core folder includes it
    "app": 5,
    "cli": 5,
}
UNCHECKED = {"tests", "tools", "fuzz", "bench", "build", "docs", "examples", "cmake"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
QT_INCLUDE = re.compile(r'^\s*#\s*include\s+<Q')
GDAL_INCLUDE = re.compile(r'^\s*#\s*include\s+<(gdal|ogr|cpl_)')
FRONT_ENDS = {"app", "cli"}  # neither includes the other
# Widgets need a display; the map's drawing serves the command line too.
WIDGETS_INCLUDE = re.compile(r'^\s*#\s*include\s+<(QtWidgets/|Q(Widget|Application|Dialog|MainWindow|Label|PushButton|ComboBox|LineEdit|Menu|Action|ToolBar|StatusBar|Splitter|FileDialog|MessageBox|ToolTip|ProgressBar|BoxLayout|HBoxLayout|VBoxLayout|GridLayout)\b)')
QT_FOLDERS = {"app", "mapdraw"}
GDAL_FOLDERS = {"export", "map", "calibration", "bins"}  # layer, background, sites, cell files


def main(root: pathlib.Path) -> int:
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        relative = path.relative_to(root)
        folder = relative.parts[0]
        if len(relative.parts) < 2 or folder in UNCHECKED or folder.startswith((".", "build")):
            continue
        if folder not in LAYERS:
            problems.append(f"{relative}: folder '{folder}' has no layer")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            if folder not in QT_FOLDERS and QT_INCLUDE.match(line):
                problems.append(f"{relative}:{number}: Qt outside the window")
            if folder == "mapdraw" and WIDGETS_INCLUDE.match(line):
                problems.append(f"{relative}:{number}: QtWidgets in the map's drawing")
            if folder not in GDAL_FOLDERS and GDAL_INCLUDE.match(line):
                problems.append(f"{relative}:{number}: GDAL outside export, map, calibration and bins")
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1).split("/")[0]
            if "/" not in match.group(1):
                continue  # a header beside the file (generated Qt code and the like)
            if target not in LAYERS:
                problems.append(f"{relative}:{number}: includes {match.group(1)} of no layer")
            elif target != folder and {target, folder} <= FRONT_ENDS:
                problems.append(f"{relative}:{number}: {folder} includes {match.group(1)}")
            elif LAYERS[target] > LAYERS[folder]:
                problems.append(
                    f"{relative}:{number}: {folder} includes {match.group(1)} of a higher layer")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
