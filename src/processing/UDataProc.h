// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window "PROCESSING": a data file read back, its base line, the
// derivative and absorption views with their measurements, cursors and zoom.
// The values live in a ProcModel; this window edits its inputs from the
// controls and moves what it holds onto the charts and labels. Exports and
// printing are in UDataProcOutput.cpp.
#pragma once

#include "processing/DataFile.h"
#include "processing/ProcAnalysis.h"
#include "processing/ProcModel.h"
#include "processing/UIntegration.h"
#include "processing/UM2.h"
#include "processing/UMMarker.h"
#include "processing/UZoom.h"

#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class QAction;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class QShowEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QStatusBar;
class QToolButton;

namespace tavi {

class TFAnalysis;

class TChart;
class TChartSeries;

inline const QColor kProcPointColour{0xFF, 0xFF, 0x00}; // Series1 and Series2 points
// The hint of both "M2" buttons while they measure moments.
inline constexpr const char* kMomentHint = "Second and fourth moments";
inline const QColor kProcIntegralColour{0xFF, 0x00, 0x00};

class TFDataProc : public QMainWindow {
    Q_OBJECT
public:
    // screenWidth/screenHeight: the screen the layout is scaled for; 0 takes
    // the primary screen's.
    explicit TFDataProc(QWidget* parent = nullptr, int screenWidth = 0, int screenHeight = 0);
    ~TFDataProc() override;

    // The dialogs' initial directories (preferences). A new acquisition
    // directory empties the open dialog's remembered file name, as choosing new
    // directories in the preferences does.
    void SetAcquisitionDirectory(const QString& dir);
    QString AcquisitionDirectory() const { return acquisitionDir_; }
    void SetOutputDirectory(const QString& dir) { outputDir_ = dir; }
    QString OutputDirectory() const { return outputDir_; }
    // The window "Setup & Acq" brings to the front.
    void SetAcquisitionWindow(QWidget* window) { acquisitionWindow_ = window; }

    // The file last chosen in the open dialog (or dropped), even when its load
    // failed: exports and printing name their output after it.
    QString FileName() const { return fileName_; }
    // Loads a file exactly as "Open" does after the dialog.
    void OpenFile(const QString& path);

    double LayoutScale() const { return layoutScale_; }
    double DisplayScale() const { return displayScale_; }
    bool DerivativeOn() const;
    bool AbsorptionOn() const;
    bool FileLoaded() const { return loaded_; }

    // ---- controls (objectName = member name) ----
    QFrame* DIFileToolBar = nullptr;
    QToolButton* FOpenTB = nullptr;
    QToolButton* ExportATB = nullptr;
    QFrame* S11TB = nullptr;
    QToolButton* FDerivativeTB = nullptr;
    QToolButton* AbsorptionTB = nullptr;
    QFrame* S12TB = nullptr;
    QFrame* S13TB = nullptr;
    QToolButton* SetupTB = nullptr;
    QToolButton* AnalysisTB = nullptr; // opens the window "ANALYSIS"
    QFrame* L0ToolBar = nullptr;
    QToolButton* Line0DnTB = nullptr;
    QToolButton* Line0UpTB = nullptr;
    QToolButton* Line0LeftTB = nullptr;
    QToolButton* Line0RightTB = nullptr;

    QFrame* DOFileToolBar = nullptr;
    QToolButton* DOSaveTB = nullptr;
    QFrame* S21TB = nullptr;
    QFrame* SZOOMTB = nullptr;
    QFrame* S22TB = nullptr;
    QFrame* SAbsorptionTB = nullptr;
    QFrame* S23TB = nullptr;
    QFrame* SCursorsTB = nullptr;
    QFrame* ZoomToolBar = nullptr;
    QToolButton* ZoomTB = nullptr;
    QToolButton* UnZoomTB = nullptr;
    QToolButton* VerticalExpTB = nullptr;
    QFrame* FDerivativeToolBar = nullptr;
    QToolButton* M2DerivativeTB = nullptr;
    QToolButton* SDBTB = nullptr;
    QFrame* AbsorptionToolBar = nullptr;
    QToolButton* M2AbsorptionTB = nullptr;
    QToolButton* HDBTB = nullptr;
    QToolButton* IntegralTB = nullptr;
    QFrame* CursorsToolBar = nullptr;
    QToolButton* M2LCTB = nullptr;
    QToolButton* M2MCTB = nullptr;
    QToolButton* M2RCTB = nullptr;
    // A toolbar of the design that no operation shows.
    QFrame* IntegralToolBar = nullptr;

