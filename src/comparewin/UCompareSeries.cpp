// SPDX-License-Identifier: GPL-3.0-or-later
// The window "COMPARE": the results table, its text outputs and the series plot.
#include "comparewin/UCompare.h"

#include "platform/Chart.h"
#include "platform/SavedFile.h"
#include "platform/Seams.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace tavi {

namespace {

constexpr int kExactRole = Qt::UserRole;
constexpr int kEntryRole = Qt::UserRole + 1;
constexpr const char* kSeriesX[] = {"Row order", "File time", "Number in comment"};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

QWidget* TFCompare::BuildSeriesPage() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    SeriesColumnCB = new QComboBox(page);
    SeriesColumnCB->setObjectName(QStringLiteral("SeriesColumnCB"));
    SeriesColumnCB->setAccessibleName(QStringLiteral("Plotted column"));
    FillSeriesColumns();
    SeriesColumnCB->setCurrentText(QStringLiteral("SDB"));
    SeriesXCB = new QComboBox(page);
    SeriesXCB->setObjectName(QStringLiteral("SeriesXCB"));
    SeriesXCB->setAccessibleName(QStringLiteral("Plotted against"));
    for (const char* x : kSeriesX)
        SeriesXCB->addItem(QString::fromLatin1(x));
    SeriesXCB->setCurrentIndex(2);
    PatternEdit = new QLineEdit(QString::fromLatin1(kDefaultCommentPattern), page);
    PatternEdit->setObjectName(QStringLiteral("PatternEdit"));
    PatternEdit->setAccessibleName(QStringLiteral("Comment pattern"));
    PatternEdit->setToolTip(QStringLiteral(
        "A regular expression; its first group (or the whole match) is the number"));
    row->addWidget(new QLabel(QStringLiteral("Plot"), page));
    row->addWidget(SeriesColumnCB);
    row->addWidget(new QLabel(QStringLiteral("against"), page));
    row->addWidget(SeriesXCB);
    row->addWidget(new QLabel(QStringLiteral("Comment pattern"), page));
    row->addWidget(PatternEdit, 1);
    v->addLayout(row);
    PatternNoteLab = new QLabel(page);
    PatternNoteLab->setObjectName(QStringLiteral("PatternNoteLab"));
    v->addWidget(PatternNoteLab);
    SeriesChart = new TChart(page);
    SeriesChart->setObjectName(QStringLiteral("SeriesChart"));
    SeriesChart->setMinimumHeight(300);
    v->addWidget(SeriesChart, 1);

    connect(SeriesColumnCB, &QComboBox::currentIndexChanged, this, &TFCompare::RedrawSeries);
    connect(SeriesXCB, &QComboBox::currentIndexChanged, this, &TFCompare::RedrawSeries);
    connect(PatternEdit, &QLineEdit::textChanged, this, &TFCompare::PatternEditChange);
    return page;
}

void TFCompare::FillSeriesColumns() {
    const QString current = SeriesColumnCB->currentText();
    const QSignalBlocker block(SeriesColumnCB);
    SeriesColumnCB->clear();
    for (const CompareColumn& c : CompareColumns(Model() != CompareModel::None))
        if (c.Numeric)
            SeriesColumnCB->addItem(Q(c.Title));
    if (SeriesColumnCB->findText(current) >= 0)
        SeriesColumnCB->setCurrentText(current);
}

CompareModel TFCompare::Model() const {
    return ModelCB ? static_cast<CompareModel>(std::max(0, ModelCB->currentIndex()))
                   : CompareModel::None;
}

void TFCompare::FitFiles() {
    const CompareModel model = Model();
    QStringList failed;
    for (Entry& e : entries_) {
        if (!e.File.Ok())
            continue;
        if (e.FitModel != model) {
            const FitOf f = FitFile(e.File, model);
            e.Fit = f.Fit;
            e.FitError = f.Error;
            e.FitModel = model;
        }
        if (model != CompareModel::None && !e.Fit)
            failed << QStringLiteral("%1 (%2)").arg(Q(e.File.Name), Q(e.FitError));
    }
    FitNoteLab->setText(failed.isEmpty() ? QString()
                                         : QStringLiteral("No fit: ") + failed.join(QStringLiteral(", ")));
}

void TFCompare::ModelCBChange() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FitFiles();
    QApplication::restoreOverrideCursor();
    FillSeriesColumns();
    RebuildTable();
}

