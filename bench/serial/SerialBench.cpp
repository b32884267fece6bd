// SPDX-License-Identifier: GPL-3.0-or-later
// Reply lines per second through the serial port layer: a writer thread
// floods a pseudo-terminal with point lines, the line event handler reads
// them as the reply parser does (WaitingCount and ReadChar).
#include "device/ComPort.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// The benchmark thread plays the UI thread.
class PumpContext : public tavi::IEventContext {
public:
    void Post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_one();
    }
    void ShowError(std::exception_ptr error) override { std::rethrow_exception(error); }
    void RunOne() {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_for(lock, std::chrono::milliseconds(100),
                                  [this] { return !tasks_.empty(); }))
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

// Characters per second of a 19200 baud line with 8 data bits, no parity and
// 2 stop bits (11 bits per character).
constexpr double kLineRate = 1745.0;
const std::string kPointLine = "V 00034BC0\r";

void BM_PointLinesFromPty(benchmark::State& state) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    PumpContext context;
    tavi::TComPort port(context);
    tavi::ConfigureSpectrometerPort(port);
    port.SetPriorityClass(tavi::pcDefault);
    port.SetDeviceName(name);
    long lines = 0;
    std::string partial;
    port.OnRxFlag = [&] {
        while (port.WaitingCount() > 0) {
            do {
                partial += port.ReadChar();
            } while (partial.back() != '\r' && port.WaitingCount() > 0);
            if (partial.back() != '\r')
                return;
            ++lines;
            partial.clear();
        }
    };
    port.Open();

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::string block;
        for (int i = 0; i < 200; ++i)
            block += kPointLine;
        std::size_t offset = 0;
        while (!stop) {
            ssize_t n = ::write(master, block.data() + offset, block.size() - offset);
            if (n > 0) {
                offset = (offset + static_cast<std::size_t>(n)) % block.size();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            pollfd fd{master, POLLOUT, 0};
            ::poll(&fd, 1, 10);
        }
    });

    long counted = 0;
    for (auto _ : state) {
        long start = lines;
        while (lines < start + 1000)
            context.RunOne();
        counted += lines - start;
    }
    stop = true;
    writer.join();
    port.Close();
    ::close(master);
    ::close(slave);

    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(counted), benchmark::Counter::kIsRate);
    state.counters["x_19200_8N2"] = benchmark::Counter(
        static_cast<double>(counted) * static_cast<double>(kPointLine.size()) / kLineRate,
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PointLinesFromPty)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
