# shellcheck shell=bash
# Sourced by test scripts: one quorix-camsim in the background for the script's life, and a
# failure that shows what the simulator printed.
#   camsim_start QUORIX_CAMSIM ARG...   (its output goes to a temporary file)
#   fail MESSAGE                        (prints MESSAGE and the simulator's output, exits 1)
#   camsim_check                        (fails when the simulator is no longer running)
camsim_start() {
    local camsim=$1
    shift
    camsim_log=$(mktemp)
    "$camsim" "$@" >"$camsim_log" 2>&1 &
    camsim_pid=$!
    trap camsim_stop EXIT
}

camsim_stop() {
    kill "$camsim_pid" 2>/dev/null
    wait "$camsim_pid" 2>/dev/null
    rm -f "$camsim_log"
}

fail() {
    echo "FAIL: $*"
    echo "--- quorix-camsim:"
    cat "$camsim_log"
    exit 1
}

camsim_check() {
    kill -0 "$camsim_pid" 2>/dev/null || fail "quorix-camsim is no longer running"
}
