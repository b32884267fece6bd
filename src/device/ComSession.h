// SPDX-License-Identifier: GPL-3.0-or-later
// Inside the serial port: the state one open shares between the port, its
// reader thread and the tasks posted to the UI thread, and the helpers the
// port's source files have in common. Not for users of the port.
#pragma once

#include "device/ComPort.h"

#include <algorithm>
#include <cerrno>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tavi {
namespace com {

inline void Call(const std::function<void()>& handler) {
    if (handler)
        handler();
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline constexpr milliseconds kModemPollPeriod{10};
// How long a full queue without an event character may wait for a reader
// before the line event is raised anyway.
inline constexpr milliseconds kStallGrace{100};
inline constexpr std::size_t kChunk = 4096;

inline const char* const kClosedPort = "Can't perform this operation on a closed port";
inline const char* const kOpenPort = "Can't perform this operation on an open port";

inline EComError SystemError(int code, const std::string& what) {
    return EComError(code, what + ": " + std::strerror(code));
}

// Serial devices belong to the group dialout; an operator outside it is told
// how to get in rather than left with the bare "Permission denied".
inline EComError OpenError(int code, const std::string& path) {
    EComError e = SystemError(code, "open " + path);
    if (code != EACCES)
        return e;
    return EComError(code, std::string(e.what()) +
                               " (serial ports are for the group dialout: sudo adduser $USER "
                               "dialout, then log in again)");
}

inline EComError HungUp(const std::string& path) {
    return EComError(EIO, path + ": the device hung up");
}

// What a device that hung up or was unplugged answers.
inline bool DeviceGone(int code) {
    return code == EIO || code == ENXIO || code == ENODEV;
}

// The modem ioctls of a device without modem lines (a pseudo-terminal).
inline bool NoModemLines(int code) {
    return code == ENOTTY || code == EINVAL;
}

inline TModemStatus StatusOfLines(int lines) {
    TModemStatus status = 0;
    if (lines & TIOCM_CTS)
        status |= ModemBit(msCTS);
    if (lines & TIOCM_DSR)
        status |= ModemBit(msDSR);
    if (lines & TIOCM_RNG)
        status |= ModemBit(msRing);
    if (lines & TIOCM_CAR)
        status |= ModemBit(msRLSD);
    return status;
}


inline int NiceOf(TPriorityClass priority) {
    switch (priority) {
    case pcIdle:
        return 19;
    case pcNormal:
        return 0;
    case pcHigh:
        return -10;
    case pcRealTime:
        return -20;
    case pcDefault:
        break;
    }
    return 0;
}


// Milliseconds left until a deadline, for poll(); -1 waits for ever.
int PollTimeout(const std::optional<Clock::time_point>& deadline);


} // namespace com

// What the port, its reader thread and the tasks posted to the UI thread
// share for one open. Posted tasks keep it alive, so a task that runs after
// the port closed (or was destroyed) finds `closing` set and does nothing.
struct TComSession {
    explicit TComSession(ISerialOs& serialOs) : os(serialOs) {}
    ~TComSession() {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void Wake() const {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    // Takes received bytes into the queue; returns whether the event
    // character was among them. Needs `mutex`.
    bool Append(const char* data, std::size_t count, bool raiseEvents) {
        std::size_t before = queue.size();
        bool flag = false;
        for (std::size_t i = 0; i < count; ++i) {
            if (discardNulls && data[i] == 0)
                continue;
            queue.push_back(data[i]);
            flag = flag || data[i] == eventChar;
        }
        if (raiseEvents && queue.size() > before) {
            pending |= evRxChar;
            rxCount += static_cast<int>(queue.size() - before);
            if (flag)
                pending |= evRxFlag;
            std::size_t mark = capacity * 8 / 10;
            if (before < mark && queue.size() >= mark)
                pending |= evRx80Full;
        }
        return flag;
    }

    bool QueueHoldsEventChar() const {
        return std::find(queue.begin(), queue.end(), eventChar) != queue.end();
    }

    // A full queue without an event character in it: the reader has stopped,
    // and no line event will come to drain it. Needs `mutex`.
    bool StalledWithoutLineEnd() const {
        return queue.size() >= capacity && !QueueHoldsEventChar();
    }

    void MarkLost(const EComError& error) {
        if (lost)
            return;
        lost = true;
        lostCode = error.Code();
        lostMessage = error.what();
    }

    ISerialOs& os;
    int fd = -1;
    int wakeFd = -1;
    std::string path;
    bool hasModemLines = false;
    bool timeCritical = false;
    TModemStatus modem = 0; // the reader thread's last reading

    std::mutex mutex;
    std::condition_variable changed;
    // Guarded by mutex:
    bool started = false;
    bool closing = false;
    bool delivering = false;
    bool readerReading = false; // the reader thread is inside read()
    bool uiReading = false;     // ReadChar reads the device itself
    bool lost = false;
    bool lostReported = false;
    int lostCode = 0;
    std::string lostMessage;
    std::deque<char> queue;
    std::size_t capacity = 4096;
    char eventChar = '\r';
    bool discardNulls = false;
    bool synchronize = true;
    TComEvents mask = 0;
    TComEvents pending = 0;
    int rxCount = 0;
    std::uint64_t taken = 0; // bytes handed out by ReadChar
};

class TComThread {
public:
    TComThread(TCustomComPort& port, std::shared_ptr<TComSession> session)
        : port_(port), session_(std::move(session)) {
        thread_ = std::thread(&TComThread::Run, this);
    }
    ~TComThread() {
        if (!thread_.joinable())
            return;
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach(); // closed from a handler run on this very thread
        else
            thread_.join();
    }
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

private:
    void Run();
    void ReadDevice(short revents, std::array<char, com::kChunk>& buffer);
    void CheckModem();
    void Dispatch(TComEvents events, int rxCount);
    void DispatchLost();

    TCustomComPort& port_;
    std::shared_ptr<TComSession> session_;
    std::thread thread_;
};

} // namespace tavi
