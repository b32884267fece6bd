#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# build.sh <preset> [cmake options...]: configures and builds one of the
# builds of CMakePresets.json, through ccache when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=$1; shift
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --preset "$preset" "${launcher[@]}" "$@" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
