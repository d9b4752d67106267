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
# A test's default time limit; sanitized builds run several times slower.
case "${QUORIX_SANITIZE:-}" in
  "") limit=300 ;;
  thread) limit=1800 ;;
  *) limit=900 ;;
esac
ctest --output-on-failure -j "$(nproc)" -LE hardware --timeout "$limit"
