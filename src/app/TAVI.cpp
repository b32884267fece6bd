// SPDX-License-Identifier: GPL-3.0-or-later
// The program: the application object, the spectrometer's port, the windows.
#include "app/Forms.h"
#include "app/UCW.h"
#include "device/ComPort.h"
#include "platform/QtEventContext.h"
#include "platform/Seams.h"
#include "processing/UDataProc.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <exception>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The session's end (logout, shutdown) and an interrupt close the main window
// as "Exit" does, so the preferences are written; a handler may only write to
// a socket, which the event loop then reads.
int quitSocket[2] = {-1, -1};

void QuitSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // Non-blocking: a full socket already holds a pending close.
    [[maybe_unused]] const ssize_t n = ::write(quitSocket[0], &byte, 1);
    errno = saved;
}

void CloseOnQuitSignals(QWidget* mainWindow) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, quitSocket) != 0)
        return; // the default action (ending the process) stays
    auto* notifier = new QSocketNotifier(quitSocket[1], QSocketNotifier::Read, mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(quitSocket[1], &byte, 1);
        mainWindow->close(); // refused while a run is in progress, as always
    });
    struct sigaction action {};
    action.sa_handler = QuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(sig, &action, nullptr);
        sigaddset(&set, sig);
    }
    // A signal that came before the handler waits, blocked, for it.
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

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
    CloseOnQuitSignals(forms.FCW());
    // A data file given by the desktop (opening a *.dcw) goes to the processing window.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1 && QFileInfo(args.at(1)).isFile()) {
        const QString file = args.at(1);
        QTimer::singleShot(0, forms.FDataProc(), [&forms, file] {
            forms.FDataProc()->showMaximized();
            forms.FDataProc()->raise();
            forms.FDataProc()->OpenFile(file);
        });
    }
    return app.exec();
}
