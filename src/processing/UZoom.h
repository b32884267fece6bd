// SPDX-License-Identifier: GPL-3.0-or-later
// The two-click horizontal zoom: the first click starts a band, the mouse
// drags its other end, the second click zooms the chart to the band's X range.
#pragma once

#include "platform/Chart.h"

#include <QPointer>
#include <cstdint>
#include <functional>

namespace tavi {

struct HorizontalZoom {
    std::int32_t StartX = 0;
    std::int32_t EndX = 0;
    std::uint8_t Selecting = 0;
    std::function<void(int, int)> SavedMouseMove;
    std::function<void()> SavedAfterDraw;
    std::function<void(Qt::MouseButton, int, int)> SavedMouseDown;
    QPointer<TChart> Chart;

    HorizontalZoom() = default;
    HorizontalZoom(const HorizontalZoom&) = delete;
    HorizontalZoom& operator=(const HorizontalZoom&) = delete;
    ~HorizontalZoom();

    // Takes over the chart's mouse-move, after-draw and mouse-down hooks.
    void ZoomOn(TChart& chart);
    // Gives them back.
    void ZoomOff();
    bool On() const { return on_; }

    // The hooks ZoomOn installs.
    void MouseDown(Qt::MouseButton button, int x, int y);
    void MouseMove(int x, int y);
    void AfterDraw();

private:
    bool on_ = false;
};

} // namespace tavi
