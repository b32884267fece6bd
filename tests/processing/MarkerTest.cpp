// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "processing/UMMarker.h"
#include "processing/UZoom.h"

#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

namespace tavi {
namespace {

// ---------------------------------------------------------------- pure parts

TEST(MarkerMaths, DragIndexRoundsHalvesToEven) {
    EXPECT_EQ(DragIndex(10, 100, 100, 2), 10);
    EXPECT_EQ(DragIndex(10, 100, 101, 2), 10); // 0.5 -> 0
    EXPECT_EQ(DragIndex(10, 100, 103, 2), 12); // 1.5 -> 2
    EXPECT_EQ(DragIndex(10, 100, 105, 2), 12); // 2.5 -> 2
    EXPECT_EQ(DragIndex(10, 100, 99, 2), 10);  // -0.5 -> 0
    EXPECT_EQ(DragIndex(10, 100, 97, 2), 8);   // -1.5 -> -2
    EXPECT_EQ(DragIndex(0, 50, 350, 0.6), 500);
    EXPECT_EQ(DragIndex(0, 50, 1000000, 0.6), 1666583); // 1666583.33
}

TEST(MarkerMaths, GrabDistanceIsHalfAPercentOfThePlotWidth) {
    EXPECT_TRUE(WithinGrabDistance(0, 600));
    EXPECT_TRUE(WithinGrabDistance(3, 600));
    EXPECT_FALSE(WithinGrabDistance(4, 600));
    EXPECT_FALSE(WithinGrabDistance(20, 600));
    EXPECT_TRUE(WithinGrabDistance(4, 800));
    EXPECT_FALSE(WithinGrabDistance(1, 100));
}

TEST(MarkerMaths, LevelRowStaysInsideTheAxis) {
    EXPECT_EQ(ClampLevelRow(-30, 620, -500, 500, 330, 9), 9);
    EXPECT_EQ(ClampLevelRow(400, -600, -500, 500, 330, 9), 330);
    EXPECT_EQ(ClampLevelRow(100, 250, -500, 500, 330, 9), 100);
    EXPECT_EQ(ClampLevelRow(9, 500, -500, 500, 330, 9), 9);
}

TEST(MarkerMaths, ReadoutTexts) {
    SetNumberSeparators({'.', ' '});
    EXPECT_EQ(VerticalReadout('B', 12.5, "Gs", -37), " B: 12.50 Gs \xE2\x80\xA2 A: -37 a.u.");
    EXPECT_EQ(VerticalReadout('F', 1250.125, "kHz", 36.5),
              " F: 1 250.13 kHz \xE2\x80\xA2 A: 36 a.u.");
    EXPECT_EQ(VerticalReadout('B', -3, "Gs", -2.5), " B: -3.00 Gs \xE2\x80\xA2 A: -2 a.u.");
    EXPECT_EQ(LevelReadout(500), " A: 500 a.u.");
    EXPECT_EQ(LevelReadout(-0.5), " A: 0 a.u.");
    EXPECT_EQ(LevelReadout(3.5), " A: 4 a.u.");
}

// ---------------------------------------------------------------- on a chart

// A 1001-point curve, X 0 .. 1000, on a chart whose plot is 600 pixels wide.
class MarkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetNumberSeparators({'.', ' '});
        chart.resize(700, 350);
        chart.SetBackground(Qt::black); // inverted pixels turn white
        chart.show();
        chart.BottomAxis().SetMinMax(0, 1000);
        chart.RightAxis().SetMinMax(-500, 500);
        chart.RightAxis().SetIncrement(250);
        TChartSeries& s = chart.AddSeries();
        for (int i = 0; i <= 1000; ++i)
            s.AddXY(i, (i % 200) - 100, Qt::yellow);
        base = &chart.AddSeries();
        for (int i = 0; i <= 1000; ++i)
            base->AddXY(i, 10, Qt::white);
        chart.RepaintNow();
        chart.resize(700 - chart.PlotRect().width() + 600, 350);
        chart.RepaintNow();
        ASSERT_EQ(chart.PlotRect().width(), 600);
    }
    void AttachVertical(int style = 0) {
        marker.Attach(chart, 1001, mkVertical, 'B', "Gs", style, &readout, 137, 320, 1);
        chart.RepaintNow();
    }
    int X(int index) { return chart.BottomAxis().CalcPosValue(chart.Series(0).X(index)); }
    int Y() { return chart.PlotRect().center().y(); }
    void Down(int x, int y, Qt::MouseButton b = Qt::LeftButton) { chart.OnMouseDown(b, x, y); }
    void Move(int x, int y) { chart.OnMouseMove(x, y); }
    void Up(int x, int y) { chart.OnMouseUp(Qt::LeftButton, x, y); }
    QImage Picture() {
        chart.RepaintNow();
        return chart.grab().toImage();
    }

