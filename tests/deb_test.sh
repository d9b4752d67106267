#!/usr/bin/env bash
# The Debian package as a user receives it: built with cpack, unpacked with dpkg -x (no
# root needed), it holds what it promises, and the tools run from the unpacked tree
# against a simulated camera started from it.
#   deb_test.sh BUILD_DIR WORK_DIR PYTHON
set -euo pipefail
build=$1
work=$2
python=$3
rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(find "$work/pkg" -maxdepth 1 -name 'quorix-sdk_*.deb')
[ -n "$deb" ] || { echo "cpack made no quorix-sdk package"; exit 1; }
root="$work/root"
dpkg-deb -x "$deb" "$root"

fail() { echo "FAIL: $*"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libturbojpeg0" <<<"$depends" || fail "Depends misses libturbojpeg0: $depends"
for f in usr/lib/libquorix_api.so.3 usr/include/quorix/quorix_api.h \
         usr/lib/pkgconfig/quorix_api.pc usr/lib/cmake/Quorix/QuorixConfig.cmake \
         usr/bin/quorix-cli usr/bin/quorix-camsim usr/share/quorix/config-examples/config_tk5P.ini \
         usr/include/quorix/quorix.hpp usr/lib/python3/dist-packages/quorix/__init__.py \
         usr/share/doc/quorix/examples/python/stream.py usr/lib/udev/rules.d/70-quorix.rules; do
  [ -e "$root/$f" ] || fail "the package has no /$f"
done
# The udev rule is reloaded on installation.
dpkg-deb -I "$deb" postinst | grep -q "udevadm control --reload-rules" ||
  fail "the package's postinst does not reload the udev rules"
# Binaries are stripped: a package of debug builds would be ten times the size.
if file "$root/usr/lib/libquorix_api.so.3" | grep -q "not stripped"; then
  fail "the library in the package is not stripped"
fi

# The tools find the library beside them, in the unpacked tree, with no path set.
camsim="$root/usr/bin/quorix-camsim"
cli="$root/usr/bin/quorix-cli"
env -u LD_LIBRARY_PATH "$cli" --help >/dev/null
"$camsim" --address 127.0.0.62 --model TK5P --serial QXDEB62 --sessions 1 >"$work/camsim.log" 2>&1 &
camera=$!
trap 'kill $camera 2>/dev/null; wait $camera 2>/dev/null' EXIT
env -u LD_LIBRARY_PATH "$cli" stream TK5P:QXDEB62 --frames 5 --wait 10 >"$work/stream.log" 2>&1 ||
  { cat "$work/stream.log" "$work/camsim.log"; fail "quorix-cli from the package could not stream"; }
# The Python package of the unpacked tree finds the library of that tree.
env -u LD_LIBRARY_PATH -u QUORIX_LIBRARY PYTHONPATH="$root/usr/lib/python3/dist-packages" \
  PYTHONDONTWRITEBYTECODE=1 "$python" "$root/usr/share/doc/quorix/examples/python/stream.py" \
  TK5P:QXDEB62 --frames 2 --wait 10 --out "$work/points.ply" >"$work/python.log" 2>&1 ||
  { cat "$work/python.log"; fail "the Python example from the package failed"; }
echo "the package holds what it promises; its tools and Python stream from a simulated camera"
