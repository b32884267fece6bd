#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, running and packaging the
# program need; with --tests also those of the tests, benchmarks and fuzzers.
set -euo pipefail
# file: CPack's library-dependency step runs it.
PACKAGES=(cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libqcustomplot-dev libsndfile1-dev libasound2-dev
  xvfb xauth procps dpkg-dev file)
if [[ "${1:-}" == "--tests" ]]; then
  PACKAGES+=(clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev ccache)
fi
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
