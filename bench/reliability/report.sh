#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# report.sh [build-dir]: runs the reliability suite (each fault test
# TAVI_FAULT_REPEAT times, default 3) and the soak (TAVI_SOAK_PASSES passes of
# 4096 points, default 99), then prints what was tried and what came of it.
# Builds into build/ (scripts/build.sh dev) when nothing is built there yet.
set -uo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
repeat=${TAVI_FAULT_REPEAT:-3}
passes=${TAVI_SOAK_PASSES:-99}

if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = build ]; then
    bash scripts/build.sh dev || exit 1
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVI_WERROR=ON >/dev/null || exit 1
    cmake --build "$build" -j2 --target test_reliability tavi-sim >/dev/null || exit 1
  fi
else
  cmake --build "$build" -j2 --target test_reliability tavi-sim >/dev/null || exit 1
fi
bin=$build/tests/reliability/test_reliability
[ -x "$bin" ] || { echo "no $bin" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
figures=$work/figures.tsv
: >"$figures"
export QT_QPA_PLATFORM=offscreen TAVI_RELIABILITY_OUT=$figures

# One run of the binary; a death by signal counts as a crash of the program.
run() {
  local name=$1; shift
  "$bin" "$@" --gtest_output="json:$work/$name.json" >"$work/$name.log" 2>&1
  local rc=$?
  if [ $rc -gt 128 ]; then
    printf '%s\t1\ttest binary died (signal %d)\t0\t1\t-\n' "$name" $((rc - 128)) >>"$figures"
  fi
  local tests failures
  tests=$(grep -m1 -o '"tests": [0-9]*' "$work/$name.json" 2>/dev/null | grep -o '[0-9]*$')
  failures=$(grep -m1 -o '"failures": [0-9]*' "$work/$name.json" 2>/dev/null | grep -o '[0-9]*$')
  echo "$name: exit $rc, ${tests:-?} tests, ${failures:-?} failures"
  [ $rc -eq 0 ] || grep -a -A4 'Failure' "$work/$name.log" | head -40
  return $rc
}

status=0
started=$SECONDS
run faults --gtest_filter=-Soak.* --gtest_repeat="$repeat" || status=1
fault_time=$((SECONDS - started))
started=$SECONDS
TAVI_SOAK_PASSES=$passes run soak --gtest_filter=Soak.* || status=1
soak_time=$((SECONDS - started))
echo "fault tests ${fault_time}s (x$repeat), soak ${soak_time}s"
echo

# Rows of the same fault are summed over the repeats.
awk -F'\t' '
  { key = $1
    if (!(key in trials)) { order[++n] = key; outcome[key] = $3; memory[key] = $6 }
    trials[key] += $2; lost[key] += $4; crashes[key] += $5
    if ($6 != "-") memory[key] = $6
    total_lost += $4; total_crashes += $5 }
  END {
    fmt = "| %-56s | %7s | %-68s | %6s | %7s | %s\n"
    printf fmt, "fault", "trials", "what the program did", "lost", "crashes", "memory |"
    printf fmt, "----", "----", "----", "----", "----", "---- |"
    for (i = 1; i <= n; ++i) {
      k = order[i]
      printf fmt, k, trials[k], outcome[k], lost[k], crashes[k], memory[k] " |"
    }
    printf "\npoints lost in all: %d, crashes in all: %d\n", total_lost, total_crashes
  }' "$figures"
[ -s "$figures" ] || { echo "no figures were written" >&2; status=1; }
exit $status
