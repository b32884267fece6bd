// SPDX-License-Identifier: GPL-3.0-or-later
// Faddeeva's w(z) through libcerf, behind real arguments so that the C++ side
// needs no C99 complex type.
#include "analysis/Faddeeva.h"

#include <cerf.h>

void tavi_faddeeva_w(double re, double im, double* wre, double* wim) {
    const double _Complex w = w_of_z(re + im * 1.0i);
    *wre = __real__ w;
    *wim = __imag__ w;
}
