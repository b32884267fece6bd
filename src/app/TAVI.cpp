// SPDX-License-Identifier: GPL-3.0-or-later
// The program: the application object, the spectrometer's port, the windows.
#include "app/Forms.h"
#include "app/UCW.h"
#include "device/ComPort.h"
#include "platform/QtEventContext.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
