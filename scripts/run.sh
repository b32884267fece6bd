#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# run.sh [tavi-sim options...]
# Builds the program and runs it against the simulated spectrometer; options
# go to tavi-sim (e.g. --field-source 4 for a magnet and coils, so that ESR
# can be chosen; see tavi-sim --help). Then choose Spectrometer > Connect.
set -euo pipefail
cd "$(dirname "$0")/.."

LINK=/tmp/tavi-sim-port
APP=build-run/src/app/tavi
SIM=build-run/src/sim/tavi-sim

bash scripts/deps.sh
# Only what runs here: the program, the simulator and the default setup, not
# the tests and benchmarks (their packages are not needed).
cmake --preset run >/dev/null
cmake --build --preset run -j"$(nproc)"

sim_out=$(mktemp)
# A pass lasts its sweep time divided by the speed factor (10: 3 s at 0.5 min).
"$SIM" --link "$LINK" --speed "${TAVI_SIM_SPEED:-10}" "$@" >"$sim_out" &
sim_pid=$!
cleanup() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    rm -f "$sim_out"
}
trap cleanup EXIT

# The simulator prints its pseudo-terminal as its first line.
for _ in $(seq 1 100); do
    [[ -s "$sim_out" ]] && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "tavi-sim did not start" >&2; exit 1; }
    sleep 0.1
done
pty=$(head -n 1 "$sim_out")
echo "Simulated spectrometer on $pty (link $LINK)"

if [[ -n "${DISPLAY:-}" ]]; then
    "$APP" --port "$LINK"
else
    echo "No DISPLAY: running under xvfb-run (the window is not visible)." >&2
    xvfb-run -a -s "-screen 0 1280x800x24" "$APP" --port "$LINK"
fi
