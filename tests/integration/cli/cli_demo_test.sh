#!/usr/bin/env bash
# The main job as the README runs it: the demo finds its in-process camera through
# discovery, streams, and writes every image (colour on depth too) and the coloured point
# cloud.
# Usage: cli_demo_test.sh QUORIX_CLI
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$("$cli" demo --out "$work/demo" --address 127.0.0.64 --seconds 1 2>&1)
code=$?
echo "$out"
[ "$code" -eq 0 ] || { echo "FAIL: the demo ended with $code"; exit 1; }
for f in depth.png depth16.png ir.png colour.png colour_on_depth.png depth.ply; do
    [ -s "$work/demo/$f" ] || { echo "FAIL: the demo wrote no $f"; exit 1; }
done
echo "$out" | grep -q "depth.ply ([0-9]* points, coloured)" ||
    { echo "FAIL: the point cloud is not coloured"; exit 1; }
echo "PASS"
