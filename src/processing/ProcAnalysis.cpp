// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/ProcAnalysis.h"

#include "common/JsonText.h"
#include "common/Usr.h"
#include "processing/ProcModel.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tavi {

namespace {

int LastIndex(std::span<const double> v) {
    return static_cast<int>(v.size()) - 1;
}

// The button's press on the model as the window makes it: the cursors where
// the button puts them, the moving cursor on none of them.
CursorPlacement Press(ProcModel& m, Measurement which) {
    const CursorPlacement p = m.Placement(which);
    m.SetMeasurement(which);
    m.SetCursors(CursorState{p.Slots, 0, p.Index});
    m.Recalculate();
    return p;
}

// The view on the whole sweep, unzoomed.
void ShowView(ProcModel& m, ResultView view, int last) {
    m.SetMeasurement(Measurement::None);
    m.SetView(view, 0, last);
    m.Recalculate();
    m.SetVisibleRange(0, LastIndex(m.CurveY()));
}

} // namespace

SpectrumAnalysis AnalyseSpectrum(const LoadedDataFile& file, ViewCurves* curves) {
    ViewCurves local;
    ProcModel m(curves ? *curves : local);
    SpectrumAnalysis a;
    const int n = static_cast<int>(std::min(file.X.size(), file.Y.size()));
    a.Points = n;
    a.Clipped = file.Clipped;
    m.SumAreaAhead(true);
    m.MeasurementsOnly(true);
    m.Load(file);
    a.Line = m.Line();
    const int last = LastIndex(file.Y);

    DerivativeAnalysis& d = a.Derivative;
    ShowView(m, ResultView::Derivative, last);
    d.MomentCursors = Press(m, Measurement::Moments).Slots;
    d.Moment = m.MomentValues();
    d.SDBCursors = Press(m, Measurement::PeakToPeakWidth).Slots;
    d.SDB = m.Width();
    if (file.Settings.ModeText == "ESR" && n > 0) {
        // "G" moves the cursor to the centre; the marker's CurrentIndex keeps
        // it within the visible range.
        a.Esr = true;
        a.GIndex = std::clamp(Press(m, Measurement::GFactor).Index, 0, n - 1);
        a.G = m.G();
    }

    AbsorptionAnalysis& b = a.Absorption;
    ShowView(m, ResultView::Absorption, last);
    b.Factor = m.AbsorptionIntegrator().Factor;
    b.MomentCursors = Press(m, Measurement::Moments).Slots;
    b.Moment = m.MomentValues();
    // "HDB" puts both cursors on the maximum; the search then moves them to
    // the half-height crossings and the width is measured between them.
    Press(m, Measurement::HalfHeightWidth);
    b.HDBCursors = m.UsedCursors().References;
    b.HDBFound = m.HalfHeight().Found;
    if (b.HDBFound)
        b.HDB = m.Width();
    else
        b.HDBError = m.HalfHeight().Error;
    b.AICursors = Press(m, Measurement::Area).Slots;
    b.AI = m.Area();
    a.Esr = file.Settings.ModeText == "ESR";
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

void AppendHeader(std::string& out, JsonObject& o, const LoadedDataFile& f) {
    o.Key("header");
    JsonObject h(out);
    h.Text("mode", f.Settings.ModeText);
    h.Number("B0", f.FieldB0Value);
    h.Number("frequency", f.FrequencyValue);
    h.Number("modAmp", f.ModAmpValue);
    h.Text("gain", f.Settings.GainText);
    h.Index("passes", static_cast<int>(f.Divisor));
    h.Text("sweep", f.Settings.FieldSweep != 0 ? "field" : "frequency");
    h.Number("sweepRange", static_cast<double>(f.Settings.SweepRange));
    h.Index("points", static_cast<int>(f.Y.size()));
    h.Text("comment", f.Settings.Comment);
    h.Close();
}

} // namespace

