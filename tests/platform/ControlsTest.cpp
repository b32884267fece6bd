// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Controls.h"

#include <QImage>
#include <QLabel>
#include <functional>
#include <gtest/gtest.h>

namespace tavi {
namespace {

// A kept group box paints what the style paints for a plain one, on a whole
// paint and on a label's repaint, after each change the style reads.
TEST(KeptGroupBoxTest, PaintsWhatTheStylePaints) {
    const std::pair<const char*, std::function<void(QGroupBox&)>> changes[] = {
        {"None", [](QGroupBox&) {}},
        {"Title", [](QGroupBox& b) { b.setTitle(QStringLiteral("Mode")); }},
        {"Size", [](QGroupBox& b) { b.resize(150, 90); }},
        {"Font", [](QGroupBox& b) { b.setFont(QFont(b.font().family(), 14)); }},
        {"Colour", [](QGroupBox& b) { b.setPalette(QPalette(Qt::darkBlue)); }},
        {"StyleSheet", [](QGroupBox& b) { b.setStyleSheet("QGroupBox { color: red; }"); }}};
    for (const auto& [name, change] : changes) {
        QWidget parents[2];
        QImage painted[2][2];
        for (int k = 0; k < 2; ++k) {
            const QString title = QStringLiteral("Processing parameters");
            QGroupBox* box =
                k ? new TGroupBox(title, &parents[k]) : new QGroupBox(title, &parents[k]);
            box->setGeometry(10, 10, 180, 120);
            auto* label = new QLabel(QStringLiteral("1.234 Gs"), box);
            label->setGeometry(20, 40, 90, 14);
            parents[k].resize(220, 160);
            const QRegion regions[2] = {label->geometry().translated(box->pos()),
                                        parents[k].rect()};
            parents[k].grab(); // a first picture, then the change
            change(*box);
            label->setText(QStringLiteral("5.678 Gs"));
            for (int r = 0; r < 2; ++r) {
                painted[k][r] = QImage(parents[k].size(), QImage::Format_ARGB32_Premultiplied);
                painted[k][r].fill(Qt::lightGray);
                parents[k].render(&painted[k][r], QPoint(), regions[r], QWidget::DrawChildren);
            }
        }
        for (int r = 0; r < 2; ++r)
            EXPECT_EQ(painted[0][r], painted[1][r]) << name << " region " << r;
    }
}

} // namespace
} // namespace tavi
