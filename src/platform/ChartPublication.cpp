// SPDX-License-Identifier: GPL-3.0-or-later
// Publication pictures of a chart: the print look, the size dialog.
#include "platform/ChartPublication.h"

#include "platform/Seams.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <qcustomplot.h>

namespace tavi {

namespace {

// "# ##0.### [Gs]" -> "Gs".
QString UnitOf(const std::string& picture) {
    const auto open = picture.rfind('[');
    const auto close = picture.rfind(']');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return {};
    return QString::fromStdString(picture.substr(open + 1, close - open - 1));
}

} // namespace

QColor PublicationColour(QColor colour) {
    if (colour.hslSaturation() < 40)
        return Qt::black; // white and greys
    const double luminance = 0.299 * colour.red() + 0.587 * colour.green() + 0.114 * colour.blue();
    if (luminance > 160)
        return colour.darker(220); // yellow becomes olive
    return colour;
}

PublicationLook::PublicationLook(TChart& chart, bool on) : chart_(chart), on_(on) {
    if (!on_)
        return;
    QCustomPlot* plot = chart.Plot();
    axisRect_ = plot->axisRect()->backgroundBrush();
    const QString fallback[2] = {
        UnitOf(chart.BottomAxis().ValueFormat()).isEmpty()
            ? QStringLiteral("Sweep")
            : QStringLiteral("Sweep [%1]").arg(UnitOf(chart.BottomAxis().ValueFormat())),
        QStringLiteral("Signal [a.u.]")};
    int k = 0;
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis2}) {
        axes_.push_back({axis, axis->basePen(), axis->tickPen(), axis->subTickPen(),
                         axis->grid()->pen(), axis->grid()->zeroLinePen(), axis->tickLabelColor(),
                         axis->labelColor(), axis->label()});
        const QPen black(Qt::black, 1);
        axis->setBasePen(black);
        axis->setTickPen(black);
        axis->setSubTickPen(black);
        axis->setTickLabelColor(Qt::black);
        axis->setLabelColor(Qt::black);
        axis->grid()->setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(QPen(QColor(160, 160, 160), 0, Qt::DotLine));
        if (!chart.publicationTitles_[k].isEmpty())
            axis->setLabel(chart.publicationTitles_[k]);
        else if (axis->label().isEmpty())
            axis->setLabel(fallback[k]);
        ++k;
    }
    plot->setBackground(Qt::white);
    plot->axisRect()->setBackground(Qt::white);
    chart.publication_ = true;
}

PublicationLook::~PublicationLook() {
    if (!on_)
        return;
    QCustomPlot* plot = chart_.Plot();
    for (const AxisLook& a : axes_) {
        a.Axis->setBasePen(a.Base);
        a.Axis->setTickPen(a.Tick);
        a.Axis->setSubTickPen(a.SubTick);
        a.Axis->grid()->setPen(a.Grid);
        a.Axis->grid()->setZeroLinePen(a.Zero);
        a.Axis->setTickLabelColor(a.TickLabel);
        a.Axis->setLabelColor(a.Label);
        a.Axis->setLabel(a.Text);
    }
    plot->setBackground(axisRect_);
    plot->axisRect()->setBackground(axisRect_);
    chart_.publication_ = false;
}

void TChart::SetPicture(const PictureStyle& style) {
    pictureStyle_ = style;
    if (contextMenu_) {
        if (auto* a = contextMenu_->findChild<QAction*>(QStringLiteral("PicturePublicationAction")))
            a->setChecked(style.Publication);
        if (auto* a = contextMenu_->findChild<QAction*>(QStringLiteral("PictureOnScreenAction")))
            a->setChecked(!style.Publication);
    }
}

void TChart::SetPublicationTitles(const QString& bottom, const QString& right) {
    publicationTitles_[0] = bottom;
    publicationTitles_[1] = right;
}

void TChart::PictureSizeDialog() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("PictureSizeDialog"));
    dialog.setWindowTitle(QStringLiteral("Publication size"));
    auto* form = new QFormLayout(&dialog);
    auto* width = new QDoubleSpinBox(&dialog);
    auto* height = new QDoubleSpinBox(&dialog);
    for (QDoubleSpinBox* box : {width, height}) {
        box->setRange(20, 1000);
        box->setDecimals(0);
        box->setSuffix(QStringLiteral(" mm"));
    }
    width->setObjectName(QStringLiteral("PictureWidthEdit"));
    height->setObjectName(QStringLiteral("PictureHeightEdit"));
    width->setValue(pictureStyle_.WidthMm);
    height->setValue(pictureStyle_.HeightMm);
    auto* dpi = new QSpinBox(&dialog);
    dpi->setObjectName(QStringLiteral("PictureDpiEdit"));
    dpi->setRange(72, 1200);
    dpi->setSuffix(QStringLiteral(" dpi"));
    dpi->setValue(pictureStyle_.Dpi);
    form->addRow(QStringLiteral("Width"), width);
    form->addRow(QStringLiteral("Height"), height);
    form->addRow(QStringLiteral("Resolution"), dpi);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (Dialogs().Exec(dialog) != QDialog::Accepted)
        return;
    pictureStyle_.WidthMm = width->value();
    pictureStyle_.HeightMm = height->value();
    pictureStyle_.Dpi = dpi->value();
}

} // namespace tavi
