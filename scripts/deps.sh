#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the program and the tests need.
set -euo pipefail
PACKAGES=(cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev libqcustomplot-dev libsndfile1-dev libasound2-dev
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth procps dpkg-dev
  libgsl-dev libcerf-dev)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
