#!/usr/bin/env bash
# quorix-cli view in a real browser: headless Chromium loads the page of a viewer on a
# quorix-camsim, waits for frames, changes the threshold and turns the colour-on-depth mapper
# on through the page's controls; the screenshot's depth panel and mapped panel show images,
# and the camera holds the new threshold.
# Skips (exit 77) when Chromium is not installed.
# Usage: cli_view_test.sh QUORIX_CAMSIM QUORIX_CLI WORKDIR
set -u
camsim=$1
cli=$2
work=$3
chromium=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$chromium" ]; then
    echo "SKIP: Chromium is not installed (apt-get install chromium); the viewer was not tested"
    exit 77
fi
serial=CLIVIEW1
uri=TK5P:$serial
port=18098
rm -rf "$work" && mkdir -p "$work/profile"
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/../../support/camsim.sh"
camsim_start "$camsim" --address 127.0.98.21 --model TK5P --serial "$serial" --data-mode 2 \
    --interval 50
source "$(dirname "$0")/cli_lib.sh"

# The viewer runs until the page has been checked; sanitizer builds are several times slower,
# so how long the page may take is QUORIX_VIEW_SECONDS (60 s).
"$cli" view "$uri" --port "$port" --wait 20 \
    >"$work/view.log" 2>&1 &
viewer=$!
# A failure stops the viewer as well as the simulator.
trap 'kill "$viewer" 2>/dev/null; wait "$viewer" 2>/dev/null; camsim_stop' EXIT
for _ in $(seq 300); do
    grep -q "viewer at" "$work/view.log" && break
    kill -0 "$viewer" 2>/dev/null || break
    sleep 0.1
done
grep -q "viewer at http://127.0.0.1:$port/" "$work/view.log" || fail "no viewer: $(cat "$work/view.log")"
# Frames flow before the page is loaded (the first progress line).
for _ in $(seq 100); do
    grep -q " sets " "$work/view.log" && break
    sleep 0.1
done

# What scripts may use beside the page: a panel's newest image, and the stream of images
# (12-byte header: panel index, 0, width, height, 0, 0, JPEG length; then the JPEG).
python3 - "$port" <<'PY' || fail "the viewer's image endpoints answered wrongly"
import struct, sys, urllib.error, urllib.request
base = f"http://127.0.0.1:{sys.argv[1]}"
with urllib.request.urlopen(base + "/frame/depth?wait=2000", timeout=10) as r:
    body = r.read()
    assert r.status == 200 and body[:2] == b"\xff\xd8", (r.status, body[:4])
    assert (r.headers["X-Width"], r.headers["X-Height"]) == ("640", "480"), dict(r.headers)
try:
    urllib.request.urlopen(base + "/frame/nothing", timeout=10)
    raise AssertionError("an unknown panel was served")
except urllib.error.HTTPError as e:
    assert e.code == 404, e.code
with urllib.request.urlopen(base + "/stream", timeout=10) as r:
    seen = set()
    while not {0, 1, 2} <= seen:
        kind, _, width, height, _, length = struct.unpack("<BBHHHI", r.read(12))
        jpeg = r.read(length)
        assert kind < 6 and width > 0 and height > 0 and jpeg[:2] == b"\xff\xd8", kind
        seen.add(kind)
PY

# Chromium is driven in real time over its DevTools pipe: the page changes the settings
# through its own controls, and the screenshot is taken once the mapped panel shows frames.
python3 "$(dirname "$0")/browser_page.py" "$chromium" \
    "http://127.0.0.1:$port/?set=threshold:37,colour-on-depth:on" --profile "$work/profile" \
    --until 'document.title === "set colour-on-depth ok" && shown["colour-on-depth"] > 0 && shown.depth > 2' \
    --wait "${QUORIX_VIEW_SECONDS:-60}" --screenshot "$work/viewer.png" >"$work/browser.log" 2>&1 ||
    fail "the page did not get there: $(cat "$work/browser.log"; tail -3 "$work/profile/chromium.log")"
[ -s "$work/viewer.png" ] || fail "no screenshot: $(cat "$work/browser.log")"
kill -TERM "$viewer"
wait "$viewer"
cat "$work/view.log"
grep -qxF "set threshold 37: ok (37)" "$work/view.log" || fail "the page's setting did not reach the camera"
grep -qxF "set colour-on-depth on: ok (on)" "$work/view.log" || fail "the page's mapper switch was not turned on"
grep -q "mapped [1-9]" "$work/view.log" || fail "no mapped frame reached the viewer"

# The depth panel (its canvas sits at the page's top left) and the colour-on-depth panel
# (the first of the second row, once shown) are images, not one colour.
python3 - "$work/viewer.png" <<'PY' || fail "a panel of the screenshot is blank"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
pos, idat = 8, b""
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b"IHDR":
        width, height, depth, colour = struct.unpack(">IIBB", body[:10])
    elif kind == b"IDAT":
        idat += body
    pos += 12 + length
assert depth == 8 and colour in (2, 6), (depth, colour)
bpp = 3 if colour == 2 else 4
raw, stride = zlib.decompress(idat), width * bpp
rows, prev, at = [], bytearray(stride), 0
for _ in range(min(height, 620)):
    f, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
    at += 1 + stride
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b, c = prev[i], prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
def distinct(top, bottom):
    return len({bytes(rows[y][x * bpp:x * bpp + 3]) for y in range(top, bottom, 4)
                for x in range(20, 400, 4)})
depth, mapped = distinct(60, 300), distinct(380, 600)
print(f"depth panel: {depth} distinct colours, colour-on-depth panel: {mapped}")
sys.exit(0 if depth > 20 and mapped > 20 else 1)
PY

run 0 get "$uri" threshold
expect "threshold: 37"
camsim_check
echo "PASS"
