#!/usr/bin/env bash
# What quorix-cli says when things go wrong, against quorix-camsim processes: a camera not
# found lists the cameras seen; an --out that cannot be written is refused before the
# camera is opened; a lost camera is told apart from one another client took; a doubled
# interrupt (as `timeout` delivers it) keeps the summary; a snapshot names the files it
# did not write and why.
# Usage: cli_failures_test.sh QUORIX_CAMSIM QUORIX_CLI
set -u
camsim=$1
cli=$2
source "$(dirname "$0")/cli_scratch.sh"
source "$(dirname "$0")/cli_lib.sh"

# Starts a simulated camera; $camera holds its pid.
start_camera() {
    local address=$1 serial=$2
    "$camsim" --address "$address" --model TK5P --serial "$serial" --sessions 1 \
        >"$work/camsim-$serial.log" 2>&1 &
    camera=$!
    pids+=("$camera")
}

start_camera 127.0.0.61 CLIF61

# A snapshot in data mode 0 (depth only) says why there is no ir.png.
run 0 snapshot TK5P:CLIF61 --out "$work/snap" --wait 10
contains "no ir.png: data mode 0 sends depth only"
[ -f "$work/snap/depth.png" ] || fail "no depth.png"

# Not found: the cameras seen are listed.
run 3 stream TK5P:NOPE --wait 3
contains "camera TK5P:NOPE not found within 3.0 s" "cameras seen" "TK5P:CLIF61 (alias CLIF61"

# An --out that cannot be written stops the command before the camera is opened.
touch "$work/file"
run 1 snapshot TK5P:CLIF61 --out "$work/file/images"
contains "cannot create the folder $work/file/images" "choose another --out"
grep -qF "opened" <<<"$out" && fail "the camera was opened before --out was checked"


# `timeout` interrupts the command and its process group: two SIGINTs at once. The
# summary survives them, every time, and a stream ended by Ctrl-C has done its job (0).
for i in 1 2 3; do
    out=$(timeout --preserve-status -s INT 2 "$cli" stream TK5P:CLIF61 --wait 10 2>&1)
    code=$?
    echo "$out" | tail -4
    [ "$code" -eq 0 ] || fail "interrupted stream ended with $code, expected 0 (try $i)"
    contains "frame sets:" "read time-outs:"
done

# Another client takes the camera: the first one says so.
"$cli" stream TK5P:CLIF61 --seconds 60 --wait 10 >"$work/first.log" 2>&1 &
first=$!
pids+=("$first")
for _ in $(seq 100); do grep -q "opened" "$work/first.log" && break; sleep 0.1; done
run 0 stream TK5P:CLIF61 --seconds 2 --wait 10
wait "$first"
code=$?
out=$(cat "$work/first.log")
[ "$code" -eq 1 ] || fail "the first client ended with $code, expected 1"
contains "another client probably took it"

# The camera goes away: it stopped answering.
"$cli" stream TK5P:CLIF61 --seconds 60 --wait 10 >"$work/lost.log" 2>&1 &
lost=$!
pids+=("$lost")
for _ in $(seq 100); do grep -q "opened" "$work/lost.log" && break; sleep 0.1; done
sleep 1
kill "$camera"
wait "$lost"
code=$?
out=$(cat "$work/lost.log")
[ "$code" -eq 1 ] || fail "the stream of a vanished camera ended with $code, expected 1"
contains "the camera TK5P:CLIF61 stopped answering"
echo "PASS"
