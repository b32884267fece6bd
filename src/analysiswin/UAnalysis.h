// SPDX-License-Identifier: GPL-3.0-or-later
// The window "ANALYSIS": base-line regions as bands on the chart, the line-
// shape fit off the GUI thread, the result table, the double integral against
// a reference, and the report.
#pragma once

#include "analysis/Analysis.h"

#include <QMainWindow>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

class QCheckBox;
class QComboBox;
class QCPItemRect;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace tavi {

class TChart;
class TChartSeries;

class TFAnalysis : public QMainWindow {
    Q_OBJECT
public:
    explicit TFAnalysis(QWidget* parent = nullptr);
    ~TFAnalysis() override;

    // Loads the data file the processing window shows; false with the cause
    // shown when it fails.
    bool Open(const QString& path);
    QString FileName() const { return path_; }

    // Controls (object names as here).
    TChart* DerivativeChart = nullptr;
    TChart* ResidualChart = nullptr;
    QLabel* SourceLab = nullptr;
    QTableWidget* RegionsTable = nullptr;
    QPushButton* AddRegionB = nullptr;
    QPushButton* RemoveRegionB = nullptr;
    QSpinBox* OrderSpin = nullptr;
    QComboBox* ProfileCombo = nullptr;
    QSpinBox* LinesSpin = nullptr;
    QComboBox* ModulationCombo = nullptr;
    QCheckBox* OffsetCB = nullptr;
    QPushButton* FitB = nullptr;
    QPushButton* CancelB = nullptr;
    QProgressBar* BusyBar = nullptr;
    QLineEdit* IntegralFromEdit = nullptr;
    QLineEdit* IntegralToEdit = nullptr;
    QLineEdit* ReferenceEdit = nullptr;
    QPushButton* ReferenceB = nullptr;
    QLineEdit* SpinCountEdit = nullptr;
    QTableWidget* ResultTable = nullptr;
    QPushButton* CopyB = nullptr;
    QPushButton* ExportB = nullptr;
    QLabel* StatusLab = nullptr;

    // Handlers, public so that tests drive them as the operator would.
    void FitBClick();
    void CancelBClick();
    void CopyBClick();
    void ExportBClick();
    void ReferenceBClick();
    void AddRegionBClick();
    void RemoveRegionBClick();
    bool FitRunning() const { return worker_.joinable() && !fitDone_; }
    // Waits (running the event loop) until the running fit has reported.
    void WaitForFit();

    const analysis::BaseLineFit& BaseLine() const { return base_; }
    const analysis::LineShapeFit& Fit() const { return fit_; }
    std::vector<analysis::Interval> Regions() const;
    struct ResultRow {
        QString Quantity;
        QString Text; // "value ± error"
        QString Value; // full precision, for the clipboard
        QString Error;
        QString Unit;
    };
    std::vector<ResultRow> ResultRows() const;
    // The table's text, tab-separated, as "Copy" puts it on the clipboard.
    QString ResultText() const;
    // Writes the PDF page and, beside it, the CSV of the fitted curve.
    bool WriteReport(const QString& pdfPath, QString* error);

private:
    void BuildControls();
    void Recompute();
    void ShowRegions();
    void RegionsEdited();
    void FitFinished(analysis::LineShapeFit fit, std::uint64_t generation);
    void FillResults();
    void JoinWorker();
    void ChartMouseDown(Qt::MouseButton button, int x, int y);
    void ChartMouseMove(int x, int y);
    void ChartMouseUp(Qt::MouseButton button, int x, int y);
    void SetRegions(const std::vector<analysis::Interval>& regions);
    std::optional<analysis::Interval> IntegralRange() const;
    QString XUnit() const;
    QString ProfileName() const;

    QString path_;
    analysis::Spectrum spectrum_;
    analysis::BaseLineFit base_;
    analysis::LineShapeFit fit_;
    analysis::DoubleIntegralResult integral_;
    analysis::TrueMoments moments_;
    std::optional<analysis::Spectrum> referenceSpectrum_;
    analysis::DoubleIntegralResult reference_;
    QString referenceError_;

    TChartSeries* data_ = nullptr;
    TChartSeries* curve_ = nullptr;
    TChartSeries* residuals_ = nullptr;
    std::vector<QCPItemRect*> bands_;
    bool updatingRegions_ = false;

    // Band dragging: which band and which part (0 from, 1 to, 2 whole),
    // or a new band from anchor_.
    int dragBand_ = -1;
    int dragPart_ = 0;
    double dragAnchor_ = 0;
    bool creating_ = false;

    std::jthread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> fitDone_{true};
    std::uint64_t generation_ = 0;
    QTimer* busyTimer_ = nullptr;
};

} // namespace tavi
