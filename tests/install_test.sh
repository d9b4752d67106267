#!/usr/bin/env bash
# An install into a scratch prefix, moved elsewhere afterwards, used as a user would: the
# .pc file points into the prefix where it now is, a C program builds and runs with what
# pkg-config gives, the installed tools start without any library path set, and the Python
# package, with only PYTHONPATH set, finds the prefix's library and runs the example
# against the installed simulator.
#   install_test.sh BUILD_DIR WORK_DIR PYTHON
set -euo pipefail
build=$1
work=$2
python=${3:-}
if ! [ -x "$python" ]; then
  echo "no python3 with numpy and pytest ('$python'): run scripts/install-deps.sh, then cmake again"
  exit 1
fi
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
prefix="$work/moved"

pc=$(find "$prefix" -name quorix_api.pc)
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc")
flags=$(pkg-config --cflags --libs quorix_api)
libdir=$(pkg-config --variable=libdir quorix_api)
if [ "$(cd "$libdir" && pwd -P)" != "$(cd "$(dirname "$(find "$prefix" -name 'libquorix_api.so' | head -n1)")" && pwd -P)" ]; then
  echo "pkg-config's libdir $libdir is not the moved prefix's library folder"
  exit 1
fi

cat > "$work/version.c" <<'C'
#include <quorix/quorix_api.h>
#include <stdio.h>
int main(void) {
    char version[64] = {0};
    if (Ns2_GetSDKVersion(version) != NsStatusOk || version[0] == '\0') {
        return 1;
    }
    printf("%s\n", version);
    return 0;
}
C
# shellcheck disable=SC2086  # the flags are words
cc "$work/version.c" $flags -o "$work/version"
version=$(LD_LIBRARY_PATH="$libdir" "$work/version")

env -u LD_LIBRARY_PATH "$prefix/bin/quorix-cli" --help >/dev/null
env -u LD_LIBRARY_PATH "$prefix/bin/quorix-camsim" --help >/dev/null

# Python with nothing but PYTHONPATH: no library path, no QUORIX_LIBRARY, no bytecode left
# in the prefix.
site=$(dirname "$(dirname "$(find "$prefix" -path '*/quorix/__init__.py' | head -n1)")")
run_python() {
  env -u LD_LIBRARY_PATH -u QUORIX_LIBRARY PYTHONPATH="$site" PYTHONDONTWRITEBYTECODE=1 \
    "$python" "$@"
}
python_version=$(run_python -c 'import quorix; print(quorix.sdk_version())')
if [ "$python_version" != "$version" ]; then
  echo "the installed Python package reports '$python_version', the C program '$version'"
  exit 1
fi

example=$(find "$prefix" -path '*/examples/python/stream.py' | head -n1)
env -u LD_LIBRARY_PATH "$prefix/bin/quorix-camsim" --address 127.0.95.240 --model TK5P \
  --serial INSTALL240 --interval 100 >"$work/camsim.log" 2>&1 &
camsim=$!
trap 'kill "$camsim" 2>/dev/null; wait "$camsim" 2>/dev/null' EXIT
if ! run_python "$example" TK5P:INSTALL240 --frames 2 --wait 10 --out "$work/points.ply" \
    >"$work/example.log" 2>&1; then
  echo "the installed Python example failed:"
  cat "$work/example.log" "$work/camsim.log"
  exit 1
fi
if [ "$(head -n1 "$work/points.ply")" != "ply" ]; then
  echo "the installed Python example wrote no PLY file"
  exit 1
fi
echo "install into a moved prefix: pkg-config, a C program, the tools and Python work"
