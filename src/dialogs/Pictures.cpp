// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/Pictures.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace tavi {

namespace {

// Derivative of a Lorentzian line, normalised to a peak height of 1.
double DerivativeLine(double x) {
    const double d = 1.0 + x * x;
    // The extremes of -2x/(1+x^2)^2 lie at x = +-1/sqrt(3), value 3*sqrt(3)/8.
    return (-2.0 * x / (d * d)) / (3.0 * std::sqrt(3.0) / 8.0);
}

} // namespace

QPixmap ResonancePicture(QSize size, bool withTitle) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    const double w = size.width();
    const double h = size.height();
    const double titleHeight = withTitle ? h * 0.32 : 0.0;
    const QRectF plot(w * 0.06, titleHeight + h * 0.04, w * 0.88, h - titleHeight - h * 0.10);

    if (withTitle) {
        QFont font("DejaVu Sans");
        font.setBold(true);
        font.setPixelSize(static_cast<int>(titleHeight * 0.8));
        p.setFont(font);
        p.setPen(QColor(0x80, 0x00, 0x00));
        p.drawText(QRectF(0, 0, w, titleHeight), Qt::AlignCenter, QStringLiteral("TAVI"));
    }

    // Field axis with ticks.
    const double midY = plot.center().y();
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), std::max(1.0, w / 300.0)));
    p.drawLine(QPointF(plot.left(), midY), QPointF(plot.right(), midY));
    for (int i = 0; i <= 10; ++i) {
        const double x = plot.left() + plot.width() * i / 10.0;
        const double tick = (i % 5 == 0) ? h * 0.03 : h * 0.015;
        p.drawLine(QPointF(x, midY - tick), QPointF(x, midY + tick));
    }

    // The line itself: x from -6 to 6 half widths.
    QPainterPath path;
    const int steps = 400;
    for (int i = 0; i <= steps; ++i) {
        const double u = -6.0 + 12.0 * i / steps;
        const QPointF pt(plot.left() + plot.width() * i / steps,
                         midY - DerivativeLine(u) * plot.height() * 0.46);
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    p.setPen(QPen(QColor(0x00, 0x40, 0xC0), std::max(1.5, w / 130.0), Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.drawPath(path);
    return pixmap;
}

QIcon SpeakerIcon() {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(QColor(0x30, 0x30, 0x30));
    const QPointF body[] = {{3, 9}, {7, 9}, {12, 4}, {12, 20}, {7, 15}, {3, 15}};
    p.drawPolygon(body, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x00, 0x60, 0x00), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(10, 8, 6, 8), -60 * 16, 120 * 16);
    p.drawArc(QRectF(9, 5, 11, 14), -60 * 16, 120 * 16);
    p.drawArc(QRectF(8, 2, 15, 20), -60 * 16, 120 * 16);
    return QIcon(pixmap);
}

void CentreOnScreen(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace tavi
