#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How often a single-file conversion opens its input: identification, index pass and conversion;
# a 40-lambda job's sample check rides on the index pass, and dropping GPS outages or standing
# still adds one pre-pass that finds both. Arguments: varistrum-cli, simulator. Exit 77 (skipped) without strace.
set -euo pipefail
cli=$(realpath "$1")
sim=$(realpath "$2")
command -v strace >/dev/null || { echo "strace is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$sim" --seed 7 --out "$work/drive.klf" --scenario mixed --duration 120 2>/dev/null
# strace may be refused in a sandbox: then there is nothing to count.
strace -f -qq -e trace=openat -o "$work/probe" true 2>/dev/null || { echo "strace cannot trace"; exit 77; }

opens() {
    strace -f -qq -e trace=open,openat -o "$work/trace" "$cli" convert "$work/drive.klf" \
        -o "$work/drive.out" -q "$@" >/dev/null 2>&1 || { echo "convert $* failed"; exit 1; }
    grep -c "/drive.klf\"" "$work/trace"
}

check() {
    local expected=$1
    shift
    local counted
    counted=$(opens "$@")
    if [ "$counted" -ne "$expected" ]; then
        echo "convert $*: input opened $counted times instead of $expected"
        exit 1
    fi
    echo "convert $*: $counted opens"
}

check 3
check 3 --average 40-lambda
check 3 --best-server
check 4 --drop-outages 5
check 4 --average 40-lambda --drop-outages 5
check 4 --drop-stationary 10m,30
check 4 --drop-outages 5 --drop-stationary 10m,30 --threshold 'rssi>-100'
check 3 --threshold 'velocity>=5'
