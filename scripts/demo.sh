#!/usr/bin/env bash
# The main job: installs what is missing, builds the SDK and runs the demo against a
# simulated camera.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build="${QUORIX_BUILD_DIR:-build}"
"$build/examples/sdk_version"
"$build/tools/quorix-camsim" --address 127.0.0.2 --model TK5P --serial QX-DEMO-0001 \
    --sessions 1 >/dev/null &
sim=$!
trap 'kill -INT $sim 2>/dev/null || true; wait $sim 2>/dev/null || true' EXIT
"$build/examples/list_devices" 3
