#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""varistrum-cli bins and compare end to end, read back with GDAL's own bindings: the COG's
layout, band order, descriptions and nodata; its style beside it; the GeoPackage layer and its
stored style; the two files agreeing cell by cell; drive against itself and against itself 6 dB
stronger; the report's shares of cells against the cells' own values; the map's cells; the
refusals; and a run under a German locale writing the same bytes.

usage: coverage_cli_test.py VARISTRUM_CLI VARISTRUM_SIM
"""
import json
import os
import subprocess
import sys
import tempfile

from osgeo import gdal, ogr

gdal.UseExceptions()
CLI, SIM = sys.argv[1:3]
FAILURES = []
ORDER = ["linear-mean", "db-mean", "median", "count", "std", "min", "max"]
FIELDS = {"linear-mean": "linear_mean_dbm", "db-mean": "db_mean_dbm", "median": "median_dbm",
          "count": "samples", "std": "std_db", "min": "min_dbm", "max": "max_dbm"}


def check(condition, message):
    if not condition:
        FAILURES.append(message)
        print("FAIL:", message)


def run(*arguments, env=None):
    return subprocess.run([CLI, *arguments], capture_output=True, text=True, env=env)


def simulate(work, name, scenario, seed, seconds, *extra):
    path = os.path.join(work, name)
    subprocess.run([SIM, "--seed", str(seed), "--out", path, "--scenario", scenario,
                    "--duration", str(seconds), *extra], check=True, capture_output=True)
    return path


def cells_of_layer(path, field_names):
    """{(easting, northing): {field: value}} of a GeoPackage's bins layer."""
    ds = ogr.Open(path)
    layer = ds.GetLayerByName("bins")
    cells = {}
    for feature in layer:
        key = (round(feature["easting_m"], 3), round(feature["northing_m"], 3))
        cells[key] = {name: feature[name] for name in field_names}
    return cells, layer.GetSpatialRef().GetAuthorityCode(None), ds


def check_raster_against_layer(name, tif, gpkg):
    """The raster's bands: every statistic in the order asked, described, nodata outside the
    driven cells, and the values of the GeoPackage's cells of the same channel."""
    info = subprocess.run(["gdalinfo", tif], capture_output=True, text=True).stdout
    check("LAYOUT=COG" in info, f"{name}: gdalinfo shows no LAYOUT=COG")
    ds = gdal.Open(tif)
    check(ds.RasterCount == len(ORDER), f"{name}: {ds.RasterCount} bands")
    for b, statistic in enumerate(ORDER):
        band = ds.GetRasterBand(b + 1)
        check(band.DataType == gdal.GDT_Float32, f"{name}: band {b + 1} is not Float32")
        check(band.GetDescription().startswith(statistic + ", channel "),
              f"{name}: band {b + 1} is described '{band.GetDescription()}'")
        check(band.GetNoDataValue() == -9999.0, f"{name}: nodata {band.GetNoDataValue()}")
    ox, size, _, oy, _, _ = ds.GetGeoTransform()
    cells, epsg, _keep = cells_of_layer(gpkg, [FIELDS[s] for s in ORDER])
    check(str(ds.GetSpatialRef().GetAuthorityCode(None)) == epsg,
          f"{name}: the raster and the layer are on different grids")
    data = [ds.GetRasterBand(b + 1).ReadAsArray() for b in range(len(ORDER))]
    driven = int((data[0] != -9999.0).sum())
    check(driven == len(cells), f"{name}: {driven} driven pixels, {len(cells)} features")
    wrong = 0
    for (east, north), values in cells.items():
        row, column = int(round((oy - north) / size)) - 1, int(round((east - ox) / size))
        for b, statistic in enumerate(ORDER):
            expected = values[FIELDS[statistic]]
            wrong += abs(float(data[b][row][column]) - expected) > 1e-4 * max(1.0, abs(expected))
    check(wrong == 0, f"{name}: {wrong} raster values differ from the layer's")
    colours = subprocess.run(["grep", "-c", "<item ", os.path.splitext(tif)[0] + ".qml"],
                             capture_output=True, text=True).stdout.strip()
    check(colours == "6", f"{name}: the style has {colours} classes")
    return cells


