// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Chart.h"
#include "setup/FileTestUtil.h"
#include "support/FakeDialogs.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QImage>
#include <QMenu>
#include <QSpinBox>
#include <gtest/gtest.h>
#include <qcustomplot.h>

namespace tavi {
namespace {

// A yellow curve and a purple cursor on a dark chart.
class ChartPublicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        chart.resize(400, 250);
        chart.show();
        chart.BottomAxis().SetMinMax(0, 100);
        chart.BottomAxis().SetValueFormat("# ##0.### [Gs]");
        chart.RightAxis().SetMinMax(-500, 500);
        TChartSeries& s = chart.AddSeries();
        for (int i = 0; i <= 100; ++i)
            s.AddXY(i, 0, Qt::yellow);
        chart.OnAfterDraw = [this] { chart.Canvas().Cross(200, 125, 1, 40, QColor(0x80, 0x00, 0x80)); };
        chart.RepaintNow();
    }
    static int Count(const QImage& image, QRgb colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == colour;
        return n;
    }
    TChart chart;
    test::TempDir dir;
    test::ScopedFakeDialogs dialogs;
};

TEST_F(ChartPublicationTest, MenuChoiceAndSizeDialogSetTheStyle) {
    QMenu* menu = chart.ContextMenu();
    auto* screen = menu->findChild<QAction*>(QStringLiteral("PictureOnScreenAction"));
    auto* publication = menu->findChild<QAction*>(QStringLiteral("PicturePublicationAction"));
    ASSERT_TRUE(screen && publication);
    EXPECT_TRUE(screen->isChecked());
    EXPECT_EQ(publication->text(), QStringLiteral("for publication"));
    publication->trigger();
    EXPECT_TRUE(chart.Picture().Publication);
    EXPECT_FALSE(screen->isChecked());

    dialogs.fake.script = [](QDialog& d) {
        d.findChild<QDoubleSpinBox*>(QStringLiteral("PictureWidthEdit"))->setValue(85);
        d.findChild<QSpinBox*>(QStringLiteral("PictureDpiEdit"))->setValue(600);
        return int(QDialog::Accepted);
    };
    menu->findChild<QAction*>(QStringLiteral("PictureSizeAction"))->trigger();
    EXPECT_EQ(chart.Picture().WidthMm, 85);
    EXPECT_EQ(chart.Picture().Dpi, 600);
    EXPECT_EQ(chart.Picture().HeightMm, 100); // untouched
}

TEST_F(ChartPublicationTest, PngIsWhiteWithPrintColoursNoCursorsAndTheScreenLookReturns) {
    chart.SetPicture(PictureStyle{true, 80, 50, 300});
    const QString path = QString::fromStdString(dir.File("pub.png"));
    QString error;
    ASSERT_TRUE(chart.SavePicture(path, &error)) << error.toStdString();
    const QImage image(path);
    // 80 x 50 mm laid out at 96 dpi (302 x 189), drawn at 300 dpi.
    EXPECT_EQ(image.size(), QSize(944, 591));
    EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, 300, 1);
    EXPECT_EQ(image.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(Count(image, qRgb(255, 255, 0)), 0);       // yellow is not for paper
    EXPECT_GT(Count(image, PublicationColour(Qt::yellow).rgb()), 100);
    EXPECT_EQ(Count(image, qRgb(0x80, 0x00, 0x80)), 0);  // no cursor
    EXPECT_EQ(chart.Plot()->xAxis->label(), QString());  // the title was for the picture only

    // On screen again: the dark background and the cursor.
    const QImage screen = chart.grab().toImage();
    EXPECT_NE(screen.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_GT(Count(screen, qRgb(0x80, 0x00, 0x80)), 0);
}

TEST(PublicationColourTest, LightColoursDarkenGreysTurnBlack) {
    EXPECT_EQ(PublicationColour(Qt::white), QColor(Qt::black));
    EXPECT_EQ(PublicationColour(QColor(200, 200, 200)), QColor(Qt::black));
    EXPECT_LT(PublicationColour(Qt::yellow).lightness(), 100);
    EXPECT_EQ(PublicationColour(QColor(0x33, 0x88, 0xDD)), QColor(0x33, 0x88, 0xDD));
}

} // namespace
} // namespace tavi
