// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: construction, parameter controls, the caption, menus and
// window events.
#include "app/UCW.h"
#include "app/UCWLinkView.h"

#include "device/SerialDevices.h"
#include "device/UOutMess.h"
#include "dialogs/AudioDlgB.h"
#include "dialogs/DlgBox1.h"
#include "dialogs/Logo.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "params/NumFormat.h"
#include "params/UTextTbl.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/Seams.h"
#include "processing/UDataProc.h"
#include "setup/DirDlgB.h"
#include "setup/UserFolders.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tavi {


double TFCW::ComputeDisplayScale(int screenWidth) {
    return DisplayScaleFor(screenWidth);
}

TFCW::TFCW(ISerialPort& port, QWidget* parent, std::string exeDir)
    : QMainWindow(parent), port_(port) {
    setObjectName(QStringLiteral("FCW"));
    ExeDir = exeDir.empty() ? QCoreApplication::applicationDirPath().toStdString() : exeDir;
    if (ExeDir.empty() || ExeDir.back() != '/')
        ExeDir += '/';
    // First: the controls built below already send through it.
    CreateLink();

    // The splash window shows itself at once.
    Logo = new TMLogo(this);

    // Position, separators, scale.
    move(0, 0);
    SetNumberSeparators({'.', ' '});
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : 800;
    const int screenHeight = screen ? screen->geometry().height() : 600;
    DisplayScale = ComputeDisplayScale(screenWidth);
    const double layoutScale = LayoutScaleFor(screenWidth, screenHeight);
    MarkerLength137 = static_cast<int>(std::trunc(137 * DisplayScale));
    MarkerLength320 = static_cast<int>(std::trunc(320 * DisplayScale));
    QFont scaled = font();
    scaled.setPointSizeF(8 * layoutScale);
    setFont(scaled);
    resize(static_cast<int>(802 * layoutScale), static_cast<int>(570 * layoutScale));

    auto* central = Named(new QWidget(this), "Central");
    setCentralWidget(central);
    BuildToolBar();
    BuildChartArea(central);
    BuildResonanceBox();
    BuildReceiverBox();
    BuildModulatorBox();
    BuildAcquisitionBox();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ResonanceBox, 114);
    bottom->addWidget(ReceiverBox, 249);
    bottom->addWidget(FModulatorBox, 201);
    bottom->addWidget(AcquisitionBox, 193);
    // Tight group boxes, so the window still fits an 800-pixel screen with the
    // platform's (wider) 8 pt font.
    bottom->setSpacing(4);
    for (QGroupBox* box : {ResonanceBox, ReceiverBox, FModulatorBox, AcquisitionBox}) {
        box->layout()->setContentsMargins(5, 3, 5, 3);
        box->layout()->setSpacing(4);
    }
    static_cast<QVBoxLayout*>(central->layout())->addLayout(bottom, 0);
    BuildStatusBar();
    BuildMenus();
    NameControls();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(std::chrono::milliseconds(1000));
    connect(Timer1, &QTimer::timeout, this, &TFCW::Timer1Timer);

    // "Save data as ..." waits for a finished experiment.
    MSaveas->setEnabled(false);
    // Pass colours, legend, series (the run's part).
    Fid->RightAxis().SetMinMax(-500, 500);
    Fid->RightAxis().SetIncrement(250);
    InitRun();
    // Hold list, in the order the hold rule indexes it.
    HoldList = {
        GainScrollBar,   GainVal, Gain,   PhaseScrollBar, PhaseVal,    Phase,       ModAmpUpDown,
        ModAmpVal,       ModAmp,  FByLab, DFrqVal,        DFrqUpDown,  FreqLab,     FrequencyVal,
        FrequencyUpDown, B0ByLab, DB0Val, DB0UpDown,      TuningB0Lab, TuningB0Val, TuningB0UpDown};
    // Run and device state.
    FNameEdit->clear();
    SetHoldState(false);
    ShowDeviceReady(false);
    // Pass display.
    AlarmLooping = false;
    CurrDiagramCBox->setCurrentIndex(0);
    CurrDiagramCBoxChange();
    if (SeriesAcc)
        SeriesAcc->SetActive(false);
    // Preferences and the standard setup.
    ReadIniSettings();
    // The caption and the controls show the standard setup just read.
    RefreshCaption();
    ApplyParameters();
    // The splash window closes itself after its time.
    if (Logo)
        Logo->StartTimer();
    // Once the event loop runs, so the message is not hidden behind the splash.
    QTimer::singleShot(0, this, &TFCW::RecoverEarlierRuns);
}