def compare(a, b, out, *extra):
    result = run("compare", a, b, "-o", out, "--json", *extra)
    check(result.returncode == 0, f"compare {os.path.basename(b)}: {result.stderr}")
    return json.loads(result.stdout) if result.returncode == 0 else {}


with tempfile.TemporaryDirectory() as work:
    def at(name):
        return os.path.join(work, name)

    # List scans: many channels; the first scan's cells of one channel into both files.
    log = simulate(work, "list.klf", "list", 3, 600)
    text = run("convert", log, "-o", "-", "-q", "--tags", "0", "--columns", "channel",
               "--no-header").stdout
    channel = text.splitlines()[0].split(",")[0]
    statistics = ",".join(ORDER)
    for suffix in ("tif", "gpkg"):
        result = run("bins", log, "-o", at("cov." + suffix), "--channel", channel, "--statistics",
                     statistics, "-q", "--scans", "1")
        check(result.returncode == 0, f"bins -o cov.{suffix}: {result.stderr}")
    cells = check_raster_against_layer("list", at("cov.tif"), at("cov.gpkg"))
    check(len(cells) > 50, f"list: only {len(cells)} cells")
    ds = ogr.Open(at("cov.gpkg"))
    styles = [f for f in ds.GetLayerByName("layer_styles")]
    check(len(styles) == 1 and styles[0]["f_table_name"] == "bins",
          "the GeoPackage has no stored style of its layer")
    check(sorted(os.listdir(work)) == ["cov.gpkg", "cov.qml", "cov.tif", "list.klf"],
          f"files left: {sorted(os.listdir(work))}")

    # The default: linear mean and count of each cell's strongest channel, named after the log.
    result = run("bins", log, "-q")
    check(result.returncode == 0 and os.path.exists(at("list.tif")) and
          os.path.exists(at("list.qml")), f"bins without -o: {result.stderr}")
    ds = gdal.Open(at("list.tif"))
    check([ds.GetRasterBand(b + 1).GetDescription().split(",")[0] for b in range(ds.RasterCount)]
          == ["linear-mean", "count"], "the default bands are not linear-mean, count")
    check(ds.GetRasterBand(1).GetDescription() == "linear-mean, strongest channel",
          f"default band 1 is '{ds.GetRasterBand(1).GetDescription()}'")

    # The report's shares of cells add up with the cells' own values (one scan, one grid).
    report = run("report", log, "--json", "--cell", "25", "--scans", "1")
    check(report.returncode == 0, f"report: {report.stderr}")
    document = json.loads(report.stdout)
    scans = [s for s in document["scans"] if s["channels"]]
    check(len(scans) == 1 and scans[0]["number"] == 1, f"{len(scans)} scans with channels")
    mhz = None
    for line in run("convert", log, "-o", "-", "-q", "--tags", "0", "--columns",
                    "frequency,channel", "--no-header").stdout.splitlines()[:1]:
        fields = line.split(",")
        mhz = float(fields[fields.index(channel) - 1])
    shares = [c["at_or_above"] for c in scans[0]["channels"]
              if c["frequency_mhz"] is not None and abs(c["frequency_mhz"] - mhz) < 1e-6]
    check(len(shares) == 1, f"the report has no channel of {mhz} MHz")
    if shares:
        got = shares[0]
        means = [v["linear_mean_dbm"] for v in cells.values()]
        check(got["cell_m"] == 25 and got["cells"]["count"] == len(means),
              f"report cells {got['cells']} against {len(means)} cells of the layer")
        for bound, percent in zip(got["thresholds_dbm"], got["cells"]["percent"]):
            share = round(1000 * sum(1 for m in means if m >= bound) / len(means)) / 10
            check(abs(percent - share) < 0.051,
                  f"report: {percent} % of cells at or above {bound}, the layer gives {share}")
        check(got["samples"]["count"] > got["cells"]["count"], "fewer samples than cells")

    # Every channel's shares: the windows are the Lee figures' windows (receiver samples only),
    # the samples those with a level, each share no larger than the one of a lower threshold.
    single = simulate(work, "single.klf", "single-gps", 8, 600)
    document = json.loads(run("report", single, "--json").stdout)
    channels = [c for s in document["scans"] for c in s["channels"]]
    check(any(c["averaged"] for c in channels), "the single-frequency drive has no averaged channel")
    for c in channels:
        shares = c["at_or_above"]
        if c["averaged"] and c["lee"]:
            check(shares["windows"] is not None and
                  shares["windows"]["count"] == c["lee"]["windows"],
                  f"{c['frequency_mhz']} MHz: windows {shares['windows']} against {c['lee']}")
        if not c["averaged"]:
            check(shares["windows"] is None, f"{c['frequency_mhz']} MHz: a list channel's windows")
        check(shares["samples"]["count"] <= c["samples"], "more samples with a level than samples")
        for kind in ("samples", "windows", "cells"):
            if shares[kind] is None or shares[kind]["count"] == 0:
                continue
            percent = shares[kind]["percent"]
            check(all(a >= b for a, b in zip(percent, percent[1:])),
                  f"{kind} shares do not fall with the threshold: {percent}")

    # Drive against drive: itself gives 0 everywhere; 6 dB stronger gives +6.00 in every cell
    # whose samples all lie above the receiver's floor in both drives.
    stronger = simulate(work, "stronger.klf", "list", 3, 600, "--level-offset", "6")
    same = compare(log, log, at("same.tif"))
    check(same.get("cells_both", 0) > 0 and same.get("mean_difference_db") == 0.0 and
          same.get("cells_only_a") == 0 and same.get("cells_better") == 0,
          f"a drive against itself: {same}")
    same_ds = gdal.Open(at("same.tif"))
    band = same_ds.GetRasterBand(1).ReadAsArray()
    check(set(band[band != -9999.0].tolist()) == {0.0}, "itself: a cell differs from 0")
    plus = compare(log, stronger, at("plus.gpkg"), "--channel", channel)
    check(abs(plus.get("median_difference_db", 0) - 6.0) <= 0.01, f"6 dB stronger: {plus}")
    floor = {}
    for path, name in ((log, "a"), (stronger, "b")):
        out = at(name + "-min.gpkg")
        run("bins", path, "-o", out, "--channel", channel, "-q")
        floor[name], _, _keep = cells_of_layer(out, ["min_dbm", "samples"])
    ds = ogr.Open(at("plus.gpkg"))
    exact = off = 0
    for feature in ds.GetLayerByName("bins"):
        key = (round(feature["easting_m"], 3), round(feature["northing_m"], 3))
        a, b = floor["a"].get(key), floor["b"].get(key)
        # The simulator floors levels at -120 dBm, which is "no level": cells that lost or
        # gained samples there are not a pure shift.
        if a and b and a["samples"] == b["samples"] and a["min_dbm"] > -119:
            exact += 1
            off += abs(feature["difference_db"] - 6.0) > 0.01
    check(exact > 20 and off == 0, f"6 dB stronger: {off} of {exact} cells are not +6.00 dB")
    text = run("compare", log, stronger, "--channel", channel)
    check(text.returncode == 0 and "mean difference B - A: +" in text.stdout and
          "B more than 3 dB stronger: " in text.stdout, f"compare's figures: {text.stdout}")

    # Refusals: usage errors (2) before anything is read, failures (1) that write nothing.
    os.symlink(log, at("link.tif"))
    before = sorted(os.listdir(work))
    for arguments, status, says in (
            (["bins", log, "--cell", "4"], 2, "--cell: a cell is 5 to 1000 m wide"),
            (["bins", log, "--cell", "1001"], 2, "5 to 1000"),
            (["bins", log, "--cell", "x"], 2, "--cell takes a size in metres"),
            (["bins", log, "-o", at("c.shp")], 2, "GeoTIFF (.tif) or a GeoPackage (.gpkg)"),
            (["bins", log, "--statistics", "mean"], 2, "unknown statistic \"mean\""),
            (["bins", log, "--statistics", "count,count"], 2, "named twice"),
            (["bins", log, "--channel", "seven"], 2, "--channel"),
            (["bins", log, "--average", "40-lambda"], 2, "before any averaging"),
            (["bins", log, "--best-server"], 2, "before any averaging"),
            (["bins", log, "--tags", "5"], 2, "--tags does not apply to bins"),
            (["bins", log, "-o", "-"], 2, "-o - is not possible"),
            (["bins", log, "-o", at("link.tif")], 1, "The output file is the input file."),
            (["bins", log, "--channel", "99999", "-o", at("none.tif")], 1,
             "Channel 99999 has no level in any cell"),
            (["compare", log, log, "-o", at("d.csv")], 2, "GeoTIFF (.tif) or a GeoPackage"),
            (["compare", log, log, "--cell", "2"], 2, "5 to 1000"),
            (["compare", log, log, "-o", at("link.tif")], 1, "The output file is the input file."),
            (["compare", log, log, "--channel", "99999"], 1, "Drive A: channel 99999")):
        result = run(*arguments)
        check(result.returncode == status and says in result.stderr,
              f"{' '.join(arguments[:1] + arguments[2:])}: status {result.returncode}, "
              f"{result.stderr.strip()}")
    check(sorted(os.listdir(work)) == before, f"a refused job left {set(os.listdir(work)) ^ set(before)}")
    check(open(log, "rb").read(16) == open(at("link.tif"), "rb").read(16), "the log was changed")

    # A log with fixes only where the GPS has none (RTC-timed): no cell, and the message says why.
    rtc = simulate(work, "rtc.klf", "single-rtc", 9, 120)
    result = run("bins", rtc, "-o", at("rtc.tif"), "-q")
    check(result.returncode == 1 and "No cell to write" in result.stderr and
          "without a position" in result.stderr and not os.path.exists(at("rtc.tif")),
          f"an RTC log: {result.returncode} {result.stderr}")

    # The same bytes under a German locale: the style, the figures, the layer's values.
    german = dict(os.environ, LC_ALL="de_DE.UTF-8", LANG="de_DE.UTF-8")
    for suffix in ("tif", "gpkg"):
        result = run("bins", log, "-o", at("de." + suffix), "--channel", channel, "--statistics",
                     statistics, "-q", "--rssi-thresholds", "-105.5,-100,-90,-80,-70.25",
                     env=german)
        check(result.returncode == 0, f"de_DE bins: {result.stderr}")
        result = run("bins", log, "-o", at("c." + suffix), "--channel", channel, "--statistics",
                     statistics, "-q", "--rssi-thresholds", "-105.5,-100,-90,-80,-70.25")
    check(open(at("de.qml"), "rb").read() == open(at("c.qml"), "rb").read(),
          "the style differs under de_DE")
    check(b"-105.5" in open(at("de.qml"), "rb").read(), "the style lost its decimal point")
    de_cells, _, _a = cells_of_layer(at("de.gpkg"), ["linear_mean_dbm", "first_time"])
    c_cells, _, _b = cells_of_layer(at("c.gpkg"), ["linear_mean_dbm", "first_time"])
    check(de_cells == c_cells, "the GeoPackage's cells differ under de_DE")
    de_json = run("compare", log, stronger, "--json", env=german).stdout
    check(de_json == run("compare", log, stronger, "--json").stdout and "." in de_json,
          "compare --json differs under de_DE")

    # The map draws cells where its points pile up: a different picture, the same size.
    mixed = simulate(work, "mixed.klf", "mixed", 5, 1800)
    points = run("map", mixed, "-o", at("points.png"), "-q", "--size", "800x600")
    cells_picture = run("map", mixed, "-o", at("cells.png"), "-q", "--size", "800x600",
                        "--cell", "50")
    check(points.returncode == 0 and cells_picture.returncode == 0,
          f"map --cell: {cells_picture.stderr}")
    check(open(at("points.png"), "rb").read() != open(at("cells.png"), "rb").read(),
          "map --cell 50 draws the same picture as the points")
    result = run("map", mixed, "-o", at("x.png"), "--cell", "3")
    check(result.returncode == 2 and "--cell" in result.stderr, f"map --cell 3: {result.stderr}")

if FAILURES:
    print(f"{len(FAILURES)} failure(s)")
    sys.exit(1)
print("all coverage command checks passed")
