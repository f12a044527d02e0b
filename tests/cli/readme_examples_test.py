#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs every command of the README's ```sh blocks, as shown, on simulated logs.

The commands run with bash in a fresh folder holding the logs they name (drive.klf, nofreq.klf,
the calibration drive cal.klf with its sites.csv, before.klf and after.klf, two drives of one
route, and a folder logs/), with varistrum-cli on the PATH; each must end with status 0 and write
no error or warning (ours or GDAL's) but the one the simulator's drives always give: they
straddle the zero meridian, a UTM zone's edge, so their cells warn that the drive goes more than
3 degrees from its zone's central meridian. ```text blocks (synopses, other machines'
commands) are not run, nor are `make` lines. Arguments: README path, varistrum-cli, simulator.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def sh_commands(readme):
    """The commands of the ```sh blocks, continuation lines joined, comments left out."""
    commands = []
    for block in re.findall(r"^```sh\n(.*?)^```", readme, re.S | re.M):
        pending = ""
        for line in block.splitlines():
            if line.startswith("#") or not line.strip():
                continue
            if line.endswith("\\"):
                pending += line[:-1]
                continue
            commands.append(pending + line)
            pending = ""
    return [c for c in commands if not c.startswith("make ")]


def simulate(sim, path, scenario, seed, seconds, *extra):
    subprocess.run([sim, "--seed", str(seed), "--out", path, "--scenario", scenario,
                    "--duration", str(seconds), *extra], check=True, stderr=subprocess.DEVNULL)


# The warning of every drive on the simulator's route (see above).
ZONE_EDGE = "Warning: The drive goes more than 3 degrees from the central meridian of UTM zone"


def main():
    readme_path, cli, sim = sys.argv[1:4]
    with open(readme_path, encoding="utf-8") as text:
        commands = sh_commands(text.read())
    if len(commands) < 8:
        print(f"only {len(commands)} example commands found in {readme_path}")
        return 1
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        simulate(sim, os.path.join(work, "drive.klf"), "mixed", 1, 600)
        simulate(sim, os.path.join(work, "nofreq.klf"), "no-frequency", 2, 120)
        # The same route driven twice, the second time 3 dB stronger.
        simulate(sim, os.path.join(work, "before.klf"), "single-gps", 9, 300)
        simulate(sim, os.path.join(work, "after.klf"), "single-gps", 9, 300, "--level-offset", "3")
        # The example log shipped beside the README.
        shutil.copytree(os.path.join(os.path.dirname(os.path.abspath(readme_path)), "examples"),
                        os.path.join(work, "examples"))
        # The calibration walk-through's drive and sites file, as its first line makes them.
        subprocess.run([sim, "--seed", "3", "--scenario", "calibration", "--out",
                        os.path.join(work, "cal.klf"), "--sites-out",
                        os.path.join(work, "sites.csv")], check=True, stderr=subprocess.DEVNULL)
        os.mkdir(os.path.join(work, "logs"))
        for seed, scenario in enumerate(["mixed", "list", "single-gps", "table"], start=3):
            simulate(sim, os.path.join(work, "logs", f"{scenario}.klf"), scenario, seed, 120)
        env = dict(os.environ, PATH=os.path.dirname(os.path.abspath(cli)) + os.pathsep +
                   os.environ.get("PATH", ""))
        for command in commands:
            if command.split()[0] not in ("varistrum-cli", "mkdir") and \
                    shutil.which(command.split()[0]) is None:
                print(f"skipped (no {command.split()[0]}): {command}")
                continue
            run = subprocess.run(["bash", "-o", "pipefail", "-c", command], cwd=work, env=env,
                                 capture_output=True, text=True, errors="replace")
            # A reader that stops early (head) may end the writer with SIGPIPE: 141 is fine.
            status_ok = run.returncode == 0 or ("| head" in command and run.returncode == 141)
            # Ours ("Error: ", "Warning: ") and GDAL's ("ERROR 1: ", "Warning 1: ").
            messages = [line for line in run.stderr.splitlines()
                        if re.match(r"(Error|ERROR|Warning)\b", line) and
                        not line.startswith(ZONE_EDGE)]
            if not status_ok or messages:
                failures += 1
                print(f"FAILED ({run.returncode}): {command}\n{run.stderr}")
            else:
                print(f"ok: {command}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