    TChart chart;
    TChartSeries* base = nullptr;
    QLabel readout;
    ChartMarker marker{ChartMarker::MarkerStart::Cursor};
};

TEST_F(MarkerTest, StartValues) {
    EXPECT_EQ(marker.PointIndex, 15);
    EXPECT_EQ(marker.CursorCentreY, 50);
    EXPECT_EQ(marker.LevelY, 50);
    EXPECT_FALSE(marker.Active);
    ChartMarker zero;
    EXPECT_EQ(zero.PointIndex, 0);
    EXPECT_EQ(zero.LevelY, 0);
    EXPECT_EQ(zero.Chart, nullptr);
}

TEST_F(MarkerTest, AttachSetsTheFieldsAndTheFirstDrawingTheScale) {
    marker.LevelY = 77;
    marker.References[1] = 5;
    marker.ReferenceCount = 3;
    marker.Attach(chart, 1001, mkVertical, 'F', "kHzXY", 1, &readout, 137, 320, 1);
    EXPECT_TRUE(marker.Active);
    EXPECT_EQ(marker.UnitText, "kHzX");
    EXPECT_EQ(marker.ReferenceCount, 0);
    EXPECT_EQ(marker.SeriesIndex, 0);
    EXPECT_EQ(marker.LevelY, 77);
    EXPECT_EQ(chart.Canvas().PenColour(), kMarkerRestPen);
    EXPECT_TRUE(chart.OnMouseDown && chart.OnMouseMove && chart.OnMouseUp && chart.OnAfterDraw);
    chart.RepaintNow();
    EXPECT_NEAR(marker.PixelsPerPoint, 600.0 / 1001, 1e-9); // divided by the count
    EXPECT_EQ(marker.CursorCentreY, chart.PlotRect().top() + chart.PlotRect().height() / 2);
    EXPECT_EQ(marker.PointIndex, 15); // visible, so kept
    EXPECT_EQ(readout.text(), QString::fromUtf8(" F: 15.00 kHzX \xE2\x80\xA2 A: -85 a.u."));
    EXPECT_EQ(chart.Canvas().PenColour(), kMarkerRestPen);
}

TEST_F(MarkerTest, ReadoutSubtractsTheBaseLine) {
    AttachVertical();
    marker.SetBaseLineSeries(base);
    marker.MoveTo(150);
    EXPECT_DOUBLE_EQ(marker.Amplitude(150), 40);
    EXPECT_EQ(readout.text(), QString::fromUtf8(" B: 150.00 Gs \xE2\x80\xA2 A: 40 a.u."));
    marker.Detach();
    EXPECT_EQ(marker.BaseLineSeries, nullptr);
    EXPECT_DOUBLE_EQ(marker.Amplitude(150), 50);
    EXPECT_DOUBLE_EQ(marker.Amplitude(5000), 0);
}

TEST_F(MarkerTest, ClickOnTheCursorDragsAndBesideItSteps) {
    AttachVertical();
    marker.MoveTo(500);
    Down(X(500) + 3, Y());
    EXPECT_TRUE(marker.Dragging);
    EXPECT_EQ(marker.PointIndex, 500);
    Up(X(500), Y());
    EXPECT_FALSE(marker.Dragging);
    Down(X(500) + 20, Y());
    EXPECT_FALSE(marker.Dragging);
    EXPECT_EQ(marker.PointIndex, 501);
    Down(X(501) - 20, Y());
    EXPECT_EQ(marker.PointIndex, 500);
    Down(X(500) + 20, Y(), Qt::RightButton); // left button only
    EXPECT_EQ(marker.PointIndex, 500);
}

