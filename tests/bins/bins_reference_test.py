#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The binning against an independent reference written here: zone choice, GDAL's osr
transformation onto the zone, cells and statistics computed sample by sample. Drives: synthetic
ones (mid-zone, across a zone edge, across the equator, south-western Norway, Svalbard) and
simulated ones read from the converter's text output. Then the files: the COG passes GDAL's
validation and holds the cells' values, the styles parse and carry the level colours, the
GeoPackage holds the cells and its stored style, and the comparison of a drive with itself and
with itself 6 dB stronger.

usage: bins_reference_test.py BINS_PROBE VARISTRUM_SIM VARISTRUM_CLI
"""
import calendar
import datetime
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from osgeo import gdal, ogr, osr

gdal.UseExceptions()
PROBE, SIM, CLI = sys.argv[1:4]
RAMP_COLOURS = ["#a50026", "#f46d43", "#fdae61", "#fee08b", "#a6d96a", "#1a9850"]
FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
        print("FAIL:", message)


def reference_zone(lat, lon):
    number = min(int(math.floor((lon + 180.0) / 6.0)) + 1, 60)
    if 56.0 <= lat < 64.0 and 3.0 <= lon < 12.0:
        number = 32
    if lat >= 72.0 and 0.0 <= lon < 42.0:
        number = 31 if lon < 9 else 33 if lon < 21 else 35 if lon < 33 else 37
    return (32700 if lat < 0 else 32600) + number


def iso(seconds, gps):
    text = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=seconds)
    return text.strftime("%Y-%m-%dT%H:%M:%S") + ("Z" if gps else "")


def reference_cells(samples, cell):
    """(epsg, {(x, y, channel, frequency): statistics})"""
    usable = [s for s in samples if math.isfinite(s[0]) and math.isfinite(s[1])
              and -80.0 <= s[0] <= 84.0 and -180.0 <= s[1] <= 180.0]
    epsg = reference_zone(usable[0][0], usable[0][1])
    wgs84, utm = osr.SpatialReference(), osr.SpatialReference()
    wgs84.ImportFromEPSG(4326)
    utm.ImportFromEPSG(epsg)
    for srs in (wgs84, utm):
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    transform = osr.CoordinateTransformation(wgs84, utm)
    projected = transform.TransformPoints([(s[1], s[0]) for s in usable])
    groups = {}
    for s, (e, n, *_rest) in zip(usable, projected):
        lat, lon, channel, frequency, level, time, gps, known = s
        if level == -120:
            continue
        key = (math.floor(e / cell), math.floor(n / cell), channel, frequency)
        groups.setdefault(key, []).append((level, time, gps, known))
    cells = {}
    for key, members in groups.items():
        levels = sorted(m[0] for m in members)
        n = len(levels)
        mean = sum(levels) / n
        timed = [m for m in members if m[3]]
        cells[key] = {
            "count": n,
            # sorted, so that equal samples give equal sums
            "linear": 10.0 * math.log10(sum(10.0 ** (v / 10.0) for v in levels) / n),
            "db": mean,
            "median": (levels[(n - 1) // 2] + levels[n // 2]) / 2.0,
            "std": math.sqrt(sum((v - mean) ** 2 for v in levels) / n),
            "min": levels[0],
            "max": levels[-1],
            "first": iso(timed[0][1], timed[0][2]) if timed else "-",
            "last": iso(timed[-1][1], timed[-1][2]) if timed else "-",
        }
    return epsg, cells


def write_samples(path, samples):
    with open(path, "w") as f:
        for lat, lon, channel, frequency, level, time, gps, known in samples:
            f.write(f"{lat!r} {lon!r} {channel} {frequency!r} {level} {time} {int(gps)} "
                    f"{int(known)}\n")


def probe_cells(path, cell):
    out = subprocess.run([PROBE, "cells", path, "--cell", str(cell)], check=True,
                         capture_output=True, text=True).stdout
    epsg, warnings, cells = None, [], {}
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "zone":
            epsg = int(parts[2])
        elif parts[0] == "warning":
            warnings.append(line)
        elif parts[0] == "cell":
            x, y, channel = int(parts[1]), int(parts[2]), int(parts[3])
            cells[(x, y, channel, float(parts[4]))] = {
                "count": int(parts[5]), "linear": float(parts[6]), "db": float(parts[7]),
                "median": float(parts[8]), "std": float(parts[9]), "min": int(parts[10]),
                "max": int(parts[11]), "first": parts[12], "last": parts[13],
                "strongest": parts[14] == "1"}
    return epsg, warnings, cells


def compare_with_reference(name, samples, cell, expected_epsg, expect_warning=False):
    path = os.path.join(WORK, name + ".samples")
    write_samples(path, samples)
    epsg, cells = reference_cells(samples, cell)
    got_epsg, warnings, got = probe_cells(path, cell)
    check(epsg == expected_epsg, f"{name}: reference zone {epsg}, expected {expected_epsg}")
    check(got_epsg == expected_epsg, f"{name}: zone {got_epsg}, expected {expected_epsg}")
    check(set(got) == set(cells),
          f"{name}: {len(set(got) ^ set(cells))} cells differ of {len(cells)}")
    worst = 0.0
    for key in set(got) & set(cells):
        g, r = got[key], cells[key]
        for field in ("count", "median", "min", "max", "first", "last"):
            check(g[field] == r[field], f"{name} {key}: {field} {g[field]} != {r[field]}")
        for field in ("linear", "db", "std"):
            worst = max(worst, abs(g[field] - r[field]))
    check(worst <= 1e-9, f"{name}: means differ by {worst} dB")
    # Strongest: the highest linear mean of the cell, the first channel of equals.
    by_cell = {}
    for key, r in cells.items():
        by_cell.setdefault(key[:2], []).append((key[2:], r["linear"]))
    for xy, channels in by_cell.items():
        best = max(c[1] for c in channels)
        flagged = [k for k in got if k[:2] == xy and got[k]["strongest"]]
        check(len(flagged) == 1 and abs(cells[flagged[0]]["linear"] - best) <= 1e-9,
              f"{name} {xy}: strongest channel wrong")
    check(any("3 degrees" in w for w in warnings) == expect_warning,
          f"{name}: meridian warning {warnings}")
    print(f"{name}: {len(cells)} cells and channels, zone {epsg}, largest difference {worst:.1e} dB")
    return path, cells


def synthetic_drive(seed, lat, lon, steps, heading, channels=3, metres=4.0, wander=0.3):
    """A wandering route of `steps` positions about `metres` apart, each with a level per
    channel; some levels missing (-120), some without time, a few cells with wide spreads."""
    rng = random.Random(seed)
    samples = []
    t = 1_700_000_000
    for step in range(steps):
        heading += rng.uniform(-wander, wander)
        lat += metres * math.cos(heading) / 111_000.0
        lon += metres * math.sin(heading) / (111_000.0 * max(math.cos(math.radians(lat)), 0.05))
        t += 1
        for c in range(channels):
            base = -60 - 15 * c + 10 * math.sin(step / 40.0)
            level = int(round(base + rng.gauss(0, 6 if step % 97 else 25)))
            level = max(-128, min(-20, level))
            if rng.random() < 0.05:
                level = -120
            known = rng.random() > 0.1
            samples.append((lat, lon, 100 + c, 850.0 + 0.025 * c, level, t, step % 2 == 0, known))
    return samples


def simulated_drive(scenario, seed, seconds):
    """The samples of the converter's text output: every frequency, channel and level group of a
    row with a position, at that row's position and GPS time."""
    log = os.path.join(WORK, f"{scenario}-{seed}.klf")
    subprocess.run([SIM, "--seed", str(seed), "--out", log, "--scenario", scenario,
                    "--duration", str(seconds)], check=True, capture_output=True)
    text = subprocess.run([CLI, "convert", log, "-o", "-", "-q", "--tags", "5,11,22,18,0",
                           "--columns", "frequency,channel,rssi"], check=True,
                          capture_output=True, text=True).stdout
    samples = []
    for line in text.splitlines():
        if line.startswith('"'):
            continue
        parts = line.split(",")
        lat, lon = float(parts[0]), float(parts[1])
        if lat == 0.0 and lon == 0.0:
            continue  # before the first fix
        month, day, year = (int(v) for v in parts[2].split("/"))
        hours, minutes, seconds_ = (int(v) for v in parts[3].split(":"))
        t = calendar.timegm((year, month, day, hours, minutes, seconds_))
        for i in range(4, len(parts) - 2, 3):
            samples.append((lat, lon, int(parts[i + 1]), float(parts[i]), int(parts[i + 2]), t,
                            True, True))
    return samples


