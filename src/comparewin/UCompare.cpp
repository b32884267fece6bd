// SPDX-License-Identifier: GPL-3.0-or-later
// The window "COMPARE": its controls, the file list and the overlay chart.
#include "comparewin/UCompare.h"

#include "platform/Chart.h"
#include "platform/Seams.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace tavi {

namespace {

constexpr int kIdRole = Qt::UserRole + 1;
constexpr int kLegendLines = 20;

template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool IsDataFile(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("dcw"), Qt::CaseInsensitive) == 0;
}

// Enough decimals for the labels of a span.
std::string PictureFor(double span, const char* unit) {
    int decimals = span > 0 ? 2 - static_cast<int>(std::floor(std::log10(span))) : 3;
    decimals = std::clamp(decimals, 0, 9);
    std::string p = "# ##0";
    if (decimals > 0)
        p += "." + std::string(static_cast<std::size_t>(decimals), '#');
    if (unit && *unit)
        p += std::string(" [") + unit + "]";
    return p;
}

} // namespace

std::vector<QColor> ComparePalette() {
    return {QColor(0xE6, 0x55, 0x0D), QColor(0x33, 0x88, 0xDD), QColor(0x2C, 0xA0, 0x2C),
            QColor(0xD6, 0x27, 0x28), QColor(0x94, 0x67, 0xBD), QColor(0x17, 0xA2, 0xB8),
            QColor(0xBC, 0x8F, 0x00), QColor(0xE3, 0x77, 0xC2), QColor(0x8C, 0x56, 0x4B),
            QColor(0x7F, 0x7F, 0x7F)};
}

TFCompare::TFCompare(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FCompare"));
    setWindowTitle(QStringLiteral("COMPARE"));
    setAcceptDrops(true);
    CompileCommentPattern(kDefaultCommentPattern, pattern_, nullptr);
    BuildControls();
    resize(1100, 720);
    FilesChanged();
}

TFCompare::~TFCompare() = default;

void TFCompare::BuildControls() {
    auto* split = new QSplitter(Qt::Horizontal, this);
    auto* left = new QWidget(split);
    auto* lv = new QVBoxLayout(left);
    lv->setContentsMargins(4, 4, 4, 4);
    FileList = Named(new QListWidget(left), "FileList");
    FileList->setDragDropMode(QAbstractItemView::InternalMove);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setAccessibleName(QStringLiteral("Files"));
    auto* buttons = new QHBoxLayout;
    AddFilesB = Named(new QPushButton(QStringLiteral("Add files..."), left), "AddFilesB");
    AddFolderB = Named(new QPushButton(QStringLiteral("Add folder..."), left), "AddFolderB");
    RemoveB = Named(new QPushButton(QStringLiteral("Remove"), left), "RemoveB");
    for (QPushButton* b : {AddFilesB, AddFolderB, RemoveB})
        buttons->addWidget(b);
    FilesLab = Named(new QLabel(left), "FilesLab");
    FilesLab->setWordWrap(true);
    lv->addLayout(buttons);
    lv->addWidget(FileList, 1);
    lv->addWidget(FilesLab);

    Pages = Named(new QTabWidget(split), "Pages");
    Pages->setAccessibleName(QStringLiteral("Views"));
    Pages->addTab(BuildOverlayPage(), QStringLiteral("Overlay"));
    Pages->addTab(BuildTablePage(), QStringLiteral("Table"));
    Pages->addTab(BuildSeriesPage(), QStringLiteral("Series plot"));
    split->addWidget(left);
    split->addWidget(Pages);
    split->setStretchFactor(1, 1);
    split->setSizes({300, 800});
    setCentralWidget(split);

    connect(AddFilesB, &QPushButton::clicked, this, &TFCompare::AddFilesBClick);
    connect(AddFolderB, &QPushButton::clicked, this, &TFCompare::AddFolderBClick);
    connect(RemoveB, &QPushButton::clicked, this, &TFCompare::RemoveBClick);
    connect(FileList->model(), &QAbstractItemModel::rowsMoved, this, &TFCompare::ListRowsMoved);
    connect(FileList, &QListWidget::itemChanged, this, &TFCompare::ListItemChanged);
}

