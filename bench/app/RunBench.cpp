// SPDX-License-Identifier: GPL-3.0-or-later
// The run's costs: reply lines through the real port and the whole receive
// path, repainting the chart full of passes, one cursor drag step, memory.
#include "app/UCW.h"
#include "device/ComPort.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/QtEventContext.h"
#include "platform/Sound.h"
#include "support/FakeDialogs.h"
#include "support/FakeSerialPort.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace tavi;

constexpr int kPoints = 65535;
// 19200 baud, 8N2: 1745 characters per second, 11 characters per "V" line.
constexpr double kLineRate = 158.0;

double VmRssMiB() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            in >> kib;
            return kib / 1024.0;
        }
        std::string rest;
        std::getline(in, rest);
    }
    return 0;
}

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

// Writes everything unless stop is raised while the pty is full.
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

// A pseudo-terminal whose master plays the spectrometer; the window's real port
// opens the slave.
struct PtyDevice {
    int master = -1;
    std::string slave;
    std::atomic<bool> stop{false};
    std::thread drain; // swallows the program's commands

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

void BM_ReplyLinesThroughPty(benchmark::State& state) {
    test::ScopedFakeDialogs dialogs;
    PtyDevice device;
    if (device.slave.empty()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    QTemporaryDir exeDir;
    QtEventContext context;
    TComPort port(context);
    ConfigureSpectrometerPort(port);
    auto w = std::make_unique<TFCW>(port, nullptr, exeDir.path().toStdString());
    for (auto& s : w->SoundSettings)
        s.Off = 1;
    port.SetDeviceName(device.slave);
    port.Open();
    WriteAll(device.master, "Z00422.0\rX07FF07FF\rM01\r");
    if (!PumpUntil([&] { return w->DeviceReady() && w->FieldSource() == 1; })) {
        state.SkipWithError("device not ready");
        return;
    }
    w->LevelTB->setValue(0);
    w->AccUpDown->SetPosition(1);

    std::string lines;
    for (int i = 0; i < 1000; ++i)
        lines += "V 00034BC0\r";
    double rssDuring = 0;
    for (auto _ : state) {
        w->StartToolBClick();
        WriteAll(device.master, "AFFFF\rB\r");
        if (!PumpUntil([&] { return w->RunState() == RunState::Running; })) {
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
        const bool all = PumpUntil([&] { return w->NextPointIndex() >= kPoints; });
        abandon = true;
        writer.join();
        rssDuring = std::max(rssDuring, VmRssMiB());
        WriteAll(device.master, "C\rD\r");
        PumpUntil([&] { return w->RunState() == RunState::Finished; });
        if (!all) {
            state.SkipWithError("points lost");
            break;
        }
    }
    state.counters["lines/s"] =
        benchmark::Counter(kPoints, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["x19200baud"] =
        benchmark::Counter(kPoints / kLineRate, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["VmRSS_MiB"] = rssDuring;
    port.Close();
}
BENCHMARK(BM_ReplyLinesThroughPty)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// A window after five full passes, with the average shown and the marker on.
struct FullChart {
    test::ScopedFakeDialogs dialogs;
    test::FakeSerialPort port;
    QTemporaryDir exeDir;
    std::unique_ptr<TFCW> w;

    FullChart() {
        w = std::make_unique<TFCW>(port, nullptr, exeDir.path().toStdString());
        for (auto& s : w->SoundSettings)
            s.Off = 1;
        w->resize(1280, 800);
        w->show();
        w->AccUpDown->SetPosition(5);
        w->CurrDiagramCBox->setCurrentIndex(4);
        w->AccDToolBClick();
        for (int pass = 1; pass <= 5; ++pass) {
            w->SetPassCounter(pass);
            w->Run().BeginPass(kPoints);
            for (int i = 0; i < kPoints; ++i) {
                const double x = (i - kPoints / 2) / 2000.0;
                const double line = -400 * x / std::pow(1 + x * x, 2);
                w->StorePoint(int(line) + (i * 7 + pass * 13) % 9 - 4);
            }
            w->Run().EndPass();
            w->Run().DeviceIdle();
        }
        QCoreApplication::processEvents();
    }
};

void BM_RepaintFiveFullPasses(benchmark::State& state) {
    FullChart chart;
    for (auto _ : state)
        chart.w->Fid->RepaintNow();
    state.counters["points"] = 6.0 * kPoints;
}
BENCHMARK(BM_RepaintFiveFullPasses)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MarkerDragStep(benchmark::State& state) {
    FullChart chart;
    TChart& fid = *chart.w->Fid;
    const QRect plot = fid.PlotRect();
    fid.RepaintNow(); // the cursor's pixel scale comes from the first drawing
    if (chart.w->MainMarker.PixelsPerPoint <= 0) {
        state.SkipWithError("cursor not drawn");
        return;
    }
    chart.w->MainMarker.Dragging = true;
    const int startIndex = chart.w->MainMarker.PointIndex;
    int step = 0;
    for (auto _ : state) {
        const int x = plot.left() + 20 + (step++ % (plot.width() - 40));
        fid.OnMouseMove(x, plot.center().y());
        fid.repaint(); // the step is done when it is on screen
    }
    chart.w->MainMarker.Dragging = false;
    if (chart.w->MainMarker.PointIndex == startIndex)
        state.SkipWithError("the cursor did not follow the mouse");
}
BENCHMARK(BM_MarkerDragStep)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
