// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/PrintPage.h"

#include "platform/Chart.h"
#include "setup/FileTestUtil.h"

#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <cmath>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tavi {
namespace {

using test::TempDir;
using ::testing::HasSubstr;

PrintTexts Texts(bool g, bool absorption) {
    PrintTexts t;
    t.FileName = "sample.dcw";
    t.Date = "08.12.26 09:15:00";
    t.CommentCaption = "Comment";
    t.Comment = "line one\r\nline two";
    t.SetupHeading = "Experiment setup";
    const char* names[] = {"Mode", "Sweep", "Sweep range", "2nd Mod Amplit", "Sweep time",
                           "Gain", "Phase", "B0",          "Frequency",      "Acc"};
    for (int i = 0; i < 10; ++i)
        t.Setup.push_back({names[i], QString("v%1").arg(i)});
    t.ProcessingHeading = "Processing parameters";
    t.GShown = g;
    t.M2Shown = !g;
    t.G = {"G =", "2.0023"};
    t.Moments = {{{"M2 = ", "1"}, {"M2L = ", "2"}, {"M2R = ", "3"}, {"M4 = ", "4"}}};
    t.DB = {absorption ? "HDB =" : "SDB =", "12.5 Gs"};
    t.AbsorptionShown = absorption;
    t.AI = {"AI =", "1234"};
    t.LC = {"LC = ", "-10.00"};
    t.RC = {"RC = ", "10.00"};
    return t;
}

using C = PrintColumn;

std::vector<PrintRow> Common() {
    std::vector<PrintRow> rows{{0, C::Heading, true, "File: "},
                               {0, C::AfterFileCaption, false, "sample.dcw"},
                               {1, C::Heading, false, "Date: 08.12.26 09:15:00"},
                               {2, C::Heading, false, "Comment:   line one line two"},
                               {5, C::Heading, true, "Experiment setup"}};
    const char* names[] = {"Mode", "Sweep", "Sweep range", "2nd Mod Amplit", "Sweep time",
                           "Gain", "Phase", "B0",          "Frequency",      "Acc"};
    for (int i = 0; i < 10; ++i)
        rows.push_back({6 + i, C::Value, false, QString("%1:   v%2").arg(names[i]).arg(i)});
    rows.push_back({16, C::Heading, true, "Processing parameters"});
    return rows;
}

TEST(PrintRows, GViewOfTheDerivative) {
    auto expected = Common();
    expected.push_back({17, C::Value, false, "G =2.0023"});
    expected.push_back({18, C::Value, false, "SDB =12.5 Gs"});
    EXPECT_EQ(PrintRows(Texts(true, false)), expected);
}

TEST(PrintRows, MomentsAndAbsorptionRows) {
    auto expected = Common();
    expected.push_back({17, C::Value, false, "M2 = 1"});
    expected.push_back({18, C::Value, false, "M2L = 2"});
    expected.push_back({19, C::Value, false, "M2R = 3"});
    expected.push_back({20, C::Value, false, "M4 = 4"});
    expected.push_back({21, C::Value, false, "HDB =12.5 Gs"});
    expected.push_back({22, C::Value, false, "AI =  1234"});
    expected.push_back({23, C::Value, false, "LC =    -10.00"});
    expected.push_back({24, C::Value, false, "RC =    10.00"});
    EXPECT_EQ(PrintRows(Texts(false, true)), expected);
}

TEST(PrintRows, GAndAbsorptionFollowRow18) {
    auto rows = PrintRows(Texts(true, true));
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(rows[rows.size() - 4].Row, 18);
    EXPECT_EQ(rows.back().Row, 21);
    EXPECT_EQ(rows.back().Text, "RC =    10.00");
}

TEST(PrintRows, AClippedLineIsNamedUnderTheComment) {
    PrintTexts t = Texts(false, true);
    t.Clipped = "clipped: 12 points";
    EXPECT_EQ(PrintRows(t)[4], (PrintRow{3, C::Heading, true, "clipped: 12 points"}));
}

TEST(PrintRows, FileWithoutDatePrintsTheLineAnyway) {
    PrintTexts t = Texts(true, false);
    t.Date.clear();
    t.FileName.clear();
    auto rows = PrintRows(t);
    EXPECT_EQ(rows[1].Text, "");
    EXPECT_EQ(rows[2], (PrintRow{1, C::Heading, false, "Date: "}));
}

class PrintPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        chart.resize(600, 300);
        chart.SetBackground(Qt::white);
        chart.BottomAxis().SetMinMax(-50, 50);
        chart.RightAxis().SetMinMax(-500, 500);
        TChartSeries& s = chart.AddSeries();
        for (int i = -50; i <= 50; ++i)
            s.AddXY(i, 4 * i, Qt::black);
    }
    // A landscape letter page at 300 dpi.
    QImage Page() {
        QImage image(3300, 2550, QImage::Format_RGB32);
        image.setDotsPerMeterX(11811);
        image.setDotsPerMeterY(11811);
        image.fill(Qt::white);
        return image;
    }
    TChart chart;
};

