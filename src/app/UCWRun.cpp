// SPDX-License-Identifier: GPL-3.0-or-later
// The experiment run: passes, accumulation, live chart, end of experiment.
#include "app/UCW.h"
#include "common/Usr.h"
#include "device/UOutMess.h"
#include "params/NumFormat.h"
#include "params/UTextTbl.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/Seams.h"
#include "platform/Sound.h"
#include "processing/DataFile.h"
#include "processing/RecoveryFile.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace tavi {

namespace {

bool SoundOff(const TSoundSetting& s) {
    return s.Off != 0;
}

QString LegendStyle(QColor colour) {
    QColor text = colour.red() > 128 ? QColor(Qt::black) : QColor(Qt::white);
    return QStringLiteral("QLabel { background-color: %1; color: %2; }")
        .arg(colour.name(), text.name());
}

class LegendPlacer : public QObject {
public:
    LegendPlacer(TFCW& window, QObject* parent) : QObject(parent), window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
            Place();
        return QObject::eventFilter(watched, event);
    }
    void Place() {
        if (!window_.LegendPanel || !window_.Fid)
            return;
        const QRect plot = window_.Fid->PlotRect();
        window_.LegendPanel->move(plot.right() - window_.LegendPanel->width() - 4, plot.top() + 4);
    }

private:
    TFCW& window_;
};

// The header of a data file from the controls as they are now; AccText given.
DataFileSettings SettingsFromControls(const TFCW& w, const std::string& accText) {
    const bool freq = w.FrequencySweep();
    DataFileSettings settings;
    settings.Comment = w.CommentEdit->text().toStdString();
    settings.ModeText = ModeCaption(w.CurrentMode);
    settings.FrequencyText = w.FrequencyVal->text().toStdString();
    settings.FieldB0Text = w.TuningB0Val->text().toStdString();
    settings.ModAmpText = w.ModAmpVal->text().toStdString();
    settings.SweepTimeText = w.SweepTVal->text().toStdString();
    settings.GainText = w.GainVal->text().toStdString();
    settings.PhaseText = w.PhaseVal->text().toStdString();
    settings.FieldSweep = freq ? 0 : 1;
    settings.SweepRange =
        freq ? static_cast<float>(FreqSweepRangeKHzRounded(w.FreqSwRngUpDown->Position()))
             : FieldSweepRangeGs(w.EsrFlag(), w.FieldSwRngUpDown->Position());
    settings.AccText = accText.substr(0, 3);
    return settings;
}

// The recovery file lives in the acquisition directory (the executable's
// directory when none is set, as the save dialog would).
std::string RecoveryDirOf(const TFCW& w) {
    return w.AcqDir.empty() ? w.ExeDir : w.AcqDir;
}

QString TimeLeftText(double seconds) {
    const long s = std::lround(std::max(seconds, 0.0));
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

const QString kNothingToSave =
    QStringLiteral("No pass of this experiment was finished: there is nothing to save.");

} // namespace

// ---- creation ----

