#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libcairo2-dev libpixman-1-dev libjpeg62-turbo-dev libpng-dev
  libsane-dev libsane1 libleptonica-dev
  qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins libqt6test6 libgl-dev fonts-dejavu-core
  xvfb xauth xdotool imagemagick python3
  clang libclang-rt-14-dev llvm-14 libtsan2  # the clang build, libFuzzer and its symbolizer, ThreadSanitizer
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
