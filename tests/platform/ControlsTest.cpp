// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Controls.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace tavi {
namespace {

// A kept group box must paint what the style paints for a plain one, on a
// whole paint and on a label's repaint, after each change the style reads.
struct BoxChange {
    const char* name;
    std::function<void(QGroupBox&)> change;
};

class KeptGroupBoxTest : public ::testing::TestWithParam<BoxChange> {};

QImage Painted(QWidget& parent, QRegion region) {
    QImage image(parent.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(212, 208, 200));
    parent.render(&image, QPoint(), region, QWidget::DrawChildren);
    return image;
}

// Composing through a kept picture may round a blended edge by one step.
int LargestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                largest = std::max(largest, std::abs(d));
        }
    return largest;
}

TEST_P(KeptGroupBoxTest, PaintsWhatTheStylePaints) {
    QWidget parents[2];
    QGroupBox* boxes[2] = {new QGroupBox(QStringLiteral("Processing parameters"), &parents[0]),
                           new TGroupBox(QStringLiteral("Processing parameters"), &parents[1])};
    QLabel* labels[2];
    for (int k = 0; k < 2; ++k) {
        parents[k].resize(220, 160);
        QFont bold = boxes[k]->font();
        bold.setBold(true);
        boxes[k]->setFont(bold);
        boxes[k]->setGeometry(10, 10, 180, 120);
        labels[k] = new QLabel(QStringLiteral("1.234 Gs"), boxes[k]);
        labels[k]->setGeometry(20, 40, 90, 14);
        Painted(parents[k], QRegion(parents[k].rect())); // the first picture
        GetParam().change(*boxes[k]);
        labels[k]->setText(QStringLiteral("5.678 Gs"));
    }
    const QRegion label(labels[0]->geometry().translated(boxes[0]->pos()));
    for (const QRegion& region : {label, QRegion(parents[0].rect())})
        EXPECT_LE(LargestDifference(Painted(parents[0], region), Painted(parents[1], region)), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, KeptGroupBoxTest,
    ::testing::Values(BoxChange{"None", [](QGroupBox&) {}},
                      BoxChange{"Title", [](QGroupBox& b) { b.setTitle(QStringLiteral("Mode")); }},
                      BoxChange{"Size", [](QGroupBox& b) { b.resize(150, 90); }},
                      BoxChange{"Disabled", [](QGroupBox& b) { b.setEnabled(false); }},
                      BoxChange{"Font",
                                [](QGroupBox& b) {
                                    QFont f = b.font();
                                    f.setPointSize(f.pointSize() + 3);
                                    b.setFont(f);
                                }},
                      BoxChange{"CaptionColour",
                                [](QGroupBox& b) {
                                    QPalette p = b.palette();
                                    p.setColor(QPalette::WindowText, Qt::darkBlue);
                                    b.setPalette(p);
                                }},
                      BoxChange{"Flat", [](QGroupBox& b) { b.setFlat(true); }},
                      BoxChange{"Alignment",
                                [](QGroupBox& b) { b.setAlignment(Qt::AlignHCenter); }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tavi