void TFCW::InitRun() {
    PassColours = {QColor(0xFF, 0xFF, 0x00), QColor(0xFF, 0x00, 0xFF), QColor(0x00, 0x00, 0x80),
                   QColor(0x80, 0x80, 0x00), QColor(0xFF, 0x00, 0x00)};
    if (Fid) {
        while (Fid->SeriesCount() < 6)
            Fid->AddSeries();
        for (int i = 0; i < 5; ++i)
            PassSeries[i] = &Fid->Series(i);
        SeriesAcc = &Fid->Series(5);
        for (int i = 0; i < 6; ++i)
            Fid->Series(i).Clear();
        SeriesAcc->SetActive(false);
        Fid->RightAxis().SetMinMax(-500, 500);
        Fid->RightAxis().SetIncrement(250);

        if (!LegendPanel) {
            LegendPanel = new QWidget(Fid);
            LegendPanel->setObjectName("LegendPanel");
            auto* layout = new QHBoxLayout(LegendPanel);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setSpacing(1);
            for (int i = 0; i < 5; ++i) {
                auto* l = new QLabel(QString::number(i + 1), LegendPanel);
                l->setObjectName(QStringLiteral("S%1Legend").arg(i + 1));
                l->setAlignment(Qt::AlignCenter);
                l->setFixedSize(16, 14);
                layout->addWidget(l);
                Legends[i] = l;
            }
            LegendPanel->adjustSize();
            LegendPanel->show();
            // Keeps the legend in the plot's top right corner as the chart resizes.
            Fid->installEventFilter(new LegendPlacer(*this, Fid));
        }
        // The readouts lie on the dark plot area: light text, room for the longest text.
        for (QLabel* readout : {XYST, DBST}) {
            if (!readout)
                continue;
            readout->setStyleSheet(QStringLiteral("QLabel { color: white; }"));
            readout->resize(std::max(readout->width(), 360), readout->sizeHint().height());
        }
    }
    for (int i = 0; i < 5; ++i) {
        if (Legends[i]) {
            Legends[i]->setText(QString::number(i + 1));
            Legends[i]->setAutoFillBackground(true);
            Legends[i]->setStyleSheet(LegendStyle(PassColours[i]));
        }
    }
    if (StatusBar && !RunProgress) {
        RunProgress = new QProgressBar(StatusBar);
        RunProgress->setObjectName(QStringLiteral("RunProgress"));
        RunProgress->setRange(0, 100);
        RunProgress->setTextVisible(true);
        RunProgress->setMinimumWidth(260);
        StatusBar->addPermanentWidget(RunProgress);
        RunProgress->hide();
    }
    if (StatusBar && !ClippedLab) {
        ClippedLab = new QLabel(StatusBar);
        ClippedLab->setObjectName(QStringLiteral("ClippedLab"));
        ClippedLab->setStyleSheet(
            QStringLiteral("QLabel { color: white; background-color: #c00000; }"));
        StatusBar->addPermanentWidget(ClippedLab);
        ClippedLab->hide();
        AbortNoticeLab = new QLabel(StatusBar);
        AbortNoticeLab->setObjectName(QStringLiteral("AbortNoticeLab"));
        StatusBar->addPermanentWidget(AbortNoticeLab);
        AbortNoticeLab->hide();
    }
}

void TFCW::SyncRun() {
    RunSettings settings;
    settings.Passes = AccUpDown->Position();
    settings.Loop = LoopRB->isChecked();
    settings.FrequencySweep = FrequencySweep();
    settings.XMin = Fid->BottomAxis().Minimum();
    settings.XMax = Fid->BottomAxis().Maximum();
    // The header is read from the controls when a file is written.
    settings.HeaderNow = [this] { return SettingsFromControls(*this, {}); };
    settings.RecoveryDir = RecoveryDirOf(*this);
    settings.RecoveryRunName = RecoveryRunName;
    Run().Configure(settings);
}

void TFCW::SetPassCounter(int pass) {
    SyncRun();
    Run().SetPassCounter(pass);
}

// ---- run controls ----

void TFCW::StartToolBClick() {
    const TSoundSetting& start = SoundSettings[SweepStartSound];
    if (SoundOff(start)) {
        StopAlarm();
    } else {
        // Playing replaces whatever sound was looping.
        AlarmLooping = false;
        Sound().PlayAndWait(start.FileName);
    }
    if (!DeviceReady()) {
        Dialogs().Message(this, "Device not connected !", MsgIcon::Error, MsgButtons::Ok);
        return;
    }
    if (SingleRB->isChecked()) {
        OverwriteAnswerPath = NamedDataPath();
        if (const std::optional<bool> answer = AskOverwrite(OverwriteAnswerPath))
            OverwriteAnswer = *answer;
        else
            OverwriteAnswerPath.clear();
    }
    // The recovery file carries the run's intended name into what is recovered.
    RecoveryRunName = SingleRB->isChecked() ? FNameEdit->text().toStdString() : std::string();
    SyncRun();
    // The previous run stays saveable until the device begins the new one's
    // first pass (it may never answer); silence counts from now.
    Run().Start();
    RunSaved = false;
    NoteDeviceActivity();
}

void TFCW::HoldToolBClick() {
    Run().Hold(!HoldActive());
    // The button follows the device's "H" reply, not the click.
    if (HoldToolB)
        HoldToolB->setChecked(HoldActive());
}

void TFCW::AbortToolBClick() {
    Run().Abort();
}

