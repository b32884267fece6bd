// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-run: records one experiment from the command line, for scripted
// series: connects, sends a setup, takes its passes and saves the data file.
#include "acquisition/SpectrometerLink.h"
#include "common/JsonText.h"
#include "common/Version.h"
#include "device/ComPort.h"
#include "params/UTextTbl.h"
#include "processing/DataFile.h"
#include "processing/RecoveryFile.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace tavi {
namespace {

constexpr const char* kUsage =
    "Usage: tavi-run --port PATH --setup FILE.cfg [--passes N] [--comment TEXT]\n"
    "                [--out FILE.dcw] [--json]\n"
    "       tavi-run --help | --version\n"
    "\n"
    "Records one experiment without the window: opens the spectrometer's serial\n"
    "port (a device path, or COM1..COM4), runs the connection check, prints the\n"
    "unit's serial number and magnetic field source, sends every parameter of\n"
    "the setup file, takes N passes (default: the setup's number of passes) and\n"
    "saves the sums as a TAVI data file, which it then reads back.\n"
    "\n"
    "  --port PATH      the serial port; it is locked while tavi-run uses it\n"
    "  --setup FILE     the setup file (*.cfg) to send\n"
    "  --passes N       passes to accumulate, 1 to 99\n"
    "  --comment TEXT   the data file's comment\n"
    "  --out FILE       the data file (default: tavi-YYYYMMDD-HHMMSS.dcw in the\n"
    "                   current directory); an existing file is replaced\n"
    "  --json           one JSON object per line on standard output: \"connected\",\n"
    "                   \"pass\" (each finished pass), \"progress\", \"saved\" (path,\n"
    "                   points, passes) and \"error\" (message)\n"
    "\n"
    "On a terminal a one-line bar shows the pass, its percentage and the time\n"
    "left. After every finished pass the sums so far are kept in\n"
    "tavi-recovery-PID.dcw beside the output, until the data file is saved.\n"
    "\n"
    "SIGINT or SIGTERM aborts the run and saves the finished passes with their\n"
    "true count; a second SIGINT leaves at once (the recovery file stays).\n"
    "\n"
    "Exit status: 0 when the data file is written and read back; 1 when the port\n"
    "does not open or is in use, the spectrometer does not answer the connection\n"
    "check, the device is lost during the run (the finished passes are saved),\n"
    "the setup file fails to load or the output cannot be written; 2 on bad\n"
    "usage; 130 after SIGINT or SIGTERM.\n"
    "\n"
    "A series, one numbered file per temperature:\n"
    "  for t in 1 2 3; do tavi-run --port /dev/ttyUSB0 --setup sample.cfg \\\n"
    "      --out \"sample-$t.dcw\" || break; done\n";

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignal = 130;
// The device has this long to report its field source after the check, and
// to answer an abort, before tavi-run stops waiting for it.
constexpr std::chrono::seconds kReplyGrace{5};

struct Options {
    std::string port;
    std::string setup;
    std::optional<int> passes;
    std::string comment;
    std::string out;
    bool json = false;
};

int gSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t gSignals = 0;

void OnSignal(int sig) {
    const int saved = errno;
    gSignals = gSignals + 1;
    if (gSignals > 1 && sig == SIGINT)
        ::_exit(kExitSignal); // the second interrupt leaves at once
    const char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
    errno = saved;
}

// Port events from the reader thread run in the Qt event loop.
class CoreEventContext : public IEventContext {
public:
    CoreEventContext() { receiver_.moveToThread(QCoreApplication::instance()->thread()); }
    void Post(std::function<void()> task) override {
        QMetaObject::invokeMethod(
            &receiver_,
            [this, task = std::move(task)] {
                try {
                    task();
                } catch (...) {
                    ShowError(std::current_exception());
                }
            },
            Qt::QueuedConnection);
    }
    void ShowError(std::exception_ptr error) override {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tavi-run: %s\n", e.what());
        }
    }

private:
    QObject receiver_;
};

