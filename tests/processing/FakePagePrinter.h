// SPDX-License-Identifier: GPL-3.0-or-later
// A printer for tests: the page is drawn into an image of a landscape page,
// or the job fails with a given cause.
#pragma once

#include "platform/Seams.h"
#include "processing/PrintPage.h"

#include <QImage>
#include <QPainter>
#include <exception>
#include <functional>

namespace tavi::test {

class FakePagePrinter : public IPagePrinter {
public:
    // A letter page at 150 dpi less small margins.
    QSize page{1590, 1215};
    int dotsPerInch = 150;
    QImage image;
    int jobs = 0;
    QString failWith;                 // a non-empty cause fails the job after drawing
    std::function<void()> whileDrawn; // runs between drawing and the end of the job

    bool PrintLandscapePage(const PageDrawer& draw, QString* error) override {
        ++jobs;
        image = QImage(page, QImage::Format_RGB32);
        const int dpm = static_cast<int>(dotsPerInch / 0.0254 + 0.5);
        image.setDotsPerMeterX(dpm);
        image.setDotsPerMeterY(dpm);
        image.fill(Qt::white);
        try {
            QPainter painter(&image);
            draw(painter, page);
        } catch (...) {
            if (error)
                *error = ExceptionText(std::current_exception());
            return false;
        }
        if (whileDrawn)
            whileDrawn();
        if (!failWith.isEmpty()) {
            if (error)
                *error = failWith;
            return false;
        }
        return true;
    }
};

// Installs a FakePagePrinter for the lifetime of a test.
struct ScopedFakePagePrinter {
    FakePagePrinter fake;
    ScopedFakePagePrinter() { SetPagePrinter(&fake); }
    ~ScopedFakePagePrinter() { SetPagePrinter(nullptr); }
};

} // namespace tavi::test
