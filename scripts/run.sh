#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and runs it against the simulated spectrometer.
# Then choose Spectrometer > Connect in the main window.
set -euo pipefail
cd "$(dirname "$0")/.."

LINK=/tmp/tavi-sim-port
APP=build/src/app/tavi
SIM=build/src/sim/tavi-sim
INI=build/src/app/TAVI.INI

bash scripts/deps.sh
# Only what runs here: the program and the simulator, not the tests and benchmarks.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tavi tavi-sim -j"$(nproc)"

sim_out=$(mktemp)
# A pass lasts its sweep time divided by the speed factor (10: 3 s at 0.5 min).
"$SIM" --link "$LINK" --speed "${TAVI_SIM_SPEED:-10}" >"$sim_out" &
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

# TAVI.INI: ten CR LF lines; line 4 is the port. Other lines are kept.
lines=()
if [[ -f "$INI" ]]; then
    mapfile -t lines < <(tr -d '\r' <"$INI")
fi
defaults=("" "" "" "" "" "0,1,0" "" "0,1,0" "" "0,0,1")
for i in $(seq 0 9); do
    [[ -n "${lines[$i]+set}" ]] || lines[$i]=${defaults[$i]}
done
lines[3]=$LINK
printf '%s\r\n' "${lines[@]:0:10}" >"$INI"

if [[ -n "${DISPLAY:-}" ]]; then
    "$APP"
else
    echo "No DISPLAY: running under xvfb-run (the window is not visible)." >&2
    xvfb-run -a -s "-screen 0 1280x800x24" "$APP"
fi
