// SPDX-License-Identifier: GPL-3.0-or-later
// The acquisition engine without the window: reply lines through the real
// port (to set beside bench_run's window figure), the dispatch alone, and
// tavi-run from its start to a connected spectrometer.
#include "acquisition/SpectrometerLink.h"
#include "device/ComPort.h"
#include "platform/QtEventContext.h"
#include "support/FakeSerialPort.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace tavi;

constexpr int kPoints = 65535;
// 19200 baud, 8N2: 1745 characters per second, 11 characters per "V" line.
constexpr double kLineRate = 158.0;

template <class Pred>
bool PumpUntil(Pred done, std::chrono::seconds limit = std::chrono::seconds(300)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void WriteAll(int fd, const std::string& bytes, const std::atomic<bool>* stop = nullptr) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 50) <= 0) {
            if (stop && *stop)
                return;
            continue;
        }
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        done += std::size_t(n);
    }
}

// The master of a pseudo-terminal plays the spectrometer and swallows the
// commands; the engine's real port opens the slave.
struct PtyDevice {
    int master = -1;
    std::string slave;
    std::atomic<bool> stop{false};
    std::thread drain;

    PtyDevice() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = ptsname(master);
        drain = std::thread([this] {
            char buf[256];
            while (!stop) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) [[maybe_unused]]
                    auto n = ::read(master, buf, sizeof buf);
            }
        });
    }
    ~PtyDevice() {
        stop = true;
        if (drain.joinable())
            drain.join();
        if (master >= 0)
            ::close(master);
    }
};

struct Quiet : IAcquisitionObserver {};

std::string PointLines(int n) {
    std::string lines;
    for (int i = 0; i < n; ++i)
        lines += "V 00034BC0\r";
    return lines;
}

void BM_EngineReplyLinesThroughPty(benchmark::State& state) {
    PtyDevice device;
    if (device.slave.empty()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    QtEventContext context;
    TComPort port(context);
    ConfigureSpectrometerPort(port);
    port.SetDeviceName(device.slave);
    Quiet observer;
    SpectrometerLink link(port, observer);
    link.Connect();
    WriteAll(device.master, "Z00422.0\rX07FF07FF\rM01\r");
    if (!PumpUntil([&] { return link.DeviceReady() && link.FieldSource() == 1; })) {
        state.SkipWithError("device not ready");
        return;
    }
    link.Run().Configure(link.SettingsFor(DefaultSetup(), rmH1));
    link.Run().SetPasses(1);
    const std::string lines = PointLines(1000);
    for (auto _ : state) {
        link.Run().Start();
        WriteAll(device.master, "AFFFF\rB\r");
        if (!PumpUntil([&] { return link.State() == RunState::Running; })) {
            state.SkipWithError("no pass started");
            break;
        }
        std::atomic<bool> abandon{false};
        std::thread writer([&] {
            for (int sent = 0; sent < kPoints && !abandon; sent += 1000) {
                const int n = std::min(1000, kPoints - sent);
                WriteAll(device.master, lines.substr(0, std::size_t(n) * 11), &abandon);
            }
        });
        const bool all = PumpUntil([&] { return link.Run().NextPointIndex() >= kPoints; });
        abandon = true;
        writer.join();
        WriteAll(device.master, "C\rD\r");
        PumpUntil([&] { return link.State() == RunState::Finished; });
        if (!all) {
            state.SkipWithError("points lost");
            break;
        }
    }
    state.counters["lines/s"] =
        benchmark::Counter(kPoints, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["x19200baud"] =
        benchmark::Counter(kPoints / kLineRate, benchmark::Counter::kIsIterationInvariantRate);
    port.Close();
}
BENCHMARK(BM_EngineReplyLinesThroughPty)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The dispatch and accumulation alone: lines handed over without a port thread.
void BM_EngineDispatchOnly(benchmark::State& state) {
    test::FakeSerialPort port;
    Quiet observer;
    SpectrometerLink link(port, observer);
    link.Connect();
    port.Feed("Z00422.0\rX07FF07FF\rM01\r");
    link.ConnectionTick();
    link.Run().Configure(link.SettingsFor(DefaultSetup(), rmH1));
    const std::string lines = PointLines(kPoints);
    for (auto _ : state) {
        link.Run().Start();
        port.Feed("AFFFF\rB\r");
        port.Feed(lines);
        port.Feed("C\rD\r");
    }
    state.counters["lines/s"] =
        benchmark::Counter(kPoints, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_EngineDispatchOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// tavi-run from its start to the "connected" line, against tavi-sim. The
// connection check completes on its first one-second tick.
void BM_ToolStartToConnected(benchmark::State& state) {
    QTemporaryDir dir;
    const QString link = dir.path() + "/tty";
    QProcess sim;
    sim.start(TAVI_SIM_PATH, {"--link", link});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(30000)) {
        state.SkipWithError("tavi-sim did not start");
        return;
    }
    const QString setup = dir.path() + "/s.cfg";
    std::string error;
    SaveSetupFile(setup.toStdString(), DefaultSetup(), &error);
    for (auto _ : state) {
        QProcess tool;
        tool.start(TAVI_RUN_PATH, {"--json", "--port", link, "--setup", setup, "--out",
                                   dir.path() + "/x.dcw"});
        bool connected = false;
        while (!connected && tool.waitForReadyRead(30000))
            while (tool.canReadLine())
                connected = connected || tool.readLine().contains("\"connected\"");
        state.PauseTiming();
        ::kill(static_cast<pid_t>(tool.processId()), SIGINT);
        tool.waitForFinished(30000);
        state.ResumeTiming();
        if (!connected) {
            state.SkipWithError("no connected line");
            break;
        }
    }
    sim.terminate();
    sim.waitForFinished(30000);
}
BENCHMARK(BM_ToolStartToConnected)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