def check_raster(name, samples_path, cells):
    tif = os.path.join(WORK, name + ".tif")
    order = "linear-mean,db-mean,median,count,std,min,max"
    subprocess.run([PROBE, "raster", samples_path, tif, "--statistics", order, "--channel", "100"],
                   check=True)
    info = gdal.Info(tif)
    check("LAYOUT=COG" in info, f"{name}: gdalinfo shows no LAYOUT=COG")
    try:
        from osgeo_utils.samples import validate_cloud_optimized_geotiff as validator
        warnings, errors, _ = validator.validate(tif, full_check=True)
        check(not errors, f"{name}: COG validation: {errors}")
    except ImportError:
        print("GDAL's COG validator is not installed: gdalinfo's LAYOUT=COG is the check")
    ds = gdal.Open(tif)
    names = order.split(",")
    check(ds.RasterCount == len(names), f"{name}: {ds.RasterCount} bands")
    ox, size, _, oy, _, minus = ds.GetGeoTransform()
    check(minus == -size and ox % size == 0 and oy % size == 0, f"{name}: grid not on multiples")
    data = [ds.GetRasterBand(b + 1).ReadAsArray() for b in range(len(names))]
    for b, statistic in enumerate(names):
        band = ds.GetRasterBand(b + 1)
        check(band.GetDescription().startswith(statistic + ", channel 100"),
              f"{name}: band {b + 1} is '{band.GetDescription()}'")
        check(band.GetNoDataValue() == -9999.0, f"{name}: nodata {band.GetNoDataValue()}")
    mine = {(k[0], k[1]): v for k, v in cells.items() if k[2] == 100}
    fields = ["linear", "db", "median", "count", "std", "min", "max"]
    x0, y0 = int(round(ox / size)), int(round(oy / size)) - 1
    driven = int((data[0] != -9999.0).sum())
    check(driven == len(mine), f"{name}: {driven} pixels hold cells, {len(mine)} cells")
    for (x, y), cell in mine.items():
        row, column = y0 - y, x - x0
        for b, field in enumerate(fields):
            value = float(data[b][row][column])
            check(abs(value - cell[field]) <= 1e-4 * max(1.0, abs(cell[field])),
                  f"{name}: {field} at {x},{y}: {value} != {cell[field]}")
    # The first overview: each pixel the mean of the driven cells of its 2 x 2 cells.
    overview = ds.GetRasterBand(1).GetOverview(0)
    check(overview is not None and overview.XSize == (ds.RasterXSize + 1) // 2,
          f"{name}: no overview of half the size")
    if overview is not None:
        half = overview.ReadAsArray()
        wrong = 0
        for r in range(half.shape[0]):
            for c in range(half.shape[1]):
                block = data[0][2 * r:2 * r + 2, 2 * c:2 * c + 2]
                block = block[block != -9999.0]
                expected = float(block.mean()) if block.size else -9999.0
                wrong += abs(float(half[r][c]) - expected) > 1e-3
        check(wrong == 0, f"{name}: {wrong} overview pixels are not the mean of their cells")
    style = ET.parse(os.path.join(WORK, name + ".qml")).getroot()
    colours = [item.get("color") for item in style.iter("item")]
    check(colours == RAMP_COLOURS, f"{name}: style colours {colours}")


