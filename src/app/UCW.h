// SPDX-License-Identifier: GPL-3.0-or-later
// The main window "SETUP and ACQUISITION": parameter controls, the view of the
// spectrometer link (connection, device state), the setup menus and the run.
#pragma once

#include "acquisition/AcquisitionObserver.h"
#include "acquisition/SpectrometerLink.h"
#include "device/ReplyParser.h"
#include "device/SerialPort.h"
#include "device/UOutMess.h"
#include "params/Freq.h"
#include "processing/UMMarker.h"
#include "setup/USetup.h"

#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QRadioButton;
class QScrollBar;
class QSlider;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace tavi {

class TChart;
class TChartSeries;
class TUpDown;
class TValueText;
class TMLogo;
class TMDialogBox;
class TMDirectories;
class TFDataProc;
class TFService;
class TMAudioDlgBox;
class TMUsersAssist;

class TFCW : public QMainWindow {
    Q_OBJECT
public:
    // exeDir: where TAVI.INI lives; empty means the executable's directory.
    explicit TFCW(ISerialPort& port, QWidget* parent = nullptr, std::string exeDir = {});
    ~TFCW() override;

    // The windows created after this one (Forms); any may be null in tests.
    void AttachForms(TMDialogBox* comment, TMDirectories* directories, TFDataProc* dataProc,
                     TFService* service, TMAudioDlgBox* audio, TMUsersAssist* about);

    // Display scale rule: width / 800, times 1.09 when above 1, else 1 (6-byte real).
    static double ComputeDisplayScale(int screenWidth);

    // ---- controls (objectName = member name) ----
    QToolButton* VertMTB = nullptr;
    QToolButton* HorizMTB = nullptr;
    QComboBox* CurrDiagramCBox = nullptr;
    QToolButton* AccDToolB = nullptr;
    QToolButton* DHToolB = nullptr;
    QToolButton* DProcTB = nullptr;

    QGroupBox* Level = nullptr;
    QSlider* LevelTB = nullptr;
    TChart* Fid = nullptr;

    QRadioButton* HydrogenRB = nullptr;
    QRadioButton* HFRB = nullptr;
    QRadioButton* EPRResRB = nullptr;
    std::array<QRadioButton*, 4> ModeRB{};        // indexed by TResonanceMode
    std::array<int, 4> ModeAvailable{1, 1, 1, 1}; // the radio buttons' availability tags

    QLabel* Gain = nullptr;
    QScrollBar* GainScrollBar = nullptr;
    TValueText* GainVal = nullptr;
    QLabel* Phase = nullptr;
    QScrollBar* PhaseScrollBar = nullptr;
    TValueText* PhaseVal = nullptr;
    QLabel* TuningB0Lab = nullptr;
    TUpDown* TuningB0UpDown = nullptr;
    TValueText* TuningB0Val = nullptr;
    TUpDown* DB0UpDown = nullptr;
    QLabel* FreqLab = nullptr;
    TUpDown* FrequencyUpDown = nullptr;
    TValueText* FrequencyVal = nullptr;
    TUpDown* DFrqUpDown = nullptr;

    QLabel* ModAmp = nullptr;
    TUpDown* ModAmpUpDown = nullptr;
    TValueText* ModAmpVal = nullptr;
    QRadioButton* FieldSwRngRB = nullptr;
    TUpDown* FieldSwRngUpDown = nullptr;
    QRadioButton* FreqSwRngRB = nullptr;
    TUpDown* FreqSwRngUpDown = nullptr;
    QLabel* SweepTLab = nullptr;
    TUpDown* SweepTUpDown = nullptr;
    TValueText* SweepTVal = nullptr;

    QToolButton* StartToolB = nullptr;
    QToolButton* HoldToolB = nullptr;
    QToolButton* AbortToolB = nullptr;
    QLabel* AccLab = nullptr;
    TUpDown* AccUpDown = nullptr;
    TValueText* AccVal = nullptr;
    QRadioButton* LoopRB = nullptr;
    QRadioButton* SingleRB = nullptr;
    QLineEdit* FNameEdit = nullptr;
    QLabel* CommentLab = nullptr;
    QLineEdit* CommentEdit = nullptr;

    QStatusBar* StatusBar = nullptr;
    std::array<QLabel*, 5> Panels{};

