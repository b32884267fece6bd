// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/ProcAnalysis.h"

#include "common/JsonText.h"
#include "common/Usr.h"

#include <algorithm>

namespace tavi {

namespace {

int LastIndex(const std::vector<double>& v) {
    return static_cast<int>(v.size()) - 1;
}

void AnalyseDerivative(const LoadedDataFile& f, const std::vector<double>& base, int centre,
                       std::vector<double>& series2, DerivativeAnalysis& out) {
    const int last = LastIndex(f.Y);
    DerivativeValues(f.Y, base, 0, last, series2);
    // "M2": cursors where |Y| first reaches 20 from each end, MC at the centre.
    const MomentPlacement p = PlaceMomentCursors(series2, 0, LastIndex(series2), centre);
    out.MomentCursors = p.Slots;
    out.Moment = ComputeMoments(MomentKind::Derivative, f.X, series2, p.Slots.LC, p.Slots.RC,
                                p.Slots.MC, f.ModAmpValue);
    // "SDB": the extremes of the source; Series2 carries the source's X.
    out.SDBCursors = LineWidthCursors(f.Y);
    out.SDB = LineWidth(f.X, out.SDBCursors.LC, out.SDBCursors.RC);
}

void AnalyseAbsorption(const LoadedDataFile& f, const std::vector<double>& base, int centre,
                       ViewCurves& c, AbsorptionAnalysis& out) {
    std::vector<double>& series2X = c.AbsorptionX;
    std::vector<double>& series2 = c.AbsorptionY;
    const int last = LastIndex(f.Y);
    out.Factor = AbsorptionFactor(f.Y);
    Integrator absorption;
    absorption.Init(false);
    absorption.Factor = out.Factor;
    absorption.Integrate(IntegratorSource{f.X, f.Y, base, 0, last}, 0, last, kResultAxisMinimum,
                         kResultAxisMaximum, series2X, series2);
    const int last2 = LastIndex(series2);

    const MomentPlacement p = PlaceMomentCursors(series2, 0, last2, centre);
    out.MomentCursors = p.Slots;
    out.Moment = ComputeMoments(MomentKind::Absorption, series2X, series2, p.Slots.LC, p.Slots.RC,
                                p.Slots.MC, f.ModAmpValue);

    // "HDB" puts both cursors on the maximum; the redraw then looks for the
    // half-height crossings and shows the width between the cursors.
    const int peak = IndexOfMaximum(series2);
    out.HDBCursors = Cursors{peak, peak, 0};
    const HalfHeightResult h = FindHalfHeight(series2, 0, last2);
    out.HDBFound = h.Found;
    if (h.Found) {
        out.HDBCursors = Cursors{h.LC, h.RC, 0};
        out.HDB = LineWidth(series2X, h.LC, h.RC);
    } else {
        out.HDBError = h.Error;
    }

    // "Integral": the area integrator starts from Init's scale 1 with the
    // auto scale on; Sum does not depend on the scale.
    out.AICursors = IntegralCursors(static_cast<int>(series2.size()));
    Integrator area;
    area.Init(true);
    area.Factor = kAreaFactor;
    area.Integrate(IntegratorSource{series2X, series2, {}, 0, last2}, out.AICursors.LC,
                   out.AICursors.RC, kResultAxisMinimum, kResultAxisMaximum, c.AreaX, c.AreaY);
    out.AI = area.Sum;
}

} // namespace

SpectrumAnalysis AnalyseSpectrum(const LoadedDataFile& file, ViewCurves* curves) {
    ViewCurves local;
    ViewCurves& c = curves ? *curves : local;
    SpectrumAnalysis a;
    const int n = static_cast<int>(std::min(file.X.size(), file.Y.size()));
    a.Points = n;
    a.Clipped = file.Clipped;
    a.Line = FitBaseLine(file.Y);
    BaseLineValues(a.Line, n, c.BaseLineY);
    const int centre = FindCentreIndex(file.Y, c.BaseLineY);

    AnalyseDerivative(file, c.BaseLineY, centre, c.DerivativeY, a.Derivative);
    AnalyseAbsorption(file, c.BaseLineY, centre, c, a.Absorption);

    a.Esr = file.Settings.ModeText == "ESR";
    if (a.Esr && n > 0) {
        // "G" moves the cursor to the centre; the marker's CurrentIndex keeps
        // it within the visible range.
        a.GIndex = std::clamp(centre, 0, n - 1);
        a.G = GFactor(file.X[static_cast<std::size_t>(a.GIndex)], file.FieldB0Value,
                      file.FrequencyValue);
    }
    return a;
}

namespace {

class JsonObject {
public:
    explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
    void Key(std::string_view name) {
        if (!first_)
            out_ += ", ";
        first_ = false;
        AppendJsonString(out_, name);
        out_ += ": ";
    }
    void Number(std::string_view name, double v) {
        Key(name);
        AppendJsonNumber(out_, v);
    }
    void Index(std::string_view name, int v) {
        Key(name);
        AppendJsonNumber(out_, v);
    }
    void Text(std::string_view name, std::string_view v) {
        Key(name);
        AppendJsonString(out_, v);
    }
    void Null(std::string_view name) {
        Key(name);
        out_ += "null";
    }
    void Close() { out_ += '}'; }

private:
    std::string& out_;
    bool first_ = true;
};

void AppendMoments(JsonObject& o, const Moments& m) {
    o.Number("M2", m.M2);
    o.Number("M2L", m.M2L);
    o.Number("M2R", m.M2R);
    o.Number("M4", m.M4);
}

void AppendCursors(std::string& out, JsonObject& o, std::string_view name, const Cursors& c,
                   bool withMiddle) {
    o.Key(name);
    JsonObject inner(out);
    inner.Index("LC", c.LC);
    inner.Index("RC", c.RC);
    if (withMiddle)
        inner.Index("MC", c.MC);
    inner.Close();
}

} // namespace

std::string SpectrumAnalysisJson(std::string_view fileName, const SpectrumAnalysis& a) {
    std::string out;
    JsonObject o(out);
    o.Text("file", fileName);
    o.Number("baseSlope", a.Line.Slope);
    o.Number("baseOffset", a.Line.Offset);

    o.Key("derivative");
    {
        const DerivativeAnalysis& d = a.Derivative;
        JsonObject v(out);
        AppendMoments(v, d.Moment);
        AppendCursors(out, v, "cursors", d.MomentCursors, true);
        v.Number("SDB", d.SDB);
        AppendCursors(out, v, "SDBcursors", d.SDBCursors, false);
        v.Close();
    }

    o.Key("absorption");
    {
        const AbsorptionAnalysis& b = a.Absorption;
        JsonObject v(out);
        v.Index("factor", b.Factor);
        AppendMoments(v, b.Moment);
        AppendCursors(out, v, "cursors", b.MomentCursors, true);
        if (b.HDBFound) {
            v.Number("HDB", b.HDB);
            AppendCursors(out, v, "HDBcursors", b.HDBCursors, false);
            v.Null("HDBerror");
        } else {
            v.Null("HDB");
            v.Null("HDBcursors");
            v.Text("HDBerror", b.HDBError);
        }
        v.Number("AI", b.AI);
        AppendCursors(out, v, "AIcursors", b.AICursors, false);
        v.Close();
    }

    if (a.Esr) {
        o.Number("g", a.G);
        o.Index("gIndex", a.GIndex);
    }
    o.Index("clipped", a.Clipped);
    o.Close();
    out += '\n';
    return out;
}

std::string LoadErrorJson(std::string_view fileName, std::string_view error) {
    std::string out;
    JsonObject o(out);
    o.Text("file", fileName);
    o.Text("error", error);
    o.Close();
    out += '\n';
    return out;
}

} // namespace tavi
