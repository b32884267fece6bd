#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: the suite with
# warnings as errors (every label), the in-process suites again under
# ASan+UBSan, and each fuzz target briefly on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --tests
export QT_QPA_PLATFORM=offscreen
# A compiler cache kept from an earlier run serves this clone too.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=1
SECONDS=0
stage() { echo "== $1 (at ${SECONDS} s)"; }

stage "build and test"
bash scripts/build.sh dev
ctest --preset dev

stage "build and test under ASan+UBSan"
# Without the install suite (packaging) and the reliability suite (faults
# against the simulator program, a soak): under the sanitizers they find
# nothing that the window and integration suites, through the same code, do
# not, and they are the slowest there; they run once, above (preset asan).
bash scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2 --timeout 600

stage "fuzz targets"
bash scripts/build.sh fuzz
for f in build-fuzz/fuzz/*/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=fuzz/corpus/$name
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "-- $name"
  "$f" -max_total_time="${TAVI_FUZZ_SECONDS:-10}" -rss_limit_mb=2048 "$work" 2>&1 | tail -n 2
  rm -rf "$work"
done
stage "done"
echo "all tests passed"
