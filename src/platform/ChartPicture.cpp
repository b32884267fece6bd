// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of a chart for reports: PNG, SVG or PDF of what it shows.
#include "platform/Chart.h"
#include "platform/ChartPublication.h"
#include "platform/SavedFile.h"
#include "platform/Seams.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <qcustomplot.h>

namespace tavi {

namespace {

enum class PictureFormat { Png, Svg, Pdf, Unknown };

PictureFormat FormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return PictureFormat::Png;
    if (suffix == QLatin1String("svg"))
        return PictureFormat::Svg;
    if (suffix == QLatin1String("pdf"))
        return PictureFormat::Pdf;
    return PictureFormat::Unknown;
}

} // namespace

QMenu* TChart::ContextMenu() {
    if (!contextMenu_) {
        contextMenu_ = new QMenu(this);
        contextMenu_->setObjectName(QStringLiteral("ChartContextMenu"));
        QAction* save = contextMenu_->addAction(QStringLiteral("Save picture as..."));
        save->setObjectName(QStringLiteral("SavePictureAction"));
        connect(save, &QAction::triggered, this, &TChart::SavePictureAs);
        contextMenu_->addSeparator();
        auto* looks = new QActionGroup(contextMenu_);
        QAction* screen = contextMenu_->addAction(QStringLiteral("as on screen"));
        screen->setObjectName(QStringLiteral("PictureOnScreenAction"));
        QAction* publication = contextMenu_->addAction(QStringLiteral("for publication"));
        publication->setObjectName(QStringLiteral("PicturePublicationAction"));
        for (QAction* a : {screen, publication}) {
            a->setCheckable(true);
            looks->addAction(a);
        }
        (pictureStyle_.Publication ? publication : screen)->setChecked(true);
        connect(publication, &QAction::toggled, this, [this](bool on) { pictureStyle_.Publication = on; });
        QAction* size = contextMenu_->addAction(QStringLiteral("Publication size..."));
        size->setObjectName(QStringLiteral("PictureSizeAction"));
        connect(size, &QAction::triggered, this, &TChart::PictureSizeDialog);
    }
    return contextMenu_;
}

void TChart::SavePictureAs() {
    QString path = Dialogs().SaveFile(
        this, QStringLiteral("Save picture as"), pictureDir_,
        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"),
        QStringLiteral("png"));
    if (path.isEmpty())
        return;
    pictureDir_ = QFileInfo(path).absolutePath();
    QString error;
    if (!SavePicture(path, &error))
        Dialogs().Message(this, error, MsgIcon::Error, MsgButtons::Ok);
}

bool TChart::SavePicture(const QString& path, QString* error) {
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("Cannot save the picture %1: %2").arg(path, why);
        return false;
    };
    const PictureFormat format = FormatOf(path);
    if (format == PictureFormat::Unknown)
        return fail(QStringLiteral("the name must end in .png, .svg or .pdf"));
    if (drawing_)
        return fail(QStringLiteral("the chart is being drawn"));
    EnsureLayout();
    QCustomPlot* plot = Plot();
    const PictureStyle style = pictureStyle_;
    // A publication picture is laid out as a 96 dpi screen of its size in mm,
    // so text keeps its point size, and rendered at its resolution.
    const int width = style.Publication ? static_cast<int>(std::lround(style.WidthMm / 25.4 * 96))
                                        : plot->width();
    const int height = style.Publication ? static_cast<int>(std::lround(style.HeightMm / 25.4 * 96))
                                         : plot->height();
    const double scale = style.Publication ? style.Dpi / 96.0 : 1.0;
    if (width <= 0 || height <= 0)
        return fail(QStringLiteral("the chart has no size"));

    // Written beside the target and renamed over it only when complete.
    QSaveFile file(path);
    QString why;
    if (!OpenSaveFile(file, &why))
        return fail(why);

    // Lays the plot out for the picture and draws curves, overlay and hooks.
    auto render = [&](QPaintDevice& device, bool vector) {
        QCPPainter painter(&device);
        if (!painter.isActive())
            return false;
        if (vector)
            painter.setMode(QCPPainter::pmVectorized);
        else if (scale != 1.0)
            painter.scale(scale, scale);
        PublicationLook look(*this, style.Publication);
        printing_ = true;
        plot->toPainter(&painter, width, height);
        printing_ = false;
        return painter.end();
    };
    bool drawn = false;
    bool cutShort = false; // why holds the cause; the write is cancelled
    switch (format) {
    case PictureFormat::Png: {
        QImage image(static_cast<int>(std::lround(width * scale)),
                     static_cast<int>(std::lround(height * scale)), QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(static_cast<int>(std::lround(96 * scale / 0.0254)));
        image.setDotsPerMeterY(image.dotsPerMeterX());
        image.fill(style.Publication ? QColor(Qt::white) : plot->axisRect()->backgroundBrush().color());
        drawn = render(image, false) && image.save(&file, "PNG");
        break;
    }
    case PictureFormat::Svg: {
        // The generator hands the whole document to one text-stream write and
        // ignores a short count, so a cut write would look complete: draw into
        // memory and write the bytes where the count is checked.
        QBuffer document;
        document.open(QIODevice::WriteOnly);
        {
            QSvgGenerator svg;
            svg.setOutputDevice(&document);
            svg.setSize(QSize(width, height));
            svg.setViewBox(QRect(0, 0, width, height));
            svg.setResolution(96);
            svg.setTitle(QStringLiteral("Chart"));
            drawn = render(svg, true);
        }
        cutShort = drawn && !WriteSaveFile(file, document.data(), &why);
        break;
    }
    case PictureFormat::Pdf: {
        QPdfWriter pdf(&file);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(width * 72.0 / 96.0, height * 72.0 / 96.0),
                                  QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setCreator(QStringLiteral("TAVI"));
        drawn = render(pdf, true);
        break;
    }
    case PictureFormat::Unknown:
        break;
    }
    // The picture left the plot laid out for itself.
    layoutDirty_ = true;
    RepaintNow();
    if (cutShort)
        return fail(why);
    if (!drawn && file.error() == QFileDevice::NoError) {
        file.cancelWriting();
        return fail(QStringLiteral("drawing failed"));
    }
    if (!CommitSaveFile(file, &why))
        return fail(why);
    return true;
}

} // namespace tavi
