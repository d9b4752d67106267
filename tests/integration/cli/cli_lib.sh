# Shared by the quorix-cli test scripts: run the tool and check what it printed. The
# script defines fail() and sets $cli before sourcing this.

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

# Texts that must appear somewhere in the last output.
contains() {
    local text
    for text in "$@"; do
        grep -qF -- "$text" <<<"$out" || fail "missing: $text"
    done
}
