// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window: showing and closing, opening, dropping and loading a data file.
#include "processing/UDataProc.h"

#include "analysiswin/UAnalysis.h"

#include "common/Usr.h"
#include "params/Freq.h"
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/Seams.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace tavi {

// ---------------------------------------------------------------- showing, closing

void TFDataProc::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFDataProc::FormShow() {
    // Nothing of an earlier file is shown.
    ClearSetupLabels();
    XYST->clear();
    SetStatusPanel(QString());
    Clipped = 0;
    ClippedLab->hide();
    // What needs a loaded file waits for one.
    ExportATB->setEnabled(false);
    MExportAscii->setEnabled(false);
    MExportData->setEnabled(false);
    AnalysisTB->setEnabled(false);
    MAnalysis->setEnabled(false);
    FDerivativeTB->setEnabled(false);
    AbsorptionTB->setEnabled(false);
    EnableChildren(L0ToolBar, false);
    GPanel->hide();
    // Both views off, with their measurements released.
    SetDown(FDerivativeTB, false);
    FDerivativeTBClick();
    SetDown(AbsorptionTB, false);
    AbsorptionTBClick();
    // The design's unused integral toolbar stays out of sight.
    IntegralToolBar->hide();
}

void TFDataProc::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TFDataProc::FormClose() {
    SourceMarker.Detach();
    ResultMarker.Detach();
}

void TFDataProc::MExitClick() {
    close();
}

void TFDataProc::AnalysisTBClick() {
    if (fileName_.isEmpty())
        return;
    if (!AnalysisWindow)
        AnalysisWindow = new TFAnalysis(this);
    AnalysisWindow->setWindowFlag(Qt::Window);
    if (!AnalysisWindow->Open(fileName_))
        return;
    AnalysisWindow->show();
    AnalysisWindow->raise();
}

void TFDataProc::SetupTBClick() {
    if (!acquisitionWindow_)
        return;
    acquisitionWindow_->raise();
    acquisitionWindow_->activateWindow();
}

void TFDataProc::SetAcquisitionDirectory(const QString& dir) {
    acquisitionDir_ = dir;
    fileName_.clear();
}

// ---------------------------------------------------------------- loading

void TFDataProc::FOpenTBClick() {
    const QString path = Dialogs().OpenFile(this, QStringLiteral("Open"), acquisitionDir_,
                                            QStringLiteral("TAVI data file (*.dcw)"));
    if (path.isEmpty())
        return;
    OpenFile(path);
}

void TFDataProc::OpenFile(const QString& path) {
    if (path.isEmpty())
        return;
    fileName_ = path;
    LoadDataFile(path);
}

QString TFDataProc::DroppedDataFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    const QString path = urls.front().toLocalFile();
    return path.endsWith(QStringLiteral(".dcw"), Qt::CaseInsensitive) ? path : QString();
}

void TFDataProc::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedDataFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TFDataProc::dropEvent(QDropEvent* event) {
    const QString path = DroppedDataFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Not inside the drop: the load may show a message box.
    QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
}

void TFDataProc::FitSetupValues() {
    // A long value (a frequency in kHz with its decimals) would run into its
    // name: it gets a smaller font, down to 6 points.
    const std::pair<QLabel*, QLabel*> pairs[] = {
        {ModeLab, LResonance}, {SweepTpLab, LSweepTp}, {SweepRLab, LSweepR},
        {ModAmpLab, LModAmp},  {SweepTLab, LSweepTime}, {GainLab, LGain},
        {PhaseLab, LPhase},    {B0Lab, LB0},           {FreqLab, LFrequency},
        {AccLab, LAcc}};
    for (const auto& [name, value] : pairs) {
        QFont f = name->font();
        const int room = value->width() - name->fontMetrics().horizontalAdvance(name->text()) - 6;
        while (f.pointSizeF() > 6 && QFontMetrics(f).horizontalAdvance(value->text()) > room)
            f.setPointSizeF(f.pointSizeF() - 0.5);
        value->setFont(f);
    }
}

void TFDataProc::ClearSetupLabels() {
    for (QLabel* l : {LResonance, LSweepTp, LSweepR, LModAmp, LSweepTime, LGain, LPhase, LAcc,
                      LB0, LFrequency})
        l->clear();
    LComment->clear();
}

QString TFDataProc::FileUnitText() const {
    return Settings.FieldSweep == 0 ? QStringLiteral("kHz") : QStringLiteral("Gs");
}

char TFDataProc::FileAxisLetter() const {
    return Settings.FieldSweep == 0 ? 'F' : 'B';
}

void TFDataProc::SetStatusPanel(const QString& text) {
    StatusPanel0->setText(
        Q(PanelValueText(StatusPanel0->text().toStdString(), text.toStdString())));
}

