// SPDX-License-Identifier: GPL-3.0-or-later
// Line-shape fit: GSL's trust-region Levenberg-Marquardt on the corrected
// derivative, errors from the covariance scaled by the residual variance.
#include "analysis/Analysis.h"
#include "analysis/LineModel.h"

#include <algorithm>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <memory>
#include <mutex>

namespace tavi::analysis {

using detail::Detector;
using detail::Partials;
using detail::Widths;

namespace {

// Parameters per line: centre, log of each width, area; then the offset.
// Log widths keep the widths positive without bounds.
struct Layout {
    Profile Shape = Profile::Lorentzian;
    int Lines = 1;
    bool Offset = false;
    int PerLine() const { return 2 + detail::WidthCount(Shape); }
    int Size() const { return Lines * PerLine() + (Offset ? 1 : 0); }
    int AreaAt(int line) const { return line * PerLine() + PerLine() - 1; }
};

Widths WidthsAt(const Layout& l, const double* q) {
    Widths w{std::exp(q[1]), 0};
    if (l.Shape == Profile::Voigt)
        w.W2 = std::exp(q[2]);
    return w;
}

struct Problem {
    const std::vector<double>* X = nullptr;
    const std::vector<double>* Y = nullptr;
    Layout L;
    const Detector* Det = nullptr;
    // The Jacobian of the last evaluated point: GSL asks for it at the point
    // whose residuals it has just accepted, and the partials come at no extra
    // cost with the values.
    std::vector<double> CacheP, CacheJ;
    // The model values of the last evaluation, kept so that no iteration
    // allocates (and faults in) a fresh buffer of the spectrum's size.
    std::vector<double> Values;
};

// Model values into out and, row by row, the partial derivatives into jac.
void Evaluate(const Problem& pr, const double* p, std::vector<double>& out, double* jac) {
    const std::size_t n = pr.X->size(), np = static_cast<std::size_t>(pr.L.Size());
    const std::size_t per = static_cast<std::size_t>(pr.L.PerLine());
    out.assign(n, pr.L.Offset ? p[np - 1] : 0.0);
    for (std::size_t k = 0; k < static_cast<std::size_t>(pr.L.Lines); ++k) {
        const double* q = p + k * per;
        const Widths w = WidthsAt(pr.L, q);
        const double area = q[per - 1];
        const std::size_t c = k * per;
        for (std::size_t i = 0; i < n; ++i) {
            const Partials d = pr.Det->At(w, (*pr.X)[i] - q[0]);
            out[i] += area * d.V;
            if (!jac)
                continue;
            double* row = jac + i * np;
            row[c] = -area * d.Vx;
            row[c + 1] = area * w.W1 * d.Vw1;
            if (per == 4)
                row[c + 2] = area * w.W2 * d.Vw2;
            row[c + per - 1] = d.V;
        }
    }
    if (jac && pr.L.Offset)
        for (std::size_t i = 0; i < n; ++i)
            jac[i * np + np - 1] = 1.0;
}

void Model(const Problem& pr, const double* p, std::vector<double>& out) {
    Evaluate(pr, p, out, nullptr);
}

int Residuals(const gsl_vector* p, void* data, gsl_vector* f) {
    auto& pr = *static_cast<Problem*>(data);
    const std::size_t n = pr.X->size(), np = p->size;
    pr.CacheP.assign(p->data, p->data + np);
    pr.CacheJ.resize(n * np);
    Evaluate(pr, p->data, pr.Values, pr.CacheJ.data());
    const double* m = pr.Values.data();
    for (std::size_t i = 0; i < n; ++i)
        f->data[i * f->stride] = m[i] - (*pr.Y)[i];
    return GSL_SUCCESS;
}

int Jacobian(const gsl_vector* p, void* data, gsl_matrix* J) {
    auto& pr = *static_cast<Problem*>(data);
    const std::size_t n = pr.X->size(), np = p->size;
    if (pr.CacheP.size() != np || !std::equal(pr.CacheP.begin(), pr.CacheP.end(), p->data)) {
        pr.CacheP.assign(p->data, p->data + np);
        pr.CacheJ.resize(n * np);
        Evaluate(pr, p->data, pr.Values, pr.CacheJ.data());
    }
    // A row has three to five values: a plain loop, not a library copy per row.
    const double* from = pr.CacheJ.data();
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < np; ++j)
            J->data[i * J->tda + j] = from[i * np + j];
    return GSL_SUCCESS;
}

struct Solution {
    std::string Error;
    std::vector<double> P;
    int Iterations = 0;
    bool Converged = false;
};

using Workspace = std::unique_ptr<gsl_multifit_nlinear_workspace,
                                  decltype(&gsl_multifit_nlinear_free)>;
using Vector = std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)>;
using Matrix = std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)>;