void TFCW::AttachForms(TMDialogBox* comment, TMDirectories* directories, TFDataProc* dataProc,
                       TFService* service, TMAudioDlgBox* audio, TMUsersAssist* about) {
    CommentDlg = comment;
    DirectoriesDlg = directories;
    DataProc = dataProc;
    Service = service;
    AudioDlg = audio;
    AboutDlg = about;
    if (DataProc) {
        DataProc->SetAcquisitionDirectory(Q(AcqDir));
        DataProc->SetOutputDirectory(Q(OutDir));
        DataProc->SetAcquisitionWindow(this);
    }
    if (Service) {
        Service->Bind(TuningB0UpDown, FrequencyUpDown);
        Service->SetCommands(&Commands());
    }
    if (AboutDlg)
        AboutDlg->DeviceReady = [this] { return DeviceReady(); };
}

// ---------------------------------------------------------------- parameters

bool TFCW::FrequencySweep() const {
    return FreqSwRngRB->isChecked();
}
int TFCW::EsrFlag() const {
    return EPRResRB->isChecked() ? 1 : 0;
}

void TFCW::GainScrollBarChange() {
    const int pos = GainScrollBar->value();
    Params.Gain = pos;
    GainVal->setText(Q(FormatGain(pos)));
    Commands().Send(lines::Gain(static_cast<std::int16_t>(pos)));
}

void TFCW::PhaseScrollBarChange() {
    const int pos = PhaseScrollBar->value();
    Params.Phase[CurrentMode] = pos;
    PhaseVal->setText(Q(FormatPhase(pos)));
    Commands().Send(lines::Phase(static_cast<std::int16_t>(pos)));
}

void TFCW::ModAmpUpDownClick() {
    const int idx = ModAmpUpDown->Position();
    Params.ModAmp = idx;
    ModAmpVal->setText(Q(FormatModAmp(idx)));
    Commands().Send(lines::ModAmp(EsrFlag(), ModAmpGs(idx)));
}

void TFCW::FieldSwRngUpDownClick() {
    const int idx = FieldSwRngUpDown->Position();
    Params.FieldSweepRange[CurrentMode] = idx;
    FieldSwRngVal->setText(Q(FormatFieldSweepRange(EsrFlag(), idx)));
    Commands().Send(lines::FieldSweepRange(EsrFlag(), static_cast<std::int16_t>(idx)));
    if (FieldSwRngRB->isChecked())
        FieldSwRngRBClick();
    else
        FieldSwRngRB->setChecked(true); // runs FieldSwRngRBClick
}

void TFCW::FreqSwRngUpDownClick() {
    const int idx = FreqSwRngUpDown->Position();
    Params.FreqSweepRange = idx;
    FreqSwRngVal->setText(Q(FormatFreqSweepRange(idx)));
    Commands().Send(lines::FreqSweepRange(FreqSweepRangeKHzRounded(idx) * 1000));
    if (FreqSwRngRB->isChecked())
        FreqSwRngRBClick();
    else
        FreqSwRngRB->setChecked(true);
}

void TFCW::SweepTUpDownClick() {
    const int idx = SweepTUpDown->Position();
    Params.SweepTime = idx;
    SweepTVal->setText(Q(FormatSweepTime(idx)));
    Commands().Send(lines::SweepTime(static_cast<std::int16_t>(idx)));
}

