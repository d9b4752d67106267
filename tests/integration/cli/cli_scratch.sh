# Shared by the quorix-cli test scripts that start simulated cameras of their own: a scratch
# folder ($work) removed at exit, child processes ($pids) stopped at exit, and a fail() that
# shows every log in the folder.

work=$(mktemp -d)
pids=()

cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for f in "$work"/*.log; do echo "--- $f:"; cat "$f"; done
    exit 1
}
