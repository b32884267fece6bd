// SPDX-License-Identifier: GPL-3.0-or-later
// The processing model's recalculation rule: what an input change redoes, and
// how the moving cursor and the half-height search enter the measurements.
#include "processing/ProcModel.h"

#include "processing/ProcAnalysis.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <gtest/gtest.h>

namespace tavi {
namespace {

// A Lorentzian derivative line over 100 units on a slight drift.
LoadedDataFile Line(int points = 401) {
    LoadedDataFile f;
    const double step = 100.0 / (points - 1), drift = 0.05 * step / 0.25;
    for (int i = 0; i < points; ++i) {
        const double x = (i - (points - 1) / 2) * step;
        f.X.push_back(x);
        f.Y.push_back(std::round(-300 * x / std::pow(1 + x * x / 9, 2) + drift * i));
    }
    f.ModAmpValue = 0.1;
    return f;
}

class ProcModelTest : public ::testing::Test {
protected:
    LoadedDataFile file = Line();
    ViewCurves curves;
    ProcModel m{curves};

    void Show(ResultView v) {
        m.Load(file);
        m.SetView(v, 0, 400);
        m.Recalculate();
        m.SetVisibleRange(0, 400);
    }
    void Press(Measurement which, int held = 0, int current = 0) {
        const CursorPlacement p = m.Placement(which);
        m.SetMeasurement(which);
        m.SetCursors(CursorState{p.Slots, held, current});
        m.Recalculate();
    }
};

TEST_F(ProcModelTest, ABaseLineChangeRebuildsTheCurveAndNothingElseDoes) {
    Show(ResultView::Derivative);
    const std::uint64_t built = m.CurveVersion();
    Press(Measurement::Moments);
    m.SetVisibleRange(0, 400);
    m.Recalculate();
    EXPECT_EQ(m.CurveVersion(), built);
    BaseLine line = m.Line();
    line.Offset += 7;
    m.SetBaseLine(line);
    m.Recalculate();
    EXPECT_NE(m.CurveVersion(), built);
    for (std::size_t i : {0u, 200u, 400u})
        EXPECT_DOUBLE_EQ(m.CurveY()[i], file.Y[i] - line.At(static_cast<int>(i)));
}

// The cursor the operator moves stands in for the reference it carries.
TEST_F(ProcModelTest, TheHeldCursorReplacesItsReference) {
    Show(ResultView::Derivative);
    const Cursors c = m.Placement(Measurement::Moments).Slots;
    for (int held : {1, 2, 3}) {
        for (int at : {c.LC + 5, c.MC - 3, c.RC}) {
            Press(Measurement::Moments, held, at);
            const Moments want = ComputeMoments(MomentKind::Derivative, m.CurveX(), m.CurveY(),
                                                held == 1 ? at : c.LC, held == 2 ? at : c.RC,
                                                held == 3 ? at : c.MC, file.ModAmpValue);
            EXPECT_EQ(m.MomentValues().M2, want.M2) << held << " at " << at;
            EXPECT_EQ(m.MomentValues().M4, want.M4) << held << " at " << at;
        }
    }
}

TEST_F(ProcModelTest, HalfHeightCursorsSnapToTheCrossingsUnlessHeld) {
    Show(ResultView::Absorption);
    Press(Measurement::HalfHeightWidth);
    const HalfHeightResult h = m.HalfHeight();
    ASSERT_TRUE(h.Found);
    EXPECT_EQ(m.UsedCursors().References.LC, h.LC);
    EXPECT_EQ(m.UsedCursors().References.RC, h.RC);
    const std::uint64_t search = m.HalfHeightSearch();
    // Holding LC keeps the search away; the width follows the cursor.
    const int top = m.Placement(Measurement::HalfHeightWidth).Slots.RC;
    Press(Measurement::HalfHeightWidth, 1, h.LC - 10);
    EXPECT_EQ(m.HalfHeightSearch(), search);
    EXPECT_DOUBLE_EQ(m.Width(), LineWidth(m.CurveX(), h.LC - 10, top));
    // Another visible range, or a new press, is another search.
    m.SetCursors({});
    m.SetVisibleRange(50, 350);
    m.Recalculate();
    EXPECT_GT(m.HalfHeightSearch(), search);
    const std::uint64_t zoomed = m.HalfHeightSearch();
    m.Repress();
    m.Recalculate();
    EXPECT_GT(m.HalfHeightSearch(), zoomed);
}

TEST_F(ProcModelTest, AbsorptionViewStartsTheAreaScaleAfresh) {
    Show(ResultView::Absorption);
    m.SetAxisRange(-1, 1); // far below the area: the auto scale shrinks
    Press(Measurement::Area);
    ASSERT_LT(m.AreaIntegrator().Scale, 1);
    m.SetView(ResultView::Absorption, 0, 400);
    EXPECT_EQ(m.AreaIntegrator().Scale, 1);
    EXPECT_EQ(m.AreaIntegrator().Factor, kAreaFactor);
}

// The passes that make two results at once (the base line with the derivative,
// the area with the absorption) give what the separate steps give, bit for
// bit, whatever the operator does between them.
struct Steps {
    const char* name;
    void (*run)(ProcModel&);
};

void PressOn(ProcModel& m, Measurement which) {
    const CursorPlacement p = m.Placement(which);
    m.SetMeasurement(which);
    m.SetCursors(CursorState{p.Slots, 0, p.Index});
    m.Recalculate();
}

void ShowWhole(ProcModel& m, ResultView v) {
    m.SetMeasurement(Measurement::None);
    m.SetView(v, 0, 400);
    m.Recalculate();
    m.SetVisibleRange(0, 400);
}

const Steps kSteps[] = {
    {"DerivativeThenIntegral",
     [](ProcModel& m) {
         ShowWhole(m, ResultView::Derivative);
         ShowWhole(m, ResultView::Absorption);
         PressOn(m, Measurement::Area);
     }},
    {"IntegralTwiceWithAnotherAxis",
     [](ProcModel& m) {
         ShowWhole(m, ResultView::Absorption);
         PressOn(m, Measurement::Area);
         m.SetAxisRange(-1, 1);
         m.Repress();
         m.Recalculate();
     }},
    {"IntegralOnANarrowAxis",
     [](ProcModel& m) {
         ShowWhole(m, ResultView::Absorption);
         m.SetAxisRange(-1e-3, 1e-4); // both ends of the area beyond it
         PressOn(m, Measurement::Area);
     }},
    {"IntegralOnAZoom",
     [](ProcModel& m) {
         ShowWhole(m, ResultView::Absorption);
         m.SetVisibleRange(60, 300);
         PressOn(m, Measurement::Area);
     }},
    {"MovedBaseLineThenIntegral",
     [](ProcModel& m) {
         ShowWhole(m, ResultView::Derivative);
         BaseLine line = m.Line();
         line.Slope += kBaseLineSlopeStep;
         m.SetBaseLine(line);
         m.Recalculate();
         ShowWhole(m, ResultView::Absorption);
         PressOn(m, Measurement::HalfHeightWidth);
         PressOn(m, Measurement::Area);
     }},
    {"PartOfTheSweep",
     [](ProcModel& m) {
         m.SetView(ResultView::Derivative, 20, 380);
         m.Recalculate();
         m.SetView(ResultView::Absorption, 0, 400);
         m.Recalculate();
         m.SetVisibleRange(0, 400);
         PressOn(m, Measurement::Area);
     }},
};

class JointPasses : public ::testing::TestWithParam<Steps> {};

TEST_P(JointPasses, GiveWhatTheSeparateStepsGive) {
    const LoadedDataFile file = Line(5001); // the joint sums go a block at a time
    ViewCurves separateCurves, jointCurves, leanCurves;
    ProcModel separate{separateCurves}, joint{jointCurves}, lean{leanCurves};
    separate.Load(file);
    (void)separate.BaseLineY(); // the values first, as the window draws them
    joint.SumAreaAhead(true);
    joint.Load(file);
    lean.SumAreaAhead(true);
    lean.MeasurementsOnly(true);
    lean.Load(file);
    GetParam().run(separate);
    GetParam().run(joint);
    GetParam().run(lean);
    EXPECT_TRUE(std::ranges::equal(lean.CurveY(), separate.CurveY()));
    EXPECT_EQ(lean.Area(), separate.Area());
    EXPECT_EQ(lean.Width(), separate.Width());
    EXPECT_EQ(lean.MomentValues().M2, separate.MomentValues().M2);
    EXPECT_EQ(lean.UsedCursors(), separate.UsedCursors());

    EXPECT_EQ(joint.CurveVersion(), separate.CurveVersion());
    EXPECT_TRUE(std::ranges::equal(joint.BaseLineY(), separate.BaseLineY()));
    EXPECT_TRUE(std::ranges::equal(joint.CurveX(), separate.CurveX()));
    EXPECT_TRUE(std::ranges::equal(joint.CurveY(), separate.CurveY()));
    EXPECT_TRUE(std::ranges::equal(joint.AreaX(), separate.AreaX()));
    EXPECT_TRUE(std::ranges::equal(joint.AreaY(), separate.AreaY()));
    EXPECT_EQ(joint.Area(), separate.Area());
    EXPECT_EQ(joint.AreaIntegrator().Scale, separate.AreaIntegrator().Scale);
    EXPECT_EQ(joint.Centre(), separate.Centre());
    EXPECT_EQ(joint.UsedCursors(), separate.UsedCursors());
}

INSTANTIATE_TEST_SUITE_P(Model, JointPasses, ::testing::ValuesIn(kSteps),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tavi