    // Menus
    QAction* MSaveas = nullptr;
    QAction* MOpensetup = nullptr;
    QAction* MSavesetup = nullptr;
    QAction* MAbout = nullptr;
    QAction* MExit = nullptr;
    std::array<QAction*, 4> MSpcCOMItems{}; // MSpcCOM1 .. MSpcCOM4
    // Below COM1..COM4: the other serial devices present and the port in use
    // when it is none of them (rebuilt whenever the menu opens), then "Other...".
    std::vector<QAction*> PortDeviceItems;
    QAction* MSpcOther = nullptr;
    std::function<std::vector<std::string>()> ListPorts;
    QAction* MLink = nullptr;
    QAction* MAccDiagram = nullptr;
    QMenu* MUnits = nullptr;
    QAction* MGs = nullptr;
    QAction* MFileLocation = nullptr;
    QAction* Audio1 = nullptr;
    QMenu* MCurrentdirection = nullptr;
    QAction* MCDirFWD = nullptr;
    QAction* MCDirREV = nullptr;
    QAction* MDataprocessing = nullptr;
    QAction* MCompareFiles = nullptr; // connected by the program to the window "COMPARE"
    QAction* MService = nullptr;
    // Technician's way into the service window (the menu item stays disabled).
    QAction* ServiceShortcut = nullptr;

    QTimer* Timer1 = nullptr; // the connection check's tick

    // ---- device state (the link's) ----
    // The connection check's attempt counter: SpectrometerLink::kCheckStarted
    // when a check starts, one more per tick; 0 when no check runs.
    int CheckAttempt() const { return link_->CheckAttempt(); }
    bool DeviceReady() const { return link_->DeviceReady(); }
    bool HoldActive() const { return link_->HoldActive(); }
    int FieldSource() const { return link_->FieldSource(); }
    const std::string& UnitSerial() const { return link_->UnitSerial(); }
    const std::string& DeviceVersion() const { return link_->DeviceVersion(); }
    std::int32_t SignalDivisor() const { return link_->SignalDivisor(); } // 0 until the first "Z"
    const std::array<std::int32_t, 4>& FieldZeroOffsets() const { return link_->FieldZeroOffsets(); }
    const LineAssembler& RxLine() const { return link_->ReceivedLine(); }
    int OutOfRangeCount() const { return link_->OutOfRangeCount(); }
    bool SpectrometerOn() const { return link_->SpectrometerOn(); }
    SpectrometerLink& Link() { return *link_; }

    // ---- the run (the link's accumulation) ----
    // The 1-based number of the pass being taken: 0 at start, 1 from Start,
    // one more before each further pass of a Single run.
    int PassCounter() const { return Run().PassCounter(); }
    tavi::RunState RunState() const { return Run().State(); }
    // Show or restore a run's state and pass without a device report.
    void SetRunState(tavi::RunState state) { Run().SetState(state); }
    void SetPassCounter(int pass);
    // The sums as the data file stores them: N little-endian int32 entries.
    std::vector<std::uint8_t> AccBuffer() const { return SumBytes(Run().Sums()); }
    int NextPointIndex() const { return Run().NextPointIndex(); }
    double PointStep() const { return Run().PointStep(); }
    // The pass series of the pass being taken (0 to 4).
    int CurrentPass() const { return Run().CurrentSlot(); }
    int FinishedPasses() const { return Run().FinishedPasses(); }
    bool RunComplete() const { return Run().Complete(); }
    const std::string& RecoveryPath() const { return Run().RecoveryPath(); }
    int RecoveryPassesKept() const { return Run().RecoveryPassesKept(); }
    Accumulation& Run() { return link_->Run(); }
    const Accumulation& Run() const { return link_->Run(); }
    bool CurrentDirectionAvailable = false; // a version "2.0" device reported itself
    std::vector<QWidget*> HoldList;         // the 21 controls of SetHoldState

    // ---- parameter set, setups, preferences ----
    TSetupRecord Params = DefaultSetup();
    TResonanceMode CurrentMode = rmH1;
    tavi::CurrentSetup CurrentSetup;
    std::string ExeDir;   // with a trailing separator
    IniLocation IniPlace; // where TAVI.INI is read and written, chosen at start-up
    std::string SetupDir; // initial directory of the setup open/save dialogs
    std::string AcqDir;   // initial directory of the data save dialog
    std::string OutDir;   // data output directory (the processing window's copy wins)
    std::array<TSoundSetting, 3> SoundSettings = DefaultSoundSettings();
    double DisplayScale = 1.0;

    // ---- other windows ----
    QPointer<TMLogo> Logo;
    TMDialogBox* CommentDlg = nullptr;
    TMDirectories* DirectoriesDlg = nullptr;
    TFDataProc* DataProc = nullptr;
    TFService* Service = nullptr;
    TMAudioDlgBox* AudioDlg = nullptr;
    TMUsersAssist* AboutDlg = nullptr;

