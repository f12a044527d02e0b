#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's GNU parallel form, run on this machine (--sshlogin :), gives the same bytes as a
# folder job with -j 2. Arguments: varistrum-cli, simulator. Exit 77 (skipped) without parallel.
set -euo pipefail
cli=$(realpath "$1")
sim=$(realpath "$2")
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/logs" "$work/folder"
scenarios=(mixed single-gps single-rtc list table)
for i in $(seq 1 20); do
    "$sim" --seed "$i" --out "$work/logs/drive$i.klf" --scenario "${scenarios[i % 5]}" \
        --duration 90 2>/dev/null
done

cd "$work/logs"
PATH="$(dirname "$cli"):$PATH" parallel --will-cite --halt now,fail=1 --sshlogin : \
    varistrum-cli convert {} -o {.}.out -q ::: *.klf
"$cli" convert -q --input-folder "$work/logs" --output-folder "$work/folder" -j 2

count=0
for out in "$work/folder"/*.out; do
    cmp "$out" "$work/logs/$(basename "$out")"
    [ -s "$out" ] || { echo "empty output: $out"; exit 1; }
    count=$((count + 1))
done
[ "$count" -eq 20 ] || { echo "$count outputs instead of 20"; exit 1; }
[ "$(ls "$work/logs"/*.out | wc -l)" -eq 20 ] || { echo "parallel wrote a different number"; exit 1; }
echo "20 logs: GNU parallel and -j 2 give the same bytes"
