// SPDX-License-Identifier: GPL-3.0-or-later
// The window "ANALYSIS": controls, band dragging, the fit thread and results.
#include "analysiswin/UAnalysis.h"

#include "analysis/ValueText.h"
#include "platform/Chart.h"
#include "platform/Seams.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <qcustomplot.h>

namespace tavi {

using namespace analysis;

namespace {

template <class W> W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

const QColor kDataColour(0, 0, 160);
const QColor kFitColour(220, 0, 0);
const QColor kBandColour(0, 120, 255, 40);

void FitAxes(TChart& chart, const std::vector<double>& x, const std::vector<double>& y) {
    if (x.size() < 2)
        return;
    chart.BottomAxis().SetMinMax(x.front(), x.back());
    double lo = 0, hi = 0;
    for (double v : y) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    const double pad = (hi - lo) * 0.08 + 1e-12;
    chart.RightAxis().SetMinMax(lo - pad, hi + pad);
}

void Fill(TChartSeries& series, const std::vector<double>& x, const std::vector<double>& y) {
    series.Clear();
    series.Reserve(static_cast<int>(y.size()));
    for (std::size_t i = 0; i < y.size() && i < x.size(); ++i)
        series.AddXY(x[i], y[i]);
}

} // namespace

TFAnalysis::TFAnalysis(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FAnalysis"));
    setWindowTitle(QStringLiteral("ANALYSIS"));
    BuildControls();
    resize(1100, 720);
}

TFAnalysis::~TFAnalysis() {
    cancel_ = true;
    JoinWorker();
}

void TFAnalysis::JoinWorker() {
    if (worker_.joinable())
        worker_.join();
}

void TFAnalysis::BuildControls() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    auto* left = new QVBoxLayout;
    SourceLab = Named(new QLabel(central), "SourceLab");
    SourceLab->setWordWrap(true);
    left->addWidget(SourceLab);
    auto makeChart = [&](const char* name) {
        auto* c = Named(new TChart(central), name);
        c->SetBackground(Qt::white);
        c->SetForeground(Qt::black);
        c->BottomAxis().SetValueFormat("0.###");
        c->RightAxis().SetValueFormat("0.###");
        return c;
    };
    DerivativeChart = makeChart("DerivativeChart");
    ResidualChart = makeChart("ResidualChart");
    data_ = &DerivativeChart->AddSeries();
    data_->SetSeriesColour(kDataColour);
    curve_ = &DerivativeChart->AddSeries();
    curve_->SetSeriesColour(kFitColour);
    residuals_ = &ResidualChart->AddSeries();
    residuals_->SetSeriesColour(kDataColour);
    left->addWidget(DerivativeChart, 3);
    left->addWidget(ResidualChart, 1);
    auto* hint = new QLabel(
        QStringLiteral("Drag in the upper chart to add a base-line region; drag a band or its "
                       "edges to move it; right-click a band to remove it."),
        central);
    hint->setWordWrap(true);
    left->addWidget(hint);
    row->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    auto* baseBox = new QGroupBox(QStringLiteral("Base line"), central);
    auto* baseLayout = new QVBoxLayout(baseBox);
    RegionsTable = Named(new QTableWidget(0, 2, baseBox), "RegionsTable");
    RegionsTable->setHorizontalHeaderLabels({QStringLiteral("From"), QStringLiteral("To")});
    RegionsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    RegionsTable->setMaximumHeight(110);
    baseLayout->addWidget(RegionsTable);
    auto* regionButtons = new QHBoxLayout;
    AddRegionB = Named(new QPushButton(QStringLiteral("Add"), baseBox), "AddRegionB");
    RemoveRegionB = Named(new QPushButton(QStringLiteral("Remove"), baseBox), "RemoveRegionB");
    OrderSpin = Named(new QSpinBox(baseBox), "OrderSpin");
    OrderSpin->setRange(0, 3);
    OrderSpin->setValue(1);
    OrderSpin->setPrefix(QStringLiteral("Order "));
    regionButtons->addWidget(AddRegionB);
    regionButtons->addWidget(RemoveRegionB);
    regionButtons->addWidget(OrderSpin);
    baseLayout->addLayout(regionButtons);
    right->addWidget(baseBox);

