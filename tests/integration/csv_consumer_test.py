#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads converted outputs with Python's csv module, as GIS tools read them."""
import csv
import os
import subprocess
import sys
import tempfile
import unittest

CLI = os.environ.get("VARISTRUM_CLI", "build/cli/varistrum-cli")
SIM = os.environ.get("VARISTRUM_SIM", "build/tools/varistrum-sim")


def simulate(folder, scenario, seed, seconds):
    path = os.path.join(folder, f"{scenario}.klf")
    subprocess.run([SIM, "--seed", str(seed), "--out", path, "--scenario", scenario,
                    "--duration", str(seconds)], check=True, stderr=subprocess.DEVNULL)
    return path


def convert(log, output, *options):
    subprocess.run([CLI, "convert", log, "-o", output, "--quiet", *options], check=True,
                   stderr=subprocess.DEVNULL)
    with open(output, newline="", encoding="latin-1") as text:
        return list(csv.reader(text))


class CsvConsumerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.dir = self.folder.name

    def tearDown(self):
        self.folder.cleanup()

    def check_positions(self, rows, latitude, longitude):
        self.assertGreater(len(rows), 1)
        header = rows[0]
        # A table scan repeats the header record in front of its data.
        data = [row for row in rows[1:] if row != header]
        self.assertTrue(data)
        for row in data:
            self.assertEqual(len(row), len(header), row)
            lat, lon = float(row[latitude]), float(row[longitude])
            self.assertTrue(-90.0 <= lat <= 90.0, lat)
            self.assertTrue(-180.0 <= lon <= 180.0, lon)

    def test_point_fields_of_every_scan_kind(self):
        log = simulate(self.dir, "mixed", 5, 200)
        rows = convert(log, os.path.join(self.dir, "points.out"), "--tags", "5,11,18,32,49")
        self.assertEqual(rows[0], ["Latitude (Decimal Degrees)", "Longitude (Decimal Degrees)",
                                   "GPS Time (HH:MM:SS)", "Record Number", "Receiver"])
        self.check_positions(rows, 0, 1)

    def test_averaged_levels_have_one_value_per_line(self):
        log = simulate(self.dir, "single-gps", 6, 200)
        rows = convert(log, os.path.join(self.dir, "lambda.out"), "--tags", "5,11,18,0",
                       "--average", "40-lambda")
        self.assertEqual(rows[0][3:], ["Frequency", "RSSI"])
        self.check_positions(rows, 0, 1)
        for row in rows[1:]:
            self.assertTrue(-128 <= int(row[4]) <= 127)

    def test_semicolon_delimited_best_server_list(self):
        log = simulate(self.dir, "list", 7, 120)
        output = os.path.join(self.dir, "best.out")
        subprocess.run([CLI, "convert", log, "-o", output, "--quiet", "--tags", "11,5,0",
                        "--best-server", "--delimiter", "semicolon"], check=True,
                       stderr=subprocess.DEVNULL)
        with open(output, newline="", encoding="latin-1") as text:
            rows = list(csv.reader(text, delimiter=";"))
        self.assertEqual(rows[0], ["Longitude (Decimal Degrees)", "Latitude (Decimal Degrees)",
                                   "Frequency", "RSSI"])
        self.check_positions(rows, 1, 0)


if __name__ == "__main__":
    unittest.main(verbosity=1)