    TChart* DSrc = nullptr;
    TChart* DDst = nullptr;
    TChartSeries* Series1 = nullptr;
    TChartSeries* SeriesLine0 = nullptr;
    TChartSeries* Series2 = nullptr;
    TChartSeries* SeriesI = nullptr;
    QLabel* XYST = nullptr;
    QLabel* DstXYST = nullptr;

    QGroupBox* GroupBox1 = nullptr; // "Experiment setup"
    QLabel* ModeLab = nullptr;
    QLabel* LResonance = nullptr;
    QLabel* SweepTpLab = nullptr;
    QLabel* LSweepTp = nullptr;
    QLabel* SweepRLab = nullptr;
    QLabel* LSweepR = nullptr;
    QLabel* ModAmpLab = nullptr;
    QLabel* LModAmp = nullptr;
    QLabel* SweepTLab = nullptr;
    QLabel* LSweepTime = nullptr;
    QLabel* GainLab = nullptr;
    QLabel* LGain = nullptr;
    QLabel* PhaseLab = nullptr;
    QLabel* LPhase = nullptr;
    QLabel* B0Lab = nullptr;
    QLabel* LB0 = nullptr;
    QLabel* FreqLab = nullptr;
    QLabel* LFrequency = nullptr;
    QLabel* AccLab = nullptr;
    QLabel* LAcc = nullptr;
    QLabel* CommentLab = nullptr;
    QPlainTextEdit* LComment = nullptr;

    QGroupBox* GroupBox2 = nullptr; // "Processing parameters"
    QFrame* M2Panel = nullptr;
    QLabel* M2Label = nullptr;
    QLabel* M2Val = nullptr;
    QLabel* M2LLabel = nullptr;
    QLabel* M2LVal = nullptr;
    QLabel* M2RLabel = nullptr;
    QLabel* M2RVal = nullptr;
    QLabel* M4Label = nullptr;
    QLabel* M4Val = nullptr;
    QLabel* M4Val4 = nullptr;
    QFrame* GPanel = nullptr;
    QLabel* GLabel = nullptr;
    QLabel* GVal = nullptr;
    QFrame* DBPanel = nullptr;
    QLabel* DHLabel = nullptr;
    QLabel* DBVal = nullptr;
    QFrame* AbsorptionPanel = nullptr;
    QLabel* AILabel = nullptr;
    QLabel* AIVal = nullptr;
    QLabel* ILLabel = nullptr;
    QLabel* ILBVal = nullptr;
    QLabel* IRLabel = nullptr;
    QLabel* ILEVal = nullptr;

    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* ClippedLab = nullptr; // "clipped: N points", shown only when some are

    QAction* MOpen = nullptr;
    QAction* MExportAscii = nullptr;
    QAction* SaveSetupAs1 = nullptr;
    QAction* MPrint = nullptr;
    QAction* MPrintPdf = nullptr;
    QAction* MExportData = nullptr;
    QAction* MExit = nullptr;
    QAction* MAnalysis = nullptr; // "Analysis" > "Fit and quantify..."
    TFAnalysis* AnalysisWindow = nullptr; // created on first use
    // "Analysis ▸ Compare files...": the program connects it to the window "COMPARE".
    QAction* MCompareFiles = nullptr;

    // ---- window state ----
    ChartMarker SourceMarker{ChartMarker::MarkerStart::Cursor};
    ChartMarker ResultMarker;
    HorizontalZoom Zoom;
    int CursorSlotCount = 2;
    DataFileHeader Header;
    DataFileSettings Settings; // decoded header of the last load
    double XStep = 0;
    double ModAmpValue = 0;
    double FrequencyValue = 0;
    double FieldB0Value = 0;
    int Clipped = 0; // points of the loaded file cut to the +-500 range

