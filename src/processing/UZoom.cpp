// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UZoom.h"

namespace tavi {

HorizontalZoom::~HorizontalZoom() {
    if (on_)
        ZoomOff();
}

void HorizontalZoom::ZoomOn(TChart& chart) {
    if (on_) // a second ZoomOn must not save the zoom's own hooks
        ZoomOff();
    Selecting = 0;
    Chart = &chart;
    SavedMouseMove = chart.OnMouseMove;
    SavedAfterDraw = chart.OnAfterDraw;
    SavedMouseDown = chart.OnMouseDown;
    chart.OnMouseMove = [this](int x, int y) { MouseMove(x, y); };
    chart.OnAfterDraw = [this] { AfterDraw(); };
    chart.OnMouseDown = [this](Qt::MouseButton b, int x, int y) { MouseDown(b, x, y); };
    on_ = true;
}

void HorizontalZoom::ZoomOff() {
    if (on_ && Chart) {
        Chart->OnMouseMove = SavedMouseMove;
        Chart->OnAfterDraw = SavedAfterDraw;
        Chart->OnMouseDown = SavedMouseDown;
    }
    on_ = false;
    Selecting = 0;
}

void HorizontalZoom::MouseDown(Qt::MouseButton, int x, int) {
    if (!Chart)
        return;
    if (Selecting == 0) {
        Selecting = 1;
        StartX = EndX = x;
        Chart->RepaintOverlay();
        return;
    }
    Selecting = 0;
    if (StartX < EndX) {
        QRect plot = Chart->PlotRect();
        Chart->ZoomRect(QRect(QPoint(StartX, plot.top()), QPoint(EndX, plot.bottom())));
    } else {
        Chart->RepaintOverlay(); // take the band away
    }
}

void HorizontalZoom::MouseMove(int x, int) {
    if (Selecting != 1 || !Chart)
        return;
    EndX = x;
    Chart->RepaintOverlay();
}

void HorizontalZoom::AfterDraw() {
    if (Selecting != 1 || EndX < StartX || !Chart)
        return;
    TChartCanvas& canvas = Chart->Canvas();
    QRect plot = Chart->PlotRect();
    canvas.SetInvertingPen(true);
    for (int x = StartX; x <= EndX; ++x)
        canvas.Line(x, plot.top(), x, plot.bottom());
    canvas.SetInvertingPen(false);
}

} // namespace tavi