void TFCompare::PatternEditChange() {
    std::string error;
    patternOk_ = CompileCommentPattern(PatternEdit->text().toStdString(), pattern_, &error);
    for (Entry& e : entries_)
        e.CommentValue = e.File.Ok() && patternOk_
                             ? NumberFromComment(e.File.Data.Settings.Comment, pattern_)
                             : std::nullopt;
    if (!patternOk_)
        PatternNoteLab->setText(Q(error));
    RebuildTable();
}

void TFCompare::RebuildTable() {
    const bool withFit = Model() != CompareModel::None;
    const std::vector<CompareColumn> columns = CompareColumns(withFit);
    const int sortColumn = ResultTable->horizontalHeader()->sortIndicatorSection();
    const Qt::SortOrder sortOrder = ResultTable->horizontalHeader()->sortIndicatorOrder();
    ResultTable->setSortingEnabled(false);
    ResultTable->clearContents();
    ResultTable->setColumnCount(static_cast<int>(columns.size()));
    QStringList titles;
    for (const CompareColumn& c : columns)
        titles << Q(c.Title);
    ResultTable->setHorizontalHeaderLabels(titles);
    int rows = 0;
    for (const Entry& e : entries_)
        rows += e.File.Ok();
    ResultTable->setRowCount(rows);
    int r = 0;
    int unmatched = 0;
    for (std::size_t k = 0; k < entries_.size(); ++k) {
        const Entry& e = entries_[k];
        if (!e.File.Ok())
            continue;
        unmatched += !e.CommentValue;
        const CompareRow row = MakeCompareRow(e.File, e.CommentValue, e.Fit, withFit);
        for (std::size_t c = 0; c < row.size(); ++c) {
            auto* item = new QTableWidgetItem;
            if (row[c].Value) {
                // A number sorts as a number; the exact value stays for the outputs.
                item->setData(Qt::DisplayRole, *row[c].Value);
                item->setData(kExactRole, *row[c].Value);
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            } else {
                item->setText(Q(row[c].Text));
            }
            if (c == 0)
                item->setData(kEntryRole, static_cast<int>(k));
            ResultTable->setItem(r, static_cast<int>(c), item);
        }
        ++r;
    }
    ResultTable->setSortingEnabled(true);
    if (sortColumn >= 0 && sortColumn < ResultTable->columnCount())
        ResultTable->sortByColumn(sortColumn, sortOrder);
    ResultTable->resizeColumnsToContents();
    if (patternOk_)
        PatternNoteLab->setText(
            unmatched ? QStringLiteral("%1 of %2 comments without a match: left out of the plot")
                            .arg(unmatched)
                            .arg(rows)
                      : QString());
    RedrawSeries();
}

std::vector<int> TFCompare::ShownOrder() const {
    std::vector<int> order;
    for (int r = 0; r < ResultTable->rowCount(); ++r)
        if (const QTableWidgetItem* item = ResultTable->item(r, 0))
            order.push_back(item->data(kEntryRole).toInt());
    return order;
}

std::string TFCompare::TableText(char separator) const {
    const bool withFit = ResultTable->columnCount() > static_cast<int>(CompareColumns(false).size());
    std::vector<CompareRow> rows;
    for (int k : ShownOrder()) {
        const Entry& e = entries_.at(static_cast<std::size_t>(k));
        rows.push_back(MakeCompareRow(e.File, e.CommentValue, e.Fit, withFit));
    }
    return CompareTableText(CompareColumns(withFit), rows, separator);
}

void TFCompare::CopyBClick() {
    QApplication::clipboard()->setText(Q(TableText('\t')));
}

