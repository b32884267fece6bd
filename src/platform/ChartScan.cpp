// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ChartScan.h"

#include <cmath>
#include <limits>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TAVI_SCAN_AVX2 1
#endif

namespace tavi {

namespace {

// std::clamp to the pixel limit; a NaN stays NaN, as with std::clamp.
inline double Clamped(double v) {
    v = -kPixelLimit > v ? -kPixelLimit : v;
    return kPixelLimit < v ? kPixelLimit : v;
}

// A curve's points and their pixels.
struct ColumnScan {
    const double* Xs;
    const double* Ys;
    Mapping M;
    double Px(std::size_t i) const { return Clamped(M.AX * Xs[i] + M.BX); }
    double Py(std::size_t i) const { return Clamped(M.AY * Ys[i] + M.BY); }
};

// The first point at or after from whose pixel is v.
std::size_t FirstAt(const ColumnScan& c, std::size_t from, double v) {
    while (c.Py(from) != v)
        ++from;
    return from;
}

// Ends a column [s, i): the bound moved last is drawn last. Moves noted at
// the start of a block of points compare as blocks; within one block the
// first point at each final value decides.
void EndColumn(const ColumnScan& c, const QRgb* cs, std::size_t s, std::size_t i, double column,
               double top, double bottom, std::size_t topAt, std::size_t bottomAt,
               std::vector<Column>& out) {
    bool topFirst = true;
    if (topAt != s)
        topFirst = bottomAt != s &&
                   (bottomAt != topAt ? bottomAt > topAt
                                      : FirstAt(c, bottomAt, bottom) > FirstAt(c, topAt, top));
    out.push_back(Column{column, top, bottom, topFirst, cs[i - 1]});
}

#ifdef TAVI_SCAN_AVX2
// Eight points at a time while they stay in the column: their extremes (a NaN
// passed over, as by the point-wise comparisons) move a bound where they beat
// it. The limit is applied to the extremes: it keeps their order.
__attribute__((target("avx2"))) std::size_t Blocks(const ColumnScan& c, std::size_t i,
                                                   std::size_t hi, double column, double& top,
                                                   double& bottom, std::size_t& topAt,
                                                   std::size_t& bottomAt) {
    // Far from the limit the unclamped X lies in the column exactly when the
    // clamped one does.
    if (!(column > -kPixelLimit + 2 && column < kPixelLimit - 2))
        return i;
    const __m256d ax = _mm256_set1_pd(c.M.AX), bx = _mm256_set1_pd(c.M.BX);
    const __m256d ay = _mm256_set1_pd(c.M.AY), by = _mm256_set1_pd(c.M.BY);
    const __m256d c0 = _mm256_set1_pd(column), c1 = _mm256_set1_pd(column + 1);
    const __m256d inf = _mm256_set1_pd(std::numeric_limits<double>::infinity());
    const __m256d minusInf = _mm256_set1_pd(-std::numeric_limits<double>::infinity());
    for (; hi >= 7 && i <= hi - 7; i += 8) {
        const __m256d p0 = _mm256_add_pd(_mm256_mul_pd(ax, _mm256_loadu_pd(c.Xs + i)), bx);
        const __m256d p1 = _mm256_add_pd(_mm256_mul_pd(ax, _mm256_loadu_pd(c.Xs + i + 4)), bx);
        const __m256d in0 =
            _mm256_and_pd(_mm256_cmp_pd(p0, c0, _CMP_GE_OQ), _mm256_cmp_pd(p0, c1, _CMP_LT_OQ));
        const __m256d in1 =
            _mm256_and_pd(_mm256_cmp_pd(p1, c0, _CMP_GE_OQ), _mm256_cmp_pd(p1, c1, _CMP_LT_OQ));
        if (_mm256_movemask_pd(_mm256_and_pd(in0, in1)) != 0xF)
            break;
        const __m256d y0 = _mm256_add_pd(_mm256_mul_pd(ay, _mm256_loadu_pd(c.Ys + i)), by);
        const __m256d y1 = _mm256_add_pd(_mm256_mul_pd(ay, _mm256_loadu_pd(c.Ys + i + 4)), by);
        // min/max return their second operand when either is NaN.
        const __m256d low = _mm256_min_pd(y1, _mm256_min_pd(y0, inf));
        const __m256d high = _mm256_max_pd(y1, _mm256_max_pd(y0, minusInf));
        __m128d l = _mm_min_pd(_mm256_castpd256_pd128(low), _mm256_extractf128_pd(low, 1));
        __m128d h = _mm_max_pd(_mm256_castpd256_pd128(high), _mm256_extractf128_pd(high, 1));
        l = _mm_min_sd(l, _mm_unpackhi_pd(l, l));
        h = _mm_max_sd(h, _mm_unpackhi_pd(h, h));
        const double bt = Clamped(_mm_cvtsd_f64(l));
        const double bb = Clamped(_mm_cvtsd_f64(h));
        if (bt < top) {
            top = bt;
            topAt = i;
        }
        if (bb > bottom) {
            bottom = bb;
            bottomAt = i;
        }
    }
    return i;
}
#endif

// Both builds of the scan share this body; the one for AVX2 takes whole
// blocks at a time and rounds with the processor's own instruction.
template <bool Avx2>
[[gnu::always_inline]] inline void Scan(const ColumnScan& c, const QRgb* cs, std::size_t lo,
                                        std::size_t hi, std::vector<Column>& out) {
    out.clear();
    std::size_t s = lo;
    while (s <= hi) {
        const double column = std::floor(c.Px(s));
        double top = c.Py(s), bottom = top;
        // A NaN first point fixes both bounds: no comparison with it holds.
        std::size_t topAt = s, bottomAt = s;
        std::size_t i = s + 1;
#ifdef TAVI_SCAN_AVX2
        if constexpr (Avx2)
            i = Blocks(c, i, hi, column, top, bottom, topAt, bottomAt);
#endif
        for (; i <= hi && std::floor(c.Px(i)) == column; ++i) {
            const double y = c.Py(i);
            if (y < top) {
                top = y;
                topAt = i;
            } else if (y > bottom) {
                bottom = y;
                bottomAt = i;
            }
        }
        EndColumn(c, cs, s, i, column, top, bottom, topAt, bottomAt, out);
        s = i;
    }
}

#ifdef TAVI_SCAN_AVX2
__attribute__((target("avx2"))) void ScanAvx2(const ColumnScan& c, const QRgb* cs, std::size_t lo,
                                              std::size_t hi, std::vector<Column>& out) {
    Scan<true>(c, cs, lo, hi, out);
}
#endif

} // namespace

void ScanColumns(const double* xs, const double* ys, const QRgb* cs, std::size_t lo, std::size_t hi,
                 Mapping m, std::vector<Column>& out) {
    const ColumnScan c{xs, ys, m};
#ifdef TAVI_SCAN_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        ScanAvx2(c, cs, lo, hi, out);
        return;
    }
#endif
    Scan<false>(c, cs, lo, hi, out);
}

} // namespace tavi