bool TFDataProc::LoadDataFile(const QString& path) {
    if (path.isEmpty())
        return false;
    // The whole file is read and checked first: a file that fails leaves the
    // window as it was.
    LoadedDataFile loaded;
    if (const FileResult r = ReadDataFile(path.toStdString(), loaded); !r) {
        // A file of another kind gets the plain message box; every other
        // failure the general error display.
        if (r.Kind == FileFailure::Format)
            Dialogs().Message(this, Q(r.Message), MsgIcon::Error, MsgButtons::Ok);
        else
            Dialogs().ShowError(this, Q(r.Message));
        return false;
    }
    // The model reads the window's copy of the file from here on.
    loaded_ = false;
    file_ = std::move(loaded);
    model_.Load(file_);
    const LoadedDataFile& f = file_;
    // The previous file's cursor, setup and curve go.
    SourceMarker.Detach();
    ClearSetupLabels();
    Series1->Clear();
    // Keep the header and the values the measurements use.
    Header = f.Header;
    Settings = f.Settings;
    XStep = f.XStep;
    ModAmpValue = f.ModAmpValue;
    FrequencyValue = f.FrequencyValue;
    FieldB0Value = f.FieldB0Value;
    // A line cut at the display range gives widths and a base line that look
    // plausible and are wrong: say so beside the file name.
    Clipped = f.Clipped;
    ClippedLab->setText(
        QStringLiteral(" clipped: %1 points (beyond \u00B1500, measured as cut) ").arg(Clipped));
    ClippedLab->setVisible(Clipped > 0);
    // The X axis speaks in the sweep's unit.
    if (Settings.FieldSweep == 0)
        DSrc->BottomAxis().SetValueFormat("# ##0.### [kHz]");
    else if (Settings.FieldSweep == 1)
        DSrc->BottomAxis().SetValueFormat("# ##0.### [Gs]");
    // The whole sweep on the source chart, at the display range.
    DSrc->BottomAxis().SetMinMax(f.XMin, f.XMax);
    DSrc->BottomAxis().SetIncrement((f.XMax - f.XMin) * 0.25);
    DSrc->RightAxis().SetMinMax(-500, 500);
    DSrc->RightAxis().SetIncrement(250);
    const int n = static_cast<int>(f.Y.size());
    Series1->Reserve(n);
    for (int i = 0; i < n; ++i)
        Series1->AddXY(f.X[static_cast<std::size_t>(i)], f.Y[static_cast<std::size_t>(i)],
                       kProcPointColour);
    // The experiment's setup beside the charts. The stored caption doubles
    // its ampersand for a menu; a label shows one.
    LResonance->setText(Q(Settings.ModeText).replace(QStringLiteral("&&"), QStringLiteral("&")));
    const double range = Settings.SweepRange;
    if (Settings.FieldSweep == 0) {
        LSweepTp->setText(QStringLiteral("Frequency"));
        LSweepR->setText(Q(Format("%4d kHz", {Arg(static_cast<long long>(RoundHalfEven(range)))})));
    } else {
        if (Settings.FieldSweep == 1)
            LSweepTp->setText(QStringLiteral("Field"));
        LSweepR->setText(Q(Format("%4g Gs", {Arg(range)})));
    }
    LModAmp->setText(Q(Settings.ModAmpText));
    LSweepTime->setText(Q(Settings.SweepTimeText));
    LGain->setText(Q(Settings.GainText));
    LPhase->setText(Q(Settings.PhaseText));
    LAcc->setText(Q(Settings.AccText));
    LB0->setText(Q(Settings.FieldB0Text));
    LFrequency->setText(Q(Settings.FrequencyText));
    LComment->setPlainText(Q(Settings.Comment));
    FitSetupValues();
    // The cursor and the controls that work on a loaded file.
    SourceMarker.Attach(*DSrc, n, mkVertical, FileAxisLetter(), FileUnitText().toStdString(), 0,
                        XYST, static_cast<int>(std::trunc(displayScale_ * 84)),
                        static_cast<int>(std::trunc(displayScale_ * 80)), 1);
    SourceMarker.Centre();
    ExportATB->setEnabled(true);
    MExportAscii->setEnabled(true);
    MExportData->setEnabled(true);
    AnalysisTB->setEnabled(true);
    MAnalysis->setEnabled(true);
    FDerivativeTB->setEnabled(true);
    AbsorptionTB->setEnabled(true);
    EnableChildren(L0ToolBar, true);
    SetStatusPanel(path);
    // A fitted base line, then both views off until one is chosen.
    const std::span<const double> line = model_.BaseLineY();
    SeriesLine0->Clear();
    SeriesLine0->Reserve(n);
    for (int i = 0; i < n; ++i)
        SeriesLine0->AddXY(Series1->X(i), line[static_cast<std::size_t>(i)], Qt::white);
    loaded_ = true;
    SourceMarker.SetBaseLineSeries(SeriesLine0);
    SetDown(FDerivativeTB, false);
    FDerivativeTBClick();
    SetDown(AbsorptionTB, false);
    AbsorptionTBClick();
    // Nothing of the previous file stays on the result chart: its curve, its
    // readout and its axis follow the new file before any view is chosen.
    Series2->Clear();
    DstXYST->clear();
    DDst->BottomAxis().SetValueFormat(DSrc->BottomAxis().ValueFormat());
    DDst->BottomAxis().SetMinMax(f.XMin, f.XMax);
    DDst->BottomAxis().SetIncrement((f.XMax - f.XMin) * 0.25);
    DDst->Invalidate();
    // ESR spectra measure the g-factor where NMR spectra measure moments.
    momentIsG_ = Settings.ModeText == "ESR";
    const QString moment = momentIsG_ ? QStringLiteral("G") : QStringLiteral("M2");
    M2DerivativeTB->setText(moment);
    M2AbsorptionTB->setText(moment);
    for (QToolButton* b : {M2DerivativeTB, M2AbsorptionTB})
        b->setToolTip(momentIsG_ ? QStringLiteral("g-factor at the line centre")
                                 : QString::fromUtf8(kMomentHint));
    return true;
}

} // namespace tavi
