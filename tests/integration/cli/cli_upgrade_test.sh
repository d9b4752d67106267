#!/usr/bin/env bash
# quorix-cli upgrade and config against a quorix-camsim process that fetches its files from
# a folder: the progress bar to 100 %, the camera back with the image's version in info, a
# refused image that leaves the camera as it was, and the JSON transfer.
# Usage: cli_upgrade_test.sh QUORIX_CAMSIM QUORIX_CLI
set -u
camsim=$1
cli=$2
source "$(dirname "$0")/cli_scratch.sh"
source "$(dirname "$0")/cli_lib.sh"

make_image "$work/TK5P_new.img" 2024 4
make_image "$work/TK5P_old.img" 2023 4
echo '{"DepthRange": 2}' >"$work/config.json"

"$camsim" --address 127.0.102.9 --model TK5P --serial CLIUPG --sessions 1 \
    --transfer-folder "$work" >"$work/camsim.log" 2>&1 &
pids+=($!)

run 0 info TK5P:CLIUPG --wait 10
expect "firmware version: 20240115_V45"

run 1 upgrade TK5P:CLIUPG "$work/TK5P_old.img" --wait 10
contains "NsStatusUpgradeNotReady (-16)" "an older image or build"

run 0 upgrade TK5P:CLIUPG "$work/TK5P_new.img" --wait 10
contains "[####################] 100 %" "upgrade done; the camera restarts" \
    "TK5P:CLIUPG is back with firmware 20240301_V46"

run 0 info TK5P:CLIUPG --wait 10
expect "firmware version: 20240301_V46"

run 0 config TK5P:CLIUPG --send "$work/config.json" --wait 10
contains "the camera waits for the new file" "configuration applied; the camera restarts"

run 1 config TK5P:CLIUPG --fetch "$work/fetched.json" --wait 10
contains "cannot hand its JSON configuration"
run 2 config TK5P:CLIUPG
echo "PASS"
