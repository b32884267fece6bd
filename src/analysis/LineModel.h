// SPDX-License-Identifier: GPL-3.0-or-later
// The line models of the fit with their partial derivatives: unit-area
// profiles, their first derivative as detected without modulation, and the
// first harmonic under sinusoidal modulation by quadrature over the phase.
#pragma once

#include "analysis/Analysis.h"

#include <span>
#include <vector>

namespace tavi::analysis::detail {

// Widths of one line: Lorentzian and Gaussian use W1 = peak-to-peak width of
// the derivative; Voigt uses W1 = sigma of the Gaussian, W2 = HWHM gamma.
struct Widths {
    double W1 = 1;
    double W2 = 0;
};

int WidthCount(Profile p);

// Value and partial derivatives (by x and by each width) of the profile's
// derivative of the given order (0: absorption, 1: its first derivative).
struct Partials {
    double V = 0, Vx = 0, Vw1 = 0, Vw2 = 0;
};
Partials ProfileAt(Profile p, const Widths& w, double x, int order);

// The detected shape of a unit-area line at offset u from its centre: the
// derivative, or with modulation amplitude a > 0 the first harmonic over a
// (its double integral is the line's area in both cases).
class Detector {
public:
    Detector(Profile p, double modAmp, int nodes);
    Partials At(const Widths& w, double u) const;
    double Value(const Widths& w, double u) const { return At(w, u).V; }
    bool Modulated() const { return a_ > 0; }
    double ModAmp() const { return a_; }
    Profile Shape() const { return p_; }

private:
    Profile p_;
    double a_;
    std::vector<double> shift_, weight_;
};

// Nodes of the phase quadrature for modulation a and the narrowest half width:
// the midpoint rule over a period converges geometrically at the rate of the
// profile's nearest complex singularity.
int QuadratureNodes(double modAmp, double halfWidth);

// Peak-to-peak width of the unmodulated derivative and FWHM of the absorption.
double PeakToPeakWidth(Profile p, const Widths& w);
double FullWidthHalfMaximum(Profile p, const Widths& w);
// Peak-to-peak height of A times the detected shape.
double PeakToPeakHeight(const Detector& d, const Widths& w, double area);

} // namespace tavi::analysis::detail
