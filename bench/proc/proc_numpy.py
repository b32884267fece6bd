#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The comparison a user would write: the same work as tavi-proc --json
# (load, base line, derivative, absorption, moments of both views, SDB, HDB,
# area) vectorised with numpy, one JSON line per file. For timing only.
import json
import struct
import sys

import numpy as np


def moments(x, y, c, e, num, den):
    step = 1 if e > c else -1
    v = y[c:e + step if e + step >= 0 else None:step]
    j = np.arange(1, v.size + 1, dtype=np.float64)
    d = np.dot(v, j ** den)
    return 0.0 if d == 0 else np.dot(v, j ** num) / d * (x[1] - x[0]) ** (num - den)


def place(y, centre):
    big = np.flatnonzero(np.abs(y) >= 20)
    lc = big[0] if big.size else 0
    rc = big[-1] if big.size else y.size - 1
    return int(lc), int(rc), int(centre)


def analyse(path):
    raw = open(path, 'rb').read()
    mod = float(raw[1 + 313:1 + 313 + raw[1 + 312]].decode('cp1252').split()[0])
    acc = int(raw[1 + 397:1 + 397 + raw[1 + 396]].decode('cp1252'))
    rng = struct.unpack_from('<f', raw, 1 + 308)[0]
    sums = np.frombuffer(raw, dtype='<i4', offset=425)
    y = np.clip(np.rint(sums / acc), -500, 500)
    n = y.size
    x = np.arange(n) * (rng / (n - 1)) - rng / 2
    m = int(round(n * 0.1))
    a, b = y[:m].mean(), y[n - m:].mean()
    base = a + (b - a) / n * np.arange(n)
    d = y - base
    imin, imax = int(np.argmin(y)), int(np.argmax(y))
    lo, hi = sorted((imin, imax))
    centre = lo + int(np.argmin(np.abs(d[lo:hi + 1])))
    factor = 1 if imin > imax else -1
    steps = np.diff(x) * (d[1:] + d[:-1]) * 0.5 * factor
    ab = np.concatenate(([0.0], np.cumsum(steps)))
    out = {'file': path, 'baseSlope': (b - a) / n, 'baseOffset': a}
    for name, curve, num, den, k, k4 in (('derivative', d, 3, 1, 3, 5), ('absorption', ab, 2, 0, 1, 1)):
        lc, rc, mc = place(curve, centre)
        r = moments(x, curve, mc, rc, num, den) / k - mod * mod / 4
        l = moments(x, curve, mc, lc, num, den) / k - mod * mod / 4
        r4 = moments(x, curve, mc, rc, num + 2, den) / k4
        l4 = moments(x, curve, mc, lc, num + 2, den) / k4
        out[name] = {'M2': (r + l) / 2, 'M2L': l, 'M2R': r, 'M4': (r4 + l4) / 2,
                     'cursors': {'LC': lc, 'RC': rc, 'MC': mc}}
    out['derivative']['SDB'] = abs(x[imin] - x[imax])
    half = (ab.max() + ab.min()) / 2
    above = np.flatnonzero(ab > half)
    out['absorption']['HDB'] = float(x[above[-1]] - x[above[0]]) if above.size else None
    lc, rc = n // 10, n - n // 10
    out['absorption']['AI'] = float(np.sum(np.diff(x[lc:rc + 1]) *
                                           (ab[lc + 1:rc + 1] + ab[lc:rc]) * 0.5) * 1000)
    return json.dumps(out, default=float)


for p in sys.argv[1:]:
    print(analyse(p))