std::string DefaultOut() {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "tavi-%Y%m%d-%H%M%S.dcw", &local);
    return stamp;
}

// The experiment from connection to saved file; it ends the event loop
// with the exit status.
class Runner : public IAcquisitionObserver {
public:
    Runner(const Options& options, const TSetupRecord& setup, ISerialPort& port)
        : options_(options), setup_(setup), link_(port, *this),
          terminal_(!options.json && ::isatty(STDOUT_FILENO)) {
        tick_.setInterval(std::chrono::seconds(1));
        QObject::connect(&tick_, &QTimer::timeout, [this] { link_.ConnectionTick(); });
        grace_.setSingleShot(true);
        grace_.setInterval(kReplyGrace);
        QObject::connect(&grace_, &QTimer::timeout, [this] { GraceOver(); });
    }

    void Begin() {
        try {
            link_.Connect();
        } catch (const std::exception& e) {
            Fail(e.what());
            return;
        }
        tick_.start();
    }

    void Interrupted() {
        if (done_)
            return;
        if (!started_ || !Measuring(link_.State())) {
            if (started_ && link_.Run().HasDataToSave())
                SaveAndEnd(kExitSignal);
            else
                End(kExitSignal);
            return;
        }
        aborting_ = true;
        try {
            link_.Run().Abort();
        } catch (const std::exception& e) {
            Warn(e.what());
        }
        grace_.start(); // a device that does not answer still gets its passes saved
    }

    // ---- reports of the link and the run ----

    void ConnectionChanged(ConnectionState state) override {
        if (state == ConnectionState::Connected && !started_) {
            tick_.stop();
            if (link_.FieldSource() != 3)
                StartRun();
            else
                grace_.start();
        }
    }
    void ConnectionCheckFailed() override {
        tick_.stop();
        Fail("the spectrometer on " + options_.port + " does not answer the connection check");
    }
    void FieldSourceChanged(int /*code*/) override {
        if (started_ || done_ || link_.Connection() != ConnectionState::Connected)
            return;
        grace_.stop();
        StartRun();
    }
    void PowerChanged(bool on) override {
        if (!on)
            Lost("the spectrometer on " + options_.port + " was switched off");
    }
    void DeviceLost(const std::string& message) override { Lost(message); }
    void DeviceError(const std::string& code) override { Warn("device error " + code); }
    void Problem(const std::string& message) override { Warn(message); }
    void PassBegun(int /*pass*/, int /*points*/) override {
        percent_ = -1;
        Progress(0);
    }
    void PointStored(int index, int /*value*/) override {
        const int n = link_.Run().PointCount();
        Progress(n > 0 ? (index + 1) * 100 / n : 0);
    }
    void PassEnded(int pass) override {
        if (options_.json) {
            Json("pass", [&](std::string& o) {
                Field(o, "pass", pass);
                Field(o, "of", link_.Run().Settings().Passes);
            });
        } else if (!terminal_) {
            std::printf("pass %d of %d done\n", pass, link_.Run().Settings().Passes);
            std::fflush(stdout);
        }
    }
    void ExperimentFinished() override { SaveAndEnd(aborting_ ? kExitSignal : 0); }
    void RunAborted() override {
        grace_.stop();
        SaveAndEnd(aborting_ ? kExitSignal : kExitFailed);
    }

private:
    void StartRun() {
        const int source = link_.FieldSource();
        if (source != 1 && source != 2 && source != 4) {
            Fail("the spectrometer on " + options_.port + " reports its field source as \"" +
                 FieldSourceName(source) + "\"");
            return;
        }
        started_ = true;
        const std::string sourceText = FieldSourceName(source);
        if (options_.json) {
            Json("connected", [&](std::string& o) {
                Text(o, "serial", link_.UnitSerial());
                Text(o, "version", link_.DeviceVersion());
                Text(o, "fieldSource", sourceText);
            });
        } else {
            std::printf("Unit Serial #%s, Magnetic Field Source: %s\n", link_.UnitSerial().c_str(),
                        sourceText.c_str());
            std::fflush(stdout);
        }
        try {
            const TResonanceMode mode = link_.SendSetup(setup_);
            RunSettings run = link_.SettingsFor(setup_, mode);
            if (options_.passes)
                run.Passes = *options_.passes;
            run.Header.Comment = options_.comment;
            const std::filesystem::path dir =
                std::filesystem::absolute(options_.out).parent_path();
            run.RecoveryDir = dir.string();
            link_.Run().Configure(run);
            sweepSeconds_ = SweepTimeMinutes(setup_.SweepTime) * 60.0;
            link_.Run().Start();
        } catch (const std::exception& e) {
            Fail(e.what());
        }
    }