void TFCompare::ExportCsvBClick() {
    const QString path = Dialogs().SaveFile(this, QStringLiteral("Export CSV"), dataDir_,
                                            QStringLiteral("CSV file (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    const std::string text = TableText(',');
    QSaveFile file(path);
    QString cause;
    const QByteArray bytes = QByteArray::fromStdString(text);
    if (OpenSaveFile(file, &cause) && WriteSaveFile(file, bytes, &cause))
        CommitSaveFile(file, &cause);
    if (!cause.isEmpty()) {
        Dialogs().Message(this, QStringLiteral("Cannot write %1: %2").arg(path, cause),
                          MsgIcon::Error, MsgButtons::Ok);
    }
}

void TFCompare::RedrawSeries() {
    seriesPoints_.clear();
    QCustomPlot* plot = SeriesChart->Plot();
    const bool withFit = ResultTable->columnCount() > static_cast<int>(CompareColumns(false).size());
    const std::vector<CompareColumn> columns = CompareColumns(withFit);
    int yColumn = -1;
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].Numeric && Q(columns[c].Title) == SeriesColumnCB->currentText())
            yColumn = static_cast<int>(c);
    const int xKind = SeriesXCB->currentIndex();
    const std::vector<int> order = ShownOrder();
    std::int64_t firstTime = 0;
    if (!order.empty()) {
        firstTime = entries_[static_cast<std::size_t>(order.front())].File.FileTime;
        for (int k : order)
            firstTime = std::min(firstTime, entries_[static_cast<std::size_t>(k)].File.FileTime);
    }
    for (std::size_t r = 0; r < order.size() && yColumn >= 0; ++r) {
        const Entry& e = entries_[static_cast<std::size_t>(order[r])];
        const CompareRow row = MakeCompareRow(e.File, e.CommentValue, e.Fit, withFit);
        const auto& y = row[static_cast<std::size_t>(yColumn)].Value;
        std::optional<double> x;
        if (xKind == 0)
            x = static_cast<double>(r + 1);
        else if (xKind == 1)
            x = static_cast<double>(e.File.FileTime - firstTime) / 3600.0;
        else
            x = e.CommentValue;
        if (!x || !y)
            continue; // an empty cell leaves the point out
        double err = 0;
        const int ec = columns[static_cast<std::size_t>(yColumn)].ErrorColumn;
        if (ec >= 0 && row[static_cast<std::size_t>(ec)].Value)
            err = *row[static_cast<std::size_t>(ec)].Value;
        seriesPoints_.push_back({*x, *y, err});
    }
    std::sort(seriesPoints_.begin(), seriesPoints_.end(),
              [](const PlotPoint& a, const PlotPoint& b) { return a.X < b.X; });

    plot->clearPlottables();
    auto* graph = new QCPGraph(plot->xAxis, plot->yAxis2);
    graph->setPen(QPen(ComparePalette()[1], 1.5));
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, ComparePalette()[1],
                                           ComparePalette()[1], 6));
    QVector<double> xs, ys, es;
    double xMin = INFINITY, xMax = -INFINITY, yMin = INFINITY, yMax = -INFINITY;
    bool errors = false;
    for (const PlotPoint& p : seriesPoints_) {
        xs << p.X;
        ys << p.Y;
        es << p.Error;
        errors |= p.Error > 0;
        xMin = std::min(xMin, p.X);
        xMax = std::max(xMax, p.X);
        yMin = std::min(yMin, p.Y - p.Error);
        yMax = std::max(yMax, p.Y + p.Error);
    }
    graph->setData(xs, ys, true);
    if (errors) {
        auto* bars = new QCPErrorBars(plot->xAxis, plot->yAxis2);
        bars->setDataPlottable(graph);
        bars->setData(es);
        bars->setPen(QPen(ComparePalette()[1], 1));
    }
    if (seriesPoints_.empty()) {
        xMin = 0, xMax = 1, yMin = 0, yMax = 1;
    }
    auto pad = [](double& lo, double& hi) {
        const double m = hi > lo ? (hi - lo) * 0.06 : std::max(1.0, std::abs(lo) * 0.05);
        lo -= m;
        hi += m;
    };
    pad(xMin, xMax);
    pad(yMin, yMax);
    SeriesChart->BottomAxis().SetValueFormat("# ##0.###");
    SeriesChart->BottomAxis().SetMinMax(xMin, xMax);
    SeriesChart->RightAxis().SetValueFormat(yMax - yMin < 0.05 ? "0.######" : "# ##0.###");
    SeriesChart->RightAxis().SetMinMax(yMin, yMax);
    const QString xTitles[] = {QStringLiteral("Row"), QStringLiteral("File time [h after the first]"),
                               QStringLiteral("Number from the comment")};
    plot->xAxis->setLabel(xTitles[std::clamp(xKind, 0, 2)]);
    plot->yAxis2->setLabel(SeriesColumnCB->currentText());
    SeriesChart->RepaintNow();
}

} // namespace tavi
