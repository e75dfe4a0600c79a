#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Usage (as root): tools/install-deps.sh [run|test]
set -euo pipefail
what="${1:-run}"

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
  xdg-utils
  libxcb1-dev                  # the benchmark's start-up probe
)
if [ "$what" = test ]; then
  packages+=(
    firebird3.0-server           # a real server on loopback for client-server and fault tests
    clang-14 libclang-rt-14-dev  # libFuzzer and the sanitizer runtimes
    util-linux                   # setpriv, to test refusals as an ordinary user
    xvfb xauth                   # screenshots
    desktop-file-utils           # checks the desktop entry
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
