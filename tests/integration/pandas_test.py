#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The README's "In Python" lines, run as shown with Debian's pandas and geopandas.

Converts simulated logs to the CSV table and the GeoPackage, runs the README's ```python blocks
of that section in the folder holding them, then checks what they read: the UTC times as
datetime64 with their zone, levels, positions, speeds and heights as floats (also for a drive
whose levels are all whole numbers), counts as integers, the same points in both files.
Arguments: README path, varistrum-cli, simulator.
"""
import os
import re
import subprocess
import sys
import tempfile

import geopandas as gpd
import pandas as pd
from pandas.api import types

FLOATS = ["latitude", "longitude", "frequency_mhz", "rssi_dbm", "rssi_min_dbm", "rssi_max_dbm",
          "speed_kmh", "altitude_m"]
INTEGERS = ["scan", "receiver", "row", "channel", "level_band", "samples"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message)


def python_blocks(readme):
    section = readme.split("### In Python", 1)[1].split("\n## ", 1)[0]
    return re.findall(r"^```python\n(.*?)^```", section, re.S | re.M)


def convert(cli, log, *options):
    subprocess.run([cli, "convert", "-q", log] + list(options), check=True)


def check_table(samples, name):
    check(types.is_datetime64_any_dtype(samples["time_utc"]),
          f"{name}: time_utc is {samples['time_utc'].dtype}")
    check(str(getattr(samples["time_utc"].dt, "tz", None)) == "UTC",
          f"{name}: time_utc is not in UTC")
    for column in FLOATS:
        check(types.is_float_dtype(samples[column]), f"{name}: {column} is {samples[column].dtype}")
    for column in INTEGERS:
        check(types.is_integer_dtype(samples[column]),
              f"{name}: {column} is {samples[column].dtype}")


def main():
    readme_path, cli, sim = sys.argv[1:4]
    with open(readme_path, encoding="utf-8") as text:
        blocks = python_blocks(text.read())
    check(len(blocks) >= 2, f"{len(blocks)} python blocks in the In Python section")
    with tempfile.TemporaryDirectory() as work:
        os.chdir(work)
        for scenario, seed in (("mixed", 1), ("list", 2)):
            subprocess.run([sim, "--seed", str(seed), "--out", scenario + ".klf", "--scenario",
                            scenario, "--duration", "300"], check=True,
                           stderr=subprocess.DEVNULL)
        os.rename("mixed.klf", "drive.klf")
        convert(cli, "drive.klf", "--format", "csv")
        convert(cli, "drive.klf", "--format", "gpkg")
        names = {}
        for block in blocks:
            exec(compile(block, readme_path, "exec"), names)
        samples, points, route = names.get("samples"), names.get("points"), names.get("route")
        check(samples is not None and points is not None and route is not None,
              "the README's lines name samples, points and route")
        if failures:
            return 1
        check_table(samples, "drive.csv")
        check(len(samples) > 0 and len(samples) == len(points),
              f"{len(samples)} rows in the CSV file, {len(points)} points in the GeoPackage")
        check(types.is_datetime64_any_dtype(points["time_utc"]),
              f"GeoPackage time_utc is {points['time_utc'].dtype}")
        check(types.is_float_dtype(points["rssi_dbm"]),
              f"GeoPackage rssi_dbm is {points['rssi_dbm'].dtype}")
        check(str(points.crs.to_epsg()) == "4326", f"GeoPackage CRS {points.crs}")
        check(types.is_datetime64_any_dtype(route["first_fix_utc"]),
              f"route first_fix_utc is {route['first_fix_utc'].dtype}")
        check((samples["time_utc"].dropna().values == points["time_utc"].dropna().values).all(),
              "the CSV file's and the GeoPackage's UTC times differ")
        check(types.is_datetime64_any_dtype(pd.to_datetime(samples["clock_time"])),
              "clock_time does not read as times")
        check(types.is_bool_dtype(samples["averaged"]) and types.is_bool_dtype(points["averaged"]),
              f"averaged is {samples['averaged'].dtype} in the CSV file, "
              f"{points['averaged'].dtype} in the GeoPackage")
        # The quicker ways to a GeoDataFrame give the same points and fields.
        csv_points, levels = names.get("csv_points"), names.get("levels")
        check(csv_points is not None and levels is not None,
              "the README's lines name csv_points and levels")
        if failures:
            return 1
        check(str(csv_points.crs.to_epsg()) == "4326", f"CSV points CRS {csv_points.crs}")
        check(len(csv_points) == len(points) and
              (csv_points.geometry.x - points.geometry.x).abs().max() < 1e-6 and
              (csv_points.geometry.y - points.geometry.y).abs().max() < 1e-6,
              "the CSV table's points are not the GeoPackage's")
        check(list(levels.columns) == ["time_utc", "rssi_dbm", "geometry"] and
              types.is_datetime64_any_dtype(levels["time_utc"]) and len(levels) == len(points),
              f"include_fields read {list(levels.columns)}")
        # Channel list levels are whole numbers: still floats.
        convert(cli, "list.klf", "--format", "csv")
        levels = pd.read_csv("list.csv", parse_dates=["time_utc"])
        check_table(levels, "list.csv")
        check((levels["rssi_dbm"] == levels["rssi_dbm"].round()).all(),
              "the list's levels are not whole numbers: the check proves nothing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
