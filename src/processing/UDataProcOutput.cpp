// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window's outputs: the text exports "txt", "prd" and "pra",
// the printed page and its PDF twin, and the CSV and JCAMP-DX exports.
#include "platform/Chart.h"
#include "platform/Seams.h"
#include "processing/Export.h"
#include "processing/PrintPage.h"
#include "processing/UDataProc.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QToolButton>
#include <charconv>
#include <qcustomplot.h>

namespace tavi {

namespace {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string Number(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// "Date: " shows the data file's time, or nothing when there is no file to
// ask (a name emptied by the preferences, a file deleted since).
QString FileDateText(const QString& path) {
    if (path.isEmpty())
        return {};
    QFileInfo info(path);
    if (!info.exists())
        return {};
    const QDateTime when = info.lastModified();
    if (!when.isValid())
        return {};
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), QLocale::LongFormat);
}

// The screen as the page shows it, and back however the print ends: the
// cursor hidden and the measurement cursors as short ticks, the visible
// points of the result curve black, a white plot.
class PrintPreparation {
public:
    PrintPreparation(ChartMarker& marker, TChart& chart, TChartSeries& series)
        : marker_(marker), chart_(chart), series_(series) {
        marker_.Active = false;
        marker_.ReferenceStyle = 2;
        first_ = series_.FirstVisibleIndex();
        last_ = series_.LastVisibleIndex();
        Colour(Qt::black);
        chart_.RepaintNow();
        // The chart's own colour, not the plot's background(): that is its
        // pixmap, and setting it back would leave the outer brush white.
        background_ = chart_.Background();
        plotBackground_ = chart_.PlotBackground();
        chart_.SetBackground(Qt::white);
    }
    ~PrintPreparation() {
        chart_.SetBackground(background_, plotBackground_);
        Colour(kProcPointColour);
        marker_.Active = true;
        marker_.ReferenceStyle = 1;
        chart_.RepaintNow();
    }
    PrintPreparation(const PrintPreparation&) = delete;
    PrintPreparation& operator=(const PrintPreparation&) = delete;

private:
    void Colour(const QColor& colour) {
        if (first_ < 0 || last_ < first_)
            return;
        for (int i = first_; i <= last_ && i < series_.Count(); ++i)
            series_.SetColour(i, colour);
    }

    ChartMarker& marker_;
    TChart& chart_;
    TChartSeries& series_;
    int first_ = -1;
    int last_ = -1;
    QColor background_;
    QColor plotBackground_;
};

// The name the exports are called after: the chosen file without its folder.
QString BaseFileName(const QString& chosen) {
    return QFileInfo(chosen).fileName();
}

} // namespace

void TFDataProc::MExportAsciiClick() {
    const std::string path =
        CurveTextPath(LocalPath(OutputDirectory()), LocalPath(FileName()), "txt");
    if (const FileResult r = WriteCurveText(path, Series1->Xs(), Series1->Ys()); !r)
        Dialogs().Message(this, QString::fromStdString(r.Message), MsgIcon::Error, MsgButtons::Ok);
}

void TFDataProc::DOSaveTBClick() {
    const char* extension = FDerivativeTB->isChecked() ? "prd" : "pra";
    const std::string path =
        CurveTextPath(LocalPath(OutputDirectory()), LocalPath(FileName()), extension);
    if (const FileResult r = WriteCurveText(path, Series2->Xs(), Series2->Ys()); !r)
        Dialogs().Message(this, QString::fromStdString(r.Message), MsgIcon::Error, MsgButtons::Ok);
}