    // Read-outs on the chart (created here, used by the run).
    QLabel* OutOfRangeLab = nullptr;
    QLabel* XYST = nullptr;
    QLabel* DBST = nullptr;

    ISerialPort& Port() { return port_; }

signals:
    // The window has closed (the close was accepted): the program ends.
    void Closed();

public:
    // ---- parameter control handlers ----
    void GainScrollBarChange();
    void PhaseScrollBarChange();
    void ModAmpUpDownClick();
    void FieldSwRngUpDownClick();
    void FreqSwRngUpDownClick();
    void SweepTUpDownClick();
    void TuningB0UpDownClick();
    void FrequencyUpDownClick();
    void DB0UpDownClick();
    void DFrqUpDownClick();
    void AccUpDownClick();
    void ModeRBClick(TResonanceMode mode); // HydrogenRB .. EPRResRB
    void FieldSwRngRBClick();
    void FreqSwRngRBClick();
    void MCDirFWDClick();
    void MCDirREVClick();
    void MGsClick();
    void MmTClick();

    void SelectMode(TResonanceMode mode);
    void ApplyParameters();
    void CaptureParameters();
    bool FrequencySweep() const; // "Frequency Sweep" checked
    int EsrFlag() const;         // "ESR" checked

    // ---- caption, menus, setups, dialogs ----
    void RefreshCaption();
    QString CaptionText() const;
    // Reads a setup into Params; false (nothing changed) when it cannot be read.
    bool LoadSetup(const std::string& path, std::string* error = nullptr);
    // Captures the controls and writes; false (current setup unchanged) on failure.
    bool SaveSetup(const std::string& path, std::string* error = nullptr);
    void MOpensetupClick();
    void MSavesetupClick();
    void MSavesetupasClick();
    void MAboutClick();
    void MExitClick();
    void MSpcCOMClick(int index); // 0..3
    // Uses the named port (COM1..COM4 or a device path) from now on, as a
    // choice in the port menu does; a refused name is reported.
    void ChoosePort(const std::string& name);
    void MSpcOtherClick();
    void RefreshPortMenu();
    void MFileLocationClick();
    void Audio1Click();
    void MDataprocessingClick();
    void MServiceClick();
    void MAccDiagramClick();
    void CommentEditDblClick();
    void ReadIniSettings();
    void WriteIniSettings();

    // ---- what the link reports ----
    void SetHoldState(bool hold);
    void ShowFieldSource(int code);
    void SetControlsEnabled(bool on);
    void SetPanelValue(int panel, const QString& text);
    void ShowDeviceReady(bool ready);
    void ShowIdentity();

    // ---- connection ----
    void MLinkClick();
    void Timer1Timer();
    void ConnectionCheckFailed();
    // "Device not ready" with the port and the likeliest cause.
    QString NotReadyText() const;

    // --- run (UCWRun.cpp) ---
    // The passes as the accumulation reports them: the chart, panels, sounds.
    void ShowPassBegun(int pass);
    void ShowPoint(int index, int value);
    void ShowHeldPoint(int index, int value);
    void ShowAverage();
    void ShowRunState(tavi::RunState state);
    void ShowIdleReply();
    void ShowIdleHandled();
    void ShowOutOfRange(int count);
    void ShowExperimentFinished();
    // A "V" as the link hands it on (the hold is the link's).
    void StorePoint(int value);
    void StartToolBClick();
    void HoldToolBClick();
    void AbortToolBClick();
    void SingleRBClick();
    void CurrDiagramCBoxChange();
    // Clears the passes, the average, the marker and the run's read-outs from
    // the chart after its axis changed under them (sweep kind, range, mode).
    void ClearRunDisplay();
    void AccDToolBClick();
    void DHToolBClick();
    void VertMTBClick();
    void HorizMTBClick();
    void FidClick();
    void StopAlarm();
    void AutoSaveData();
    // The data file the name in "Store in file" gives; empty without a name.
    QString NamedDataPath() const;
    // "file exists. Overwrite ?" for an existing file: yes or no; nothing
    // asked (no file there, or a folder) gives no answer.
    std::optional<bool> AskOverwrite(const QString& path);
    bool SaveDataFile(const QString& path);
    void MSaveasClick();
    // FormCloseQuery's decision ("Measure in progress" while a pass is being measured).
    bool CloseQueryAllowed();
    // Run-related steps of the creation sequence (pass colours, legend, clearing
    // the series). The six series already exist in Fid.
    void InitRun();
    // The device was lost or switched off while the run was in `before`.
    void EndRunOnDisconnect(tavi::RunState before);
    // The run's settings from the controls as they are now (passes, Loop,
    // sweep axis, the data file's header, the recovery file's place).
    void SyncRun();

