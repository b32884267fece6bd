// SPDX-License-Identifier: GPL-3.0-or-later
// The window "COMPARE": spectra of a series overlaid on one chart, their
// results in one table and one result plotted against the series. The
// arithmetic is in the compare library; this window puts it on the controls.
#pragma once

#include "compare/CompareAnalysis.h"
#include "compare/CompareData.h"
#include "compare/CompareTable.h"

#include <QColor>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <optional>
#include <regex>
#include <vector>

class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QTabWidget;
class QTableWidget;
class QCPItemText;

namespace tavi {

class TChart;

// Readable on the dark chart and on white paper alike.
std::vector<QColor> ComparePalette();

class TFCompare : public QMainWindow {
    Q_OBJECT
public:
    explicit TFCompare(QWidget* parent = nullptr);
    ~TFCompare() override;

    // Where "Add files..." and "Add folder..." start.
    void SetDataDirectory(const QString& dir) { dataDir_ = dir; }
    void ShowWindow();

    // Files are appended in the given order; one that fails to load is listed
    // with its error and drawn nowhere.
    void AddFiles(const QStringList& paths);
    // Every .dcw file in the folder, sorted by name.
    void AddFolder(const QString& dir);
    void RemoveFiles(std::vector<int> rows);
    void MoveFile(int from, int to);
    void SetFileVisible(int row, bool visible);

    int FileCount() const { return static_cast<int>(entries_.size()); }
    const CompareFile& File(int row) const { return entries_.at(static_cast<std::size_t>(row)).File; }
    QColor FileColour(int row) const { return entries_.at(static_cast<std::size_t>(row)).Colour; }
    // Curves on the overlay chart after the last redraw.
    int CurvesDrawn() const { return curvesDrawn_; }
    CompareAxis Axis() const;
    CompareNorm Normalisation() const;
    // The divisor of a file's curve under the current normalisation.
    double DivisorOf(int row) const;
    // Series plot points after the last redraw: x, y, error (0 without).
    struct PlotPoint {
        double X = 0, Y = 0, Error = 0;
    };
    const std::vector<PlotPoint>& SeriesPoints() const { return seriesPoints_; }
    // The table as text, rows in their shown order.
    std::string TableText(char separator) const;

    // Redraws the overlay now (also what a switch of axis or normalisation does).
    void RedrawOverlay();

    // ---- controls (objectName = member name) ----
    QListWidget* FileList = nullptr;
    QPushButton* AddFilesB = nullptr;
    QPushButton* AddFolderB = nullptr;
    QPushButton* RemoveB = nullptr;
    QLabel* FilesLab = nullptr;
    QTabWidget* Pages = nullptr;
    QComboBox* AxisCB = nullptr;
    QLabel* AxisNoteLab = nullptr;
    QComboBox* NormCB = nullptr;
    QLabel* NormLab = nullptr;
    QSlider* StackSlider = nullptr;
    TChart* OverlayChart = nullptr;
    QTableWidget* ResultTable = nullptr;
    QPushButton* CopyB = nullptr;
    QPushButton* ExportCsvB = nullptr;
    QComboBox* ModelCB = nullptr; // fitted centre and width columns when a model is chosen
    QLabel* FitNoteLab = nullptr;
    QComboBox* SeriesColumnCB = nullptr;
    QComboBox* SeriesXCB = nullptr;
    QLineEdit* PatternEdit = nullptr;
    QLabel* PatternNoteLab = nullptr;
    TChart* SeriesChart = nullptr;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Entry {
        CompareFile File;
        QColor Colour;
        bool Visible = true;
        int Id = 0;
        std::optional<double> CommentValue;
        bool DoubleIntegralDone = false;
        std::optional<double> DoubleIntegral;
        std::string DoubleIntegralError;
        CompareModel FitModel = CompareModel::None; // the model Fit is of
        std::optional<CompareFit> Fit;
        std::string FitError;
    };

    void BuildControls();
    QWidget* BuildOverlayPage();
    QWidget* BuildTablePage();
    QWidget* BuildSeriesPage();
    void AddFilesBClick();
    void AddFolderBClick();
    void RemoveBClick();
    void CopyBClick();
    void ExportCsvBClick();
    void AxisCBChange();
    void PatternEditChange();
    void ListRowsMoved();
    void ListItemChanged();
    void ModelCBChange();
    CompareModel Model() const;
    void FitFiles(); // every file not yet fitted with the chosen model
    void FillSeriesColumns();

    void FilesChanged(); // list, axis choices, overlay, table, series plot
    void RebuildList();
    void UpdateAxisChoices();
    void RebuildTable();
    void RedrawSeries();
    void ClearLegend();
    std::vector<int> ShownOrder() const; // entry indices in the table's row order

    std::vector<Entry> entries_;
    int nextId_ = 0;
    int curvesDrawn_ = 0;
    bool rebuilding_ = false;
    QString dataDir_;
    std::regex pattern_;
    bool patternOk_ = true;
    std::vector<QCPItemText*> legend_;
    std::vector<PlotPoint> seriesPoints_;
    std::vector<double> x_, y_, ex_, ey_; // redraw buffers
};

} // namespace tavi
