// SPDX-License-Identifier: GPL-3.0-or-later
// The window "ANALYSIS": result rows, clipboard, report and band dragging.
#include "analysis/ValueText.h"
#include "analysiswin/UAnalysis.h"
#include "platform/Chart.h"
#include "platform/Seams.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTableWidget>
#include <QTextStream>
#include <qcustomplot.h>

namespace tavi {

using namespace analysis;

namespace {

QString Full(double v) {
    return std::isfinite(v) ? QString::number(v, 'g', 17) : QString();
}

TFAnalysis::ResultRow Row(const QString& quantity, const Measured& m, const QString& unit) {
    return {quantity, QString::fromStdString(ValueWithError(m)), Full(m.Value), Full(m.Error), unit};
}

TFAnalysis::ResultRow Plain(const QString& quantity, double v, const QString& unit) {
    return {quantity, QString::fromStdString(PlainValue(v)), Full(v), QString(), unit};
}

} // namespace

QString TFAnalysis::ProfileName() const {
    static const char* const names[] = {"Lorentzian", "Gaussian", "Voigt"};
    return QString::fromLatin1(names[static_cast<int>(fit_.Shape)]) +
           (fit_.Modulation ? QStringLiteral(", modulation-broadened") : QString()) +
           QStringLiteral(", %1 line(s)").arg(fit_.Lines.size());
}

std::vector<TFAnalysis::ResultRow> TFAnalysis::ResultRows() const {
    std::vector<ResultRow> rows;
    if (spectrum_.X.empty() || !base_.Ok())
        return rows;
    const QString u = XUnit(), u2 = u + QStringLiteral("\u00b2"), u4 = u + QStringLiteral("\u2074");
    rows.push_back(Plain(QStringLiteral("Noise RMS (%1 points)").arg(base_.NoisePoints),
                         base_.NoiseRms, QStringLiteral("a.u.")));
    if (fit_.Ok()) {
        for (std::size_t k = 0; k < fit_.Lines.size(); ++k) {
            const LineFit& l = fit_.Lines[k];
            const QString n = fit_.Lines.size() > 1 ? QStringLiteral(" %1").arg(k + 1) : QString();
            rows.push_back(Row(QStringLiteral("Centre") + n, l.Centre, u));
            rows.push_back(Row(QStringLiteral("\u0394Bpp") + n, l.WidthPP, u));
            rows.push_back(Row(QStringLiteral("FWHM") + n, l.Fwhm, u));
            if (fit_.Shape == Profile::Voigt) {
                rows.push_back(Row(QStringLiteral("Lorentzian FWHM") + n, l.WidthL, u));
                rows.push_back(Row(QStringLiteral("Gaussian FWHM") + n, l.WidthG, u));
            }
            rows.push_back(Row(QStringLiteral("Amplitude") + n, l.Amplitude, QStringLiteral("a.u.")));
            rows.push_back(Row(QStringLiteral("Double integral") + n, l.DoubleIntegral,
                               QStringLiteral("a.u.\u00b7") + u2));
            if (std::isfinite(l.G.Value))
                rows.push_back(Row(QStringLiteral("g") + n, l.G, QString()));
        }
        if (std::isfinite(fit_.Offset.Value))
            rows.push_back(Row(QStringLiteral("Offset"), fit_.Offset, QStringLiteral("a.u.")));
        rows.push_back(Plain(QStringLiteral("Reduced \u03c7\u00b2"), fit_.Chi2Red, QString()));
        rows.push_back(Plain(QStringLiteral("Residual RMS"), fit_.ResidualRms, QStringLiteral("a.u.")));
    }
    if (integral_.Ok()) {
        rows.push_back(Row(QStringLiteral("Integral %1 to %2")
                               .arg(integral_.Range.From)
                               .arg(integral_.Range.To),
                           integral_.Value, QStringLiteral("a.u.\u00b7") + u2));
        rows.push_back(Row(QStringLiteral("Normalised (/ gain \u00b7 mod. ampl.)"),
                           integral_.Normalised, QStringLiteral("a.u.\u00b7") + u));
        if (reference_.Ok()) {
            const Measured ratio = SpinRatio(integral_, reference_);
            rows.push_back(Row(QStringLiteral("Ratio to reference"), ratio, QString()));
            bool ok = false;
            const double spins = SpinCountEdit->text().toDouble(&ok);
            if (ok && std::isfinite(ratio.Value))
                rows.push_back(Row(QStringLiteral("Spin count"),
                                   {ratio.Value * spins, ratio.Error * std::abs(spins)}, QString()));
        }
    }
    if (moments_.Ok()) {
        rows.push_back(Plain(QStringLiteral("Absorption centre"), moments_.Centre, u));
        rows.push_back(Row(QStringLiteral("M2 (true distances)"), moments_.M2, u2));
        rows.push_back(Row(QStringLiteral("M4 (true distances)"), moments_.M4, u4));
        rows.push_back(Plain(QStringLiteral("M4/M2\u00b2"), moments_.M4OverM2Sq, QString()));
    }
    return rows;
}

void TFAnalysis::FillResults() {
    const std::vector<ResultRow> rows = ResultRows();
    ResultTable->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const ResultRow& row = rows[static_cast<std::size_t>(r)];
        ResultTable->setItem(r, 0, new QTableWidgetItem(row.Quantity));
        auto* value = new QTableWidgetItem(row.Text);
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        ResultTable->setItem(r, 1, value);
        ResultTable->setItem(r, 2, new QTableWidgetItem(row.Unit));
    }
}

