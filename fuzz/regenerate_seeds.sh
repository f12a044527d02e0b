#!/usr/bin/env bash
# Rebuilds the committed corpora: first the seeds that the simulator and the log builder make,
# then whatever the current corpus and the given fuzz work folders add, each kept only when it
# reaches code the others do not (edges, not hit counts, so the corpora stay a few dozen files).
# Files named regression-* (inputs of past findings) are always kept as they are.
# usage: fuzz/regenerate_seeds.sh [WORK_FOLDER...]   (e.g. build-fuzz/fuzz-work)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_FUZZ:-build-fuzz}
if ! command -v clang++-14 >/dev/null; then
    echo "clang++-14 is needed (apt-get install clang-14 libclang-rt-14-dev)" >&2
    exit 2
fi
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DVARISTRUM_FUZZ=ON \
        -DVARISTRUM_GUI=OFF -DVARISTRUM_TESTS=OFF
fi
cmake --build "$build" -j "${JOBS:-2}" \
    --target fuzz_convert fuzz_configuration fuzz_identify varistrum-fuzz-seeds
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/fuzz/varistrum-fuzz-seeds" "$scratch/seeds"

merge() {  # target, output folder, input folders...
    local target=$1 out=$2
    shift 2
    "$build/fuzz/fuzz_$target" -merge=1 -use_counters=0 "$out" "$@" >"$scratch/merge.log" 2>&1 ||
        { cat "$scratch/merge.log"; exit 1; }
}

for target in convert configuration identify; do
    corpus="fuzz/corpus/$target"
    mkdir -p "$corpus" "$scratch/old/$target" "$scratch/new/$target"
    find "$corpus" -type f ! -name 'regression-*' -exec mv {} "$scratch/old/$target/" \;
    extra=()
    for folder in "$@"; do
        if [ -d "$folder/$target" ]; then extra+=("$folder/$target"); fi
    done
    merge "$target" "$scratch/new/$target" "$scratch/seeds/$target"
    merge "$target" "$scratch/new/$target" "$scratch/old/$target" "${extra[@]}"
    cp "$scratch/new/$target"/* "$corpus/"
    files=$(find "$corpus" -type f | wc -l)
    echo "$target: $files files, $(du -sh "$corpus" | cut -f1)"
done
