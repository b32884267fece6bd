// SPDX-License-Identifier: GPL-3.0-or-later
// w(z) = exp(-z^2) erfc(-iz) for the Voigt profile, from C and C++.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

void tavi_faddeeva_w(double re, double im, double* wre, double* wim);

#ifdef __cplusplus
}
#endif
