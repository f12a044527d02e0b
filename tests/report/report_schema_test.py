#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""varistrum-cli report --json validated against docs/report.schema.json.

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


def main(schema_path, cli, sim, example):
    schema = json.loads(pathlib.Path(schema_path).read_text())
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        inputs = [example]
        for scenario in ("mixed", "single-gps", "no-frequency", "table"):
            path = str(pathlib.Path(folder) / f"{scenario}.klf")
            subprocess.run([sim, "--scenario", scenario, "--seed", "7", "--duration", "300",
                            "--out", path], check=True, capture_output=True)
            inputs.append(path)
        for path in inputs:
            run = subprocess.run([cli, "report", path, "--json"], capture_output=True, text=True)
            if run.returncode != 0:
                print(f"{path}: exit {run.returncode}: {run.stderr}")
                failures += 1
                continue
            report = strict_json(run.stdout)
            problems = validate(report, schema, schema)
            for problem in problems:
                print(f"{path}: {problem}")
            failures += bool(problems)
    # The validator itself catches what it should.
    broken = {"schema_version": 2, "input": {"name": "x"}, "outage_seconds": 0, "file": {},
              "scans": [{"channels": [{"lee": {"verdict": "fine"}}]}]}
    if len(validate(broken, schema, schema)) < 6:
        print("the validator misses problems")
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
