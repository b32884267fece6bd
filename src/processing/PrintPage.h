// SPDX-License-Identifier: GPL-3.0-or-later
// The printed page of the processing window: the result chart in the right
// four fifths, the experiment and measurement values in a text column on the
// left, all positions in device pixels of the printable area. The same
// drawing goes to the printer and into a PDF file.
#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <utility>
#include <vector>

class QPainter;

namespace tavi {

class TChart;

// The texts of the page as the window's controls show them.
struct PrintTexts {
    using Pair = std::pair<QString, QString>; // caption, value

    QString FileName; // without directory
    QString Date;     // empty when the file has none (gone, or no name)
    QString CommentCaption;
    QString Comment;
    QString Clipped; // "clipped: N points ...", empty when none were
    QString SetupHeading;
    std::vector<Pair> Setup; // the ten name/value label pairs, in order
    QString ProcessingHeading;
    bool GShown = false;
    Pair G;
    bool M2Shown = false;
    std::array<Pair, 4> Moments; // M2, M2L, M2R, M4
    Pair DB;                     // DHLabel text, DBVal
    bool AbsorptionShown = false;
    Pair AI, LC, RC;
};

// Where a row's text starts: x = 0, x = 100, or after "File:  " in the
// regular font.
enum class PrintColumn { Heading, Value, AfterFileCaption };

struct PrintRow {
    int Row = 0;
    PrintColumn Column = PrintColumn::Heading;
    bool Bold = false;
    QString Text;
    bool operator==(const PrintRow&) const = default;
};

// The text rows in drawing order, with the rows that depend on the shown
// panels.
std::vector<PrintRow> PrintRows(const PrintTexts& texts);

inline constexpr int kPrintValueX = 100;

struct PlacedText {
    QPoint TopLeft;
    bool Bold = false;
    QString Text;
};

// What DrawPrintPage put where.
struct PrintLayout {
    QRect Chart;
    int RowHeight = 0;
    std::vector<PlacedText> Texts;
};

// The print font: "Arial", 12 points, bold or regular.
QFont PrintFont(bool bold);

// Draws the page onto the painter's device, whose printable area is page
// (device pixels) with the origin at its top-left corner.
PrintLayout DrawPrintPage(QPainter& painter, const QSize& page, TChart& chart,
                          const PrintTexts& texts);

// Draws one page: the painter is active on the page's device.
using PageDrawer = std::function<void(QPainter& painter, const QSize& page)>;

// The system's printers, behind a seam so that no test needs one.
class IPagePrinter {
public:
    virtual ~IPagePrinter() = default;
    // Prints one landscape page on the default printer. On failure (no
    // printer, a job that cannot start or fails, a drawer that throws) the job
    // is aborted and the cause returned.
    virtual bool PrintLandscapePage(const PageDrawer& draw, QString* error) = 0;
};

IPagePrinter& PagePrinter();
void SetPagePrinter(IPagePrinter* printer); // nullptr restores the system's

// Writes one landscape A4 page at the resolution (dots per inch) as a PDF
// file. The file appears under its name only when complete; an existing one
// is replaced.
bool WriteLandscapePdf(const QString& path, const PageDrawer& draw, QString* error,
                       int resolution = 300);

} // namespace tavi
