// SPDX-License-Identifier: GPL-3.0-or-later
// The program: the application object, the spectrometer's port, the windows.
#include "app/Forms.h"
#include "app/UCW.h"
#include "device/ComPort.h"
#include "platform/QtEventContext.h"
#include "platform/Seams.h"

#include <QApplication>
#include <QScreen>
#include <exception>

namespace {

// The application's general error display: an error that escapes an event
// handler (a failed write to the port, a conversion) is shown, and the
// program goes on.
class TaviApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            tavi::ShowException(activeWindow(), std::current_exception());
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    TaviApplication app(argc, argv);
    // Closing the main window ends the program, even with the processing window open.
    app.setQuitOnLastWindowClosed(false);
    tavi::QtEventContext context;
    tavi::TComPort port(context);
    tavi::ConfigureSpectrometerPort(port);
    tavi::TaviForms forms(port);
    QObject::connect(forms.FCW(), &tavi::TFCW::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Without a window manager "maximised" means nothing: fill the screen anyway.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        forms.FCW()->setGeometry(screen->availableGeometry());
    forms.FCW()->showMaximized();
    return app.exec();
}
