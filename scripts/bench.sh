#!/usr/bin/env bash
# Builds the benchmarks in a release tree (build-bench) with what they compare against:
# OpenCV (registration_bench only; the library never links it) besides the usual packages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/install-deps.sh libopencv-dev libopencv-contrib-dev
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORIX_BUILD_BENCH=ON \
      -DQUORIX_BUILD_TESTS=OFF
cmake --build build-bench "$@"