    auto* modelBox = new QGroupBox(QStringLiteral("Model"), central);
    auto* model = new QFormLayout(modelBox);
    ProfileCombo = Named(new QComboBox(modelBox), "ProfileCombo");
    ProfileCombo->addItems({QStringLiteral("Lorentzian"), QStringLiteral("Gaussian"),
                            QStringLiteral("Voigt")});
    LinesSpin = Named(new QSpinBox(modelBox), "LinesSpin");
    LinesSpin->setRange(1, 3);
    ModulationCombo = Named(new QComboBox(modelBox), "ModulationCombo");
    ModulationCombo->addItems({QStringLiteral("auto"), QStringLiteral("on"), QStringLiteral("off")});
    ModulationCombo->setToolTip(
        QStringLiteral("Modulation-broadened model: the first harmonic under modulation of the "
                       "file's amplitude (peak amplitude a of B + a cos wt); auto uses it when "
                       "a exceeds a tenth of the fitted peak-to-peak width"));
    OffsetCB = Named(new QCheckBox(QStringLiteral("Common offset"), modelBox), "OffsetCB");
    model->addRow(QStringLiteral("Profile"), ProfileCombo);
    model->addRow(QStringLiteral("Lines"), LinesSpin);
    model->addRow(QStringLiteral("Modulation broadening"), ModulationCombo);
    model->addRow(OffsetCB);
    auto* fitRow = new QHBoxLayout;
    FitB = Named(new QPushButton(QStringLiteral("Fit"), modelBox), "FitB");
    CancelB = Named(new QPushButton(QStringLiteral("Cancel"), modelBox), "CancelB");
    CancelB->setEnabled(false);
    BusyBar = Named(new QProgressBar(modelBox), "BusyBar");
    BusyBar->setRange(0, 0);
    BusyBar->setMaximumHeight(12);
    BusyBar->setVisible(false);
    fitRow->addWidget(FitB);
    fitRow->addWidget(CancelB);
    fitRow->addWidget(BusyBar, 1);
    model->addRow(fitRow);
    right->addWidget(modelBox);

    auto* integralBox = new QGroupBox(QStringLiteral("Double integral and spin count"), central);
    auto* integral = new QFormLayout(integralBox);
    IntegralFromEdit = Named(new QLineEdit(integralBox), "IntegralFromEdit");
    IntegralToEdit = Named(new QLineEdit(integralBox), "IntegralToEdit");
    auto* range = new QHBoxLayout;
    range->addWidget(IntegralFromEdit);
    range->addWidget(IntegralToEdit);
    integral->addRow(QStringLiteral("Interval"), range);
    auto* ref = new QHBoxLayout;
    ReferenceEdit = Named(new QLineEdit(integralBox), "ReferenceEdit");
    ReferenceEdit->setReadOnly(true);
    ReferenceB = Named(new QPushButton(QStringLiteral("Reference..."), integralBox), "ReferenceB");
    ref->addWidget(ReferenceEdit);
    ref->addWidget(ReferenceB);
    integral->addRow(QStringLiteral("Reference file"), ref);
    SpinCountEdit = Named(new QLineEdit(integralBox), "SpinCountEdit");
    SpinCountEdit->setPlaceholderText(QStringLiteral("spins in the reference"));
    integral->addRow(QStringLiteral("Reference spins"), SpinCountEdit);
    right->addWidget(integralBox);