QWidget* TFCompare::BuildOverlayPage() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    AxisCB = Named(new QComboBox(page), "AxisCB");
    AxisCB->addItems({QStringLiteral("Relative (as recorded)"), QStringLiteral("Field [Gs]"),
                      QStringLiteral("Field [mT]"), QStringLiteral("g-axis"),
                      QStringLiteral("Frequency [kHz]")});
    AxisCB->setAccessibleName(QStringLiteral("X axis"));
    NormCB = Named(new QComboBox(page), "NormCB");
    NormCB->addItems({QStringLiteral("None"), QStringLiteral("Gain and modulation amplitude"),
                      QStringLiteral("Maximum"), QStringLiteral("Double integral")});
    NormCB->setAccessibleName(QStringLiteral("Normalisation"));
    StackSlider = Named(new QSlider(Qt::Horizontal, page), "StackSlider");
    StackSlider->setRange(0, 100);
    StackSlider->setAccessibleName(QStringLiteral("Stack offset"));
    row->addWidget(new QLabel(QStringLiteral("X axis"), page));
    row->addWidget(AxisCB);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Normalisation"), page));
    row->addWidget(NormCB);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Stack offset"), page));
    row->addWidget(StackSlider, 1);
    v->addLayout(row);
    auto* notes = new QHBoxLayout;
    NormLab = Named(new QLabel(page), "NormLab");
    AxisNoteLab = Named(new QLabel(page), "AxisNoteLab");
    AxisNoteLab->setStyleSheet(QStringLiteral("color: #b05000"));
    notes->addWidget(NormLab);
    notes->addStretch(1);
    notes->addWidget(AxisNoteLab);
    v->addLayout(notes);
    OverlayChart = Named(new TChart(page), "OverlayChart");
    OverlayChart->setMinimumHeight(300);
    v->addWidget(OverlayChart, 1);

    connect(AxisCB, &QComboBox::currentIndexChanged, this, &TFCompare::AxisCBChange);
    connect(NormCB, &QComboBox::currentIndexChanged, this, &TFCompare::RedrawOverlay);
    connect(StackSlider, &QSlider::valueChanged, this, &TFCompare::RedrawOverlay);
    return page;
}

QWidget* TFCompare::BuildTablePage() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    ResultTable = Named(new QTableWidget(page), "ResultTable");
    ResultTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows keep the list's order until the operator sorts by a heading.
    ResultTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ResultTable->setSortingEnabled(true);
    ResultTable->setAccessibleName(QStringLiteral("Results"));
    // Qt's select-all corner button has no name of its own.
    for (QAbstractButton* corner : ResultTable->findChildren<QAbstractButton*>())
        corner->setAccessibleName(QStringLiteral("Select all results"));
    auto* row = new QHBoxLayout;
    ModelCB = Named(new QComboBox(page), "ModelCB");
    ModelCB->setAccessibleName(QStringLiteral("Fitted model"));
    ModelCB->addItems({QStringLiteral("No model"), QStringLiteral("Lorentzian"),
                       QStringLiteral("Gaussian"), QStringLiteral("Voigt")});
    FitNoteLab = Named(new QLabel(page), "FitNoteLab");
    row->addWidget(new QLabel(QStringLiteral("Fit"), page));
    row->addWidget(ModelCB);
    row->addWidget(FitNoteLab, 1);
    CopyB = Named(new QPushButton(QStringLiteral("Copy"), page), "CopyB");
    ExportCsvB = Named(new QPushButton(QStringLiteral("Export CSV..."), page), "ExportCsvB");
    row->addWidget(CopyB);
    row->addWidget(ExportCsvB);
    v->addWidget(ResultTable, 1);
    v->addLayout(row);
    connect(ModelCB, &QComboBox::currentIndexChanged, this, &TFCompare::ModelCBChange);
    connect(CopyB, &QPushButton::clicked, this, &TFCompare::CopyBClick);
    connect(ExportCsvB, &QPushButton::clicked, this, &TFCompare::ExportCsvBClick);
    // Sorting changes the row order the series plot may use.
    connect(ResultTable->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            &TFCompare::RedrawSeries);
    return page;
}

