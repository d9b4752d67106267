#!/usr/bin/env bash
# The main job: installs what is missing, builds the SDK and runs the demo against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
"${QUORIX_BUILD_DIR:-build}/examples/sdk_version"
