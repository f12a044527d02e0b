#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang 14 in their own build folder and runs each for SECONDS.
# Work corpora and findings stay in the build folder; the committed corpus only seeds them.
# usage: fuzz/run_fuzzers.sh SECONDS [TARGET...]   (BUILD_FUZZ overrides the build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run_fuzzers.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(convert configuration identify)
build=${BUILD_FUZZ:-build-fuzz}

source fuzz/configure_build.sh
cmake --build "$build" -j "${JOBS:-2}" --target $(printf 'fuzz_%s ' "${targets[@]}")

declare -A max_len=([convert]=16384 [configuration]=8192 [identify]=64)
status=0
for target in "${targets[@]}"; do
    work="$build/fuzz-work/$target"
    artifacts="$build/fuzz-artifacts/$target/"
    mkdir -p "$work" "$artifacts"
    echo "== fuzz_$target for ${seconds}s (findings in $artifacts)"
    "$build/fuzz/fuzz_$target" "$work" "fuzz/corpus/$target" -max_total_time="$seconds" \
        -max_len="${max_len[$target]}" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts" || status=1
done
exit $status
