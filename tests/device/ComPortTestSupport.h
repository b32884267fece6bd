// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the serial port tests: a UI thread stand-in, a pseudo-terminal
// pair, and an OS seam that counts calls, fails on request and fakes modem
// lines on top of the real calls.
#pragma once

#include "device/ComPort.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tavi::test {

// Tasks posted from the reader thread wait here until the test thread, which
// plays the UI thread, pumps them.
class TestEventContext : public IEventContext {
public:
    void Post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_all();
    }
    void ShowError(std::exception_ptr error) override { errors.push_back(error); }

    // Runs posted tasks until done() holds. The limit is only a safety net
    // against a hang; returns done().
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            RunOne(std::chrono::milliseconds(5));
        }
        return true;
    }
    // Runs whatever is posted during the period.
    void PumpFor(std::chrono::milliseconds period) {
        auto end = std::chrono::steady_clock::now() + period;
        while (std::chrono::steady_clock::now() < end)
            RunOne(std::chrono::milliseconds(5));
    }
    // Waits, without running anything, until a task has been posted.
    bool WaitForPosted(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return posted_.wait_for(lock, limit, [this] { return !tasks_.empty(); });
    }
    std::size_t Pending() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

    std::vector<std::exception_ptr> errors;
    int tasksRun = 0;

private:
    void RunOne(std::chrono::milliseconds wait) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_for(lock, wait, [this] { return !tasks_.empty(); }))
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        ++tasksRun;
        task();
    }

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

inline std::string MessageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

inline int CodeOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EComError& e) {
        return e.Code();
    } catch (...) {
    }
    return -1;
}

// The EComError a call raises (an error with code -1 if it raises none).
template <class Call> EComError ComErrorOf(Call&& call) {
    try {
        call();
    } catch (const EComError& e) {
        return e;
    }
    return EComError(-1, "no EComError raised");
}

// A pseudo-terminal: the port opens the slave by its path, the test plays the
// device on the master.
class Pty {
public:
    Pty() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path_ = name;
    }
    ~Pty() {
        CloseMaster();
        ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Path() const { return path_; }
    termios SlaveAttr() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t;
    }
    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(master_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw std::runtime_error("write to pty master failed");
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    // Reads what the port sent; stops early only after the safety timeout.
    std::string Read(std::size_t count) {
        std::string out;
        while (out.size() < count) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 20000) <= 0)
                break;
            char buffer[256];
            ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
            if (n <= 0)
                break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }
    // Bytes the port has not yet taken from the device.
    int SlaveWaiting() const {
        int count = 0;
        ::ioctl(slave_, FIONREAD, &count);
        return count;
    }
    void CloseMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// The real calls, counted, with faults and modem lines under the test's
// control.
class ScriptedOs : public PosixSerialOs {
public:
    int Open(const char* path, int flags) override {
        openedPaths.emplace_back(path);
        if (failOpen != 0) {
            errno = failOpen;
            return -1;
        }
        int fd = PosixSerialOs::Open(path, flags);
        if (fd >= 0)
            ++opens;
        return fd;
    }
    int Close(int fd) override {
        ++closes;
        return PosixSerialOs::Close(fd);
    }
    int SetAttr(int fd, const termios* attr) override {
        attrsAsked.push_back(*attr);
        if (failSetAttr != 0 || (refuseAttr && refuseAttr(*attr))) {
            errno = failSetAttr != 0 ? failSetAttr : EINVAL;
            return -1;
        }
        lastAttr = *attr;
        return PosixSerialOs::SetAttr(fd, attr);
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (fakeModem && (request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC)) {
            int* bits = static_cast<int*>(arg);
            if (request == TIOCMGET) {
                *bits = lines.load();
            } else {
                std::lock_guard lock(mutex_);
                modemControl.emplace_back(request, *bits);
                if (request == TIOCMBIS)
                    lines |= *bits;
                else
                    lines &= ~*bits;
            }
            return 0;
        }
        return PosixSerialOs::Ioctl(fd, request, arg);
    }
    ssize_t Read(int fd, void* buffer, std::size_t count) override {
        ++reads;
        return PosixSerialOs::Read(fd, buffer, count);
    }
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        ++polls;
        return PosixSerialOs::Poll(fds, count, timeoutMs);
    }
    int ProcessNice() override { return nice; }
    void SetProcessNice(int value) override {
        niceCalls.push_back(value);
        nice = value;
    }
    void MakeThreadTimeCritical() override {}

    std::vector<std::pair<unsigned long, int>> ModemControl() {
        std::lock_guard lock(mutex_);
        return modemControl;
    }

    bool fakeModem = false;
    std::atomic<int> lines{0};
    int failOpen = 0;
    int failSetAttr = 0;
    std::function<bool(const termios&)> refuseAttr; // a device that refuses some settings
    termios lastAttr{};                             // the last one applied
    std::vector<termios> attrsAsked;                // every one asked for, applied or not
    int opens = 0;
    int closes = 0;
    std::atomic<int> reads{0};
    std::atomic<int> polls{0};
    std::vector<std::string> openedPaths;
    int nice = 5;
    std::vector<int> niceCalls;

private:
    std::mutex mutex_;
    std::vector<std::pair<unsigned long, int>> modemControl;
};

// What the reply parser does in its line event: read while bytes are waiting,
// keep an incomplete line for the next event.
struct LineCollector {
    explicit LineCollector(TCustomComPort& port) : port(port) {}
    void operator()() {
        ++calls;
        int got = 0;
        while (port.WaitingCount() > 0) {
            do {
                partial += port.ReadChar();
            } while (partial.back() != '\r' && port.WaitingCount() > 0);
            if (partial.back() != '\r')
                break;
            lines.push_back(partial);
            partial.clear();
            ++got;
        }
        linesPerCall.push_back(got);
    }
    TCustomComPort& port;
    std::string partial;
    std::vector<std::string> lines;
    std::vector<int> linesPerCall;
    int calls = 0;
};

} // namespace tavi::test