TEST_F(PrintPageTest, ChartInTheRightFourFifthsAndRowsAtMultiplesOfH) {
    QImage image = Page();
    PrintLayout layout;
    {
        QPainter painter(&image);
        layout = DrawPrintPage(painter, image.size(), chart, Texts(false, true));
    }
    EXPECT_EQ(layout.Chart, QRect(QPoint(660, 0), QPoint(3299, 2549)));
    const int h =
        static_cast<int>(std::lround(1.2 * QFontMetrics(PrintFont(true), &image).height()));
    EXPECT_EQ(layout.RowHeight, h);
    // 12 points at 300 dpi: a line of about 50 pixels.
    EXPECT_GT(h, 50);
    EXPECT_LT(h, 80);
    const int fileX = QFontMetrics(PrintFont(false), &image).horizontalAdvance("File:  ");
    auto rows = PrintRows(Texts(false, true));
    ASSERT_EQ(layout.Texts.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int x = rows[i].Column == C::Heading ? 0 : rows[i].Column == C::Value ? 100 : fileX;
        EXPECT_EQ(layout.Texts[i].TopLeft, QPoint(x, rows[i].Row * h)) << i;
        EXPECT_EQ(layout.Texts[i].Bold, rows[i].Bold);
    }
    // Ink where the rows are, none in the empty rows 3 and 4 of the text column.
    auto ink = [&](int row) {
        int dark = 0;
        for (int y = row * h; y < (row + 1) * h; ++y)
            for (int x = 0; x < 660; ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        return dark;
    };
    EXPECT_GT(ink(0), 50);
    EXPECT_GT(ink(24), 50);
    EXPECT_EQ(ink(3), 0);
    EXPECT_EQ(ink(4), 0);
    EXPECT_EQ(ink(30), 0);
    // The curve is on the page, inside the chart rectangle.
    int curve = 0;
    for (int y = 0; y < 2550; y += 2)
        for (int x = 660; x < 3300; x += 2)
            curve += qGray(image.pixel(x, y)) < 64;
    EXPECT_GT(curve, 100);
    // The painter's state is given back.
}

TEST_F(PrintPageTest, PdfIsALandscapePageOfTheSameDrawing) {
    TempDir dir;
    QString path = QString::fromStdString(dir.File("page.pdf"));
    QSize drawn;
    QString error;
    ASSERT_TRUE(WriteLandscapePdf(
        path,
        [&](QPainter& painter, const QSize& page) {
            drawn = page;
            DrawPrintPage(painter, page, chart, Texts(true, false));
        },
        &error))
        << error.toStdString();
    EXPECT_GT(drawn.width(), drawn.height());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray pdf = f.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    QRegularExpression box(R"(/MediaBox \[\s*0\s+0\s+([\d.]+)\s+([\d.]+)\s*\])");
    auto m = box.match(QString::fromLatin1(pdf));
    ASSERT_TRUE(m.hasMatch());
    EXPECT_NEAR(m.captured(1).toDouble(), 842, 1); // A4 across
    EXPECT_NEAR(m.captured(2).toDouble(), 595, 1);
}

TEST_F(PrintPageTest, FailedPdfLeavesTheOldFileAndNamesTheCause) {
    TempDir dir;
    std::string target = dir.File("page.pdf");
    test::WriteBytes(target, {'o', 'l', 'd'});
    QString error;
    EXPECT_FALSE(WriteLandscapePdf(
        QString::fromStdString(target),
        [](QPainter&, const QSize&) { throw std::runtime_error("Stream write error"); }, &error));
    EXPECT_THAT(error.toStdString(), HasSubstr("Stream write error"));
    EXPECT_EQ(test::ReadBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir.Entries().size(), 1u);

    QString missing = QString::fromStdString(dir.File("gone/page.pdf"));
    EXPECT_FALSE(WriteLandscapePdf(
        missing, [](QPainter&, const QSize&) {}, &error));
    EXPECT_THAT(error.toStdString(), HasSubstr("gone/page.pdf"));
}

} // namespace
} // namespace tavi

namespace tavi {
namespace {

// Writes the page as a PDF for a look at it. Run with
// --gtest_also_run_disabled_tests --gtest_filter='*Screenshot*'.
TEST(DISABLED_Screenshot, PrintPagePdf) {
    const char* dir = std::getenv("TAVI_SCREENSHOT_DIR");
    QString path = QString::fromLocal8Bit(dir ? dir : "doc/screenshots") + "/page.pdf";
    TChart chart;
    chart.resize(640, 320);
    chart.SetBackground(Qt::white);
    chart.SetForeground(Qt::black);
    chart.BottomAxis().SetMinMax(-50, 50);
    chart.BottomAxis().SetIncrement(25);
    chart.BottomAxis().SetValueFormat("# ##0.### [Gs]");
    chart.RightAxis().SetMinMax(-500, 500);
    chart.RightAxis().SetIncrement(250);
    TChartSeries& s = chart.AddSeries();
    for (int i = 0; i <= 400; ++i) {
        double x = -50 + i * 0.25;
        s.AddXY(x, -400 * x / 8 * std::exp(-x * x / 64 + 0.5) / 2.5, Qt::black);
    }
    QString error;
    EXPECT_TRUE(WriteLandscapePdf(
        path,
        [&](QPainter& painter, const QSize& page) {
            DrawPrintPage(painter, page, chart, Texts(false, true));
        },
        &error))
        << error.toStdString();
}

} // namespace
} // namespace tavi