void TFCW::TuningB0UpDownClick() {
    const int pos = TuningB0UpDown->Position();
    Params.B0[CurrentMode] = pos;
    TuningB0Val->setText(
        Q(FormatB0(CurrentMode, MGs->isChecked(), pos, FieldZeroOffsets()[CurrentMode])));
    Commands().Send(lines::FieldTuning(static_cast<std::int16_t>(pos)));
}

void TFCW::FrequencyUpDownClick() {
    const int pos = FrequencyUpDown->Position();
    Params.Frequency[CurrentMode] = pos;
    FrequencyVal->setText(Q(FormatFrequency(CurrentMode, pos)));
    Commands().Send(lines::Frequency(FrequencyHz(CurrentMode, pos)));
}

void TFCW::DB0UpDownClick() {
    const int idx = DB0UpDown->Position();
    Params.B0Step = idx;
    const int inc = B0StepIncrement(CurrentMode, idx);
    TuningB0UpDown->SetIncrement(inc);
    DB0Val->setText(Q(FormatB0Step(CurrentMode, inc)));
}

void TFCW::DFrqUpDownClick() {
    const int idx = DFrqUpDown->Position();
    Params.FrequencyStep = idx;
    FrequencyUpDown->SetIncrement(FrequencyIncrement(idx));
    DFrqVal->setText(Q(FormatFrequencyStep(idx)));
}

void TFCW::AccUpDownClick() {
    const int n = AccUpDown->Position();
    Params.Accumulations = n;
    AccVal->setText(QString::number(n));
    SetPanelValue(0, Q(Format("%d of %d", {Arg(PassCounter()), Arg(n)})));
}

void TFCW::ModeRBClick(TResonanceMode mode) {
    SelectMode(mode);
    Commands().Send(lines::Mode(ModeCommandDigit(mode)));
}

void TFCW::SetSweepAxis(bool frequencySweep) {
    Params.FieldSweep = frequencySweep ? 0 : 1;
    const double range = frequencySweep
                             ? FreqSweepRangeKHzRounded(FreqSwRngUpDown->Position())
                             : FieldSweepRangeGs(EsrFlag(), FieldSwRngUpDown->Position());
    TChartAxis& axis = Fid->BottomAxis();
    const std::string format = frequencySweep ? "# ##0.### [kHz]" : "# ##0.### [Gs]";
    const bool changed = axis.Minimum() != -range / 2 || axis.Maximum() != range / 2 ||
                         axis.ValueFormat() != format;
    axis.SetMinMax(-range / 2, range / 2);
    axis.SetIncrement(range / 4);
    axis.SetValueFormat(format);
    // The passes of the last run belong to the old axis.
    if (changed && !Measuring(RunState()))
        ClearRunDisplay();
}

void TFCW::FieldSwRngRBClick() {
    SetSweepAxis(false);
}
void TFCW::FreqSwRngRBClick() {
    SetSweepAxis(true);
}

void TFCW::MCDirFWDClick() {
    MCDirFWD->setChecked(true);
    Commands().Send(lines::CurrentDirection(true));
}

void TFCW::MCDirREVClick() {
    MCDirREV->setChecked(true);
    Commands().Send(lines::CurrentDirection(false));
}

void TFCW::MGsClick() {
    MGs->setChecked(true);
}

void TFCW::MmTClick() {
    MmT->setChecked(true);
}