    ResultTable = Named(new QTableWidget(0, 3, central), "ResultTable");
    ResultTable->setHorizontalHeaderLabels(
        {QStringLiteral("Quantity"), QStringLiteral("Value \u00b1 error"), QStringLiteral("Unit")});
    ResultTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ResultTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    ResultTable->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    ResultTable->verticalHeader()->setVisible(false);
    ResultTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    right->addWidget(ResultTable, 1);
    auto* out = new QHBoxLayout;
    CopyB = Named(new QPushButton(QStringLiteral("Copy"), central), "CopyB");
    ExportB = Named(new QPushButton(QStringLiteral("Export report..."), central), "ExportB");
    out->addWidget(CopyB);
    out->addWidget(ExportB);
    right->addLayout(out);
    StatusLab = Named(new QLabel(central), "StatusLab");
    StatusLab->setWordWrap(true);
    right->addWidget(StatusLab);
    auto* rightWidget = new QWidget(central);
    rightWidget->setLayout(right);
    rightWidget->setFixedWidth(400);
    row->addWidget(rightWidget);
    setCentralWidget(central);

    busyTimer_ = new QTimer(this);
    busyTimer_->setSingleShot(true);
    connect(busyTimer_, &QTimer::timeout, this, [this] {
        if (FitRunning()) {
            BusyBar->setVisible(true);
            StatusLab->setText(QStringLiteral("Fitting..."));
        }
    });
    connect(FitB, &QPushButton::clicked, this, &TFAnalysis::FitBClick);
    connect(CancelB, &QPushButton::clicked, this, &TFAnalysis::CancelBClick);
    connect(CopyB, &QPushButton::clicked, this, &TFAnalysis::CopyBClick);
    connect(ExportB, &QPushButton::clicked, this, &TFAnalysis::ExportBClick);
    connect(ReferenceB, &QPushButton::clicked, this, &TFAnalysis::ReferenceBClick);
    connect(AddRegionB, &QPushButton::clicked, this, &TFAnalysis::AddRegionBClick);
    connect(RemoveRegionB, &QPushButton::clicked, this, &TFAnalysis::RemoveRegionBClick);
    connect(RegionsTable, &QTableWidget::cellChanged, this, &TFAnalysis::RegionsEdited);
    connect(OrderSpin, &QSpinBox::valueChanged, this, &TFAnalysis::Recompute);
    connect(IntegralFromEdit, &QLineEdit::editingFinished, this, &TFAnalysis::Recompute);
    connect(IntegralToEdit, &QLineEdit::editingFinished, this, &TFAnalysis::Recompute);
    connect(SpinCountEdit, &QLineEdit::editingFinished, this, &TFAnalysis::FillResults);
    DerivativeChart->OnMouseDown = [this](Qt::MouseButton b, int x, int y) { ChartMouseDown(b, x, y); };
    DerivativeChart->OnMouseMove = [this](int x, int y) { ChartMouseMove(x, y); };
    DerivativeChart->OnMouseUp = [this](Qt::MouseButton b, int x, int y) { ChartMouseUp(b, x, y); };
}

QString TFAnalysis::XUnit() const {
    return spectrum_.FieldSweep ? QStringLiteral("Gs") : QStringLiteral("kHz");
}

bool TFAnalysis::Open(const QString& path) {
    Spectrum s;
    std::string error;
    if (!LoadSpectrum(path.toStdString(), s, &error)) {
        Dialogs().ShowError(this, Q(error));
        return false;
    }
    cancel_ = true;
    JoinWorker();
    fitDone_ = true;
    path_ = path;
    spectrum_ = std::move(s);
    fit_ = {};
    SourceLab->setText(
        QStringLiteral("%1 \u2014 values use the file's sums divided by the passes, unrounded "
                       "and unclamped, so they can differ from the counters of the processing "
                       "window.")
            .arg(QFileInfo(path).fileName()));
    IntegralFromEdit->setText(QString::number(spectrum_.X.front()));
    IntegralToEdit->setText(QString::number(spectrum_.X.back()));
    SetRegions(DefaultRegions(spectrum_));
    return true;
}