// The texts of the page, read off the controls now.
static PrintTexts CollectPrintTexts(const TFDataProc& w) {
    PrintTexts t;
    t.FileName = BaseFileName(w.FileName());
    t.Date = FileDateText(w.FileName());
    t.CommentCaption = w.CommentLab->text();
    t.Comment = w.LComment->toPlainText();
    if (w.Clipped > 0)
        t.Clipped = w.ClippedLab->text().trimmed();
    t.SetupHeading = w.GroupBox1->title();
    const std::pair<QLabel*, QLabel*> pairs[] = {
        {w.ModeLab, w.LResonance},   {w.SweepTpLab, w.LSweepTp},
        {w.SweepRLab, w.LSweepR},    {w.ModAmpLab, w.LModAmp},
        {w.SweepTLab, w.LSweepTime}, {w.GainLab, w.LGain},
        {w.PhaseLab, w.LPhase},      {w.B0Lab, w.LB0},
        {w.FreqLab, w.LFrequency},   {w.AccLab, w.LAcc}};
    for (const auto& [name, value] : pairs)
        t.Setup.push_back({name->text(), value->text()});
    t.ProcessingHeading = w.GroupBox2->title();
    // "Shown" is the window's choice, whether or not the window is on screen.
    t.GShown = !w.GPanel->isHidden();
    t.G = {w.GLabel->text(), w.GVal->text()};
    t.M2Shown = !w.M2Panel->isHidden();
    t.Moments = {{{w.M2Label->text(), w.M2Val->text()},
                  {w.M2LLabel->text(), w.M2LVal->text()},
                  {w.M2RLabel->text(), w.M2RVal->text()},
                  {w.M4Label->text(), w.M4Val->text()}}};
    t.DB = {w.DHLabel->text(), w.DBVal->text()};
    t.AbsorptionShown = !w.AbsorptionPanel->isHidden();
    t.AI = {w.AILabel->text(), w.AIVal->text()};
    t.LC = {w.ILLabel->text(), w.ILBVal->text()};
    t.RC = {w.IRLabel->text(), w.ILEVal->text()};
    return t;
}

void TFDataProc::MPrintClick() {
    if (!DerivativeOn() && !AbsorptionOn())
        return;
    QString error;
    bool printed = false;
    {
        PrintPreparation screen(ResultMarker, *DDst, *Series2);
        const PrintTexts texts = CollectPrintTexts(*this);
        printed = PagePrinter().PrintLandscapePage(
            [&](QPainter& painter, const QSize& page) {
                DrawPrintPage(painter, page, *DDst, texts);
            },
            &error);
    }
    if (!printed)
        Dialogs().ShowError(this, error);
}

void TFDataProc::MPrintPdfClick() {
    if (!DerivativeOn() && !AbsorptionOn())
        return;
    const QString start = QString::fromStdString(
        CurveTextPath(LocalPath(OutputDirectory()), LocalPath(FileName()), "pdf"));
    const QString path =
        Dialogs().SaveFile(this, QStringLiteral("Print to PDF"), start,
                           QStringLiteral("PDF document (*.pdf)"), QStringLiteral("pdf"));
    if (path.isEmpty())
        return;
    QString error;
    bool written = false;
    {
        PrintPreparation screen(ResultMarker, *DDst, *Series2);
        const PrintTexts texts = CollectPrintTexts(*this);
        written = WriteLandscapePdf(
            path,
            [&](QPainter& painter, const QSize& page) {
                DrawPrintPage(painter, page, *DDst, texts);
            },
            &error);
    }
    if (!written)
        Dialogs().ShowError(this, error);
}

