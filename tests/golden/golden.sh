#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Converts simulated drive logs with the command line and compares every output byte for byte
# with the expected files beside this script; "update" rewrites the expected files instead
# (make golden), so that a changed output is a diff a reviewer reads.
#
# usage: golden.sh check|update VARISTRUM_SIM VARISTRUM_CLI
set -u

mode=$1 sim=$2 cli=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Output never depends on the locale: the conversions run under a comma-decimal one when the
# machine has it.
if locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then export LC_ALL=de_DE.UTF-8; else export LC_ALL=C; fi

# name | simulator arguments | conversion options (the input and -o are added)
cases=(
  "mixed-default|--scenario mixed --duration 40|"
  "single-gps-default|--scenario single-gps --duration 40|--tags 5,11,17,22,18,27,32,0"
  "single-rtc-default|--scenario single-rtc --duration 40|--tags 33,37,32,0 --columns frequency,channel,rssi"
  "list-default|--scenario list --duration 40|--tags 6,7,9,10,12,13,15,16,26,29,32,0 --delimiter semicolon"
  "table-default|--scenario table --duration 20|--tags 32,46,47,48,49,0 --columns channel,rssi"
  "no-frequency-default|--scenario no-frequency --duration 40|--frequencies 851.0125,890.1 --receiver 2"
  "variant9-default|--variant 9 --duration 40|--tags 8,14,19,20,21,23,24,25,34,35,36,38,39,40,0 --delimiter tab --no-header"
  "mixed-best-server|--scenario mixed --duration 60|--best-server --tags 32,18,0 --columns rssi"
  "list-best-server|--scenario list --duration 40|--best-server --tags 32,18,0"
  "table-best-server|--scenario table --duration 20|--best-server --tags 32,0"
  "single-gps-40-lambda|--scenario single-gps --duration 90|--average 40-lambda --tags 5,11,18,32,50,0"
  "mixed-40-lambda|--scenario mixed --duration 90|--average 40-lambda"
  "no-frequency-40-lambda|--scenario no-frequency --duration 60|--average 40-lambda --frequencies 851.0125,890.1"
  "mixed-outage-drop|--scenario mixed --duration 120|--drop-outages 2 --tags 17,18,32,0 --columns rssi"
  "variant9-outage-drop|--variant 9 --duration 120|--drop-outages 3 --tags 17,22,18,32"
  "table-split|--scenario table --duration 1520|--split --tags 32"
)

failed=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name simArgs convertArgs <<<"$entry"
  log=$work/$name.klf
  # shellcheck disable=SC2086
  if ! "$sim" --seed 7 --out "$log" $simArgs 2>/dev/null; then
    echo "FAIL $name: the simulator failed"; failed=1; continue
  fi
  # shellcheck disable=SC2086
  if ! "$cli" convert "$log" -o "$work/$name.out" --quiet $convertArgs 2>"$work/$name.err"; then
    echo "FAIL $name: the conversion failed:"; cat "$work/$name.err"; failed=1; continue
  fi
  # A split output is compared by its part files, which hold every line.
  outputs=("$name.out")
  if [[ -d $work/$name ]]; then
    outputs=()
    for part in "$work/$name"/*.out; do outputs+=("$(basename "$part")"); done
    for part in "${outputs[@]}"; do mv "$work/$name/$part" "$work/$part"; done
  fi
  for out in "${outputs[@]}"; do
    if [[ $mode == update ]]; then
      cp "$work/$out" "$here/$out"
    elif ! cmp -s "$work/$out" "$here/$out"; then
      echo "FAIL $name: $out differs from the expected file"
      diff <(head -c 2000000 "$here/$out" 2>/dev/null) <(head -c 2000000 "$work/$out") | head -n 6
      failed=1
    fi
  done
done
if [[ $mode == update ]]; then
  echo "expected files rewritten in $here: review 'git diff --stat $here'"
fi
exit $failed