def check_geopackage(name, samples_path, cells):
    gpkg = os.path.join(WORK, name + ".gpkg")
    subprocess.run([PROBE, "gpkg", samples_path, gpkg], check=True)
    ds = ogr.Open(gpkg)
    layer = ds.GetLayerByName("bins")
    strongest = {}
    for key, r in cells.items():
        best = strongest.get(key[:2])
        if best is None or r["linear"] > best[1]["linear"]:
            strongest[key[:2]] = (key, r)
    check(layer.GetFeatureCount() == len(strongest),
          f"{name}: {layer.GetFeatureCount()} features, {len(strongest)} cells")
    size = None
    for feature in layer:
        envelope = feature.GetGeometryRef().GetEnvelope()
        size = envelope[1] - envelope[0]
        xy = (round(envelope[0] / size), round(envelope[2] / size))
        key, r = strongest[xy]
        check(feature["samples"] == r["count"] and
              abs(feature["linear_mean_dbm"] - r["linear"]) <= 1e-9 and
              abs(feature["db_mean_dbm"] - r["db"]) <= 1e-9,
              f"{name}: feature of cell {xy} differs")
    styles = ds.GetLayerByName("layer_styles")
    rows = [f for f in styles]
    check(len(rows) == 1 and rows[0]["f_table_name"] == "bins" and rows[0]["useAsDefault"] == 1
          and rows[0]["f_geometry_column"] == layer.GetGeometryColumn(),
          f"{name}: layer_styles row missing or not naming the layer")
    qml = ET.fromstring(rows[0]["styleQML"])
    fills = [o.get("value") for o in qml.iter("Option") if o.get("name") == "color"]
    wanted = [",".join(str(int(c[i:i + 2], 16)) for i in (1, 3, 5)) + ",255"
              for c in RAMP_COLOURS]
    check(fills == wanted, f"{name}: stored style colours {fills}")


