#!/usr/bin/env bash
# Installs the Debian 12 packages the SDK, its tools and its tests build with, or the
# packages named as arguments instead. Skips apt entirely when everything is present already.
set -euo pipefail

packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(
  cmake ninja-build g++ pkg-config binutils dpkg-dev file
  libgtest-dev libgmock-dev libbenchmark-dev
  libturbojpeg0-dev libhwy-dev libpng-dev zlib1g-dev libcli11-dev libudev-dev libhidapi-dev
  libcpp-httplib-dev
  python3-numpy python3-pytest
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