// What a thread keeps from fit to fit: the solver's workspace for the last
// size and the partials' buffer. Fresh ones of a spectrum's size cost more to
// fault in than several iterations (tavi-proc fits file after file on each
// worker thread).
struct Kept {
    std::size_t N = 0, P = 0;
    Workspace W{nullptr, gsl_multifit_nlinear_free};
    std::vector<double> Partials;
};

Kept& ThreadKept() {
    thread_local Kept kept;
    return kept;
}

gsl_multifit_nlinear_workspace* KeptWorkspace(std::size_t n, std::size_t np) {
    Kept& k = ThreadKept();
    if (!k.W || k.N != n || k.P != np) {
        k.W.reset();
        gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
        params.trs = gsl_multifit_nlinear_trs_lm;
        params.solver = gsl_multifit_nlinear_solver_cholesky;
        k.W.reset(gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, n, np));
        k.N = n;
        k.P = np;
    }
    return k.W.get();
}

// Lends the thread's partials buffer to a problem while it is solved.
class LentPartials {
public:
    explicit LentPartials(Problem& pr) : pr_(pr) { pr_.CacheJ.swap(ThreadKept().Partials); }
    ~LentPartials() { pr_.CacheJ.swap(ThreadKept().Partials); }
    LentPartials(const LentPartials&) = delete;
    LentPartials& operator=(const LentPartials&) = delete;

private:
    Problem& pr_;
};

Solution Solve(Problem& pr, const std::vector<double>& start, int maxIterations,
               const std::atomic<bool>* cancel) {
    static std::once_flag quiet;
    // GSL's default handler aborts the process; failures come back as codes.
    std::call_once(quiet, [] { gsl_set_error_handler_off(); });
    Solution s;
    const std::size_t n = pr.X->size(), np = start.size();
    const LentPartials lent(pr);
    gsl_multifit_nlinear_workspace* w = KeptWorkspace(n, np);
    Vector x0(gsl_vector_alloc(np), gsl_vector_free);
    if (!w || !x0) {
        s.Error = "Not enough memory for the fit";
        return s;
    }
    for (std::size_t j = 0; j < np; ++j)
        gsl_vector_set(x0.get(), j, start[j]);
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = Residuals;
    fdf.df = Jacobian;
    fdf.n = n;
    fdf.p = np;
    fdf.params = &pr;
    if (gsl_multifit_nlinear_init(x0.get(), &fdf, w) != GSL_SUCCESS) {
        s.Error = "The fit could not start from its starting values";
        return s;
    }
    for (int it = 0; it < maxIterations; ++it) {
        if (cancel && cancel->load()) {
            s.Error = "Cancelled";
            return s;
        }
        const int status = gsl_multifit_nlinear_iterate(w);
        s.Iterations = static_cast<int>(gsl_multifit_nlinear_niter(w));
        int info = 0;
        if (status == GSL_ENOPROG) {
            // No smaller cost within reach: converged only if it is at rest.
            s.Converged =
                gsl_multifit_nlinear_test(1e-8, 1e-8, 0, &info, w) == GSL_SUCCESS;
            break;
        }
        if (status != GSL_SUCCESS)
            break;
        if (gsl_multifit_nlinear_test(1e-10, 1e-12, 0, &info, w) == GSL_SUCCESS) {
            s.Converged = true;
            break;
        }
    }
    const gsl_vector* x = gsl_multifit_nlinear_position(w);
    s.P.assign(x->data, x->data + np);
    for (double v : s.P)
        if (!std::isfinite(v)) {
            s.Error = "The fit gave a value that is not finite";
            return s;
        }
    if (!s.Converged)
        s.Error = "The fit did not converge in " + std::to_string(s.Iterations) + " iterations";
    return s;
}

// The line that the extremes of y suggest, as SDB finds them.
struct Guess {
    double Centre = 0, Width = 0, Height = 0;
    int Sign = 1;
};