TEST_F(MarkerTest, DragFollowsTheMouseAndStopsAtTheVisibleRange) {
    AttachVertical();
    marker.MoveTo(500);
    Down(X(500), Y());
    Move(X(0) + 300, Y());
    // 300 pixels at 600/1001 pixels per point: 500.5 points, halves to even.
    EXPECT_EQ(marker.PointIndex, 500);
    Move(X(0) + 301, Y());
    EXPECT_EQ(marker.PointIndex, 502);
    Up(0, 0);
    Move(X(0) + 100, Y()); // not dragging any more
    EXPECT_EQ(marker.PointIndex, 502);

    // Zoom to 200 .. 400, then drag beyond the right end.
    chart.OnZoom = [&] { marker.PixelsPerPoint = 0; };
    marker.MoveTo(300);
    QRect plot = chart.PlotRect();
    chart.ZoomRect(QRect(QPoint(X(200), plot.top()), QPoint(X(400), plot.bottom())));
    int last = chart.Series(0).LastVisibleIndex();
    EXPECT_NEAR(last, 400, 1);
    EXPECT_EQ(marker.PointIndex, 300);
    Down(X(300), Y());
    ASSERT_TRUE(marker.Dragging);
    // The move's own drawing limits the index.
    Move(plot.right() + 200, Y());
    EXPECT_EQ(marker.PointIndex, last);
    EXPECT_EQ(marker.CurrentIndex(), last);
}

TEST_F(MarkerTest, ZoomKeepsAVisibleIndexAndCentresAHiddenOne) {
    AttachVertical();
    chart.OnZoom = [&] { marker.PixelsPerPoint = 0; };
    chart.OnUndoZoom = [&] { marker.PixelsPerPoint = 0; };
    marker.MoveTo(300);
    QRect plot = chart.PlotRect();
    chart.ZoomRect(QRect(QPoint(X(200), plot.top()), QPoint(X(400), plot.bottom())));
    EXPECT_EQ(marker.PointIndex, 300);
    EXPECT_NEAR(marker.PixelsPerPoint, 600.0 / 1001 * 5, 0.1);
    chart.UndoZoom();
    EXPECT_NEAR(marker.PixelsPerPoint, 600.0 / 1001, 1e-9);
    marker.MoveTo(800);
    chart.ZoomRect(QRect(QPoint(X(200), plot.top()), QPoint(X(400), plot.bottom())));
    int first = chart.Series(0).FirstVisibleIndex();
    int last = chart.Series(0).LastVisibleIndex();
    EXPECT_EQ(marker.PointIndex, first + (last - first) / 2);
}

TEST_F(MarkerTest, CentreAndCurrentIndex) {
    AttachVertical();
    marker.Centre();
    EXPECT_EQ(marker.PointIndex, 500);
    marker.PointIndex = 5000;
    EXPECT_EQ(marker.CurrentIndex(), 1000);
    marker.PointIndex = -4;
    EXPECT_EQ(marker.CurrentIndex(), 0);
}

TEST_F(MarkerTest, DetachLeavesOnlyTheAfterDrawHook) {
    AttachVertical(1);
    marker.Detach();
    EXPECT_FALSE(marker.Active);
    EXPECT_FALSE(chart.OnMouseDown || chart.OnMouseMove || chart.OnMouseUp);
    EXPECT_TRUE(chart.OnAfterDraw);
    EXPECT_EQ(marker.Chart, &chart);
    // Reference lines still draw; the cursor does not.
    marker.References[1] = 100;
    marker.ReferenceCount = 1;
    QImage image = Picture();
    EXPECT_EQ(image.pixelColor(X(100), Y() + 100), kReferenceLineColour);
    EXPECT_NE(image.pixelColor(X(marker.PointIndex), Y()), kMarkerColour);
    marker.SetKind(mkVertical); // a detached marker stays inactive
    EXPECT_FALSE(marker.Active);
}

TEST_F(MarkerTest, CursorAndReferenceLinesAreDrawn) {
    AttachVertical(1);
    marker.References[1] = 100;
    marker.References[2] = 900;
    marker.ReferenceCount = 2;
    marker.MoveTo(500);
    QImage image = Picture();
    EXPECT_EQ(image.pixelColor(X(500), Y() + 130), kMarkerColour);
    EXPECT_EQ(image.pixelColor(X(100), chart.PlotRect().top() + 1), kReferenceLineColour);
    EXPECT_EQ(image.pixelColor(X(900), chart.PlotRect().bottom() - 1), kReferenceLineColour);
    // Style 2: blue ticks of 50 pixels centred on the curve.
    marker.ReferenceStyle = 2;
    image = Picture();
    int y = chart.RightAxis().CalcPosValue(chart.Series(0).Y(100));
    EXPECT_EQ(image.pixelColor(X(100), y + 24), kReferenceTickColour);
    EXPECT_NE(image.pixelColor(X(100), y + 40), kReferenceTickColour);
    EXPECT_EQ(chart.Canvas().PenColour(), kMarkerRestPen);
}