void TFCW::SingleRBClick() {
    const bool single = SingleRB && SingleRB->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(FNameEdit), static_cast<QWidget*>(CommentEdit),
                       static_cast<QWidget*>(FNameLab), static_cast<QWidget*>(CommentLab)})
        if (w)
            w->setEnabled(single);
}

// ---- operations of the reply parser ----

void TFCW::ShowPassBegun(int pass) {
    if (pass == 1) {
        if (OutOfRangeLab)
            OutOfRangeLab->hide();
        ClippedPoints = 0;
        for (QLabel* notice : {ClippedLab, AbortNoticeLab})
            if (notice)
                notice->hide();
        SeriesAcc->Clear();
    }
    const int current = CurrentPass();

    // Age colours of the older passes: p = 1 oldest (red) .. p = 4 previous (fuchsia).
    for (int p = 1; p <= 4; ++p) {
        TChartSeries& s = *PassSeries[(current + p) % 5];
        const int first = s.FirstVisibleIndex();
        const int last = s.LastVisibleIndex();
        if (s.Count() == 0 || first < 0 || last < first || last >= s.Count())
            continue;
        const QColor colour = PassColours[5 - p];
        for (int i = first; i <= last; ++i)
            s.SetColour(i, colour);
    }
    PassSeries[current]->Clear();
    CurrDiagramCBoxChange();

    if (XYST)
        XYST->hide();
    if (DBST)
        DBST->hide();
    SetControlsEnabled(false);
    MSaveas->setEnabled(false);
    DHToolB->setEnabled(false);
    VertMTB->setEnabled(false);
    HorizMTB->setEnabled(false);
    MainMarker.Detach();

    SetPanelValue(0, QString::fromStdString(
                         Format("%d of %d", {Arg(pass), Arg(AccUpDown->Position())})));
    SetPanelValue(1, QString());
    SetPanelValue(2, "Setting an experiment - please wait");
    SetPanelValue(4, QString());
    if (RunProgress) {
        RunProgress->reset(); // so the new pass's 0 % is written
        RunProgress->show();
    }
    UpdateProgress();
    Fid->Invalidate();
}

void TFCW::StorePoint(int value) {
    Run().StorePoint(value, HoldActive());
}

void TFCW::ShowHeldPoint(int index, int value) {
    TChartSeries& s = *PassSeries[CurrentPass()];
    if (index < s.Count()) {
        s.SetY(index, value);
        Fid->Invalidate();
    }
}

void TFCW::ShowPoint(int index, int value) {
    if (value > 500 || value < -500)
        NoteClippedPoint();
    PassSeries[CurrentPass()]->AddXY(Fid->BottomAxis().Minimum() + index * PointStep(), value,
                                     PassColours[0]);
    UpdateProgress();
    Fid->Invalidate();
}

void TFCW::NoteClippedPoint() {
    // The chart cuts such a point at its edge, so a strong line looks flat
    // topped and the DB readout measures the cut: say so where it is seen.
    ++ClippedPoints;
    if (!ClippedLab)
        return;
    ClippedLab->setText(QStringLiteral(" Clipped: %1 points beyond \u00B1500 ").arg(ClippedPoints));
    ClippedLab->setToolTip(QStringLiteral("The chart and DB measure the cut line; the data file "
                                          "keeps the full sums."));
    ClippedLab->show();
}

void TFCW::ShowAverage() {
    SeriesAcc->Clear();
    const double xMin = Fid->BottomAxis().Minimum();
    const double step = PointStep();
    const std::vector<double> average = Run().Average();
    const QColor white(Qt::white);
    for (std::size_t i = 0; i < average.size(); ++i)
        SeriesAcc->AddXY(xMin + static_cast<double>(i) * step, average[i], white);
    Fid->Invalidate();
}