Guess FromExtremes(const std::vector<double>& x, const std::vector<double>& y) {
    const auto [mn, mx] = std::minmax_element(y.begin(), y.end());
    const std::size_t imin = static_cast<std::size_t>(mn - y.begin()),
                      imax = static_cast<std::size_t>(mx - y.begin());
    Guess g;
    g.Centre = 0.5 * (x[imin] + x[imax]);
    g.Width = std::max(std::abs(x[imax] - x[imin]), std::abs(x[1] - x[0]));
    g.Height = *mx - *mn;
    g.Sign = x[imax] <= x[imin] ? 1 : -1; // absorption derivative: maximum first
    return g;
}

void AppendLine(const Layout& l, const Detector& det, const Guess& g, double modAmp,
                std::vector<double>& p) {
    // Modulation widens what is seen; start the line narrower by about a.
    const double w = std::sqrt(std::max(g.Width * g.Width - modAmp * modAmp,
                                        0.25 * g.Width * g.Width));
    Widths widths{w, 0};
    p.push_back(g.Centre);
    if (l.Shape == Profile::Voigt) {
        widths = {0.3 * w, 0.4 * w};
        p.push_back(std::log(widths.W1));
        p.push_back(std::log(widths.W2));
    } else {
        p.push_back(std::log(w));
    }
    const double unit = detail::PeakToPeakHeight(det, widths, 1.0);
    p.push_back(g.Sign * g.Height / (unit > 0 ? unit : 1));
}

double NarrowestHalfWidth(const Layout& l, const std::vector<double>& p) {
    double hw = INFINITY;
    for (int k = 0; k < l.Lines; ++k)
        hw = std::min(hw, 0.5 * detail::PeakToPeakWidth(
                                    l.Shape, WidthsAt(l, p.data() + k * l.PerLine())));
    return hw;
}

struct Fitter {
    const std::vector<double>& X;
    const std::vector<double>& Y;
    Layout L;
    const FitOptions& O;
    const std::atomic<bool>* Cancel;

    // Lines are added one at a time; an unplaced line starts at the extremes
    // of what the lines before it leave.
    Solution Run(double modAmp, std::vector<double> start) const {
        int nodes = detail::QuadratureNodes(modAmp, 0.5 * StartWidth());
        if (!start.empty() && modAmp > 0)
            nodes = detail::QuadratureNodes(modAmp, NarrowestHalfWidth(L, start));
        Detector det(L.Shape, modAmp, nodes);
        Solution s;
        if (start.empty())
            s = Build(det, modAmp);
        else
            s = Fit(det, L.Lines, start);
        // A line that came out much narrower than the nodes were chosen for
        // gets one more pass with enough of them.
        if (s.Error.empty() && modAmp > 0) {
            const int need = detail::QuadratureNodes(modAmp, NarrowestHalfWidth(L, s.P));
            if (need > nodes) {
                Detector finer(L.Shape, modAmp, need);
                Solution again =
                    Fit(finer, L.Lines,
                        std::vector<double>(s.P.begin(), s.P.begin() + L.Lines * L.PerLine()));
                again.Iterations += s.Iterations;
                return again;
            }
        }
        return s;
    }

    double StartWidth() const { return FromExtremes(X, Y).Width; }

    Solution Fit(const Detector& det, int lines, const std::vector<double>& start) const {
        Problem pr{&X, &Y, L, &det, {}, {}, {}};
        pr.L.Lines = lines;
        std::vector<double> p = start;
        if (L.Offset)
            p.push_back(0);
        Solution s = Solve(pr, p, O.MaxIterations, Cancel);
        if (L.Offset && s.P.size() == p.size() && lines < L.Lines)
            s.P.pop_back();
        return s;
    }

    Solution Build(const Detector& det, double modAmp) const {
        const Guess whole = FromExtremes(X, Y);
        std::vector<double> p;
        Solution s;
        int iterations = 0;
        for (int k = 0; k < L.Lines; ++k) {
            Guess g = whole;
            if (k < static_cast<int>(O.StartCentres.size())) {
                g.Centre = O.StartCentres[static_cast<std::size_t>(k)];
                g.Width /= L.Lines;
                g.Height /= L.Lines;
            } else if (k > 0) {
                Problem pr{&X, &Y, L, &det, {}, {}, {}};
                pr.L.Lines = k;
                pr.L.Offset = false;
                std::vector<double> m, rest(Y.size());
                Model(pr, p.data(), m);
                for (std::size_t i = 0; i < Y.size(); ++i)
                    rest[i] = Y[i] - m[i];
                g = FromExtremes(X, rest);
            }
            AppendLine(L, det, g, modAmp, p);
            const bool placedNext = k + 1 < static_cast<int>(O.StartCentres.size());
            if (k + 1 == L.Lines || !placedNext) {
                s = Fit(det, k + 1, p);
                iterations += s.Iterations;
                s.Iterations = iterations;
                if (!s.Error.empty())
                    return s;
                p.assign(s.P.begin(), s.P.begin() + (k + 1) * L.PerLine());
            }
        }
        return s;
    }
};

