// SPDX-License-Identifier: GPL-3.0-or-later
// Line profiles, their derivatives and the modulation quadrature.
#include "analysis/LineModel.h"

#include "analysis/Faddeeva.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace tavi::analysis::detail {

namespace {

using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// f, f', f'', f''' of the unit-area profile at x.
struct Derivs {
    double D[4];
};

Derivs Lorentz(double w, double x) {
    const double g = std::sqrt(3.0) / 2 * w, inv = 1 / (x * x + g * g), k = g / kPi * inv;
    return {{k, -2 * x * k * inv, -2 * (g * g - 3 * x * x) * k * inv * inv,
             24 * x * (g * g - x * x) * k * inv * inv * inv}};
}

Derivs Gauss(double w, double x) {
    const double s = w / 2, t = x / s;
    const double f = std::exp(-t * t / 2) / (s * std::sqrt(2 * kPi));
    return {{f, -t / s * f, (t * t - 1) / (s * s) * f, (3 * t - t * t * t) / (s * s * s) * f}};
}

// Derivatives of Phi(zeta) = w(zeta / (sigma sqrt 2)) / (sigma sqrt(2 pi)),
// analytic in zeta = x + i gamma; the Voigt profile is its real part.
void VoigtPhi(double sigma, double gamma, double x, cd phi[4]) {
    const double s = 1 / (sigma * std::sqrt(2.0)), norm = 1 / (sigma * std::sqrt(2 * kPi));
    const cd z(x * s, gamma * s);
    double wr = 0, wi = 0;
    tavi_faddeeva_w(z.real(), z.imag(), &wr, &wi);
    const cd w0(wr, wi);
    const cd w1 = -2.0 * z * w0 + cd(0, 2 / std::sqrt(kPi));
    const cd w2 = -2.0 * w0 - 2.0 * z * w1;
    const cd w3 = -4.0 * w1 - 2.0 * z * w2;
    phi[0] = w0 * norm;
    phi[1] = w1 * (s * norm);
    phi[2] = w2 * (s * s * norm);
    phi[3] = w3 * (s * s * s * norm);
}

} // namespace

int WidthCount(Profile p) {
    return p == Profile::Voigt ? 2 : 1;
}

Partials ProfileAt(Profile p, const Widths& w, double x, int order) {
    if (p == Profile::Voigt) {
        cd phi[4];
        VoigtPhi(w.W1, w.W2, x, phi);
        // The Gaussian part obeys the heat equation, dV/dsigma = sigma V'';
        // analyticity in x + i gamma gives dV/dgamma = -Im Phi'.
        return {phi[order].real(), phi[order + 1].real(), w.W1 * phi[order + 2].real(),
                -phi[order + 1].imag()};
    }
    const Derivs d = p == Profile::Lorentzian ? Lorentz(w.W1, x) : Gauss(w.W1, x);
    // A scale family f(x) = g(x/w)/w: the n-th derivative scales as w^-(n+1).
    const double v = d.D[order], vx = d.D[order + 1];
    return {v, vx, -((order + 1) * v + x * vx) / w.W1, 0};
}

Detector::Detector(Profile p, double modAmp, int nodes) : p_(p), a_(modAmp > 0 ? modAmp : 0) {
    if (a_ == 0)
        return;
    const int m = std::max(nodes, 1);
    for (int k = 0; k < m; ++k) {
        const double c = std::cos((k + 0.5) * kPi / m);
        shift_.push_back(a_ * c);
        weight_.push_back(2 * c / (a_ * m));
    }
}

Partials Detector::At(const Widths& w, double u) const {
    if (a_ == 0)
        return ProfileAt(p_, w, u, 1);
    Partials sum;
    for (std::size_t k = 0; k < shift_.size(); ++k) {
        const Partials f = ProfileAt(p_, w, u + shift_[k], 0);
        sum.V += weight_[k] * f.V;
        sum.Vx += weight_[k] * f.Vx;
        sum.Vw1 += weight_[k] * f.Vw1;
        sum.Vw2 += weight_[k] * f.Vw2;
    }
    return sum;
}

int QuadratureNodes(double modAmp, double halfWidth) {
    if (!(modAmp > 0))
        return 0;
    const double rho = std::asinh(std::max(halfWidth, 1e-300) / modAmp);
        // Midpoint error about exp(-2 nodes rho): 1e-10 of the line is far below
    // any noise a spectrum can reach.
    return static_cast<int>(std::clamp(std::ceil(11.5 / rho), 8.0, 1024.0));
}

namespace {

// The root of a function that is negative at lo and positive at hi (bounded
// bisection).
template <class F> double Bisect(F f, double lo, double hi) {
    for (int i = 0; i < 200 && hi - lo > 1e-15 * std::abs(hi); ++i) {
        const double mid = 0.5 * (lo + hi);
        (f(mid) < 0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double Reach(const Widths& w) {
    return 20 * (w.W1 + w.W2);
}

} // namespace

double PeakToPeakWidth(Profile p, const Widths& w) {
    if (p != Profile::Voigt)
        return w.W1;
    // The derivative's extremes sit where f'' changes sign.
    return 2 * Bisect([&](double x) { return ProfileAt(p, w, x, 1).Vx; }, 0, Reach(w));
}

double FullWidthHalfMaximum(Profile p, const Widths& w) {
    switch (p) {
    case Profile::Lorentzian:
        return std::sqrt(3.0) * w.W1;
    case Profile::Gaussian:
        return std::sqrt(2 * std::log(2.0)) * w.W1;
    case Profile::Voigt:
        break;
    }
    const double half = ProfileAt(p, w, 0, 0).V / 2;
    return 2 * Bisect([&](double x) { return half - ProfileAt(p, w, x, 0).V; }, 0, Reach(w));
}

double PeakToPeakHeight(const Detector& d, const Widths& w, double area) {
    // Symmetric lines give an odd detected shape: twice its maximum left of
    // the centre, found by golden-section search (bounded).
    // The maximum lies within half the width plus the modulation of the centre.
    double lo = -(PeakToPeakWidth(d.Shape(), w) + 2 * d.ModAmp()), hi = 0;
    const double r = (std::sqrt(5.0) - 1) / 2;
    double a = hi - r * (hi - lo), b = lo + r * (hi - lo);
    double fa = d.Value(w, a), fb = d.Value(w, b);
    for (int i = 0; i < 200 && hi - lo > 1e-13 * (std::abs(lo) + std::abs(hi)); ++i) {
        if (fa > fb) {
            hi = b;
            b = a;
            fb = fa;
            a = hi - r * (hi - lo);
            fa = d.Value(w, a);
        } else {
            lo = a;
            a = b;
            fa = fb;
            b = lo + r * (hi - lo);
            fb = d.Value(w, b);
        }
    }
    return 2 * area * d.Value(w, 0.5 * (lo + hi));
}

} // namespace tavi::analysis::detail
