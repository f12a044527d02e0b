#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""varistrum-cli report --json validated against docs/report.schema.json, and its figures
checked against each other: the summary per frequency is the scans' channels summed, the file's
verdict is the worst averaged scan's, a log without GPS fixes has unknown (null) distance,
speed and outages, and --summary gives the summary alone.

A small validator of the schema keywords the file uses (type, const, enum, required,
properties, additionalProperties, items, minimum, maximum, pattern, allOf, $ref), so the test
needs nothing beyond the standard library.

usage: report_schema_test.py SCHEMA CLI SIM EXAMPLE
"""
import json
import pathlib
import re
import subprocess
import sys
import tempfile

TYPES = {
    "object": lambda v: isinstance(v, dict),
    "array": lambda v: isinstance(v, list),
    "string": lambda v: isinstance(v, str),
    "integer": lambda v: isinstance(v, int) and not isinstance(v, bool),
    "number": lambda v: isinstance(v, (int, float)) and not isinstance(v, bool),
    "null": lambda v: v is None,
    "boolean": lambda v: isinstance(v, bool),
}


def resolve(root, reference):
    node = root
    for part in reference.lstrip("#/").split("/"):
        node = node[part]
    return node


def validate(value, schema, root, where="$"):
    problems = []
    if "$ref" in schema:
        problems += validate(value, resolve(root, schema["$ref"]), root, where)
    for part in schema.get("allOf", []):
        problems += validate(value, part, root, where)
    if "const" in schema and value != schema["const"]:
        problems.append(f"{where}: {value!r} is not {schema['const']!r}")
    if "enum" in schema and value not in schema["enum"]:
        problems.append(f"{where}: {value!r} not in {schema['enum']}")
    if "type" in schema:
        types = schema["type"] if isinstance(schema["type"], list) else [schema["type"]]
        if not any(TYPES[t](value) for t in types):
            return problems + [f"{where}: {value!r} is not of type {types}"]
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        if "minimum" in schema and value < schema["minimum"]:
            problems.append(f"{where}: {value} below {schema['minimum']}")
        if "maximum" in schema and value > schema["maximum"]:
            problems.append(f"{where}: {value} above {schema['maximum']}")
    if isinstance(value, str) and "pattern" in schema and not re.search(schema["pattern"], value):
        problems.append(f"{where}: {value!r} does not match {schema['pattern']}")
    if isinstance(value, dict):
        for key in schema.get("required", []):
            if key not in value:
                problems.append(f"{where}: '{key}' missing")
        properties = schema.get("properties", {})
        for key, item in value.items():
            if key in properties:
                problems += validate(item, properties[key], root, f"{where}.{key}")
            elif schema.get("additionalProperties") is False:
                problems.append(f"{where}: '{key}' not allowed")
    if isinstance(value, list) and "items" in schema:
        for i, item in enumerate(value):
            problems += validate(item, schema["items"], root, f"{where}[{i}]")
    return problems


def strict_json(text):
    def refuse(name):
        raise ValueError(f"not JSON: {name}")
    return json.loads(text, parse_constant=refuse)


VERDICT_ORDER = ["meets", "meets_partly", "does_not_meet"]


def worse(a, b):
    """The worse of two verdicts; not_applicable gives way to any other."""
    if a == "not_applicable":
        return b
    if b == "not_applicable":
        return a
    return max(a, b, key=VERDICT_ORDER.index)


def consistency_problems(report):
    """What the summary and the verdicts say against the scans' own figures."""
    problems = []
    sums = {}
    file_verdict = "not_applicable"
    for scan in report["scans"]:
        scan_verdict = "not_applicable"
        for channel in scan["channels"]:
            key = (channel["frequency_mhz"], channel["averaged"])
            lee = channel["lee"] or {"windows": 0, "windows_below_36": 0}
            total = sums.setdefault(key, [0, 0, 0, 0])
            for i, value in enumerate((1, channel["samples"], lee["windows"],
                                       lee["windows_below_36"])):
                total[i] += value
            if channel["averaged"] and channel["lee"]:
                scan_verdict = worse(scan_verdict, channel["lee"]["verdict"])
            if lee["windows"]:
                share = lee["below_36_percent"] + lee["meets_percent"]
                if abs(share - 100.0) > 1e-9:
                    problems.append(f"scan {scan['number']}: shares add up to {share}")
        if scan["verdict"] != scan_verdict:
            problems.append(f"scan {scan['number']}: verdict {scan['verdict']}, "
                            f"its averaged channels give {scan_verdict}")
        file_verdict = worse(file_verdict, scan_verdict)
    summary = report["summary"]
    if report["file"]["verdict"] != file_verdict or summary["verdict"] != file_verdict:
        problems.append(f"file verdict {report['file']['verdict']} / {summary['verdict']}, "
                        f"the averaged scans give {file_verdict}")
    if summary["scans"] != len(report["scans"]):
        problems.append(f"summary of {summary['scans']} scans, {len(report['scans'])} listed")
    listed = {}
    for row in summary["frequencies"]:
        listed[(row["frequency_mhz"], row["averaged"])] = [
            row["scans"], row["samples"], row["windows"], row["windows_below_36"]]
    if listed != sums:
        problems.append(f"summary {listed} is not the scans summed {sums}")
    kinds = [row["averaged"] for row in summary["frequencies"]]
    if kinds != sorted(kinds, reverse=True):
        problems.append("averaged frequencies do not come first")
    return problems


