// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc's analysis options and their JSON output.
#include "analysis/AnalysisJson.h"

#include "common/JsonText.h"

#include <cstdlib>

namespace tavi::analysis {

namespace {

bool ParseNumber(const std::string& text, double& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

bool ParseInterval(const std::string& text, Interval& out) {
    const auto colon = text.find(':');
    return colon != std::string::npos && ParseNumber(text.substr(0, colon), out.From) &&
           ParseNumber(text.substr(colon + 1), out.To);
}

const char* ModelName(Profile p) {
    switch (p) {
    case Profile::Lorentzian:
        return "lorentzian";
    case Profile::Gaussian:
        return "gaussian";
    case Profile::Voigt:
        return "voigt";
    }
    return "";
}

void Key(std::string& o, const char* key) {
    if (o.back() != '{')
        o += ',';
    AppendJsonString(o, key);
    o += ':';
}

void Number(std::string& o, const char* key, double v) {
    Key(o, key);
    AppendJsonNumber(o, v);
}

void Pair(std::string& o, const char* key, const Measured& m) {
    Number(o, key, m.Value);
    Number(o, (std::string(key) + "Err").c_str(), m.Error);
}

void Error(std::string& o, const std::string& error) {
    Key(o, "error");
    if (error.empty())
        o += "null";
    else
        AppendJsonString(o, error);
}

void BaseLineJson(std::string& o, const BaseLineFit& b, const CliOptions& c, const Spectrum& s) {
    o += '{';
    Number(o, "order", static_cast<double>(c.Base.Order));
    Key(o, "regions");
    const std::vector<Interval> regions =
        b.Regions.empty() ? (c.Base.Regions.empty() ? DefaultRegions(s) : c.Base.Regions)
                          : b.Regions;
    o += '[';
    for (const Interval& r : regions) {
        if (o.back() != '[')
            o += ',';
        o += '[';
        AppendJsonNumber(o, r.From);
        o += ',';
        AppendJsonNumber(o, r.To);
        o += ']';
    }
    o += ']';
    Key(o, "coefficients");
    if (b.Ok()) {
        o += '[';
        for (double v : b.Coefficients) {
            if (o.back() != '[')
                o += ',';
            AppendJsonNumber(o, v);
        }
        o += ']';
    } else {
        o += "null";
    }
    Number(o, "noiseRms", b.NoiseRms);
    Key(o, "noisePoints");
    if (b.Ok())
        AppendJsonNumber(o, b.NoisePoints);
    else
        o += "null";
    Error(o, b.Error);
    o += '}';
}

void FitJson(std::string& o, const LineShapeFit& f) {
    o += '{';
    Key(o, "model");
    AppendJsonString(o, ModelName(f.Shape));
    Key(o, "modulation");
    o += f.Modulation ? "true" : "false";
    Key(o, "converged");
    o += f.Converged ? "true" : "false";
    Number(o, "iterations", static_cast<double>(f.Iterations));
    Number(o, "chi2red", f.Chi2Red);
    Number(o, "residualRms", f.ResidualRms);
    Pair(o, "offset", f.Offset);
    Error(o, f.Error);
    Key(o, "lines");
    o += '[';
    for (const LineFit& l : f.Lines) {
        if (o.back() != '[')
            o += ',';
        o += '{';
        Pair(o, "centre", l.Centre);
        Pair(o, "widthPP", l.WidthPP);
        Pair(o, "fwhm", l.Fwhm);
        Pair(o, "amplitude", l.Amplitude);
        Pair(o, "doubleIntegral", l.DoubleIntegral);
        Pair(o, "g", l.G);
        if (f.Shape == Profile::Voigt) {
            Pair(o, "widthL", l.WidthL);
            Pair(o, "widthG", l.WidthG);
        }
        o += '}';
    }
    o += "]}";
}

void IntegralJson(std::string& o, const DoubleIntegralResult& d, const Measured& ratio,
                  const std::string& error) {
    o += '{';
    Number(o, "from", d.Range.From);
    Number(o, "to", d.Range.To);
    Pair(o, "value", d.Value);
    Pair(o, "normalised", d.Normalised);
    Pair(o, "ratio", ratio);
    Error(o, error);
    o += '}';
}

void MomentsJson(std::string& o, const TrueMoments& m) {
    o += '{';
    Number(o, "centre", m.Centre);
    Pair(o, "M2", m.M2);
    Pair(o, "M4", m.M4);
    Number(o, "M4overM2sq", m.M4OverM2Sq);
    Error(o, m.Error);
    o += '}';
}

} // namespace

bool TakeAnalysisOptions(std::vector<std::string>& args, CliOptions& out, std::string* error) {
    std::vector<std::string> rest;
    bool linesGiven = false, modulationGiven = false;
    auto fail = [&](const std::string& message) {
        if (error)
            *error = message;
        return false;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool known = a == "--fit" || a == "--lines" || a == "--baseline" || a == "--order" ||
                           a == "--modulation" || a == "--integral" || a == "--reference";
        if (!known) {
            rest.push_back(a);
            continue;
        }
        if (i + 1 >= args.size())
            return fail(a + " needs a value");
        const std::string& v = args[++i];
        out.Requested = true;
        double number = 0;
        if (a == "--fit") {
            out.Fit = true;
            if (v == "lorentzian")
                out.FitWith.Shape = Profile::Lorentzian;
            else if (v == "gaussian")
                out.FitWith.Shape = Profile::Gaussian;
            else if (v == "voigt")
                out.FitWith.Shape = Profile::Voigt;
            else
                return fail("--fit takes lorentzian, gaussian or voigt, not '" + v + "'");
        } else if (a == "--lines") {
            linesGiven = true;
            if (!ParseNumber(v, number) || number < 1 || number > 3 || number != std::floor(number))
                return fail("--lines takes 1, 2 or 3, not '" + v + "'");
            out.FitWith.Lines = static_cast<int>(number);
        } else if (a == "--order") {
            if (!ParseNumber(v, number) || number < 0 || number > 3 || number != std::floor(number))
                return fail("--order takes 0 to 3, not '" + v + "'");
            out.Base.Order = static_cast<int>(number);
        } else if (a == "--modulation") {
            modulationGiven = true;
            if (v == "on")
                out.FitWith.Modulation = ModulationMode::On;
            else if (v == "off")
                out.FitWith.Modulation = ModulationMode::Off;
            else if (v == "auto")
                out.FitWith.Modulation = ModulationMode::Auto;
            else
                return fail("--modulation takes on, off or auto, not '" + v + "'");
        } else if (a == "--baseline") {
            out.Base.Regions.clear();
            std::size_t from = 0;
            while (from <= v.size()) {
                const std::size_t comma = std::min(v.find(',', from), v.size());
                Interval r;
                if (!ParseInterval(v.substr(from, comma - from), r))
                    return fail("--baseline takes X1:X2[,X3:X4...], not '" + v + "'");
                out.Base.Regions.push_back(r);
                from = comma + 1;
            }
        } else if (a == "--integral") {
            Interval r;
            if (!ParseInterval(v, r))
                return fail("--integral takes X1:X2, not '" + v + "'");
            out.Integral = r;
        } else {
            out.Reference = v;
        }
    }
    if ((linesGiven || modulationGiven) && !out.Fit)
        return fail("--lines and --modulation need --fit");
    args = std::move(rest);
    return true;
}

ReferenceIntegral AnalyseReference(const CliOptions& options) {
    ReferenceIntegral r;
    Spectrum s;
    std::string cause;
    if (!LoadSpectrum(options.Reference, s, &cause)) {
        r.Error = "The reference file failed to load: " + cause;
        return r;
    }
    const BaseLineFit b = FitBaseLine(s, options.Base);
    r.Integral = DoubleIntegral(s, b, options.Integral);
    if (!r.Integral.Ok())
        r.Error = "The reference file: " + r.Integral.Error;
    else if (!std::isfinite(r.Integral.Normalised.Value) || r.Integral.Normalised.Value == 0)
        r.Error = "The reference file gives no normalised double integral (gain or modulation "
                  "amplitude missing, or no area)";
    return r;
}

std::string AnalysisObjectJson(const Spectrum& s, const CliOptions& options,
                               const ReferenceIntegral* reference, bool* failed) {
    const BaseLineFit b = FitBaseLine(s, options.Base);
    bool bad = !b.Ok();
    std::string o = "{";
    Key(o, "baseline");
    BaseLineJson(o, b, options, s);
    if (options.Fit) {
        const LineShapeFit f = FitLineShape(s, b, options.FitWith);
        bad = bad || !f.Ok();
        Key(o, "fit");
        FitJson(o, f);
    }
    const DoubleIntegralResult d = DoubleIntegral(s, b, options.Integral);
    std::string integralError = d.Error;
    Measured ratio;
    if (d.Ok() && reference) {
        if (!reference->Error.empty())
            integralError = reference->Error;
        else if (!std::isfinite(d.Normalised.Value))
            integralError = "The file gives no gain or modulation amplitude to normalise by";
        else
            ratio = SpinRatio(d, reference->Integral);
    }
    bad = bad || !integralError.empty();
    Key(o, "integral");
    IntegralJson(o, d, ratio, integralError);
    const TrueMoments m = MomentsOfAbsorption(s, b, options.Integral);
    bad = bad || !m.Ok();
    Key(o, "moments");
    MomentsJson(o, m);
    o += '}';
    if (failed)
        *failed = bad;
    return o;
}

std::string WithAnalysis(const std::string& line, const std::string& object) {
    const std::size_t close = line.rfind('}');
    if (close == std::string::npos)
        return line;
    return line.substr(0, close) + ",\"analysis\":" + object + line.substr(close);
}

const char* AnalysisUsage() {
    return "Analysis (any of these adds an \"analysis\" object to each file's line; the\n"
           "values above stay as they are):\n"
           "  --fit lorentzian|gaussian|voigt   fit the line shape (adds \"fit\")\n"
           "  --lines N           lines to fit, 1 to 3 (default 1)\n"
           "  --baseline X1:X2[,X3:X4...]   base-line regions (default: the first and\n"
           "                      the last tenth of the sweep)\n"
           "  --order K           base-line polynomial order 0 to 3 (default 1)\n"
           "  --modulation on|off|auto   modulation-broadened model (default auto: on\n"
           "                      when the modulation amplitude exceeds a tenth of the\n"
           "                      fitted peak-to-peak width)\n"
           "  --integral X1:X2    double-integral interval (default: the whole sweep)\n"
           "  --reference FILE    a standard sample: adds the ratio of the normalised\n"
           "                      double integrals\n"
           "X values are in the file's X unit (Gs or kHz), relative to the sweep centre.\n"
           "Y values are sum / passes, unrounded and unclamped (so they can differ from\n"
           "the values above). Each ...Err is one standard error; null where a value\n"
           "does not apply. Every part carries \"error\": null, or why it failed (its\n"
           "numbers are then null and the exit status is 1).\n"
           "  baseline    order, regions [[from, to], ...], coefficients (c0 first, in\n"
           "              powers of X), noiseRms (RMS of the corrected points in the\n"
           "              regions, over points - order - 1) and noisePoints\n"
           "  fit         model, modulation (true when the broadened model was used),\n"
           "              converged, iterations, chi2red (residual variance over\n"
           "              noiseRms^2), residualRms, offset, offsetErr, error, and lines:\n"
           "    centre, widthPP (peak-to-peak width of the line's derivative without\n"
           "    modulation broadening), fwhm (of its absorption), amplitude (peak-to-\n"
           "    peak height of the line's fitted curve as detected), doubleIntegral (of\n"
           "    that curve over the whole X axis), g (ESR files, from B0 + centre), and\n"
           "    for voigt widthL, widthG (FWHM of the Lorentzian and Gaussian parts)\n"
           "  integral    from, to, value (integral of the absorption, itself the\n"
           "              running integral of the corrected derivative from 'from'),\n"
           "              normalised = value / (gain x modulation amplitude in Gs), ratio\n"
           "              = normalised / the reference's (null without --reference)\n"
           "  moments     centre, M2, M4 of the corrected absorption over the integral\n"
           "              interval about its first moment, with true distances and\n"
           "              without the modulation correction; M4overM2sq\n"
           "The modulation amplitude of the file is taken as the peak amplitude a of\n"
           "B + a cos(wt): the detected line is (2/pi) int_0^pi f(B + a cos t) cos t dt.\n";
}

} // namespace tavi::analysis
