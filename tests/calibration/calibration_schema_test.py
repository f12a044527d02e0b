#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Calibration JSON of several shapes validated against docs/calibration.schema.json.

The samples come from the calibration test program (its CalibrationFormat tests write them into
a folder) and, given the command line and the simulator, from varistrum-cli calibrate --json on
simulated drives (one log, and two pooled); the validator is the report schema test's.

usage: calibration_schema_test.py SCHEMA CALIBRATION_TESTS [VARISTRUM_CLI VARISTRUM_SIM]
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "report"))
from report_schema_test import strict_json, validate  # noqa: E402


def command_line_samples(folder, cli, sim):
    """The command's JSON of a simulated drive, alone and pooled with a second one."""
    json_folder = pathlib.Path(folder)
    folder = json_folder / "drives"  # the simulator's model files are no samples
    folder.mkdir()
    for seed in (3, 4):
        subprocess.run([sim, "--seed", str(seed), "--scenario", "calibration", "--out",
                        str(folder / f"cal{seed}.klf"), "--sites-out", str(folder / f"sites{seed}.csv")],
                       check=True, stderr=subprocess.DEVNULL)
    # One sites file for both drives: the second's rows after the first's.
    first = (folder / "sites3.csv").read_text().splitlines(keepends=True)
    second = (folder / "sites4.csv").read_text().splitlines(keepends=True)[1:]
    (folder / "sites.csv").write_text("".join(first + second))
    runs = {"cli-one": [str(folder / "cal3.klf")],
            "cli-pooled": [str(folder / "cal3.klf"), str(folder / "cal4.klf")]}
    for name, logs in runs.items():
        run = subprocess.run([cli, "calibrate", "-q", "--json", *logs, "--sites",
                              str(folder / "sites.csv"), "-o", str(json_folder / f"{name}.json")],
                             capture_output=True, text=True)
        if run.returncode != 0:
            print(name, run.stderr)
            return False
    return True


def main(schema_path, tests, cli=None, sim=None):
    schema = json.loads(pathlib.Path(schema_path).read_text())
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        if cli and sim and not command_line_samples(folder, cli, sim):
            return 1
        run = subprocess.run([tests, "--gtest_filter=CalibrationFormat.*"], capture_output=True,
                             text=True, env={**os.environ, "VARISTRUM_CALIBRATION_JSON_DIR": folder})
        if run.returncode != 0:
            print(run.stdout, run.stderr)
            return 1
        samples = sorted(pathlib.Path(folder).glob("*.json"))
        if len(samples) < 4:
            print(f"only {len(samples)} samples written")
            return 1
        for sample in samples:
            document = strict_json(sample.read_text())
            problems = validate(document, schema, schema)
            for problem in problems:
                print(f"{sample.name}: {problem}")
            failures += bool(problems)
        # The samples hold what the schema's optional parts are for.
        shapes = {s.stem: strict_json(s.read_text()) for s in samples}
        fits = shapes["defaults"]["fits"]
        if not any(f["frequency_mhz"] is None for f in fits):
            print("no pooled entry among the samples")
            failures += 1
        if not any(f["hata"] is None for f in shapes["open-refused"]["fits"]):
            print("no refused Hata among the samples")
            failures += 1
        if cli and sim and not any(len(f["frequencies_mhz"]) > 1
                                   for f in shapes["cli-pooled"]["fits"]):
            print("no site pooled over several channels in the campaign")
            failures += 1
        if not any(f["log_distance"] is None for f in fits):
            print("no entry without a fit among the samples")
            failures += 1
    # The validator itself catches what it should.
    broken = {"schema_version": 2, "fits": [{"site": 3, "frequency_mhz": "x", "points": -1,
                                             "excluded": {}, "log_distance": {"a_db": "1"},
                                             "hata": {"model": "free-space"}}]}
    if len(validate(broken, schema, schema)) < 6:
        print("the validator misses problems")
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