    void GraceOver() {
        if (aborting_) {
            SaveAndEnd(kExitSignal); // no answer to the abort
            return;
        }
        if (!started_)
            Fail("the spectrometer on " + options_.port + " did not report its field source");
    }

    void Lost(const std::string& message) {
        if (done_)
            return;
        Error(message);
        if (started_ && link_.Run().HasDataToSave())
            SaveAndEnd(kExitFailed);
        else
            End(kExitFailed);
    }

    void SaveAndEnd(int status) {
        if (done_)
            return;
        if (terminal_)
            std::printf("\n");
        Accumulation& run = link_.Run();
        if (!run.HasDataToSave()) {
            Error("no pass of this experiment was finished: there is nothing to save");
            End(status == 0 ? kExitFailed : status);
            return;
        }
        const int passes = run.Complete() ? run.Settings().Passes : run.FinishedPasses();
        std::string error;
        LoadedDataFile back;
        if (!run.Save(options_.out, &error)) {
            Error("cannot write " + options_.out + ": " + error);
            End(kExitFailed);
            return;
        }
        if (!ReadDataFile(options_.out, back, &error) ||
            back.Y.size() != static_cast<std::size_t>(run.PointCount()) ||
            back.Settings.AccText != std::to_string(passes)) {
            Error("the data file " + options_.out + " does not read back as written" +
                  (error.empty() ? std::string() : ": " + error));
            End(kExitFailed);
            return;
        }
        if (options_.json) {
            Json("saved", [&](std::string& o) {
                Text(o, "path", options_.out);
                Field(o, "points", run.PointCount());
                Field(o, "passes", passes);
            });
        } else {
            std::printf("saved %s (%d points, %d passes)\n", options_.out.c_str(), run.PointCount(),
                        passes);
        }
        End(status);
    }

    void Fail(const std::string& message) {
        Error(message);
        End(kExitFailed);
    }

    void End(int status) {
        if (done_)
            return;
        done_ = true;
        tick_.stop();
        grace_.stop();
        std::fflush(stdout);
        QCoreApplication::exit(status);
    }

    void Progress(int percent) {
        if (percent == percent_)
            return;
        percent_ = percent;
        const Accumulation& run = link_.Run();
        const int pass = run.PassCounter();
        const int of = run.Settings().Passes;
        if (options_.json) {
            Json("progress", [&](std::string& o) {
                Field(o, "pass", pass);
                Field(o, "of", of);
                Field(o, "percent", percent);
            });
        } else if (terminal_) {
            const double left =
                sweepSeconds_ * (std::max(of - pass, 0) + (100 - percent) / 100.0);
            const long s = std::lround(left);
            const int filled = percent / 5;
            std::printf("\rpass %d of %d [%s%s] %3d%%  %ld:%02ld left ", pass, of,
                        std::string(static_cast<std::size_t>(filled), '#').c_str(),
                        std::string(static_cast<std::size_t>(20 - filled), '.').c_str(), percent,
                        s / 60, s % 60);
            std::fflush(stdout);
        }
    }