std::string SpectrumAnalysisJson(std::string_view fileName, const SpectrumAnalysis& a,
                                 const LoadedDataFile* header) {
    std::string out;
    JsonObject o(out);
    o.Text("file", fileName);
    if (header)
        AppendHeader(out, o, *header);
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

namespace {

// Spreadsheet fields: numbers in full precision, texts quoted when needed.
class CsvRow {
public:
    explicit CsvRow(std::string& out) : out_(out) {}
    void Text(std::string_view v) {
        Next();
        if (v.find_first_of(",\"\r\n") == std::string_view::npos) {
            out_ += v;
            return;
        }
        out_ += '"';
        for (char ch : v) {
            if (ch == '"')
                out_ += '"';
            out_ += ch;
        }
        out_ += '"';
    }
    void Number(double v) {
        Next();
        if (std::isfinite(v))
            AppendJsonNumber(out_, v);
    }
    void Index(int v) {
        Next();
        AppendJsonNumber(out_, v);
    }
    void Empty(int count = 1) {
        for (int k = 0; k < count; ++k)
            Next();
    }
    void End() { out_ += '\n'; }

private:
    void Next() {
        if (!first_)
            out_ += ',';
        first_ = false;
    }
    std::string& out_;
    bool first_ = true;
};

// X is in Gs for field sweeps and kHz for frequency sweeps: "u" names it.
// clang-format off
constexpr const char* kCsvColumns[] = {
    "file", "error", "mode", "B0 [Gs]", "frequency [kHz]", "modulation amplitude [Gs]", "gain",
    "passes", "sweep", "u", "sweep range [u]", "points", "comment",
    "base slope [1/point]", "base offset",
    "derivative M2 [u^2]", "derivative M2L [u^2]", "derivative M2R [u^2]", "derivative M4 [u^4]",
    "derivative LC", "derivative RC", "derivative MC", "SDB [u]", "SDB LC", "SDB RC",
    "absorption factor",
    "absorption M2 [u^2]", "absorption M2L [u^2]", "absorption M2R [u^2]", "absorption M4 [u^4]",
    "absorption LC", "absorption RC", "absorption MC", "HDB [u]", "HDB LC", "HDB RC",
    "HDB error", "AI", "AI LC", "AI RC", "g", "g index"};
// clang-format on

void CsvMoments(CsvRow& r, const Moments& m, const Cursors& c) {
    r.Number(m.M2);
    r.Number(m.M2L);
    r.Number(m.M2R);
    r.Number(m.M4);
    r.Index(c.LC);
    r.Index(c.RC);
    r.Index(c.MC);
}

} // namespace

std::string SpectrumCsvHeader() {
    std::string out;
    CsvRow r(out);
    for (const char* name : kCsvColumns)
        r.Text(name);
    r.End();
    return out;
}

std::string SpectrumCsvRow(std::string_view fileName, const LoadedDataFile& f,
                           const SpectrumAnalysis& a) {
    std::string out;
    CsvRow r(out);
    r.Text(fileName);
    r.Empty();
    r.Text(f.Settings.ModeText);
    r.Number(f.FieldB0Value);
    r.Number(f.FrequencyValue);
    r.Number(f.ModAmpValue);
    r.Text(f.Settings.GainText);
    r.Number(static_cast<double>(f.Divisor));
    const bool field = f.Settings.FieldSweep != 0;
    r.Text(field ? "field" : "frequency");
    r.Text(field ? "Gs" : "kHz");
    r.Number(static_cast<double>(f.Settings.SweepRange));
    r.Index(a.Points);
    r.Text(f.Settings.Comment);
    r.Number(a.Line.Slope);
    r.Number(a.Line.Offset);

    const DerivativeAnalysis& d = a.Derivative;
    CsvMoments(r, d.Moment, d.MomentCursors);
    r.Number(d.SDB);
    r.Index(d.SDBCursors.LC);
    r.Index(d.SDBCursors.RC);

    const AbsorptionAnalysis& b = a.Absorption;
    r.Index(b.Factor);
    CsvMoments(r, b.Moment, b.MomentCursors);
    if (b.HDBFound) {
        r.Number(b.HDB);
        r.Index(b.HDBCursors.LC);
        r.Index(b.HDBCursors.RC);
        r.Empty();
    } else {
        r.Empty(3);
        r.Text(b.HDBError);
    }
    r.Number(b.AI);
    r.Index(b.AICursors.LC);
    r.Index(b.AICursors.RC);
    if (a.Esr) {
        r.Number(a.G);
        r.Index(a.GIndex);
    } else {
        r.Empty(2);
    }
    r.End();
    return out;
}

std::string LoadErrorCsvRow(std::string_view fileName, std::string_view error) {
    std::string out;
    CsvRow r(out);
    r.Text(fileName);
    r.Text(error);
    r.Empty(static_cast<int>(std::size(kCsvColumns)) - 2);
    r.End();
    return out;
}

} // namespace tavi