def check_comparison(name, samples):
    a = os.path.join(WORK, name + "-a.samples")
    b = os.path.join(WORK, name + "-b.samples")
    write_samples(a, samples)
    for label, shift, expected in (("itself", 0, 0.0), ("6 dB stronger", 6, 6.0)):
        write_samples(b, [s[:4] + (s[4] if s[4] == -120 else s[4] + shift,) + s[5:]
                          for s in samples])
        for suffix in ("tif", "gpkg"):
            out = os.path.join(WORK, f"{name}-diff-{shift}.{suffix}")
            result = subprocess.run([PROBE, "compare", a, b, out], check=True,
                                    capture_output=True, text=True).stdout
            summary = json.loads(result)
            check(abs(summary["mean_difference_db"] - expected) <= 0.01 and
                  abs(summary["median_difference_db"] - expected) <= 0.01 and
                  summary["cells_only_a"] == 0 and summary["cells_only_b"] == 0,
                  f"{name} against {label}: {summary}")
            if suffix == "tif":
                ds = gdal.Open(out)
                band = ds.GetRasterBand(1)
                values = [v for row in band.ReadAsArray() for v in row if v != -9999.0]
                check(len(values) == summary["cells_both"] and
                      all(abs(v - expected) <= 0.01 for v in values),
                      f"{name} against {label}: raster differences off")
                colours = [i.get("color") for i in
                           ET.parse(out[:-4] + ".qml").getroot().iter("item")]
                check(colours[3] == "#ffffff" and colours[0] != colours[-1],
                      f"{name}: diverging style {colours}")
            else:
                ds = ogr.Open(out)  # kept: its layer lives as long as it does
                layer = ds.GetLayerByName("bins")
                check(layer.GetFeatureCount() == summary["cells_both"] and
                      all(abs(f["difference_db"] - expected) <= 0.01 for f in layer),
                      f"{name} against {label}: GeoPackage differences off")


with tempfile.TemporaryDirectory() as WORK:
    drives = [
        # name, samples, cell, zone, warning
        ("mid-zone", synthetic_drive(1, 48.137, 11.575, 3000, 0.5), 25, 32632, False),
        ("zone-edge", synthetic_drive(2, 48.2, 11.985, 2500, math.pi / 2, wander=0.02), 25, 32632,
         True),
        ("equator", synthetic_drive(3, -0.0004, 31.0, 2500, 0.1), 25, 32736, False),
        ("norway", synthetic_drive(4, 60.39, 5.32, 1500, 1.0), 50, 32632, True),
        ("svalbard", synthetic_drive(5, 78.22, 15.65, 1500, 2.0), 10, 32633, False),
    ]
    for name, samples, cell, zone, warning in drives:
        compare_with_reference(name, samples, cell, zone, warning)
    # The equator drive crosses into the north on the southern grid.
    check(max(s[0] for s in drives[2][1]) > 0.0, "the equator drive stays south")
    for scenario, seed in (("list", 11), ("table", 12), ("mixed", 13)):
        samples = simulated_drive(scenario, seed, 400)
        first = samples[0]
        path, cells = compare_with_reference(
            "simulated-" + scenario, samples, 25, reference_zone(first[0], first[1]),
            any(abs(s[1] - (-183.0 + 6 * ((reference_zone(first[0], first[1]) % 100)))) > 3.0
                for s in samples))
    path, cells = compare_with_reference(
        "raster", synthetic_drive(6, 52.5, 13.4, 3000, 0.3, wander=0.05), 25, 32633)
    check_raster("raster", path, cells)
    check_geopackage("layer", path, cells)
    check_comparison("compare", synthetic_drive(7, 47.0, 8.5, 2000, 1.2))

if FAILURES:
    print(f"{len(FAILURES)} failure(s)")
    sys.exit(1)
print("all binning checks passed")
