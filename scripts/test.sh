#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite (all but hardware tests).
# QUORIX_SANITIZE=address|thread|undefined builds into build-<sanitizer> with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
args=()
if [ -n "${QUORIX_SANITIZE:-}" ]; then
  export QUORIX_BUILD_DIR="${QUORIX_BUILD_DIR:-build-$QUORIX_SANITIZE}"
  args+=("-DQUORIX_SANITIZE=$QUORIX_SANITIZE")
fi
scripts/build.sh "${args[@]}"
cd "${QUORIX_BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)" -LE hardware --timeout 300