void TFCW::SelectMode(TResonanceMode mode) {
    // Remember the shown positions in the slots of the mode being left.
    Params.B0[CurrentMode] = TuningB0UpDown->Position();
    Params.Frequency[CurrentMode] = FrequencyUpDown->Position();
    Params.Phase[CurrentMode] = PhaseScrollBar->value();
    Params.FieldSweepRange[CurrentMode] = FieldSwRngUpDown->Position();
    // Switch to the new mode.
    CurrentMode = mode;
    Params.Mode = mode;
    // Its field sweep ranges; a single one leaves nothing to choose.
    const RangeLimits lim = FieldSweepRangeLimits(mode);
    FieldSwRngUpDown->SetMin(lim.min);
    FieldSwRngUpDown->SetMax(lim.max);
    FieldSwRngUpDown->setEnabled(lim.min != lim.max);
    // The scroll bar runs its handler when its position changes.
    const TSetupRecord stored = Params;
    TuningB0UpDown->SetPosition(stored.B0[mode]);
    FrequencyUpDown->SetPosition(stored.Frequency[mode]);
    PhaseScrollBar->setValue(stored.Phase[mode]);
    FieldSwRngUpDown->SetPosition(stored.FieldSweepRange[mode]);
    // The B0 step index is clamped to the new minimum, so it never gives a
    // zero increment after leaving ESR.
    DB0UpDown->SetMin(mode == rmESR ? -1 : 0);
    // Only ESR on a device that knows the command has a current direction.
    MCurrentdirection->setEnabled(mode == rmESR && CurrentDirectionAvailable);
    // Show and send the new mode's values.
    TuningB0UpDownClick();
    FrequencyUpDownClick();
    PhaseScrollBarChange();
    FieldSwRngUpDownClick();
    DB0UpDownClick();
    // ESR has no frequency sweep; other modes as the field source allows.
    const bool freqSweepPossible = mode != rmESR;
    FreqSwRngRB->setEnabled(freqSweepPossible);
    FreqSwRngVal->setEnabled(freqSweepPossible);
    FreqSwRngUpDown->setEnabled(freqSweepPossible);
    for (int m = 0; m < kModeCount; ++m)
        ModeRB[m]->setEnabled(ModeAvailable[m] == 1);
}

void TFCW::ApplyParameters() {
    // Handlers write the parameter set as they run (a frequency-range handler
    // even flips the sweep kind), so read everything from a snapshot.
    TSetupRecord rec = Params;
    const TResonanceMode mode = CurrentMode;
    // DC offset and gain (the scroll bar runs its handler).
    LevelTB->setValue(rec.DCOffset);
    GainScrollBar->setValue(rec.Gain);
    // The phase of every mode, the current one shown.
    Params.Phase = rec.Phase;
    PhaseScrollBar->setValue(rec.Phase[mode]);
    // The number of passes.
    AccUpDown->SetPosition(rec.Accumulations);
    // Sweep ranges, modulation amplitude and sweep time.
    Params.FieldSweepRange = rec.FieldSweepRange;
    FieldSwRngUpDown->SetPosition(rec.FieldSweepRange[mode]);
    FreqSwRngUpDown->SetPosition(rec.FreqSweepRange);
    ModAmpUpDown->SetPosition(rec.ModAmp);
    SweepTUpDown->SetPosition(rec.SweepTime);
    // The field of every mode and its step.
    Params.B0 = rec.B0;
    TuningB0UpDown->SetPosition(rec.B0[mode]);
    DB0UpDown->SetPosition(rec.B0Step);
    // The frequency of every mode and its step.
    Params.Frequency = rec.Frequency;
    FrequencyUpDown->SetPosition(rec.Frequency[mode]);
    DFrqUpDown->SetPosition(rec.FrequencyStep);
    // A mode the field source cannot serve falls back.
    int newMode = rec.Mode < kModeCount ? rec.Mode : 0;
    if (!ModeRB[newMode]->isEnabledTo(this))
        newMode = newMode == rmESR ? rmH1 : rmESR;
    rec.Mode = static_cast<std::uint8_t>(newMode);
    Params.Mode = rec.Mode;
    ModeRB[newMode]->setChecked(true); // a newly checked button runs its handler
    // Up-downs run no handler when set: show and send their values now.
    GainScrollBarChange();
    AccUpDownClick();
    FreqSwRngUpDownClick();
    ModAmpUpDownClick();
    SweepTUpDownClick();
    DB0UpDownClick();
    DFrqUpDownClick();
    // Send the mode even when its button was checked already.
    ModeRBClick(static_cast<TResonanceMode>(newMode));
    // A record's frequency sweep does not survive into ESR: the controls,
    // the start command and the saved header all say field sweep.
    rec.FieldSweep = static_cast<std::uint8_t>(
        FieldSweepForMode(static_cast<TResonanceMode>(newMode), rec.FieldSweep));
    if (rec.FieldSweep == 1) {
        if (!FieldSwRngRB->isChecked())
            FieldSwRngRB->setChecked(true);
    } else if (!FreqSwRngRB->isChecked()) {
        FreqSwRngRB->setChecked(true);
    }
    Params.FieldSweep = rec.FieldSweep;
    // The direction is not part of a setup.
    MCDirFWDClick();
}

