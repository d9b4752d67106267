#!/usr/bin/env bash
# The demo with a simulated USB camera: the library lists it through its USB enumeration
# (the camera's URI is its video interface path), opens it over HID and UVC, streams, and
# writes every image; its temporary USB tree is gone afterwards.
# Usage: cli_demo_usb_test.sh QUORIX_CLI
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$("$cli" demo --usb --out "$work/demo" --seconds 1 2>&1)
code=$?
echo "$out"
[ "$code" -eq 0 ] || { echo "FAIL: the USB demo ended with $code"; exit 1; }
echo "$out" | grep -q "dev/video0?usb=1-1&id=f5e2:0107 .*TK2A .*opened" ||
    { echo "FAIL: the device list did not show the USB camera opened"; exit 1; }
for f in depth.png depth16.png ir.png colour.png depth.ply; do
    [ -s "$work/demo/$f" ] || { echo "FAIL: the USB demo wrote no $f"; exit 1; }
done
root=$(echo "$out" | sed -n 's/^plugged in a simulated USB TK2A camera [^ ]* at \(.*\)\/dev\/video0.*/\1/p')
[ -n "$root" ] && [ ! -e "$root" ] || { echo "FAIL: the USB tree $root was left behind"; exit 1; }
echo "PASS"