std::vector<Interval> TFAnalysis::Regions() const {
    std::vector<Interval> out;
    for (int r = 0; r < RegionsTable->rowCount(); ++r) {
        auto* a = RegionsTable->item(r, 0);
        auto* b = RegionsTable->item(r, 1);
        bool okA = false, okB = false;
        const double from = a ? a->text().toDouble(&okA) : 0, to = b ? b->text().toDouble(&okB) : 0;
        // An entry that is not a number becomes NaN, which the base line refuses
        // with its cause rather than dropping the region silently.
        out.push_back({okA ? from : kNaN, okB ? to : kNaN});
    }
    return out;
}

void TFAnalysis::SetRegions(const std::vector<Interval>& regions) {
    updatingRegions_ = true;
    RegionsTable->setRowCount(static_cast<int>(regions.size()));
    for (int r = 0; r < static_cast<int>(regions.size()); ++r) {
        RegionsTable->setItem(r, 0, new QTableWidgetItem(QString::number(regions[r].From, 'g', 8)));
        RegionsTable->setItem(r, 1, new QTableWidgetItem(QString::number(regions[r].To, 'g', 8)));
    }
    updatingRegions_ = false;
    Recompute();
}

void TFAnalysis::RegionsEdited() {
    if (!updatingRegions_)
        Recompute();
}

void TFAnalysis::AddRegionBClick() {
    if (spectrum_.X.empty())
        return;
    std::vector<Interval> r = Regions();
    const double span = spectrum_.X.back() - spectrum_.X.front();
    const double mid = spectrum_.X.front() + span * 0.45;
    r.push_back({mid, mid + span * 0.1});
    SetRegions(r);
}

void TFAnalysis::RemoveRegionBClick() {
    std::vector<Interval> r = Regions();
    const int row = RegionsTable->currentRow();
    if (r.empty())
        return;
    r.erase(r.begin() + (row >= 0 && row < static_cast<int>(r.size()) ? row : r.size() - 1));
    SetRegions(r);
}

std::optional<Interval> TFAnalysis::IntegralRange() const {
    bool a = false, b = false;
    const double from = IntegralFromEdit->text().toDouble(&a), to = IntegralToEdit->text().toDouble(&b);
    if (!a && !b)
        return std::nullopt;
    return Interval{a ? from : kNaN, b ? to : kNaN};
}

void TFAnalysis::ShowRegions() {
    QCustomPlot* plot = DerivativeChart->Plot();
    for (QCPItemRect* band : bands_)
        plot->removeItem(band);
    bands_.clear();
    for (const Interval& r : Regions()) {
        if (!std::isfinite(r.From) || !std::isfinite(r.To))
            continue;
        auto* band = new QCPItemRect(plot);
        for (QCPItemPosition* p : {band->topLeft, band->bottomRight}) {
            p->setTypeX(QCPItemPosition::ptPlotCoords);
            p->setTypeY(QCPItemPosition::ptAxisRectRatio);
        }
        band->topLeft->setCoords(std::min(r.From, r.To), 0);
        band->bottomRight->setCoords(std::max(r.From, r.To), 1);
        band->setPen(QPen(QColor(0, 90, 200, 120)));
        band->setBrush(kBandColour);
        band->setSelectable(false);
        bands_.push_back(band);
    }
    DerivativeChart->RepaintNow();
}

