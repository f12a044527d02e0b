# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the fuzz scripts: checks for clang 14 and configures the fuzz build folder $build.
if ! command -v clang++-14 >/dev/null; then
    echo "clang++-14 is needed (apt-get install clang-14 libclang-rt-14-dev)" >&2
    exit 2
fi
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DVARISTRUM_FUZZ=ON \
        -DVARISTRUM_GUI=OFF -DVARISTRUM_TESTS=OFF
fi
