#!/usr/bin/env bash
# The main job: installs what is missing, builds the SDK and runs the demo: a simulated
# camera found through discovery, streamed for a few seconds, and a snapshot written.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
"${QUORIX_BUILD_DIR:-build}/tools/quorix-cli" demo "$@"