QString TFAnalysis::ResultText() const {
    QString text = QStringLiteral("Quantity\tValue\tError\tUnit\n");
    for (const ResultRow& r : ResultRows())
        text += r.Quantity + '\t' + r.Value + '\t' + r.Error + '\t' + r.Unit + '\n';
    return text;
}

void TFAnalysis::CopyBClick() {
    QGuiApplication::clipboard()->setText(ResultText());
}

void TFAnalysis::ExportBClick() {
    if (spectrum_.X.empty())
        return;
    const QFileInfo info(path_);
    const QString start = info.absolutePath() + '/' + info.completeBaseName() +
                          QStringLiteral("-analysis.pdf");
    const QString path = Dialogs().SaveFile(this, QStringLiteral("Export report"), start,
                                            QStringLiteral("PDF document (*.pdf)"),
                                            QStringLiteral("pdf"));
    if (path.isEmpty())
        return;
    QString error;
    if (!WriteReport(path, &error))
        Dialogs().ShowError(this, error);
    else
        StatusLab->setText(QStringLiteral("Report written: ") + path);
}

bool TFAnalysis::WriteReport(const QString& pdfPath, QString* error) {
    {
        QPdfWriter pdf(pdfPath);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Landscape);
        pdf.setResolution(300);
        QPainter painter;
        if (!painter.begin(&pdf)) {
            if (error)
                *error = QStringLiteral("Cannot create file ") + pdfPath;
            return false;
        }
        const QRect page = painter.viewport();
        const int column = page.width() / 3;
        QFont bold(QStringLiteral("Arial"), 12, QFont::Bold);
        QFont regular(QStringLiteral("Arial"), 10);
        painter.setFont(bold);
        const int line = painter.fontMetrics().height();
        int y = line;
        painter.drawText(0, y, QFileInfo(path_).fileName());
        y += line;
        painter.setFont(regular);
        const int small = painter.fontMetrics().height();
        painter.drawText(0, y, QStringLiteral("Base line order %1, %2 region(s); model %3")
                                   .arg(base_.Order)
                                   .arg(base_.Regions.size())
                                   .arg(fit_.Ok() ? ProfileName() : QStringLiteral("none")));
        y += small * 2;
        for (const ResultRow& r : ResultRows()) {
            painter.drawText(0, y, r.Quantity);
            painter.drawText(column * 55 / 100, y, r.Text + ' ' + r.Unit);
            y += small;
        }
        const int chartsTop = line / 2;
        const int chartsHeight = page.height() - chartsTop;
        const QRect top(column, chartsTop, page.width() - column, chartsHeight * 3 / 4);
        const QRect bottom(column, top.bottom() + 1, top.width(), chartsHeight - top.height());
        DerivativeChart->Draw(painter, top, pdf.resolution());
        ResidualChart->Draw(painter, bottom, pdf.resolution());
        if (!painter.end()) {
            if (error)
                *error = QStringLiteral("Cannot write file ") + pdfPath;
            return false;
        }
    }
    const QFileInfo info(pdfPath);
    const QString csvPath = info.absolutePath() + '/' + info.completeBaseName() + QStringLiteral(".csv");
    QFile csv(csvPath);
    if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("Cannot create file ") + csvPath + QStringLiteral(": ") +
                     csv.errorString();
        return false;
    }
    QTextStream out(&csv);
    out << "# " << QFileInfo(path_).fileName() << "\n";
    out << "x [" << XUnit() << "],corrected,fit,residual\n";
    for (std::size_t i = 0; i < spectrum_.X.size() && i < base_.Corrected.size(); ++i) {
        out << Full(spectrum_.X[i]) << ',' << Full(base_.Corrected[i]);
        if (fit_.Ok())
            out << ',' << Full(fit_.Curve[i]) << ',' << Full(fit_.Residuals[i]);
        else
            out << ",,";
        out << '\n';
    }
    out.flush();
    if (out.status() != QTextStream::Ok || !csv.flush()) {
        if (error)
            *error = QStringLiteral("Cannot write file ") + csvPath + QStringLiteral(": ") +
                     csv.errorString();
        return false;
    }
    return true;
}

