#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# tavi-proc against the numpy script of the same work, side by side: CPU per
# file (start-up included) and wall time over 100 files of 65535 points, one
# process each way. Usage: compare.sh path/to/tavi-proc [files] [points];
# TAVI_PROC_BEFORE=path adds a row for an older build of tavi-proc; PYTHON=path
# picks a Python that has numpy.
set -euo pipefail
proc=$(realpath "$1")
files=${2:-100}
points=${3:-65535}
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d /tmp/tavi-proc-compare-XXXXXX)
trap 'rm -rf "$dir"' EXIT

python3 - "$dir" "$files" "$points" <<'PY'
import struct, sys
d, files, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def short(b, at, text, cap):
    t = text.encode('cp1252')[:cap]
    b[at] = len(t); b[at + 1:at + 1 + len(t)] = t
for k in range(files):
    h = bytearray(424)
    short(h, 262, '9 400 000 kHz', 20); short(h, 283, '3 350.0 Gs', 20)
    h[304] = 1; h[308:312] = struct.pack('<f', 100.0)
    short(h, 312, '0.025 Gs', 20); short(h, 333, '200 s', 20); short(h, 354, 'x 1000', 20)
    short(h, 375, '45\xb0', 20); short(h, 396, '10', 3); short(h, 400, 'ESR', 20)
    ys = []
    for i in range(n):
        u = (i - n / 2.0 - 50 * k) / 3000.0
        ys.append(int((-900 * u / ((1 + u * u) ** 2) + 0.0003 * i) * 10))
    with open(f'{d}/line{k:05d}.dcw', 'wb') as f:
        f.write(bytes([11]) + bytes(h) + struct.pack(f'<{n}i', *ys))
PY

cpu_ms() { # task-clock in ms of the given command, best of 5
    local best=
    for _ in 1 2 3 4 5; do
        local t
        t=$(perf stat -x, -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ {print $1}')
        if [[ -z $best ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
    done
    echo "$best"
}
wall_ms() {
    local s e
    s=$(date +%s%N); "$@" >/dev/null; e=$(date +%s%N)
    echo $(((e - s) / 1000))
}
cd "$dir"
printf '%-28s %14s %14s\n' "$files files x $points points" "CPU ms/file" "wall ms (all)"
row() {
    local name=$1; shift
    local cpu wall
    cpu=$(cpu_ms "$@")
    wall=$(wall_ms "$@")
    printf '%-28s %14.3f %14.1f\n' "$name" "$(awk "BEGIN{print $cpu / $files}")" "$(awk "BEGIN{print $wall / 1000}")"
}
row "numpy script" "${PYTHON:-python3}" "$here/proc_numpy.py" ./*.dcw
if [[ -n ${TAVI_PROC_BEFORE:-} ]]; then
    row "before: tavi-proc --json" "$TAVI_PROC_BEFORE" --json ./*.dcw
fi
row "tavi-proc --json -j 1" "$proc" --json -j 1 ./*.dcw
row "tavi-proc --json" "$proc" --json ./*.dcw