void TFCW::ShowExperimentFinished() {
    const TSoundSetting& accEnd = SoundSettings[AccumulationEndSound];
    if (!SoundOff(accEnd)) {
        if (accEnd.Single != 0) {
            Sound().PlayOnce(accEnd.FileName);
        } else {
            Sound().PlayLoop(accEnd.FileName);
            AlarmLooping = true;
        }
    }
    SetPanelValue(2, "end of experiment - ready");
    EndProgress();
    AutoSaveData();
    MSaveas->setEnabled(true);
    SetControlsEnabled(true);
    VertMTB->setEnabled(true);
    HorizMTB->setEnabled(true);

    const bool freq = FrequencySweep();
    const int kind = HorizMTB->isChecked() ? 1 : 0;
    MainMarker.Attach(*Fid, PassSeries[CurrentPass()]->Count(), kind, SweepLetter[freq ? 0 : 1],
                      UnitText[freq ? 0 : 1], 0, XYST, MarkerLength137, MarkerLength320,
                      CurrentPass() + 1);
    if (XYST)
        XYST->show();
    DHToolB->setEnabled(true);
}

// ---- chart display ----

void TFCW::ClearRunDisplay() {
    if (!AccUpDown || !StatusBar)
        return; // still being built: nothing shown yet
    // What "Save data as ..." writes stays: only the display goes.
    for (TChartSeries* s : PassSeries)
        if (s)
            s->Clear();
    if (SeriesAcc)
        SeriesAcc->Clear();
    MainMarker.Detach();
    for (QWidget* readout : {static_cast<QWidget*>(XYST), static_cast<QWidget*>(DBST),
                             static_cast<QWidget*>(OutOfRangeLab),
                             static_cast<QWidget*>(ClippedLab)})
        if (readout)
            readout->hide();
    if (DHToolB)
        DHToolB->setEnabled(false);
    Run().SetPassCounter(0);
    SetPanelValue(0, QString::fromStdString(Format("%d of %d", {Arg(0), Arg(AccUpDown->Position())})));
    SetPanelValue(4, QString());
    if (Fid)
        Fid->Invalidate();
}

void TFCW::CurrDiagramCBoxChange() {
    const int k = CurrDiagramCBox ? CurrDiagramCBox->currentIndex() : 0;
    for (int i = 1; i <= 5; ++i)
        PassSeries[(CurrentPass() + i) % 5]->SetActive(5 - i <= k && k < 5);
    if (Fid)
        Fid->Invalidate();
}

void TFCW::AccDToolBClick() {
    const bool on = !MAccDiagram->isChecked();
    MAccDiagram->setChecked(on);
    AccDToolB->setChecked(on);
    SeriesAcc->SetActive(on);
    Fid->Invalidate();
}

void TFCW::DHToolBClick() {
    const TChartSeries& s = *PassSeries[CurrentPass()];
    const std::span<const double> ys = s.Ys();
    // Without a point inside the start bounds there are no extremes to measure.
    const bool hasMin = std::any_of(ys.begin(), ys.end(), [](double y) { return y < 500; });
    const bool hasMax = std::any_of(ys.begin(), ys.end(), [](double y) { return y > -500; });
    if (!hasMin || !hasMax)
        return;
    const int a = IndexOfMinimum(ys);
    const int b = IndexOfMaximum(ys);
    const long double d = std::abs(s.X(a) - s.X(b));
    const std::string unit = UnitText[FrequencySweep() ? 0 : 1];
    SetPanelValue(4, QString::fromStdString(Format("%6.2n ", {Arg(d)}) + unit));
    if (DBST) {
        DBST->setText(QString::fromStdString(Format(" DB: %6.2n ", {Arg(d)}) + unit));
        DBST->adjustSize();
        DBST->show();
    }
}

void TFCW::VertMTBClick() {
    MainMarker.SetKind(0);
}

void TFCW::HorizMTBClick() {
    MainMarker.SetKind(1);
}

// ---- sound ----

void TFCW::FidClick() {
    StopAlarm();
}

void TFCW::StopAlarm() {
    if (!AlarmLooping)
        return;
    Sound().Stop();
    AlarmLooping = false;
}

// ---- data file ----

QString TFCW::NamedDataPath() const {
    const QString name = FNameEdit->text();
    if (name.isEmpty())
        return {};
    const QString dir = QString::fromStdString(AcqDir);
    QString path = dir.isEmpty() || dir.endsWith('/') ? dir + name : dir + '/' + name;
    const int slash = name.lastIndexOf('/');
    if (name.indexOf('.', slash + 1) < 0)
        path += ".dcw";
    return path;
}

