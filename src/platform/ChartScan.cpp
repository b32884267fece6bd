// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ChartScan.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace tavi {

namespace {

// The processor's rounding and wider vector instructions make the loop
// quicker; both versions do the same operations, so the pixels are the same.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TAVI_PIXEL_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define TAVI_PIXEL_LOOP
#endif

// Four points at a time on the compiler's vector types: the same IEEE
// operations as on one point, without the branches of a point-wise scan.
using V4 = double __attribute__((vector_size(32)));
using M4 = long long __attribute__((vector_size(32)));

[[gnu::always_inline]] inline V4 Load(const double* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline V4 Splat(double x) {
    return V4{x, x, x, x};
}

// std::clamp to the pixel limit; a NaN stays NaN, as with std::clamp.
inline double Clamped(double v) {
    v = -kPixelLimit > v ? -kPixelLimit : v;
    return kPixelLimit < v ? kPixelLimit : v;
}

[[gnu::always_inline]] inline V4 Clamped(V4 v) {
    const V4 lo = Splat(-kPixelLimit), hi = Splat(kPixelLimit);
    v = lo > v ? lo : v;
    return hi < v ? hi : v;
}

[[gnu::always_inline]] inline bool All(M4 m) {
    return (m[0] & m[1] & m[2] & m[3]) != 0;
}

// One bound over the blocks of a column: per lane the extreme and the start of
// the block where it last moved, so the first point at the final value is
// found from there.
struct LaneBound {
    V4 Value;
    M4 At{};
    explicit LaneBound(double start) : Value(Splat(start)) {}
    void Lower(V4 y, long long block) {
        const M4 moved = y < Value;
        Value = moved ? y : Value;
        At = moved ? M4{block, block, block, block} : At;
    }
    void Raise(V4 y, long long block) {
        const M4 moved = y > Value;
        Value = moved ? y : Value;
        At = moved ? M4{block, block, block, block} : At;
    }
};

} // namespace

TAVI_PIXEL_LOOP void ScanColumns(const double* xs, const double* ys, const QRgb* cs, std::size_t lo,
                                 std::size_t hi, Mapping m, std::vector<Column>& out) {
    auto px = [&](std::size_t i) { return Clamped(m.AX * xs[i] + m.BX); };
    auto py = [&](std::size_t i) { return Clamped(m.AY * ys[i] + m.BY); };
    constexpr double inf = std::numeric_limits<double>::infinity();
    const V4 ax = Splat(m.AX), bx = Splat(m.BX), ay = Splat(m.AY), by = Splat(m.BY);
    out.clear();
    std::size_t s = lo;
    while (s <= hi) {
        const double column = std::floor(px(s));
        const double first = py(s);
        double top = first, bottom = first;
        // Where each bound last moved. A NaN first point fixes both bounds,
        // as no comparison with it holds.
        std::size_t topAt = s, bottomAt = s;
        std::size_t i = s + 1;

        // Blocks of eight points wholly inside the column, in two lanes of
        // four; floor(p) == column is column <= p < column + 1 here.
        const V4 c0 = Splat(column), c1 = Splat(column + 1);
        LaneBound top0(inf), top1(inf), bottom0(-inf), bottom1(-inf);
        bool blocks = false;
        for (; hi >= 7 && i <= hi - 7; i += 8) {
            const V4 p0 = Clamped(ax * Load(xs + i) + bx);
            const V4 p1 = Clamped(ax * Load(xs + i + 4) + bx);
            if (!All((p0 >= c0) & (p0 < c1) & (p1 >= c0) & (p1 < c1)))
                break;
            const V4 y0 = Clamped(ay * Load(ys + i) + by);
            const V4 y1 = Clamped(ay * Load(ys + i + 4) + by);
            const auto block = static_cast<long long>(i);
            top0.Lower(y0, block);
            top1.Lower(y1, block);
            bottom0.Raise(y0, block);
            bottom1.Raise(y1, block);
            blocks = true;
        }
        if (blocks) {
            // The lanes' extreme, and the earliest block holding it.
            double t = inf, b = -inf;
            std::size_t tAt = i, bAt = i;
            for (const LaneBound* l : {&top0, &top1})
                for (int k = 0; k < 4; ++k)
                    if (l->Value[k] < t || (l->Value[k] == t && std::size_t(l->At[k]) < tAt)) {
                        t = l->Value[k];
                        tAt = static_cast<std::size_t>(l->At[k]);
                    }
            for (const LaneBound* l : {&bottom0, &bottom1})
                for (int k = 0; k < 4; ++k)
                    if (l->Value[k] > b || (l->Value[k] == b && std::size_t(l->At[k]) < bAt)) {
                        b = l->Value[k];
                        bAt = static_cast<std::size_t>(l->At[k]);
                    }
            if (t < top) {
                top = t;
                topAt = tAt;
            }
            if (b > bottom) {
                bottom = b;
                bottomAt = bAt;
            }
        }
        for (; i <= hi && std::floor(px(i)) == column; ++i) {
            const double y = py(i);
            if (y < top) {
                top = y;
                topAt = i;
            } else if (y > bottom) {
                bottom = y;
                bottomAt = i;
            }
        }
        // The first point reaching a bound's final value is where it moved last.
        auto firstAt = [&](std::size_t from, double v) {
            while (py(from) != v)
                ++from;
            return from;
        };
        bool topFirst = true;
        if (topAt != s)
            topFirst = bottomAt != s && firstAt(bottomAt, bottom) > firstAt(topAt, top);
        out.push_back(Column{column, top, bottom, topFirst, cs[i - 1]});
        s = i;
    }
}

} // namespace tavi
