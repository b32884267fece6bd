// SPDX-License-Identifier: GPL-3.0-or-later
// Searches over a curve's values, several values per step where the processor
// has vectors; each gives exactly the answer of the plain loop it stands for.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Loops over every point are built twice on x86-64, for AVX2 and for any
// processor, and the loader picks one; both do the same operations in the
// same order (no contraction), so they give the same values.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TAVI_POINT_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define TAVI_POINT_LOOP
#endif

namespace tavi::scan {

// What a search stops at, with v its value: y == v, !(|y| < v), y > v, !(y > v).
// The negated forms stop at NaN as the loops "while (|y| < v)" and
// "while (y > v)" do.
enum class Stop { Equal, AbsNotBelow, Above, NotAbove };

template <Stop S> bool Stops(double y, double v) {
    if constexpr (S == Stop::Equal)
        return y == v;
    else if constexpr (S == Stop::AbsNotBelow)
        return !(std::fabs(y) < v);
    else if constexpr (S == Stop::Above)
        return y > v;
    else
        return !(y > v);
}

#if defined(__SSE2__)
template <Stop S> __m128d StopMask(__m128d y, __m128d v) {
    if constexpr (S == Stop::Equal) {
        return _mm_cmpeq_pd(y, v);
    } else if constexpr (S == Stop::AbsNotBelow) {
        const __m128d abs = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
        return _mm_cmpnlt_pd(_mm_and_pd(y, abs), v);
    } else if constexpr (S == Stop::Above) {
        return _mm_cmpgt_pd(y, v);
    } else {
        return _mm_cmpngt_pd(y, v);
    }
}
#endif

// The first i in [from, to) where y[i] stops the search, else to.
template <Stop S>
std::ptrdiff_t FirstStop(const double* y, std::ptrdiff_t from, std::ptrdiff_t to, double v) {
    std::ptrdiff_t i = from;
#if defined(__SSE2__)
    const __m128d vv = _mm_set1_pd(v);
    for (; i + 4 <= to; i += 4) {
        const __m128d m = _mm_or_pd(StopMask<S>(_mm_loadu_pd(y + i), vv),
                                    StopMask<S>(_mm_loadu_pd(y + i + 2), vv));
        if (_mm_movemask_pd(m) != 0)
            break;
    }
#endif
    while (i < to && !Stops<S>(y[i], v))
        ++i;
    return i;
}

// The last i in (downTo, from] where y[i] stops the search, else downTo.
template <Stop S>
std::ptrdiff_t LastStop(const double* y, std::ptrdiff_t from, std::ptrdiff_t downTo, double v) {
    std::ptrdiff_t i = from;
#if defined(__SSE2__)
    const __m128d vv = _mm_set1_pd(v);
    for (; i - 4 >= downTo; i -= 4) {
        const __m128d m = _mm_or_pd(StopMask<S>(_mm_loadu_pd(y + i - 1), vv),
                                    StopMask<S>(_mm_loadu_pd(y + i - 3), vv));
        if (_mm_movemask_pd(m) != 0)
            break;
    }
#endif
    while (i > downTo && !Stops<S>(y[i], v))
        --i;
    return i;
}

// The smallest and largest of y[0..n) (n >= 1) as the running "y < lowest ?
// y : lowest" and "y > highest ? y : highest" from y[0] give them: NaN is
// passed over unless y[0] is one.
struct Bounds {
    double Lowest;
    double Highest;
};

// The running bounds b carried on over y[0..n), by the same rule. Written
// on vectors of four so that a caller built for wider registers gets them.
inline Bounds Continue(Bounds b, const double* y, std::size_t n) {
    using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
    std::size_t i = 0;
    if (n >= 8) {
        // v < lo ? v : lo, lane by lane, is the plain loop's rule: lanes that
        // start at a NaN keep it.
        Lanes lo0 = {b.Lowest, b.Lowest, b.Lowest, b.Lowest}, lo1 = lo0;
        Lanes hi0 = {b.Highest, b.Highest, b.Highest, b.Highest}, hi1 = hi0;
        for (; i + 8 <= n; i += 8) {
            Lanes v0, v1;
            std::memcpy(&v0, y + i, sizeof v0);
            std::memcpy(&v1, y + i + 4, sizeof v1);
            lo0 = v0 < lo0 ? v0 : lo0;
            lo1 = v1 < lo1 ? v1 : lo1;
            hi0 = v0 > hi0 ? v0 : hi0;
            hi1 = v1 > hi1 ? v1 : hi1;
        }
        for (int k = 0; k < 4; ++k) {
            b.Lowest = lo0[k] < b.Lowest ? lo0[k] : b.Lowest;
            b.Lowest = lo1[k] < b.Lowest ? lo1[k] : b.Lowest;
            b.Highest = hi0[k] > b.Highest ? hi0[k] : b.Highest;
            b.Highest = hi1[k] > b.Highest ? hi1[k] : b.Highest;
        }
    }
    for (; i < n; ++i) {
        b.Lowest = y[i] < b.Lowest ? y[i] : b.Lowest;
        b.Highest = y[i] > b.Highest ? y[i] : b.Highest;
    }
    return b;
}

inline Bounds LowestHighest(const double* y, std::size_t n) {
    return Continue({y[0], y[0]}, y + 1, n - 1);
}

} // namespace tavi::scan