    void Error(const std::string& message) {
        if (terminal_ && percent_ >= 0)
            std::printf("\n");
        if (options_.json)
            Json("error", [&](std::string& o) { Text(o, "message", message); });
        std::fprintf(stderr, "tavi-run: %s\n", message.c_str());
    }
    void Warn(const std::string& message) {
        std::fprintf(stderr, "tavi-run: warning: %s\n", message.c_str());
    }

    template <class Fill> void Json(const char* event, Fill fill) {
        std::string o = "{";
        Text(o, "event", event);
        fill(o);
        o += "}\n";
        std::fputs(o.c_str(), stdout);
        std::fflush(stdout);
    }
    static void Key(std::string& o, const char* name) {
        if (o.size() > 1)
            o += ", ";
        AppendJsonString(o, name);
        o += ": ";
    }
    static void Text(std::string& o, const char* name, const std::string& value) {
        Key(o, name);
        AppendJsonString(o, value);
    }
    static void Field(std::string& o, const char* name, int value) {
        Key(o, name);
        AppendJsonNumber(o, value);
    }

    const Options& options_;
    const TSetupRecord& setup_;
    SpectrometerLink link_;
    QTimer tick_;
    QTimer grace_;
    bool terminal_;
    bool started_ = false;
    bool aborting_ = false;
    bool done_ = false;
    int percent_ = -1;
    double sweepSeconds_ = 0;
};

std::optional<int> ParsePasses(const std::string& text) {
    try {
        std::size_t used = 0;
        const int n = std::stoi(text, &used);
        if (used == text.size() && n >= 1 && n <= 99)
            return n;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "tavi-run: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

} // namespace
} // namespace tavi

int main(int argc, char** argv) {
    using namespace tavi;
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs(VersionLine("tavi-run").c_str(), stdout);
            return 0;
        }
        if (arg == "--json") {
            options.json = true;
            continue;
        }
        if (i + 1 >= argc)
            return Usage("missing value or unknown option " + arg);
        const std::string value = argv[++i];
        if (arg == "--port") {
            options.port = value;
        } else if (arg == "--setup") {
            options.setup = value;
        } else if (arg == "--passes") {
            options.passes = ParsePasses(value);
            if (!options.passes)
                return Usage("--passes takes a number from 1 to 99, not " + value);
        } else if (arg == "--comment") {
            options.comment = value;
        } else if (arg == "--out") {
            options.out = value;
        } else {
            return Usage("unknown option " + arg);
        }
    }
    if (options.port.empty() || options.setup.empty())
        return Usage("--port and --setup are required");
    if (options.out.empty())
        options.out = DefaultOut();

    TSetupRecord setup;
    std::string error;
    if (!LoadSetupFile(options.setup, setup, &error)) {
        std::fprintf(stderr, "tavi-run: cannot load the setup %s: %s\n", options.setup.c_str(),
                     error.c_str());
        return kExitFailed;
    }
    // An output folder that cannot take the file fails now, not after hours.
    const std::filesystem::path outDir = std::filesystem::absolute(options.out).parent_path();
    if (::access(outDir.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "tavi-run: cannot write %s: %s\n", options.out.c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }

    QCoreApplication app(argc, argv);
    if (::pipe2(gSignalPipe, O_CLOEXEC) != 0)
        return kExitFailed;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM})
        ::sigaction(sig, &action, nullptr);

    CoreEventContext context;
    TComPort port(context);
    ConfigureSpectrometerPort(port);
    port.SetDeviceName(options.port);
    int status = kExitFailed;
    {
        Runner runner(options, setup, port);
        QSocketNotifier signalNotifier(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&runner] {
            char c;
            [[maybe_unused]] ssize_t n = ::read(gSignalPipe[0], &c, 1);
            runner.Interrupted();
        });
        QTimer::singleShot(0, [&runner] { runner.Begin(); });
        status = app.exec();
        try {
            port.Close();
        } catch (const std::exception&) {
            // leaving anyway
        }
    }
    return status;
}
