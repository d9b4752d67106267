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

# A firmware image at $1 dated $2-03-01, build 46, model code $3, its size and checksum
# fields right.
make_image() {
    python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
size = 8192
body = bytes((i * 7 + 3) & 0xFF for i in range(512, size))
h = bytearray(512)
struct.pack_into('<HBB', h, 4, int(sys.argv[2]), 3, 1)
struct.pack_into('<I', h, 45, 46)
h[50] = int(sys.argv[3])
struct.pack_into('<I', h, 51, size)
struct.pack_into('<I', h, 55, sum(body) & 0xFFFFFFFF)
open(sys.argv[1], 'wb').write(bytes(h) + body)
PY
}