std::optional<bool> TFCW::AskOverwrite(const QString& path) {
    // A folder of that name is no file to overwrite: the save reports it.
    if (const QFileInfo existing(path); !existing.exists() || existing.isDir())
        return std::nullopt;
    const QString question = '"' + QFileInfo(path).fileName() + "\" file exists. Overwrite ?";
    return Dialogs().Message(this, question, MsgIcon::Warning, MsgButtons::YesNo) != MsgResult::No;
}

void TFCW::AutoSaveData() {
    const QString path = NamedDataPath();
    if (path.isEmpty())
        return;
    FNameEdit->clear();
    // The question was asked at Start, so an unattended run does not wait on
    // it; a file that appeared since is asked about now.
    bool overwrite = true;
    if (path == OverwriteAnswerPath)
        overwrite = OverwriteAnswer || !QFileInfo::exists(path);
    else if (const std::optional<bool> answer = AskOverwrite(path))
        overwrite = *answer;
    OverwriteAnswerPath.clear();
    if (overwrite) {
        SaveDataFile(path);
        return;
    }
    // The run is not dropped: another name is asked for, starting from this one.
    const QString other = Dialogs().SaveFile(this, "Save data as ...", path,
                                             "TAVI data file (*.dcw)", "dcw");
    if (!other.isEmpty())
        SaveDataFile(other);
}

