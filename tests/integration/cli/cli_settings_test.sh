#!/usr/bin/env bash
# quorix-cli set changes the state of a running quorix-camsim, and the next get and info
# (each a process of its own) show it; a refused set prints its status and fails.
# Usage: cli_settings_test.sh QUORIX_CAMSIM QUORIX_CLI
set -u
camsim=$1
cli=$2
address=127.0.0.9
serial=CLISET9
uri=TK5E:$serial
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/../../support/camsim.sh"
camsim_start "$camsim" --address "$address" --model 562 --serial "$serial" --sessions 2 \
    --interval 50
source "$(dirname "$0")/cli_lib.sh"

# Both sensors start with threshold 5; sensor 1 is the witness that nothing else changed.
run 0 set "$uri" threshold 37
expect "threshold: 37"
run 0 set "$uri" rgb-resolution 1280x720
run 0 set "$uri" depth-range 4

run 0 get "$uri"
expect "threshold: 37" "rgb-resolution: 1280x720" "depth-range: 4" "data-mode: 0"

run 0 info "$uri"
expect "serial number: $serial" \
    "data modes: 0 (depth), 1 (IR), 2 (depth and IR), 10 (depth and IR, 15 fps), 11 (WDR depth), 12 (WDR IR), 13 (WDR depth and IR)" \
    "threshold: 37" \
    "depth-range: 4" "rgb-resolution: 1280x720"

# The simulator offers no data mode 5: refused by the library, the state stays.
run 1 set "$uri" data-mode 5
grep -qF "NsStatusOther (-255)" <<<"$out" || fail "the refusal shows no status"
expect "  this camera offers 0 1 2 10 11 12 13"
# Outside the documented range: refused before anything is sent, with the valid values.
run 1 set "$uri" frame-rate 200
grep -qF "NsStatusBadParameter (-15)" <<<"$out" || fail "the refusal shows no status"
expect "  valid: 1 to 60, ToF frames per second"

# The other sensor kept its own state, the simulator's default.
run 0 get "$uri" --session 1 threshold
expect "threshold: 5"

camsim_check
echo "PASS"
