#!/usr/bin/env bash
# An install into a scratch prefix, moved elsewhere afterwards, used as a user would: the
# .pc file points into the prefix where it now is, a C program builds and runs with what
# pkg-config gives, and the installed tools start without any library path set.
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
echo "install into a moved prefix: pkg-config, a C program and the tools work"