void TFDataProc::MExportDataClick() {
    if (!FileLoaded())
        return;
    const bool viewOn = DerivativeOn() || AbsorptionOn();
    const QString viewName = DerivativeOn() ? FDerivativeTB->text() : AbsorptionTB->text();
    bool result = false;
    if (viewOn) {
        const MsgResult answer =
            Dialogs().Message(this,
                              QStringLiteral("Export the result curve \"%1\"?\n"
                                             "\"No\" exports the source spectrum.")
                                  .arg(viewName),
                              MsgIcon::Information, MsgButtons::YesNoCancel);
        if (answer != MsgResult::Yes && answer != MsgResult::No)
            return;
        result = answer == MsgResult::Yes;
    }
    // The result curve is named after its view, so exporting both never
    // proposes one name for two different curves.
    const std::string viewSuffix =
        !result ? std::string() : DerivativeOn() ? "-derivative" : "-absorption";
    std::string startPath =
        CurveTextPath(LocalPath(OutputDirectory()), LocalPath(FileName()), "csv");
    if (startPath.ends_with(".csv"))
        startPath.insert(startPath.size() - 4, viewSuffix);
    const QString start = QFile::decodeName(QByteArray::fromStdString(startPath));
    const QString path = Dialogs().SaveFile(this, QStringLiteral("Export"), start,
                                            QStringLiteral("CSV (*.csv);;JCAMP-DX (*.jdx *.dx)"),
                                            QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool csv = suffix == QLatin1String("csv");
    if (!csv && suffix != QLatin1String("jdx") && suffix != QLatin1String("dx")) {
        Dialogs().Message(this,
                          QStringLiteral("Cannot export to %1: the name must end in .csv, .jdx "
                                         "or .dx.")
                              .arg(path),
                          MsgIcon::Error, MsgButtons::Ok);
        return;
    }

    CurveExport curve;
    curve.Title = BaseFileName(FileName()).toStdString();
    curve.FieldSweep = Settings.FieldSweep == 1;
    curve.ModeText = Settings.ModeText;
    curve.Header = HeaderFields(Settings);
    curve.FieldB0 = FieldB0Value;
    curve.FrequencyKHz = FrequencyValue;
    const TChartSeries& series = result ? *Series2 : *Series1;
    curve.X = series.Xs();
    curve.Y = series.Ys();
    if (!result) {
        curve.Curve = "Source spectrum";
    } else {
        curve.Curve = viewName.toStdString();
        const std::string unit = FileUnitText().toStdString();
        auto& p = curve.Processing;
        p.push_back({"View", curve.Curve});
        p.push_back({"X range", Number(DDst->BottomAxis().Minimum()) + " to " +
                                    Number(DDst->BottomAxis().Maximum()) + " " + unit});
        p.push_back({"Base line slope", Number(model_.Line().Slope)});
        p.push_back({"Base line offset", Number(model_.Line().Offset)});
        auto shown = [&p](const QFrame* panel,
                          std::initializer_list<std::pair<QLabel*, QLabel*>> rows) {
            if (panel->isHidden())
                return;
            for (const auto& [name, value] : rows)
                p.push_back({name->text().toStdString(), value->text().toStdString()});
        };
        shown(GPanel, {{GLabel, GVal}});
        shown(M2Panel,
              {{M2Label, M2Val}, {M2LLabel, M2LVal}, {M2RLabel, M2RVal}, {M4Label, M4Val}});
        shown(DBPanel, {{DHLabel, DBVal}});
        shown(AbsorptionPanel, {{AILabel, AIVal}, {ILLabel, ILBVal}, {IRLabel, ILEVal}});
        // The measurement cursors while a measurement places them.
        if (M2LCTB->isEnabled() && ResultMarker.ReferenceStyle != 0) {
            const char* names[] = {"LC", "RC", "MC"};
            for (int k = 1; k <= CursorSlotCount && k <= 3; ++k) {
                int index = ResultMarker.SelectedReference == k ? ResultMarker.CurrentIndex()
                                                                : ResultMarker.References[k];
                if (index >= 0 && index < Series2->Count())
                    p.push_back({std::string(names[k - 1]) + " cursor",
                                 Number(Series2->X(index)) + " " + unit});
            }
        }
    }
    const std::string text = csv ? CurveCsv(curve) : CurveJcamp(curve);
    if (const FileResult r = WriteTextFile(LocalPath(path), text); !r)
        Dialogs().Message(this, QString::fromStdString(r.Message), MsgIcon::Error, MsgButtons::Ok);
}

} // namespace tavi
