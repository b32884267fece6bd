#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: the suite with
# warnings as errors, the suite again under ASan+UBSan, and each fuzz target
# briefly on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen

echo "== build and test"
bash scripts/build.sh build -DTAVI_WERROR=ON
ctest --test-dir build --output-on-failure -j2 --timeout 300

echo "== build and test under ASan+UBSan"
# Line tables are all the sanitizers' reports need; full debug information
# would only lengthen the build.
bash scripts/build.sh build-asan -DTAVI_WERROR=ON -DSANITIZE=ON -DTAVI_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2 --timeout 600

echo "== fuzz targets"
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DTAVI_FUZZ=ON
for f in build-fuzz/fuzz/*/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=fuzz/corpus/$name
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "-- $name"
  "$f" -max_total_time=15 -rss_limit_mb=2048 "$work" 2>&1 | tail -n 2
  rm -rf "$work"
done
echo "all tests passed"