// ---------------------------------------------------------------- cursor buttons

TEST_F(MarkerTest, MiddleCursorButtonCarriesTheMiddleReference) {
    AttachVertical(1);
    marker.References[1] = 100;
    marker.References[2] = 900;
    marker.References[3] = 500;
    bool lc = false, mc = true, rc = false;
    M2CTBClick(marker, CursorButton::MC, lc, mc, rc, 3);
    EXPECT_EQ(marker.PointIndex, 500);
    EXPECT_EQ(marker.SelectedReference, 3);
    EXPECT_EQ(marker.ReferenceCount, 2); // lines at slots 1 and 2: 100 and 900
    QImage image = Picture();
    EXPECT_EQ(image.pixelColor(X(100), Y() + 100), kReferenceLineColour);
    EXPECT_EQ(image.pixelColor(X(900), Y() + 100), kReferenceLineColour);

    marker.MoveTo(520);
    mc = false;
    M2CTBClick(marker, CursorButton::MC, lc, mc, rc, 3);
    EXPECT_EQ(marker.References[3], 520);
    EXPECT_EQ(marker.SelectedReference, 0);
    EXPECT_EQ(marker.ReferenceCount, 3);
    // The middle of slot 1 and slot N as they are after the store.
    EXPECT_EQ(marker.PointIndex, 100 + (520 - 100) / 2);
}

TEST_F(MarkerTest, TwoSlotCursorsSwapThroughTheLastSlot) {
    AttachVertical(1);
    marker.References[1] = 100;
    marker.References[2] = 900;
    bool lc = true, mc = false, rc = false;
    M2CTBClick(marker, CursorButton::LC, lc, mc, rc, 2);
    EXPECT_EQ(marker.PointIndex, 100);
    EXPECT_EQ(marker.ReferenceCount, 1);
    EXPECT_EQ(marker.References[1], 900); // the one line shows RC
    rc = true;
    M2CTBClick(marker, CursorButton::RC, lc, mc, rc, 2);
    EXPECT_FALSE(lc);
    EXPECT_TRUE(rc);
    EXPECT_EQ(marker.PointIndex, 900);
    EXPECT_EQ(marker.ReferenceCount, 1);
    EXPECT_EQ(marker.References[1], 100); // the stored LC
    EXPECT_EQ(marker.SelectedReference, 2);
}

TEST_F(MarkerTest, AnotherSenderRaisesAllButtonsAndCentres) {
    AttachVertical(1);
    marker.References[1] = 101;
    marker.References[2] = 900;
    marker.References[3] = 500;
    marker.SelectedReference = 2;
    marker.PointIndex = 700;
    bool lc = false, mc = false, rc = true;
    M2CTBClick(marker, CursorButton::Other, lc, mc, rc, 2);
    EXPECT_FALSE(lc || mc || rc);
    EXPECT_EQ(marker.References[2], 700);
    EXPECT_EQ(marker.SelectedReference, 0);
    EXPECT_EQ(marker.ReferenceCount, 2);
    EXPECT_EQ(marker.PointIndex, 101 + (700 - 101) / 2);
    marker.HideReferences();
    EXPECT_EQ(marker.ReferenceCount, 0);
}

// ---------------------------------------------------------------- level line

TEST_F(MarkerTest, LevelLineDraggedAboveThePlotStaysAtTheMaximum) {
    marker.Attach(chart, 1001, mkLevel, 'B', "Gs", 0, &readout, 137, 320, 1);
    chart.RepaintNow();
    EXPECT_EQ(marker.LevelY, 50);
    int top = chart.RightAxis().CalcPosValue(500);
    Down(300, 50 + 20); // beside: one pixel toward the click
    EXPECT_EQ(marker.LevelY, 51);
    EXPECT_FALSE(marker.Dragging);
    Down(300, 51 - 3); // within 3 pixels (half a percent of 600)
    EXPECT_TRUE(marker.Dragging);
    Move(300, top + 40);
    EXPECT_EQ(marker.LevelY, top + 40);
    Move(300, top - 40); // the move's own drawing keeps it inside
    EXPECT_EQ(marker.LevelY, top);
    EXPECT_EQ(readout.text(), " A: 500 a.u.");
    Move(300, 5000);
    chart.RepaintOverlay();
    EXPECT_EQ(marker.LevelY, chart.RightAxis().CalcPosValue(-500));
    EXPECT_EQ(readout.text(), " A: -500 a.u.");
    Up(0, 0);
    EXPECT_FALSE(marker.Dragging);
    QImage image = Picture();
    int centre = chart.PlotRect().left() + chart.PlotRect().width() / 2;
    EXPECT_EQ(image.pixelColor(centre - 300, marker.LevelY), kMarkerColour);
}

