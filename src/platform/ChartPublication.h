// SPDX-License-Identifier: GPL-3.0-or-later
// The look of a chart while a publication picture is drawn; restores the
// screen look when it goes.
#pragma once

#include "platform/Chart.h"

#include <QBrush>
#include <QPen>
#include <QString>
#include <vector>

class QCPAxis;

namespace tavi {

class PublicationLook {
public:
    // Does nothing unless on.
    PublicationLook(TChart& chart, bool on);
    ~PublicationLook();
    PublicationLook(const PublicationLook&) = delete;
    PublicationLook& operator=(const PublicationLook&) = delete;

private:
    struct AxisLook {
        QCPAxis* Axis;
        QPen Base, Tick, SubTick, Grid, Zero;
        QColor TickLabel, Label;
        QString Text;
    };
    TChart& chart_;
    bool on_;
    QBrush axisRect_; // the plot's background too (SetBackground sets both)
    std::vector<AxisLook> axes_;
};

} // namespace tavi