Measured Propagate(const std::vector<double>& grad, const Matrix& cov, std::size_t first,
                   double value) {
    double var = 0;
    for (std::size_t a = 0; a < grad.size(); ++a)
        for (std::size_t b = 0; b < grad.size(); ++b)
            var += grad[a] * gsl_matrix_get(cov.get(), first + a, first + b) * grad[b];
    return {value, std::sqrt(std::max(var, 0.0))};
}

// A derived value of one line with its error by central differences.
template <class F>
Measured Derived(F f, std::vector<double> q, const Matrix& cov, std::size_t first) {
    const double value = f(q);
    std::vector<double> grad(q.size(), 0);
    for (std::size_t j = 1; j < q.size(); ++j) { // the centre moves nothing derived
        const double keep = q[j], h = 1e-6 * std::max(std::abs(keep), 1e-3);
        q[j] = keep + h;
        const double up = f(q);
        q[j] = keep - h;
        const double down = f(q);
        q[j] = keep;
        grad[j] = (up - down) / (2 * h);
    }
    return Propagate(grad, cov, first, value);
}

} // namespace

LineShapeFit FitLineShape(const Spectrum& s, const BaseLineFit& base, const FitOptions& options,
                          const std::atomic<bool>* cancel) {
    LineShapeFit out;
    out.Shape = options.Shape;
    auto fail = [&](std::string message) {
        out.Error = std::move(message);
        return out;
    };
    if (!base.Ok())
        return fail(base.Error);
    if (base.Corrected.size() != s.X.size() || s.X.size() < 2)
        return fail("The base line does not belong to this spectrum");
    if (options.Lines < 1 || options.Lines > 3)
        return fail("The number of lines must be 1 to 3, not " + std::to_string(options.Lines));
    for (double c : options.StartCentres)
        if (!std::isfinite(c))
            return fail("A starting centre is not finite");
    for (std::size_t i = 0; i < s.X.size(); ++i)
        if (!std::isfinite(s.X[i]) || !std::isfinite(base.Corrected[i]))
            return fail("The spectrum holds a value that is not finite at point " +
                        std::to_string(i));
    Layout layout{options.Shape, options.Lines, options.Offset};
    const std::size_t n = s.X.size(), np = static_cast<std::size_t>(layout.Size());
    if (n <= np)
        return fail("The fit needs more points than its " + std::to_string(np) +
                    " parameters; the curve has " + std::to_string(n));
    const std::vector<double>& y = base.Corrected;
    const auto [mn, mx] = std::minmax_element(y.begin(), y.end());
    double scale = 0;
    for (double v : s.Y)
        scale = std::max(scale, std::abs(v));
    if (*mx - *mn <= 1e-9 * scale)
        return fail("The curve is flat: there is no line to fit");
    const double a = std::isfinite(s.ModAmp) && s.ModAmp > 0 ? s.ModAmp : 0;
    if (options.Modulation == ModulationMode::On && a == 0)
        return fail("The file gives no modulation amplitude for the modulation-broadened model");

    FitOptions o = options;
    o.MaxIterations = std::clamp(options.MaxIterations, 1, 10000);
    const Fitter fitter{s.X, y, layout, o, cancel};
    Solution sol;
    bool modulated = options.Modulation == ModulationMode::On;
    sol = fitter.Run(modulated ? a : 0, {});
    if (sol.Error.empty() && options.Modulation == ModulationMode::Auto && a > 0 &&
        a > 0.1 * 2 * NarrowestHalfWidth(layout, sol.P)) {
        const int before = sol.Iterations;
        std::vector<double> start(sol.P.begin(), sol.P.begin() + layout.Lines * layout.PerLine());
        sol = fitter.Run(a, start);
        sol.Iterations += before;
        modulated = true;
    }
    out.Modulation = modulated;
    out.Iterations = sol.Iterations;
    out.Converged = sol.Converged;
    if (!sol.Error.empty())
        return fail(sol.Error);

    // Covariance at the solution, scaled by the residual variance.
    Detector det(layout.Shape, modulated ? a : 0,
                 detail::QuadratureNodes(modulated ? a : 0, NarrowestHalfWidth(layout, sol.P)));
    Problem pr{&s.X, &y, layout, &det, {}, {}, {}};
    Matrix cov(gsl_matrix_alloc(np, np), gsl_matrix_free);
    // One evaluation gives the partials, into the thread's buffer, and the curve.
    std::vector<double>& partials = ThreadKept().Partials;
    partials.resize(n * np);
    gsl_matrix_view J = gsl_matrix_view_array(partials.data(), n, np);
    Evaluate(pr, sol.P.data(), pr.Values, partials.data());
    if (!cov || gsl_multifit_nlinear_covar(&J.matrix, 0.0, cov.get()) != GSL_SUCCESS)
        return fail("The data do not determine the fit's parameters");
    out.Curve = std::move(pr.Values);
    out.Residuals.resize(n);
    double ssr = 0;
    for (std::size_t i = 0; i < n; ++i) {
        out.Residuals[i] = y[i] - out.Curve[i];
        ssr += out.Residuals[i] * out.Residuals[i];
    }
    const double variance = ssr / static_cast<double>(n - np);
    gsl_matrix_scale(cov.get(), variance);
    for (std::size_t j = 0; j < np; ++j)
        if (!std::isfinite(gsl_matrix_get(cov.get(), j, j))) {
            out.Curve.clear();
            out.Residuals.clear();
            return fail("The data do not determine the fit's parameters");
        }
    out.ResidualRms = std::sqrt(ssr / static_cast<double>(n));
    if (base.NoiseRms > 0)
        out.Chi2Red = variance / (base.NoiseRms * base.NoiseRms);
    if (layout.Offset)
        out.Offset = {sol.P[np - 1], std::sqrt(gsl_matrix_get(cov.get(), np - 1, np - 1))};

    const Profile shape = layout.Shape;
    for (int k = 0; k < layout.Lines; ++k) {
        const std::size_t first = static_cast<std::size_t>(k * layout.PerLine());
        const std::vector<double> q(sol.P.begin() + static_cast<std::ptrdiff_t>(first),
                                    sol.P.begin() + static_cast<std::ptrdiff_t>(first) +
                                        layout.PerLine());
        auto sd = [&](std::size_t j) { return std::sqrt(gsl_matrix_get(cov.get(), j, j)); };
        LineFit line;
        line.Centre = {q[0], sd(first)};
        const std::size_t area = static_cast<std::size_t>(layout.AreaAt(k));
        line.DoubleIntegral = {sol.P[area], sd(area)};
        auto widths = [&](const std::vector<double>& v) { return WidthsAt(layout, v.data()); };
        line.WidthPP = Derived(
            [&](const std::vector<double>& v) { return detail::PeakToPeakWidth(shape, widths(v)); },
            q, cov, first);
        line.Fwhm = Derived(
            [&](const std::vector<double>& v) {
                return detail::FullWidthHalfMaximum(shape, widths(v));
            },
            q, cov, first);
        line.Amplitude = Derived(
            [&](const std::vector<double>& v) {
                return detail::PeakToPeakHeight(det, widths(v), v.back());
            },
            q, cov, first);
        if (shape == Profile::Voigt) {
            const double sigmaToFwhm = 2 * std::sqrt(2 * std::log(2.0));
            line.WidthG = {sigmaToFwhm * std::exp(q[1]), sigmaToFwhm * std::exp(q[1]) * sd(first + 1)};
            line.WidthL = {2 * std::exp(q[2]), 2 * std::exp(q[2]) * sd(first + 2)};
        }
        const double g = GFactorAt(s, line.Centre.Value);
        if (std::isfinite(g)) {
            const double h = 1e-6 * std::max(1.0, std::abs(line.Centre.Value));
            const double slope = (GFactorAt(s, line.Centre.Value + h) -
                                  GFactorAt(s, line.Centre.Value - h)) / (2 * h);
            line.G = {g, std::abs(slope) * line.Centre.Error};
        }
        out.Lines.push_back(line);
    }
    out.Converged = true;
    return out;
}

} // namespace tavi::analysis
