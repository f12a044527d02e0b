#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Rebuilds the committed corpora: first the seeds that the simulator and the log builder make,
# minimized; then at most EXTRA (default 24) inputs of the current corpus and the given fuzz work
# folders, those that reach the most code the seeds do not (edges, taken smallest file first).
# Files named regression-* (inputs of past findings) are always kept as they are.
# usage: fuzz/regenerate_seeds.sh [WORK_FOLDER...]   (e.g. build-fuzz/fuzz-work)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_FUZZ:-build-fuzz}
extra_limit=${EXTRA:-24}
source fuzz/configure_build.sh
cmake --build "$build" -j "${JOBS:-2}" \
    --target fuzz_convert fuzz_configuration fuzz_identify varistrum-fuzz-seeds
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/fuzz/varistrum-fuzz-seeds" "$scratch/seeds"

merge() {  # target, output folder, input folders...
    local target=$1 out=$2
    shift 2
    rm -f "$scratch/control"  # an existing control file would resume an earlier merge
    "$build/fuzz/fuzz_$target" -merge=1 -use_counters=0 -merge_control_file="$scratch/control" \
        "$out" "$@" >"$scratch/merge.log" 2>&1 || { cat "$scratch/merge.log"; exit 1; }
}

for target in convert configuration identify; do
    corpus="fuzz/corpus/$target"
    mkdir -p "$corpus" "$scratch/old/$target" "$scratch/new/$target"
    find "$corpus" -type f ! -name 'regression-*' -exec mv {} "$scratch/old/$target/" \;
    candidates=("$scratch/old/$target")
    for folder in "$@"; do
        if [ -d "$folder/$target" ]; then candidates+=("$folder/$target"); fi
    done
    merge "$target" "$scratch/new/$target" "$scratch/seeds/$target"
    # The control file lists the files in the order they ran (the seeds first) and, per file,
    # the edges no earlier file reached: keep the candidates that added the most.
    cp -r "$scratch/new/$target" "$scratch/picks-$target"
    merge "$target" "$scratch/picks-$target" "${candidates[@]}"
    awk -v limit="$extra_limit" '
        NR == 1 { files = $1; next }
        NR == 2 { initial = $1; next }
        NR <= files + 2 { path[NR - 3] = $0; next }
        $1 == "COV" && $2 >= initial && NF > 2 { print NF - 2, path[$2] }
    ' "$scratch/control" | sort -k1,1nr -s | head -n "$extra_limit" | cut -d' ' -f2- |
        while read -r file; do cp "$file" "$corpus/"; done
    cp "$scratch/new/$target"/* "$corpus/"
    files=$(find "$corpus" -type f | wc -l)
    echo "$target: $files files, $(du -sh "$corpus" | cut -f1)"
done