    // ---- handlers, in the window's order ----
    void FormCreate();
    void FormShow();
    void FormClose();
    void FOpenTBClick();
    void MExitClick();
    void SetupTBClick();
    void AnalysisTBClick();
    void FDerivativeTBClick();
    void AbsorptionTBClick();
    void Line0DnTBClick();
    void Line0UpTBClick();
    void Line0LeftTBClick();
    void Line0RightTBClick();
    void ZoomTBClick();
    void UnZoomTBClick();
    void VerticalExpTBClick();
    void DDstZoom();
    void DDstUndoZoom();
    void M2DerivativeTBClick();
    void M2AbsorptionTBClick();
    void GDerivativeTBClick();
    void GAbsorptionTBClick();
    void SDBTBClick();
    void HDBTBClick();
    void IntegralTBClick();
    void M2CTBClick(QObject* sender);
    // Exports and printing (UDataProcOutput.cpp).
    void MExportAsciiClick();
    void DOSaveTBClick();
    void MPrintClick();
    void MPrintPdfClick();
    void MExportDataClick();

    // ---- operations ----
    bool LoadDataFile(const QString& path);
    void ClearSetupLabels();
    void FitSetupValues();
    QString FileUnitText() const;
    char FileAxisLetter() const;
    void SetStatusPanel(const QString& text);
    void RedrawBaseLine();
    // The file, base line, view, cursors and measurement values the window shows.
    const ProcModel& Model() const { return model_; }
    // Brings the model up to date with the controls (visible range, axis,
    // chosen button, cursors) and shows what it then holds.
    void UpdateResults();
    // Runs whichever handler a moment button holds.
    void RunMomentHandler(QToolButton* button);
    bool MomentCaptionIsG() const { return momentIsG_; }
    // The vertical range "VE" gives a curve from lo to hi: the range and the
    // label increment, never of zero span or step.
    struct AxisRange {
        double Minimum;
        double Maximum;
        double Increment;
    };
    static AxisRange VerticalExpansion(double lo, double hi);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls(QWidget* central);
    void BuildMenus();
    void ConnectHandlers();
    void LayoutRows();
    // Places the charts, the rows and the group boxes: the scaled design, and
    // with grow the room beyond it given to the charts.
    void LayoutToSize(bool grow);
    QSize designSize_; // the window's size as created: the layout's starting point
    QToolButton* MakeButton(QWidget* parent, const char* name, const char* caption,
                            const char* hint, bool checkable);
    // Check buttons: the handler follows the button's state change, so a
    // click, a key and an accessibility toggle act alike; SetDown changes the
    // state without running it.
    void OnToggle(QToolButton* button, std::function<void()> handler);
    void RunHandler(QToolButton* button);
    static void SetDown(QToolButton* button, bool down);
    void ViewOff(bool derivative);
    void ViewVisibility(bool derivative, bool on);
    void AttachResultMarker();
    void CopySourceAxes();
    void ShowDerivative();
    void ShowAbsorption();
    void ShowResultCurve();
    void ShowView(ResultView view);
    void ReleaseOthers(QToolButton* pressed, std::initializer_list<QToolButton*> group);
    void Press(QToolButton* pressed, std::initializer_list<QToolButton*> group,
               Measurement measurement, bool withMiddle);
    void MeasurementReleased(bool withMiddle);
    Measurement ChosenMeasurement() const;
    // Puts the cursors where the button places them; false when nothing is visible.
    bool PlaceCursors(Measurement m);
    void ShowMeasurement();
    void ShowHalfHeight();
    void ShowArea();
    void ChangeBaseLine(double slopeStep, double offsetStep);
    void SetReference(int slot, int index);
    static QString DroppedDataFile(const QMimeData* mime);

    QString acquisitionDir_;
    QString outputDir_;
    QString fileName_;
    QPointer<QWidget> acquisitionWindow_;
    double layoutScale_ = 1;
    double displayScale_ = 1;
    bool loaded_ = false;
    bool momentIsG_ = false;
    LoadedDataFile file_;
    ViewCurves curves_;
    ProcModel model_{curves_};
    std::uint64_t shownCurve_ = 0;     // the model's curve Series2 holds
    std::uint64_t reportedSearch_ = 0; // the half-height search last shown
    bool updating_ = false;
};

} // namespace tavi
