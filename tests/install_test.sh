#!/usr/bin/env bash
# An install into a scratch prefix, moved elsewhere afterwards, used as a user would: the
# .pc file points into the prefix where it now is, a C program builds and runs with what
# pkg-config gives, the installed tools start without any library path set, the streaming
# examples build from the prefix (C with pkg-config, C++ with find_package) and run
# against the installed simulator, and the Python package, with only PYTHONPATH set, finds
# the prefix's library and runs the Python example.
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
version=$(env -u LD_LIBRARY_PATH "$work/version")

env -u LD_LIBRARY_PATH "$prefix/bin/quorix-cli" --help >/dev/null
env -u LD_LIBRARY_PATH "$prefix/bin/quorix-camsim" --help >/dev/null
here=$(cd "$(dirname "$0")" && pwd)
examples="$here/../examples"
# shellcheck disable=SC2086  # the flags are words
cc -std=c99 -Wall -Wextra -Werror "$examples/stream.c" $flags -o "$work/stream_c"
if ! { cmake -S "$examples" -B "$work/examples" -DCMAKE_PREFIX_PATH="$prefix" &&
  cmake --build "$work/examples" --target stream_cpp; } >"$work/examples.log" 2>&1; then
  cat "$work/examples.log"
  echo "the examples do not build against the moved prefix"
  exit 1
fi
if ! env -u LD_LIBRARY_PATH bash "$here/stream_examples_test.sh" "$prefix/bin/quorix-camsim" \
  127.0.96.240 QXINSTALL "$work/run" "$work/stream_c" "$work/examples/stream_cpp" >"$work/run.log" 2>&1; then
  cat "$work/run.log"
  exit 1
fi

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
if ! env -u LD_LIBRARY_PATH "$prefix/bin/quorix-cli" list --wait 3 >"$work/list.log" 2>&1 ||
  ! grep -q "TK5P:INSTALL240" "$work/list.log"; then
  echo "the installed quorix-cli did not list the simulated camera:"
  cat "$work/list.log"
  exit 1
fi
echo "install into a moved prefix: pkg-config, find_package, the tools, the C, C++ and Python examples work"