bool TFCW::SaveDataFile(const QString& path) {
    // A run cut short (Abort, lost device) saves its finished passes only,
    // counted as such, so the reader's average is the true one.
    if (!Run().HasDataToSave()) {
        Dialogs().Message(this, kNothingToSave, MsgIcon::Information, MsgButtons::Ok);
        return false;
    }
    SyncRun(); // the header and the pass count as they are now
    std::string error;
    if (!Run().Save(path.toStdString(), &error)) {
        Dialogs().Message(this, QString::fromStdString(error), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    SetPanelValue(1, QFileInfo(path).fileName());
    RunSaved = RunComplete();
    UnopenedSavedFile = path;
    if (AbortNoticeLab)
        AbortNoticeLab->hide();
    return true;
}

void TFCW::MSaveasClick() {
    if (!Run().HasDataToSave()) {
        Dialogs().Message(this, kNothingToSave, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const QString path = Dialogs().SaveFile(
        this, "Save data as ...", QString::fromStdString(AcqDir), "TAVI data file (*.dcw)", "dcw");
    if (path.isEmpty())
        return;
    SaveDataFile(path);
}

// ---- closing and losing the device ----

bool TFCW::CloseQueryAllowed() {
    KeepRecoveryOnClose = false;
    if (!Measuring(RunState())) {
        // A complete run whose save failed (or that had no name) is asked for.
        if (!RunComplete() || RunSaved || Run().NewRunPending() || Run().Sums().empty())
            return true;
        QString text = QStringLiteral("The finished experiment was not saved in a data file.\n");
        if (RecoveryPassesKept() > 0 && !Run().RecoveryLoop())
            text += QStringLiteral("The recovery file %1 keeps it for the next start.\n")
                        .arg(QString::fromStdString(RecoveryPath()));
        else
            text += QStringLiteral("Closing loses it.\n");
        text += QStringLiteral("Close anyway?");
        return Dialogs().Message(this, text, MsgIcon::Warning, MsgButtons::YesNo) ==
               MsgResult::Yes;
    }
    const Clock::duration silence = Now() - LastDeviceActivity;
    if (silence < kSilenceBeforeCloseQuestion) {
        Dialogs().Message(this, "Measure in progress", MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    // A device that went silent (without a power line to say so) would
    // otherwise hold the program open for ever.
    QString text = QStringLiteral("Measure in progress, but the spectrometer has sent nothing "
                                  "for %1 s.\n")
                       .arg(std::chrono::duration_cast<std::chrono::seconds>(silence).count());
    const int kept = RecoveryPassesKept();
    const int finished = FinishedPasses();
    if (kept > 0)
        text += QStringLiteral("The recovery file %1 keeps %2.\n")
                    .arg(QString::fromStdString(RecoveryPath()),
                         kept == 1 ? QStringLiteral("1 finished pass")
                                   : QStringLiteral("%1 finished passes").arg(kept));
    else if (finished > 0)
        text += QStringLiteral("The %1 could not be kept in a recovery file and %2 lost.\n")
                    .arg(finished == 1 ? QStringLiteral("finished pass")
                                       : QStringLiteral("%1 finished passes").arg(finished),
                         finished == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    else
        text += QStringLiteral("No pass of this experiment was finished.\n");
    text += QStringLiteral("Close anyway?");
    if (Dialogs().Message(this, text, MsgIcon::Warning, MsgButtons::YesNo) != MsgResult::Yes)
        return false;
    KeepRecoveryOnClose = true;
    return true;
}

void TFCW::EndRunOnDisconnect(tavi::RunState before) {
    // No "D" will come: the run is left so that the operator can start again,
    // save what was summed so far and close the program.
    if (HoldToolB) { // the link has ended the hold
        HoldToolB->setChecked(false);
        HoldToolB->setText("Hold");
    }
    SetControlsEnabled(true);
    EnableChildren(AcquisitionBox, true);
    if (HoldToolB)
        HoldToolB->setEnabled(false);
    SingleRBClick();
    // The finished passes of a cut run can be saved (or the save says there are none).
    MSaveas->setEnabled(!Run().Sums().empty() || Measuring(before));
    EndProgress();
}

void TFCW::RunAborted() {
    SetPanelValue(2, QStringLiteral("Experiment aborted - ready"));
    StartToolB->setEnabled(true);
    SetControlsEnabled(true);
    MSaveas->setEnabled(true);
    EndProgress();
    if (!AbortNoticeLab)
        return;
    // Otherwise nothing tells the operator that the aborted run is not lost.
    const int finished = FinishedPasses();
    AbortNoticeLab->setText(
        finished > 0
            ? QStringLiteral(" \"Save data as ...\" keeps %1 finished pass%2 ")
                  .arg(finished)
                  .arg(finished == 1 ? "" : "es")
            : QStringLiteral(" No pass was finished: nothing to save "));
    AbortNoticeLab->show();
}

void TFCW::RunClosing() {
    // Finished passes of a Single run that were never saved outlive the
    // program, so closing it can never lose a measurement: the next start
    // renames and reports them. A Loop run only shows the line; its copy
    // goes with the program unless the device fell silent.
    if (KeepRecoveryOnClose || (RecoveryPassesKept() > 0 && !Run().RecoveryLoop()))
        return;
    Run().RemoveRecovery();
}

// ---- recovery file ----

void TFCW::NoteDeviceActivity() {
    LastDeviceActivity = Now();
}

void TFCW::RecoverEarlierRuns() {
    const std::string text = RecoveryReport(CollectRecoveryFiles(RecoveryDirOf(*this)));
    if (!text.empty())
        Dialogs().Message(this, QString::fromStdString(text), MsgIcon::Information, MsgButtons::Ok);
}

// ---- progress ----

void TFCW::UpdateProgress() {
    if (!RunProgress)
        return;
    const auto n = static_cast<long>(Run().PointCount());
    const int percent =
        n > 0 ? static_cast<int>(std::clamp(NextPointIndex() * 100L / n, 0L, 100L)) : 0;
    if (RunProgress->value() == percent)
        return; // per point only this: the texts change once per percent
    QString text;
    if (LoopRB->isChecked()) {
        text = QStringLiteral("Loop: %1% of pass").arg(percent);
    } else {
        const int set = AccUpDown->Position();
        const double sweep = SweepTimeMinutes(SweepTUpDown->Position()) * 60.0;
        const int pass = PassCounter();
        const double left = sweep * (std::max(set - pass, 0) + (100 - percent) / 100.0);
        text = QStringLiteral("%1% of pass %2, %3 of %4 done, %5 left")
                   .arg(percent)
                   .arg(pass)
                   .arg(FinishedPasses())
                   .arg(set)
                   .arg(TimeLeftText(left));
    }
    RunProgress->setValue(percent);
    RunProgress->setFormat(text);
    ProgressCaption = text + QStringLiteral(" - ");
    RefreshCaption();
}

void TFCW::EndProgress() {
    if (RunProgress)
        RunProgress->hide();
    if (ProgressCaption.isEmpty())
        return;
    ProgressCaption.clear();
    RefreshCaption();
}

} // namespace tavi