TEST_F(MarkerTest, SetKindSwitchesBetweenCursorAndLevelLine) {
    AttachVertical();
    marker.SetKind(mkLevel);
    chart.RepaintNow();
    EXPECT_TRUE(readout.text().startsWith(" A: "));
    marker.SetKind(mkVertical);
    EXPECT_TRUE(readout.text().startsWith(" B: "));
}

TEST(MarkerLifetime, AGoneMarkerTakesItsHooksAlong) {
    TChart chart;
    chart.resize(400, 300);
    chart.AddSeries().AddXY(0, 0, Qt::yellow);
    {
        ChartMarker marker;
        marker.Attach(chart, 1, mkVertical, 'B', "Gs", 0, nullptr, 10, 10, 1);
    }
    EXPECT_FALSE(chart.OnAfterDraw || chart.OnMouseDown || chart.OnMouseUp);
    chart.RepaintNow();
}

// ---------------------------------------------------------------- zoom

class ZoomTest : public MarkerTest {
protected:
    HorizontalZoom zoom;
};

TEST_F(ZoomTest, TwoClicksLeftToRightZoomToTheBand) {
    AttachVertical();
    int zooms = 0;
    chart.OnZoom = [&] {
        ++zooms;
        zoom.ZoomOff(); // the window ends the zoom mode from here
    };
    zoom.ZoomOn(chart);
    Down(X(200), 100, Qt::RightButton); // any button
    EXPECT_EQ(zoom.Selecting, 1);
    Move(X(400), 120);
    EXPECT_EQ(zoom.EndX, X(400));
    // The band shows inverted: black background turns white.
    chart.RepaintOverlay();
    QImage image = chart.grab().toImage();
    EXPECT_EQ(image.pixelColor(X(300), chart.PlotRect().top() + 3), QColor(Qt::white));
    Down(X(500), 100);
    EXPECT_EQ(zooms, 1);
    EXPECT_NEAR(chart.BottomAxis().Minimum(), 200, 2);
    EXPECT_NEAR(chart.BottomAxis().Maximum(), 400, 2);
    // The marker's hooks are back.
    EXPECT_FALSE(zoom.On());
    int index = marker.PointIndex;
    EXPECT_EQ(index, chart.Series(0).FirstVisibleIndex()); // 15 is no longer visible
    Down(X(index) + 20, Y());
    EXPECT_EQ(marker.PointIndex, index + 1);
}

TEST_F(ZoomTest, BandFromRightToLeftDoesNothingAndTheModeStays) {
    int zooms = 0;
    chart.OnZoom = [&] { ++zooms; };
    zoom.ZoomOn(chart);
    Down(X(400), 100);
    Move(X(200), 100);
    chart.RepaintOverlay();
    QImage image = chart.grab().toImage();
    EXPECT_NE(image.pixelColor(X(300), chart.PlotRect().top() + 3), QColor(Qt::white));
    Down(X(200), 100);
    EXPECT_EQ(zooms, 0);
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_TRUE(zoom.On());
    Down(X(600), 100); // a new band
    EXPECT_EQ(zoom.Selecting, 1);
    EXPECT_EQ(zoom.StartX, X(600));
    Down(X(600), 100); // same column: no zoom either
    EXPECT_EQ(zooms, 0);
}

TEST_F(ZoomTest, ZoomOffRestoresTheSavedHooks) {
    AttachVertical();
    zoom.ZoomOn(chart);
    zoom.ZoomOn(chart); // twice must not lose the marker's hooks
    zoom.ZoomOff();
    marker.MoveTo(500);
    Down(X(500) + 20, Y());
    EXPECT_EQ(marker.PointIndex, 501);
    EXPECT_EQ(zoom.Selecting, 0);
}

} // namespace
} // namespace tavi