void TFCompare::ShowWindow() {
    show();
    raise();
    activateWindow();
}

// ---------------------------------------------------------------- files

void TFCompare::AddFiles(const QStringList& paths) {
    const std::vector<QColor> palette = ComparePalette();
    for (const QString& path : paths) {
        Entry e;
        e.File = LoadCompareFile(path.toStdString());
        e.Id = nextId_++;
        e.Colour = palette[static_cast<std::size_t>(e.Id) % palette.size()];
        entries_.push_back(std::move(e));
    }
    if (!paths.isEmpty())
        FilesChanged();
}

void TFCompare::AddFolder(const QString& dir) {
    QDir d(dir);
    const QStringList names = d.entryList({QStringLiteral("*.dcw"), QStringLiteral("*.DCW")},
                                          QDir::Files, QDir::Name | QDir::IgnoreCase);
    QStringList paths;
    for (const QString& n : names)
        paths << d.filePath(n);
    if (paths.isEmpty()) {
        Dialogs().Message(this, QStringLiteral("No data files (*.dcw) in %1").arg(dir),
                          MsgIcon::Warning, MsgButtons::Ok);
        return;
    }
    AddFiles(paths);
}

void TFCompare::RemoveFiles(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int r : rows)
        if (r >= 0 && r < FileCount())
            entries_.erase(entries_.begin() + r);
    FilesChanged();
}

void TFCompare::MoveFile(int from, int to) {
    if (from < 0 || from >= FileCount() || to < 0 || to >= FileCount() || from == to)
        return;
    Entry e = std::move(entries_[static_cast<std::size_t>(from)]);
    entries_.erase(entries_.begin() + from);
    entries_.insert(entries_.begin() + to, std::move(e));
    FilesChanged();
}

void TFCompare::SetFileVisible(int row, bool visible) {
    if (row < 0 || row >= FileCount())
        return;
    entries_[static_cast<std::size_t>(row)].Visible = visible;
    RebuildList();
    RedrawOverlay();
}

void TFCompare::AddFilesBClick() {
    const QStringList paths =
        Dialogs().OpenFiles(this, QStringLiteral("Add files"), dataDir_,
                            QStringLiteral("TAVI data file (*.dcw)"));
    if (paths.isEmpty())
        return;
    dataDir_ = QFileInfo(paths.front()).absolutePath();
    AddFiles(paths);
}

void TFCompare::AddFolderBClick() {
    const QString dir = Dialogs().ChooseDirectory(this, dataDir_);
    if (dir.isEmpty())
        return;
    dataDir_ = dir;
    AddFolder(dir);
}

void TFCompare::RemoveBClick() {
    std::vector<int> rows;
    for (const QModelIndex& i : FileList->selectionModel()->selectedRows())
        rows.push_back(i.row());
    if (!rows.empty())
        RemoveFiles(rows);
}

void TFCompare::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        for (const QUrl& url : event->mimeData()->urls())
            if (url.isLocalFile() && IsDataFile(url.toLocalFile())) {
                event->acceptProposedAction();
                return;
            }
}

void TFCompare::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && IsDataFile(url.toLocalFile()))
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    AddFiles(paths);
}

