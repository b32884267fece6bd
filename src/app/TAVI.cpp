// SPDX-License-Identifier: GPL-3.0-or-later
// The program: the application object, the spectrometer's port, the windows.
#include "app/Forms.h"
#include "app/UCW.h"
#include "common/Version.h"
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
#include <cstdio>
#include <exception>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "Usage: tavi [--port PATH] [FILE.dcw]\n"
    "       tavi --help | --version\n"
    "\n"
    "Opens the \"SETUP and ACQUISITION\" window of the CW NMR and ESR\n"
    "spectrometer; a data file given is opened in the \"PROCESSING\" window.\n"
    "\n"
    "  --port PATH   the spectrometer's serial port, a device path (/dev/ttyUSB0,\n"
    "                the link of tavi-sim --link) or COM1..COM4; kept in TAVI.INI\n"
    "                as a port chosen in the program is\n"
    "  --help        this text\n"
    "  --version     the version\n"
    "\n"
    "Opening a serial port needs membership of the group dialout\n"
    "(sudo adduser $USER dialout, then log in again). Qt's own options\n"
    "(-platform, -style, ...) are accepted too.\n";

// Takes tavi's own options out of argv, leaving Qt's and the data file for
// QApplication. Returns the exit status when the program is to end at once
// (help, version, bad usage), -1 to go on. Runs before QApplication exists,
// so --help and --version need no display.
int TakeOwnOptions(int& argc, char** argv, std::string& port) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs(tavi::VersionLine("tavi").c_str(), stdout);
            return 0;
        }
        if (arg == "--port" || arg.starts_with("--port=")) {
            if (arg == "--port" && i + 1 < argc)
                port = argv[++i];
            else if (arg != "--port")
                port = arg.substr(7);
            if (port.empty()) {
                std::fprintf(stderr, "tavi: --port needs a port\n%s", kUsage);
                return 2;
            }
            continue;
        }
        argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;
    return -1;
}

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
    std::string port;
    if (const int status = TakeOwnOptions(argc, argv, port); status >= 0)
        return status;
    TaviApplication app(argc, argv);
    // Closing the main window ends the program, even with the processing window open.
    app.setQuitOnLastWindowClosed(false);
    tavi::QtEventContext context;
    tavi::TComPort serialPort(context);
    tavi::ConfigureSpectrometerPort(serialPort);
    tavi::TaviForms forms(serialPort);
    if (!port.empty())
        forms.FCW()->ChoosePort(port);
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