// ---- Band dragging ----

void TFAnalysis::ChartMouseDown(Qt::MouseButton button, int x, int) {
    if (spectrum_.X.empty())
        return;
    const double v = DerivativeChart->BottomAxis().CalcPosPoint(x);
    const std::vector<Interval> regions = Regions();
    const double tolerance = std::abs(DerivativeChart->BottomAxis().CalcPosPoint(x + 4) - v);
    dragBand_ = -1;
    for (int k = 0; k < static_cast<int>(regions.size()); ++k) {
        const double lo = std::min(regions[k].From, regions[k].To),
                     hi = std::max(regions[k].From, regions[k].To);
        if (v < lo - tolerance || v > hi + tolerance)
            continue;
        if (button == Qt::RightButton) {
            std::vector<Interval> rest = regions;
            rest.erase(rest.begin() + k);
            SetRegions(rest);
            return;
        }
        dragBand_ = k;
        dragPart_ = std::abs(v - lo) <= tolerance ? 0 : std::abs(v - hi) <= tolerance ? 1 : 2;
        dragAnchor_ = v;
        return;
    }
    if (button == Qt::LeftButton) {
        creating_ = true;
        dragAnchor_ = v;
    }
}

void TFAnalysis::ChartMouseMove(int x, int) {
    if (dragBand_ < 0 && !creating_)
        return;
    const double v = DerivativeChart->BottomAxis().CalcPosPoint(x);
    if (creating_) {
        // Shown while dragging; the region is added on release.
        if (bands_.empty() || bands_.back()->property("new").toBool() == false) {
            auto* band = new QCPItemRect(DerivativeChart->Plot());
            band->setProperty("new", true);
            for (QCPItemPosition* p : {band->topLeft, band->bottomRight}) {
                p->setTypeX(QCPItemPosition::ptPlotCoords);
                p->setTypeY(QCPItemPosition::ptAxisRectRatio);
            }
            band->setBrush(QColor(0, 120, 255, 40));
            bands_.push_back(band);
        }
        bands_.back()->topLeft->setCoords(std::min(dragAnchor_, v), 0);
        bands_.back()->bottomRight->setCoords(std::max(dragAnchor_, v), 1);
        DerivativeChart->RepaintNow();
        return;
    }
    std::vector<Interval> r = Regions();
    Interval& band = r[static_cast<std::size_t>(dragBand_)];
    if (band.From > band.To)
        std::swap(band.From, band.To);
    if (dragPart_ == 0)
        band.From = v;
    else if (dragPart_ == 1)
        band.To = v;
    else {
        band.From += v - dragAnchor_;
        band.To += v - dragAnchor_;
        dragAnchor_ = v;
    }
    if (band.From > band.To) { // dragged across the other edge
        std::swap(band.From, band.To);
        dragPart_ = 1 - dragPart_;
    }
    SetRegions(r);
}

void TFAnalysis::ChartMouseUp(Qt::MouseButton, int x, int) {
    if (creating_) {
        creating_ = false;
        const double v = DerivativeChart->BottomAxis().CalcPosPoint(x);
        std::vector<Interval> r = Regions();
        if (std::abs(v - dragAnchor_) > 0)
            r.push_back({std::min(dragAnchor_, v), std::max(dragAnchor_, v)});
        SetRegions(r);
    }
    dragBand_ = -1;
}

} // namespace tavi