void TFCompare::ListRowsMoved() {
    if (rebuilding_)
        return;
    // The list's new order, read back by the ids the items carry.
    std::vector<Entry> order;
    for (int r = 0; r < FileList->count(); ++r) {
        const int id = FileList->item(r)->data(kIdRole).toInt();
        auto it = std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.Id == id; });
        if (it != entries_.end())
            order.push_back(std::move(*it));
    }
    if (order.size() != entries_.size())
        return;
    entries_ = std::move(order);
    // After the drop has finished: the list must not be rebuilt inside it.
    QMetaObject::invokeMethod(this, &TFCompare::FilesChanged, Qt::QueuedConnection);
}

void TFCompare::ListItemChanged() {
    if (rebuilding_)
        return;
    bool changed = false;
    for (int r = 0; r < FileList->count() && r < FileCount(); ++r) {
        const bool on = FileList->item(r)->checkState() == Qt::Checked;
        Entry& e = entries_[static_cast<std::size_t>(r)];
        changed |= e.Visible != on;
        e.Visible = on;
    }
    if (changed)
        RedrawOverlay();
}

void TFCompare::FilesChanged() {
    for (Entry& e : entries_)
        e.CommentValue = e.File.Ok() && patternOk_
                             ? NumberFromComment(e.File.Data.Settings.Comment, pattern_)
                             : std::nullopt;
    RebuildList();
    UpdateAxisChoices();
    RedrawOverlay();
    if (Model() != CompareModel::None)
        FitFiles();
    RebuildTable();
}

void TFCompare::RebuildList() {
    rebuilding_ = true;
    FileList->clear();
    int failed = 0;
    for (const Entry& e : entries_) {
        auto* item = new QListWidgetItem(FileList);
        item->setData(kIdRole, e.Id);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
                       Qt::ItemIsUserCheckable);
        if (e.File.Ok()) {
            QString text = Q(e.File.Name);
            if (!e.File.Data.Settings.Comment.empty())
                text += QStringLiteral(" \u2014 ") + Q(e.File.Data.Settings.Comment);
            item->setText(text);
            item->setCheckState(e.Visible ? Qt::Checked : Qt::Unchecked);
            QPixmap swatch(14, 14);
            swatch.fill(e.Colour);
            item->setIcon(QIcon(swatch));
        } else {
            ++failed;
            item->setText(Q(e.File.Name) + QStringLiteral(": ") + Q(e.File.Error));
            item->setForeground(QColor(0xC0, 0x00, 0x00));
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        }
        item->setToolTip(Q(e.File.Path));
    }
    FilesLab->setText(
        entries_.empty()
            ? QStringLiteral("No files: add files or a folder, or drop data files here.")
            : failed ? QStringLiteral("%1 files, %2 not loaded").arg(FileCount()).arg(failed)
                     : QStringLiteral("%1 files").arg(FileCount()));
    rebuilding_ = false;
}

// ---------------------------------------------------------------- overlay

CompareAxis TFCompare::Axis() const {
    return static_cast<CompareAxis>(std::max(0, AxisCB->currentIndex()));
}

CompareNorm TFCompare::Normalisation() const {
    return static_cast<CompareNorm>(std::max(0, NormCB->currentIndex()));
}

double TFCompare::DivisorOf(int row) const {
    const Entry& e = entries_.at(static_cast<std::size_t>(row));
    return NormalisationDivisor(e.File, Normalisation(), e.DoubleIntegral).Value;
}

void TFCompare::UpdateAxisChoices() {
    auto* model = qobject_cast<QStandardItemModel*>(AxisCB->model());
    QStringList notes;
    std::vector<const CompareFile*> files;
    for (const Entry& e : entries_)
        files.push_back(&e.File);
    for (int i = 0; i < AxisCB->count(); ++i) {
        const std::string why = AxisUnavailable(files, static_cast<CompareAxis>(i));
        if (QStandardItem* item = model ? model->item(i) : nullptr) {
            item->setEnabled(why.empty());
            item->setToolTip(Q(why));
        }
        const bool mixed = i == static_cast<int>(CompareAxis::GFactor) && why.rfind("NMR and ESR", 0) == 0;
        if (!why.empty() && (mixed || i == AxisCB->currentIndex()))
            notes << Q(why);
    }
    if (model && model->item(AxisCB->currentIndex()) &&
        !model->item(AxisCB->currentIndex())->isEnabled()) {
        const QSignalBlocker block(AxisCB);
        AxisCB->setCurrentIndex(static_cast<int>(CompareAxis::Relative));
        notes << QStringLiteral("relative axis shown");
    }
    notes.removeDuplicates();
    AxisNoteLab->setText(notes.join(QStringLiteral("; ")));
}