void TFAnalysis::Recompute() {
    if (spectrum_.X.empty())
        return;
    base_ = FitBaseLine(spectrum_, {Regions(), OrderSpin->value()});
    fit_ = {};
    curve_->Clear();
    residuals_->Clear();
    ShowRegions();
    if (!base_.Ok()) {
        data_->Clear();
        integral_ = {};
        moments_ = {};
        StatusLab->setText(Q(base_.Error));
        FillResults();
        return;
    }
    Fill(*data_, spectrum_.X, base_.Corrected);
    FitAxes(*DerivativeChart, spectrum_.X, base_.Corrected);
    const auto range = IntegralRange();
    integral_ = DoubleIntegral(spectrum_, base_, range);
    moments_ = MomentsOfAbsorption(spectrum_, base_, range);
    reference_ = {};
    if (referenceSpectrum_)
        reference_ = DoubleIntegral(*referenceSpectrum_,
                                    FitBaseLine(*referenceSpectrum_, {Regions(), OrderSpin->value()}),
                                    range);
    StatusLab->setText(integral_.Ok() ? QString() : Q(integral_.Error));
    DerivativeChart->RepaintNow();
    ResidualChart->RepaintNow();
    FillResults();
}

void TFAnalysis::FitBClick() {
    if (FitRunning() || !base_.Ok())
        return;
    JoinWorker();
    FitOptions o;
    o.Shape = static_cast<Profile>(ProfileCombo->currentIndex());
    o.Lines = LinesSpin->value();
    o.Modulation = ModulationCombo->currentIndex() == 0   ? ModulationMode::Auto
                   : ModulationCombo->currentIndex() == 1 ? ModulationMode::On
                                                          : ModulationMode::Off;
    o.Offset = OffsetCB->isChecked();
    cancel_ = false;
    fitDone_ = false;
    const std::uint64_t generation = ++generation_;
    FitB->setEnabled(false);
    CancelB->setEnabled(true);
    busyTimer_->start(100);
    // The worker gets its own copies: the window may change them meanwhile.
    worker_ = std::jthread([this, s = spectrum_, b = base_, o, generation] {
        LineShapeFit result = FitLineShape(s, b, o, &cancel_);
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result), generation]() mutable {
                FitFinished(std::move(result), generation);
            },
            Qt::QueuedConnection);
    });
}

void TFAnalysis::CancelBClick() {
    cancel_ = true;
}

void TFAnalysis::WaitForFit() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fitDone_ && std::chrono::steady_clock::now() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void TFAnalysis::FitFinished(LineShapeFit fit, std::uint64_t generation) {
    if (generation != generation_)
        return;
    fitDone_ = true;
    busyTimer_->stop();
    BusyBar->setVisible(false);
    FitB->setEnabled(true);
    CancelB->setEnabled(false);
    fit_ = std::move(fit);
    if (!fit_.Ok()) {
        curve_->Clear();
        residuals_->Clear();
        StatusLab->setText(QStringLiteral("Fit: ") + Q(fit_.Error));
    } else {
        Fill(*curve_, spectrum_.X, fit_.Curve);
        Fill(*residuals_, spectrum_.X, fit_.Residuals);
        FitAxes(*ResidualChart, spectrum_.X, fit_.Residuals);
        StatusLab->setText(QStringLiteral("Fit converged in %1 iterations%2")
                               .arg(fit_.Iterations)
                               .arg(fit_.Modulation ? QStringLiteral(" (modulation-broadened model)")
                                                    : QString()));
    }
    DerivativeChart->RepaintNow();
    ResidualChart->RepaintNow();
    FillResults();
}

void TFAnalysis::ReferenceBClick() {
    const QString path =
        Dialogs().OpenFile(this, QStringLiteral("Reference file"), QFileInfo(path_).absolutePath(),
                           QStringLiteral("TAVI data file (*.dcw)"));
    if (path.isEmpty())
        return;
    Spectrum s;
    std::string error;
    if (!LoadSpectrum(path.toStdString(), s, &error)) {
        referenceSpectrum_.reset();
        ReferenceEdit->clear();
        Dialogs().ShowError(this, QStringLiteral("The reference file failed to load: ") + Q(error));
        Recompute();
        return;
    }
    referenceSpectrum_ = std::move(s);
    ReferenceEdit->setText(QFileInfo(path).fileName());
    Recompute();
}

} // namespace tavi
