#!/usr/bin/env bash
# Builds Pixferry with its tests and benchmarks and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/scripts/deps.sh"

build="$here/build"
cmake -S "$here" -B "$build" -DPIXFERRY_BUILD_TESTS=ON
cmake --build "$build" -j2
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
