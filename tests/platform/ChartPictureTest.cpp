// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Chart.h"
#include "setup/FileTestUtil.h"
#include "support/FakeDialogs.h"
#include "support/FileSizeLimit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <qcustomplot.h>

namespace tavi {
namespace {

using test::TempDir;
using ::testing::HasSubstr;

class ChartPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        chart.resize(400, 250);
        chart.SetBackground(QColor(0x6E, 0x92, 0x92));
        chart.show();
        chart.BottomAxis().SetMinMax(0, 100);
        chart.RightAxis().SetMinMax(-500, 500);
        TChartSeries& s = chart.AddSeries();
        for (int i = 0; i <= 100; ++i)
            s.AddXY(i, 0, Qt::yellow); // a yellow line across the middle
        marked = 0;
        chart.OnAfterDraw = [this] {
            ++marked;
            chart.Canvas().Cross(200, 125, 1, 40, QColor(0x80, 0x00, 0x80));
        };
        chart.RepaintNow();
    }
    QByteArray Bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    TChart chart;
    int marked = 0;
    TempDir dir;
};

TEST_F(ChartPictureTest, PngShowsCurvesAndMarkersAtTheChartsSize) {
    QString path = QString::fromStdString(dir.File("chart.png"));
    QString error;
    ASSERT_TRUE(chart.SavePicture(path, &error)) << error.toStdString();
    QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(400, 250));
    bool yellow = false, purple = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb p = image.pixel(x, y);
            yellow = yellow || p == qRgb(255, 255, 0);
            purple = purple || p == qRgb(0x80, 0, 0x80);
        }
    EXPECT_TRUE(yellow);
    EXPECT_TRUE(purple) << "the after-draw hooks belong to what the chart shows";
    // The screen drawing is laid out again for the widget.
    EXPECT_EQ(chart.Plot()->viewport(), chart.Plot()->rect());
}

struct VectorCase {
    const char* suffix;
    const char* start;
    const char* contains;
};

class ChartVectorPicture : public ChartPictureTest,
                           public ::testing::WithParamInterface<VectorCase> {};

TEST_P(ChartVectorPicture, WritesACompleteFile) {
    QString path = QString::fromStdString(dir.File(std::string("chart.") + GetParam().suffix));
    QString error;
    ASSERT_TRUE(chart.SavePicture(path, &error)) << error.toStdString();
    QByteArray bytes = Bytes(path);
    EXPECT_TRUE(bytes.startsWith(GetParam().start)) << bytes.left(40).toStdString();
    EXPECT_TRUE(bytes.contains(GetParam().contains));
    EXPECT_GT(marked, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, ChartVectorPicture,
                         ::testing::Values(VectorCase{"svg", "<?xml", "<svg"},
                                           VectorCase{"SVG", "<?xml", "</svg>"},
                                           VectorCase{"pdf", "%PDF-", "%%EOF"}),
                         [](const auto& info) { return std::string(info.param.suffix); });

TEST_F(ChartPictureTest, FailuresNameTheCauseAndLeaveNoFile) {
    QString error;
    QString missing = QString::fromStdString(dir.File("gone/chart.png"));
    EXPECT_FALSE(chart.SavePicture(missing, &error));
    EXPECT_THAT(error.toStdString(), HasSubstr("gone/chart.png"));

    QString jpeg = QString::fromStdString(dir.File("chart.jpg"));
    EXPECT_FALSE(chart.SavePicture(jpeg, &error));
    EXPECT_THAT(error.toStdString(), HasSubstr(".png, .svg or .pdf"));
    EXPECT_TRUE(dir.Entries().empty());
}

// A write cut short by a full disk or a size limit, and a target that is no
// regular file: the old file (or node) stays and the message gives the cause.
TEST_P(ChartVectorPicture, ACutWriteKeepsTheOldFileAndNamesTheCause) {
    const std::string target = dir.File(std::string("chart.") + GetParam().suffix);
    test::WriteBytes(target, {'o', 'l', 'd'});
    QString error;
    {
        test::FileSizeLimit limit(256); // below even the SVG header
        EXPECT_FALSE(chart.SavePicture(QString::fromStdString(target), &error));
    }
    EXPECT_THAT(error.toStdString(), HasSubstr("File too large"));
    EXPECT_EQ(test::ReadBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir.Entries().size(), 1u);

    const std::string fifo = dir.File(std::string("pipe.") + GetParam().suffix);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_FALSE(chart.SavePicture(QString::fromStdString(fifo), &error));
    EXPECT_THAT(error.toStdString(), HasSubstr("not a regular file"));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST_F(ChartPictureTest, ContextMenuSavesThroughTheDialogSeam) {
    test::ScopedFakeDialogs dialogs;
    QMenu* menu = chart.ContextMenu();
    auto* action = menu->findChild<QAction*>(QStringLiteral("SavePictureAction"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Save picture as..."));

    dialogs.fake.fileAnswers = {""}; // cancelled
    action->trigger();
    EXPECT_TRUE(dir.Entries().empty());
    EXPECT_TRUE(dialogs.fake.messages.empty());

    QString path = QString::fromStdString(dir.File("pic.pdf"));
    dialogs.fake.fileAnswers = {path};
    action->trigger();
    EXPECT_TRUE(Bytes(path).startsWith("%PDF-"));
    EXPECT_TRUE(dialogs.fake.messages.empty());

    dialogs.fake.fileAnswers = {QString::fromStdString(dir.File("nowhere/pic.png"))};
    action->trigger();
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
    EXPECT_THAT(dialogs.fake.messages[0].text.toStdString(), HasSubstr("nowhere/pic.png"));
}

TEST_F(ChartPictureTest, RightClickOpensTheMenuWithoutBlocking) {
    QPoint at(100, 100);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, chart.Plot()->mapToGlobal(at));
    QCoreApplication::sendEvent(chart.Plot(), &event);
    QMenu* menu = chart.ContextMenu();
    EXPECT_TRUE(menu->isVisible());
    menu->close();
}

} // namespace
} // namespace tavi
