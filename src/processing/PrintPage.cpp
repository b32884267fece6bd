// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/PrintPage.h"

#include "platform/Chart.h"
#include "platform/Seams.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <cmath>
#include <exception>

namespace tavi {

namespace {

// A comment box may hold several lines; the page has one row for it.
QString OneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// The painter's state for one drawing, given back however the drawing ends.
class PainterState {
public:
    explicit PainterState(QPainter& painter) : painter_(painter) { painter_.save(); }
    ~PainterState() { painter_.restore(); }
    PainterState(const PainterState&) = delete;
    PainterState& operator=(const PainterState&) = delete;

private:
    QPainter& painter_;
};

class SystemPrinter : public IPagePrinter {
public:
    bool PrintLandscapePage(const PageDrawer& draw, QString* error) override {
        auto fail = [error](const QString& why) {
            if (error)
                *error = why;
            return false;
        };
        QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull() && !QPrinterInfo::availablePrinters().isEmpty())
            info = QPrinterInfo::availablePrinters().front();
        if (info.isNull())
            return fail(QStringLiteral("No printer is installed on this computer. "
                                       "\"Print to PDF...\" writes the page to a file."));
        QPrinter printer(info, QPrinter::HighResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setDocName(QStringLiteral("TAVI"));
        QPainter painter;
        if (!painter.begin(&printer))
            return fail(QStringLiteral("The printer %1 cannot start the print job.")
                            .arg(info.printerName()));
        try {
            draw(painter, QSize(printer.width(), printer.height()));
        } catch (...) {
            printer.abort();
            painter.end();
            return fail(ExceptionText(std::current_exception()));
        }
        if (!painter.end() || printer.printerState() == QPrinter::Error)
            return fail(
                QStringLiteral("The printer %1 failed to print the page.").arg(info.printerName()));
        return true;
    }
};

IPagePrinter* installedPrinter = nullptr;

} // namespace

std::vector<PrintRow> PrintRows(const PrintTexts& t) {
    const QString sep = QStringLiteral(":   ");
    std::vector<PrintRow> rows;
    auto add = [&rows](int row, PrintColumn column, bool bold, const QString& text) {
        rows.push_back({row, column, bold, text});
    };
    add(0, PrintColumn::Heading, true, QStringLiteral("File: "));
    add(0, PrintColumn::AfterFileCaption, false, t.FileName);
    add(1, PrintColumn::Heading, false, QStringLiteral("Date: ") + t.Date);
    add(2, PrintColumn::Heading, false, t.CommentCaption + sep + OneLine(t.Comment));
    if (!t.Clipped.isEmpty())
        add(3, PrintColumn::Heading, true, t.Clipped);
    add(5, PrintColumn::Heading, true, t.SetupHeading);
    int row = 6;
    for (const auto& [caption, value] : t.Setup)
        add(row++, PrintColumn::Value, false, caption + sep + value);
    add(16, PrintColumn::Heading, true, t.ProcessingHeading);
    int next = 17;
    if (t.GShown) {
        add(17, PrintColumn::Value, false, t.G.first + t.G.second);
        next = 18;
    }
    if (t.M2Shown) {
        for (int i = 0; i < 4; ++i)
            add(17 + i, PrintColumn::Value, false,
                t.Moments[static_cast<std::size_t>(i)].first +
                    t.Moments[static_cast<std::size_t>(i)].second);
        next = 21;
    }
    add(next, PrintColumn::Value, false, t.DB.first + t.DB.second);
    if (t.AbsorptionShown) {
        add(next + 1, PrintColumn::Value, false, t.AI.first + QStringLiteral("  ") + t.AI.second);
        add(next + 2, PrintColumn::Value, false, t.LC.first + QStringLiteral("   ") + t.LC.second);
        add(next + 3, PrintColumn::Value, false, t.RC.first + QStringLiteral("   ") + t.RC.second);
    }
    return rows;
}

QFont PrintFont(bool bold) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif); // a metric twin where Arial is missing
    font.setPointSize(12);
    font.setBold(bold);
    return font;
}

PrintLayout DrawPrintPage(QPainter& painter, const QSize& page, TChart& chart,
                          const PrintTexts& texts) {
    PainterState state(painter);
    PrintLayout layout;
    const int w = page.width();
    const int h = page.height();
    layout.Chart = QRect(QPoint(w / 5, 0), QPoint(w - 1, h - 1));
    QPaintDevice* device = painter.device();
    chart.Draw(painter, layout.Chart, device->logicalDpiX());

    const QFont regular = PrintFont(false);
    const QFont bold = PrintFont(true);
    const QFontMetrics regularMetrics(regular, device);
    const QFontMetrics boldMetrics(bold, device);
    // The height of a text line in the bold font, as a text's height is measured.
    layout.RowHeight = static_cast<int>(std::lround(1.2 * boldMetrics.height()));
    const int fileValueX = regularMetrics.horizontalAdvance(QStringLiteral("File:  "));
    painter.setPen(Qt::black);
    for (const PrintRow& row : PrintRows(texts)) {
        int x = row.Column == PrintColumn::Heading ? 0
                : row.Column == PrintColumn::Value ? kPrintValueX
                                                   : fileValueX;
        QPoint topLeft(x, row.Row * layout.RowHeight);
        painter.setFont(row.Bold ? bold : regular);
        const QFontMetrics& metrics = row.Bold ? boldMetrics : regularMetrics;
        painter.drawText(topLeft + QPoint(0, metrics.ascent()), row.Text);
        layout.Texts.push_back({topLeft, row.Bold, row.Text});
    }
    return layout;
}

IPagePrinter& PagePrinter() {
    static SystemPrinter system;
    return installedPrinter ? *installedPrinter : system;
}

void SetPagePrinter(IPagePrinter* printer) {
    installedPrinter = printer;
}

bool WriteLandscapePdf(const QString& path, const PageDrawer& draw, QString* error,
                       int resolution) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("Cannot write the PDF file %1: %2").arg(path, why);
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(resolution);
        pdf.setCreator(QStringLiteral("TAVI"));
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            file.cancelWriting();
            return fail(QStringLiteral("the page cannot be started"));
        }
        try {
            draw(painter, QSize(pdf.width(), pdf.height()));
        } catch (...) {
            painter.end();
            file.cancelWriting();
            return fail(ExceptionText(std::current_exception()));
        }
        if (!painter.end()) {
            file.cancelWriting();
            return fail(QStringLiteral("the page cannot be finished"));
        }
    }
    if (file.error() != QFileDevice::NoError) {
        QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace tavi