    std::array<QColor, 5> PassColours{};
    bool AlarmLooping = false;
    std::array<TChartSeries*, 5> PassSeries{}; // Series1..Series5 (Fid series 0..4)
    TChartSeries* SeriesAcc = nullptr;         // Fid series 5
    QWidget* LegendPanel = nullptr;
    std::array<QLabel*, 5> Legends{}; // S1Legend .. S5Legend
    // The acquisition chart's marker, attached to the newest pass at the end
    // of an experiment.
    ChartMarker MainMarker{ChartMarker::MarkerStart::Cursor};

    // Surviving runs: the accumulation keeps the sums of the finished passes
    // apart, writes them to the recovery file after each pass, and they are
    // what "Save data as ..." writes after an Abort or a lost device.
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kSilenceBeforeCloseQuestion{10};
    std::function<Clock::time_point()> Now = [] { return Clock::now(); };
    QProgressBar* RunProgress = nullptr;    // right of the status bar while a run is on
    QLabel* ClippedLab = nullptr;           // the warning of points beyond the chart's range
    QLabel* AbortNoticeLab = nullptr;       // after an Abort: what "Save data as ..." keeps
    void NoteDeviceActivity();
    // Renames recovery files left by earlier runs and says where they are.
    void RecoverEarlierRuns();
    void RunAborted(); // the "D" that ends an aborted run
    void RunClosing(); // the window closes
    void UpdateProgress();
    void EndProgress();
    void NoteClippedPoint(); // a stored point lies beyond the chart's +-500
    // --- end run ---

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Controls and run flags that only this window's own code reaches.
    QToolBar* ToolBar = nullptr;
    QLabel* SweepDLabel = nullptr;
    QGroupBox* ResonanceBox = nullptr;
    QRadioButton* FluorineRB = nullptr;
    QGroupBox* ReceiverBox = nullptr;
    QLabel* B0ByLab = nullptr;
    TValueText* DB0Val = nullptr;
    QLabel* FByLab = nullptr;
    TValueText* DFrqVal = nullptr;
    QGroupBox* FModulatorBox = nullptr;
    TValueText* FieldSwRngVal = nullptr;
    TValueText* FreqSwRngVal = nullptr;
    QGroupBox* AcquisitionBox = nullptr;
    QLabel* FNameLab = nullptr;
    QAction* MSavesetupas = nullptr;
    QMenu* MSpcCOM = nullptr;
    QActionGroup* PortGroup = nullptr;
    QAction* MmT = nullptr;
    int MarkerLength137 = 137; // the main chart marker's two lengths, scaled once
    int MarkerLength320 = 320;
    QString OverwriteAnswerPath; // the file asked about at Start
    bool OverwriteAnswer = false;
    QString UnopenedSavedFile; // saved, not yet opened by "Proc"/"Data Processing"
    Clock::time_point LastDeviceActivity{};
    bool RunSaved = false; // the complete run went into a data file
    std::string RecoveryRunName; // the run's intended name, carried by its file
    bool KeepRecoveryOnClose = false; // closed over a silent device
    int ClippedPoints = 0; // of this run's passes, beyond +-500
    QString ProgressCaption; // put before the caption while a run is on

    void BuildToolBar();
    void BuildChartArea(QWidget* central);
    void BuildResonanceBox();
    void BuildReceiverBox();
    void BuildModulatorBox();
    void BuildAcquisitionBox();
    void BuildStatusBar();
    void BuildMenus();
    void NameControls();
    void SetUpKeyboard();
    void SetSweepAxis(bool frequencySweep);
    void FileErrorToOperator(const QString& what, const std::string& cause);
    void CreateLink();
    const CommandSender& Commands() const { return link_->Commands(); }

    ISerialPort& port_;
    // Turns the link's and the run's reports into this window's effects;
    // declared first, so that it outlives the link.
    class LinkView;
    std::unique_ptr<LinkView> view_;
    // The connection, the reply dispatch and the device state; every command
    // of this window and of the service window goes out through it.
    std::unique_ptr<SpectrometerLink> link_;
    bool closing_ = false;
};

} // namespace tavi