def run_report(cli, path, *options):
    run = subprocess.run([cli, "report", path, "--json", *options], capture_output=True,
                         text=True)
    if run.returncode != 0:
        raise RuntimeError(f"{path}: exit {run.returncode}: {run.stderr}")
    return strict_json(run.stdout)


def main(schema_path, cli, sim, example):
    schema = json.loads(pathlib.Path(schema_path).read_text())
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        inputs = {"example": example}
        for scenario in ("mixed", "single-gps", "single-rtc", "no-frequency", "table", "list"):
            path = str(pathlib.Path(folder) / f"{scenario}.klf")
            subprocess.run([sim, "--scenario", scenario, "--seed", "7", "--duration", "300",
                            "--out", path], check=True, capture_output=True)
            inputs[scenario] = path
        # A drive that waits at three points, reported with its stops left out.
        stops = str(pathlib.Path(folder) / "stops.klf")
        subprocess.run([sim, "--scenario", "single-gps", "--seed", "7", "--duration", "400",
                        "--stops", "3,60", "--out", stops], check=True, capture_output=True)
        inputs["stops"] = stops
        for name, path in inputs.items():
            problems = []
            options = ["--drop-stationary", "3m,30"] if name == "stops" else []
            try:
                report = run_report(cli, path, *options)
                summary_only = run_report(cli, path, "--summary", *options)
            except (RuntimeError, ValueError) as error:
                print(error)
                failures += 1
                continue
            problems += validate(report, schema, schema)
            problems += validate(summary_only, schema, schema, "$summary")
            problems += consistency_problems(report)
            head = ("schema_version", "input", "outage_seconds", "summary") + (
                ("standing_still",) if options else ())
            if summary_only != {key: report[key] for key in head}:
                problems.append("--summary is not the full report's summary alone")
            if name == "stops":
                # Standing still: within each stretch's duration, the scans' stops the file's.
                drives = [report["file"]] + report["scans"]
                if any(d["standing_still"]["seconds"] > d["duration_s"] for d in drives):
                    problems.append("more time standing still than the drive lasted")
                scan_stops = sum(scan["standing_still"]["stops"] for scan in report["scans"])
                if not report["file"]["standing_still"]["stops"] == scan_stops == 3:
                    problems.append(f"{report['file']['standing_still']['stops']} stops, "
                                    f"the scans hold {scan_stops}, the drive 3")
            elif any("standing_still" in d for d in [report] + report["scans"]):
                problems.append("standing still reported without --drop-stationary")
            if name == "single-rtc":
                # No GPS fix: what needs one is unknown, never 0.
                for where, drive in [("file", report["file"])] + [
                        (f"scan {scan['number']}", scan) for scan in report["scans"]]:
                    for key in ("distance_m", "speed_kmh", "outages"):
                        if drive[key] is not None:
                            problems.append(f"{where}: {key} is {drive[key]!r}, not null")
                    if drive["gps"]["percent_3d"] is not None:
                        problems.append(f"{where}: a share of no GPS records")
            for problem in problems:
                print(f"{name}: {problem}")
            failures += bool(problems)
    # The validator and the checks themselves catch what they should.
    broken = {"schema_version": 1, "input": {"name": "x"}, "outage_seconds": 0, "file": {},
              "scans": [{"channels": [{"lee": {"verdict": "fine"}}]}]}
    if len(validate(broken, schema, schema)) < 6:
        print("the validator misses problems")
        failures += 1
    report = run_report(cli, example)
    report["summary"]["frequencies"][0]["samples"] += 1
    report["file"]["verdict"] = "does_not_meet"
    if len(consistency_problems(report)) < 2:
        print("the consistency checks miss problems")
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