void TFCW::CaptureParameters() {
    // Re-running the mode's handlers selects the field sweep; the setup and the
    // window must keep the sweep kind the operator chose.
    const bool fieldSweep =
        FieldSweepForMode(CurrentMode, FieldSwRngRB->isChecked() ? 1 : 0) == 1;
    SelectMode(CurrentMode);
    if (!fieldSweep)
        FreqSwRngRB->setChecked(true);
    Params.DCOffset = LevelTB->value();
    Params.Gain = GainScrollBar->value();
    Params.Accumulations = AccUpDown->Position();
    Params.ModAmp = ModAmpUpDown->Position();
    Params.FieldSweep = fieldSweep ? 1 : 0;
    Params.FreqSweepRange = FreqSwRngUpDown->Position();
    Params.SweepTime = SweepTUpDown->Position();
    Params.B0Step = DB0UpDown->Position();
    Params.FrequencyStep = DFrqUpDown->Position();
    Params.Mode = CurrentMode;
}

// ---------------------------------------------------------------- caption

QString TFCW::CaptionText() const {
    QString part1 =
        DeviceReady()
            ? (QStringLiteral("CW NMR/ESR Spectrometer- Unit Serial #") + Q(UnitSerial())).left(42)
            : QStringLiteral("CW NMR/ESR Spectrometer- Device not connected");
    return part1 + QStringLiteral("            SETUP and ACQUISITION") +
           QStringLiteral("            Setup: ") + Q(CurrentSetup.SetupName);
}

void TFCW::RefreshCaption() {
    // While a run is on its progress leads, so a minimised window shows it.
    setWindowTitle(ProgressCaption + CaptionText());
}

// ---------------------------------------------------------------- menus

void TFCW::MAboutClick() {
    if (AboutDlg)
        Dialogs().Exec(*AboutDlg);
}

void TFCW::MExitClick() {
    close();
}

void TFCW::MSpcCOMClick(int index) {
    ChoosePort("COM" + std::to_string(index + 1));
}

void TFCW::ChoosePort(const std::string& name) {
    try {
        port_.SetDeviceName(name);
    } catch (const std::exception& e) {
        Dialogs().ShowError(this, QString::fromLocal8Bit(e.what()));
    }
    RefreshPortMenu();
}

void TFCW::MSpcOtherClick() {
    if (const std::optional<QString> name =
            AskText(this, QStringLiteral("Comunication Port"),
                    QStringLiteral("Device path (for example /dev/ttyUSB0):"),
                    Q(port_.DeviceName())))
        ChoosePort(name->toStdString());
}

void TFCW::RefreshPortMenu() {
    for (QAction* a : PortDeviceItems) {
        PortGroup->removeAction(a);
        MSpcCOM->removeAction(a);
        a->deleteLater();
    }
    PortDeviceItems.clear();
    const std::string inUse = port_.DeviceName();
    std::vector<std::string> paths = ListPorts ? ListPorts() : std::vector<std::string>{};
    // COM1..COM4 have their items; a typed path in use is shown even when absent.
    std::erase_if(paths, [](const std::string& p) {
        for (int i = 1; i <= 4; ++i)
            if (p == SerialDevicePath("COM" + std::to_string(i)))
                return true;
        return false;
    });
    if (SerialDevicePath(inUse) == inUse &&
        std::find(paths.begin(), paths.end(), inUse) == paths.end())
        paths.push_back(inUse);
    // While connecting no port may change; the COM items say whether it may.
    const bool enabled = MSpcCOMItems[0]->isEnabled();
    for (const std::string& path : paths) {
        auto* a = new QAction(Q(path), MSpcCOM);
        a->setObjectName(QStringLiteral("MSpcDevice"));
        a->setCheckable(true);
        a->setEnabled(enabled);
        MSpcCOM->insertAction(MSpcOther, a);
        PortGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, path] { ChoosePort(path); });
        PortDeviceItems.push_back(a);
    }
    MSpcOther->setEnabled(enabled);
    // The check marks follow the name the port really has.
    for (QAction* a : MSpcCOMItems)
        a->setChecked(a->text().toStdString() == inUse);
    for (QAction* a : PortDeviceItems)
        a->setChecked(a->text().toStdString() == inUse);
}

