#!/usr/bin/env bash
# quorix-cli upgrade and config against a simulated USB camera plugged into the same process
# (--sim-usb): the progress bar to 100 %, the camera back with the image's version, a
# refused image, the camera's JSON file fetched from its drive, and a new one applied.
# Usage: cli_usb_upgrade_test.sh QUORIX_CLI
set -u
cli=$1
source "$(dirname "$0")/cli_scratch.sh"
source "$(dirname "$0")/cli_lib.sh"

make_image "$work/TK5U_new.img" 2024 5
make_image "$work/TK5U_old.img" 2023 5
echo '{"range": 3}' >"$work/config.json"

run 1 upgrade QXUSBSIM "$work/TK5U_old.img" --sim-usb --wait 10
contains "NsStatusUpgradeNotReady (-16)" "an older image or build"

run 0 upgrade QXUSBSIM "$work/TK5U_new.img" --sim-usb --wait 10
contains "plugged in a simulated USB TK5U camera QXUSBSIM" "[####################] 100 %" \
    "upgrade done; the camera restarts" "is back with firmware 20240301_V46"

run 0 config QXUSBSIM --fetch "$work/fetched.json" --sim-usb --wait 10
contains "the camera waits for the new file" "JSON configuration is in $work/fetched.json"
[ "$(cat "$work/fetched.json")" = '{"range": 1}' ] || fail "fetched: $(cat "$work/fetched.json")"

run 0 config QXUSBSIM --send "$work/config.json" --sim-usb --wait 10
contains "the camera waits for the new file" "configuration applied; the camera restarts"
echo "PASS"