void TFCompare::AxisCBChange() {
    UpdateAxisChoices();
    RedrawOverlay();
}

void TFCompare::ClearLegend() {
    QCustomPlot* plot = OverlayChart->Plot();
    for (QCPItemText* t : legend_)
        plot->removeItem(t);
    legend_.clear();
}

void TFCompare::RedrawOverlay() {
    const CompareAxis axis = Axis();
    const CompareNorm norm = Normalisation();
    if (norm == CompareNorm::DoubleIntegral)
        for (Entry& e : entries_)
            if (e.File.Ok() && !e.DoubleIntegralDone) {
                const DoubleIntegralOf di = FileDoubleIntegral(e.File);
                e.DoubleIntegral = di.Value;
                e.DoubleIntegralError = di.Error;
                e.DoubleIntegralDone = true;
            }
    QStringList notDrawn;
    ClearLegend();
    QCustomPlot* plot = OverlayChart->Plot();
    const QRect area = OverlayChart->PlotRect();
    const int columns = std::max(256, area.width());

    // Pass 1: the divisors and the largest span, which the stack offset scales.
    struct Curve {
        std::size_t Entry;
        double Divisor;
    };
    std::vector<Curve> curves;
    double maxSpan = 0;
    for (std::size_t k = 0; k < entries_.size(); ++k) {
        const Entry& e = entries_[k];
        if (!e.File.Ok() || !e.Visible)
            continue;
        const NormDivisor d = NormalisationDivisor(e.File, norm, e.DoubleIntegral);
        if (!d.Error.empty()) {
            const std::string& why = e.DoubleIntegralError.empty() || norm != CompareNorm::DoubleIntegral
                                         ? d.Error
                                         : e.DoubleIntegralError;
            notDrawn << QStringLiteral("%1 (%2)").arg(Q(e.File.Name), Q(why));
            continue;
        }
        auto [lo, hi] = std::minmax_element(e.File.Average.begin(), e.File.Average.end());
        maxSpan = std::max(maxSpan, (*hi - *lo) / d.Value);
        curves.push_back({k, d.Value});
    }
    const double offset = maxSpan * StackSlider->value() / 100.0;
    NormLab->setText(notDrawn.isEmpty() ? Q(NormalisationCaption(norm))
                                        : Q(NormalisationCaption(norm)) +
                                              QStringLiteral("; not drawn: ") +
                                              notDrawn.join(QStringLiteral(", ")));

    while (OverlayChart->SeriesCount() < static_cast<int>(curves.size()))
        OverlayChart->AddSeries();
    double xMin = INFINITY, xMax = -INFINITY, yMin = INFINITY, yMax = -INFINITY;
    for (std::size_t c = 0; c < curves.size(); ++c) {
        const Entry& e = entries_[curves[c].Entry];
        ConvertAxis(e.File, axis, x_);
        y_.resize(e.File.Average.size());
        const double shift = offset * static_cast<double>(c);
        for (std::size_t i = 0; i < y_.size(); ++i)
            y_[i] = e.File.Average[i] / curves[c].Divisor + shift;
        MinMaxEnvelope(x_, y_, columns, ex_, ey_);
        if (ex_.size() > 1 && ex_.front() > ex_.back()) { // the chart wants X ascending
            std::reverse(ex_.begin(), ex_.end());
            std::reverse(ey_.begin(), ey_.end());
        }
        TChartSeries& s = OverlayChart->Series(static_cast<int>(c));
        s.Clear();
        s.Reserve(static_cast<int>(ex_.size()));
        s.SetSeriesColour(e.Colour);
        for (std::size_t i = 0; i < ex_.size(); ++i)
            s.AddXY(ex_[i], ey_[i]);
        s.SetActive(true);
        if (!ex_.empty()) {
            xMin = std::min(xMin, ex_.front());
            xMax = std::max(xMax, ex_.back());
            auto [lo, hi] = std::minmax_element(ey_.begin(), ey_.end());
            yMin = std::min(yMin, *lo);
            yMax = std::max(yMax, *hi);
        }
    }
    for (int c = static_cast<int>(curves.size()); c < OverlayChart->SeriesCount(); ++c) {
        OverlayChart->Series(c).Clear();
        OverlayChart->Series(c).SetActive(false);
    }
    curvesDrawn_ = static_cast<int>(curves.size());

    if (curves.empty()) {
        xMin = -1, xMax = 1, yMin = -1, yMax = 1;
    } else if (!(yMax > yMin)) {
        yMin -= 1, yMax += 1;
    }
    const double margin = (yMax - yMin) * 0.05;
    static const char* const units[] = {"", "Gs", "mT", "", "kHz"};
    OverlayChart->BottomAxis().SetValueFormat(PictureFor(xMax - xMin, units[static_cast<int>(axis)]));
    OverlayChart->BottomAxis().SetIncrement(0);
    OverlayChart->BottomAxis().SetMinMax(xMin, xMax);
    OverlayChart->RightAxis().SetValueFormat(PictureFor(yMax - yMin, ""));
    OverlayChart->RightAxis().SetIncrement(0);
    OverlayChart->RightAxis().SetMinMax(yMin - margin, yMax + margin);
    // g falls as the field rises: drawn that way the g-axis reads like the field.
    plot->xAxis->setRangeReversed(axis == CompareAxis::GFactor);
    plot->xAxis->setLabel(Q(AxisTitle(axis)));
    plot->yAxis2->setLabel(norm == CompareNorm::None ? QStringLiteral("Signal [a.u.]")
                                                      : QStringLiteral("Signal, normalised"));

    // Legend: file names and comments in their colours, and what is normalised.
    QFont font = plot->xAxis->tickLabelFont();
    const double line = 14.0 / std::max(1, area.height());
    auto addText = [&](const QString& text, QColor colour, double x, double y, Qt::Alignment align) {
        auto* t = new QCPItemText(plot);
        t->setClipToAxisRect(true);
        t->position->setType(QCPItemPosition::ptAxisRectRatio);
        t->position->setCoords(x, y);
        t->setPositionAlignment(align);
        t->setFont(font);
        t->setColor(colour);
        t->setText(text);
        legend_.push_back(t);
    };
    for (std::size_t c = 0; c < curves.size() && c < kLegendLines; ++c) {
        const CompareFile& f = entries_[curves[c].Entry].File;
        QString text = Q(f.Name);
        if (!f.Data.Settings.Comment.empty())
            text += QStringLiteral("  ") + Q(f.Data.Settings.Comment).left(40);
        addText(text, entries_[curves[c].Entry].Colour, 0.01, 0.01 + line * static_cast<double>(c),
                Qt::AlignLeft | Qt::AlignTop);
    }
    if (curves.size() > kLegendLines)
        addText(QStringLiteral("... and %1 more").arg(curves.size() - kLegendLines), Qt::gray, 0.01,
                0.01 + line * kLegendLines, Qt::AlignLeft | Qt::AlignTop);
    addText(Q(NormalisationCaption(norm)), QColor(0x80, 0x80, 0x80), 0.99, 0.01,
            Qt::AlignRight | Qt::AlignTop);
    OverlayChart->RepaintNow();
}

} // namespace tavi