void TFCW::MFileLocationClick() {
    if (!DirectoriesDlg)
        return;
    const QString out = DataProc ? DataProc->OutputDirectory() : Q(OutDir);
    DirectoriesDlg->SetDirectories(Q(SetupDir), Q(AcqDir), out);
    if (Dialogs().Exec(*DirectoriesDlg) != QDialog::Accepted)
        return;
    SetupDir = DirectoriesDlg->SetupDirectory().toStdString();
    AcqDir = DirectoriesDlg->AcquisitionDirectory().toStdString();
    OutDir = DirectoriesDlg->OutputDirectory().toStdString();
    if (DataProc) {
        DataProc->SetAcquisitionDirectory(Q(AcqDir));
        DataProc->SetOutputDirectory(Q(OutDir));
    }
    // Now, not at exit: after a crash the next start must look for the
    // recovery file in the folder the run used.
    WriteIniSettings();
}

void TFCW::Audio1Click() {
    if (!AudioDlg)
        return;
    AudioDlg->SetSettings(SoundSettings);
    if (Dialogs().Exec(*AudioDlg) == QDialog::Accepted)
        SoundSettings = AudioDlg->Settings();
}

void TFCW::MDataprocessingClick() {
    if (!DataProc)
        return;
    DataProc->showMaximized();
    DataProc->raise();
    DataProc->activateWindow();
    // Straight after a run the operator wants to measure it: the file just
    // saved opens once; later visits keep whatever the window shows.
    if (!UnopenedSavedFile.isEmpty()) {
        DataProc->OpenFile(UnopenedSavedFile);
        UnopenedSavedFile.clear();
    }
}

void TFCW::MServiceClick() {
    if (!Service)
        return;
    Dialogs().Exec(*Service);
    TuningB0UpDown->SetPosition(Service->TuningB0Position());
    TuningB0UpDownClick();
}

void TFCW::MAccDiagramClick() {
    // Undo the action's own toggle: AccDToolBClick toggles the check mark.
    MAccDiagram->setChecked(!MAccDiagram->isChecked());
    AccDToolBClick();
}

void TFCW::CommentEditDblClick() {
    if (!CommentDlg)
        return;
    CommentDlg->SetCommentTarget(CommentEdit);
    Dialogs().Exec(*CommentDlg);
}

// ---------------------------------------------------------------- events

void TFCW::closeEvent(QCloseEvent* event) {
    if (!CloseQueryAllowed()) {
        event->ignore();
        return;
    }
    StopAlarm();
    RunClosing();
    WriteIniSettings();
    Timer1->stop();
    if (port_.Active()) {
        try {
            port_.Close();
        } catch (const std::exception& e) {
            Dialogs().ShowError(this, QString::fromLocal8Bit(e.what()));
        }
    }
    event->accept();
    emit Closed();
}

void TFCW::mousePressEvent(QMouseEvent* event) {
    FidClick();
    QMainWindow::mousePressEvent(event);
}

bool TFCW::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CommentEdit && event->type() == QEvent::MouseButtonDblClick) {
        CommentEditDblClick();
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == ToolBar || watched == Level || watched == ResonanceBox ||
         watched == ReceiverBox || watched == FModulatorBox || watched == AcquisitionBox))
        FidClick();
    return QMainWindow::eventFilter(watched, event);
}

} // namespace tavi
