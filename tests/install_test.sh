#!/usr/bin/env bash
# An install into a scratch prefix, moved elsewhere afterwards, used as a user would: the
# .pc file points into the prefix where it now is, a C program builds and runs with what
# pkg-config gives, the installed tools start without any library path set, and the
# streaming examples build from the prefix (C with pkg-config, C++ with find_package) and
# run against the installed simulator.
#   install_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
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
LD_LIBRARY_PATH="$libdir" "$work/version" >/dev/null

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
if ! LD_LIBRARY_PATH="$libdir" bash "$here/stream_examples_test.sh" "$prefix/bin/quorix-camsim" \
  127.0.96.240 QXINSTALL "$work/run" "$work/stream_c" "$work/examples/stream_cpp" >"$work/run.log" 2>&1; then
  cat "$work/run.log"
  exit 1
fi
echo "install into a moved prefix: pkg-config, find_package, the tools and the examples work"
