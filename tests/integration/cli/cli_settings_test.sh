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

# Runs quorix-cli, expecting exit code $1; its output (both streams) goes to $out.
run() {
    local expected=$1
    shift
    out=$("$cli" "$@" 2>&1)
    local code=$?
    echo "\$ quorix-cli $*"
    echo "$out"
    [ "$code" -eq "$expected" ] || fail "quorix-cli $* ended with $code, expected $expected"
}

# Lines that must appear exactly in the last output.
expect() {
    local line
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$out" || fail "missing line: $line"
    done
}

# Both sensors start with threshold 5; sensor 1 is the witness that nothing else changed.
run 0 set "$uri" threshold 37
expect "threshold: 37"
run 0 set "$uri" rgb-resolution 1280x720
run 0 set "$uri" depth-range 4

run 0 get "$uri"
expect "threshold: 37" "rgb-resolution: 1280x720" "depth-range: 4" "data-mode: 0"

run 0 info "$uri"
expect "serial number: $serial" "data modes: 0 1 2 10 11 12 13" "threshold: 37" \
    "depth-range: 4" "rgb-resolution: 1280x720"

# The simulator offers no data mode 5: refused by the library, the state stays.
run 1 set "$uri" data-mode 5
grep -qF "status -255" <<<"$out" || fail "the refusal shows no status"

# The other sensor kept its own state, the simulator's default.
run 0 get "$uri" --session 1 threshold
expect "threshold: 5"

camsim_check
echo "PASS"
