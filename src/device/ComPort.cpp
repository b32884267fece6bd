// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port's open and close, its reads and writes, and the delivery
// of port events to their handlers.
#include "device/ComPort.h"
#include "device/ComSession.h"
#include "device/PortLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <system_error>

namespace tavi {

using namespace com;

// ---------------------------------------------------------------------------

TCustomComPort::TCustomComPort(IEventContext& context, ISerialOs& os)
    : context_(context), os_(os) {}

TCustomComPort::~TCustomComPort() {
    try {
        Close();
    } catch (...) {
        // nothing sensible to do while being destroyed
    }
}

std::string TCustomComPort::DevicePath(const std::string& deviceName) {
    std::string upper = deviceName;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.size() == 4 && upper.compare(0, 3, "COM") == 0 && upper[3] >= '1' && upper[3] <= '4')
        return std::string("/dev/ttyS") + static_cast<char>(upper[3] - 1);
    return deviceName;
}

bool TCustomComPort::Active() const {
    return fd_ >= 0;
}

void TCustomComPort::SetActive(bool active) {
    if (active)
        Open();
    else
        Close();
}

void TCustomComPort::Open() {
    if (Active())
        return;
    CloseDevice();
    try {
        if (priorityClass_ != pcDefault) {
            savedNice_ = os_.ProcessNice();
            os_.SetProcessNice(NiceOf(priorityClass_));
            // Close puts back only what was changed here: a priority that
            // could not be raised stays as it was.
            priorityChanged_ = os_.ProcessNice() != savedNice_;
        }
        auto session = std::make_shared<TComSession>(os_);
        session->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (session->wakeFd < 0)
            throw SystemError(errno, "eventfd");
        path_ = DevicePath(deviceName_);
        session->path = path_;
        session->timeCritical = priorityClass_ == pcRealTime;
        session_ = session;
        try {
            thread_ = std::make_unique<TComThread>(*this, session);
        } catch (const std::system_error&) {
            throw EComError(0, "Can't create thread");
        }

        // Two programs reading one line would each get half of the replies:
        // a port held by another is refused with the holder's process id
        // (EBUSY from open is TIOCEXCL, EWOULDBLOCK from flock).
        int fd = os_.Open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == EBUSY)
            throw EComError(EBUSY, PortInUseMessage(deviceName_, PortLockHolder(path_)));
        if (fd < 0)
            throw OpenError(errno, path_);
        fd_ = fd;
        session->fd = fd; // the reader thread starts using it only below
        if (os_.Lock(fd_) != 0) {
            if (errno != EWOULDBLOCK)
                throw SystemError(errno, "flock " + path_);
            throw EComError(EBUSY, PortInUseMessage(deviceName_, PortLockHolder(path_)));
        }
        if (os_.Ioctl(fd_, TIOCEXCL, nullptr) != 0)
            throw SystemError(errno, "TIOCEXCL " + path_);

        PurgeIn();
        PurgeOut();
        ApplySessionSettings();
        ApplyLineSettings(true);
        int lines = 0;
        if (os_.Ioctl(fd_, TIOCMGET, &lines) == 0) {
            hasModemLines_ = true;
        } else if (!NoModemLines(errno)) {
            throw SystemError(errno, "TIOCMGET " + path_);
        }
        ApplyModemControl();
        if (hasModemLines_ && os_.Ioctl(fd_, TIOCMGET, &lines) != 0)
            throw SystemError(errno, "TIOCMGET " + path_);

        std::lock_guard lock(session->mutex);
        session->hasModemLines = hasModemLines_;
        session->modem = hasModemLines_ ? StatusOfLines(lines) : 0;
        session->synchronize = synchronizeEvents_;
        session->started = true;
        session->changed.notify_all();
    } catch (...) {
        CloseDevice();
        throw;
    }
}

void TCustomComPort::Close() {
    CloseDevice();
}

void TCustomComPort::CloseDevice() {
    if (fd_ >= 0) {
        // Best effort: a device that vanished cannot be purged, and closing
        // it must still succeed.
        os_.Flush(fd_, TCIFLUSH);
        os_.Flush(fd_, TCOFLUSH);
    }
    if (session_) {
        {
            std::lock_guard lock(session_->mutex);
            session_->closing = true;
            session_->changed.notify_all();
        }
        session_->Wake();
    }
    thread_.reset();
    if (fd_ >= 0) {
        os_.Ioctl(fd_, TIOCNXCL, nullptr);
        os_.Close(fd_);
        fd_ = -1;
    }
    session_.reset();
    hasModemLines_ = false;
    if (priorityChanged_) {
        os_.SetProcessNice(savedNice_);
        priorityChanged_ = false;
    }
}

void TCustomComPort::RequireOpen() const {
    if (!Active())
        throw EComError(0, kClosedPort);
}

void TCustomComPort::RequireClosedFor(bool changed) const {
    if (changed && Active())
        throw EComError(0, kOpenPort);
}

void TCustomComPort::WriteText(std::string_view text) {
    RequireOpen();
    if (text.empty())
        return;
    std::optional<Clock::time_point> deadline;
    if (timeouts_.WriteMultiplier != 0 || timeouts_.WriteConstant != 0)
        deadline =
            Clock::now() + milliseconds(std::uint64_t{timeouts_.WriteMultiplier} * text.size() +
                                        timeouts_.WriteConstant);
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = os_.Write(fd_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            throw SystemError(errno, "write " + path_);
        pollfd fd{fd_, POLLOUT, 0};
        int ready = os_.Poll(&fd, 1, PollTimeout(deadline));
        if (ready == 0)
            throw EComError(0, "Timeout");
        if (ready < 0 && errno != EINTR)
            throw SystemError(errno, "poll " + path_);
        if (ready > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fd.revents & POLLOUT))
            throw HungUp(path_);
    }
}

char TCustomComPort::ReadChar() {
    RequireOpen();
    TComSession& s = *session_;
    std::optional<Clock::time_point> deadline;
    if (timeouts_.ReadInterval == std::numeric_limits<std::uint32_t>::max() &&
        timeouts_.ReadMultiplier == 0 && timeouts_.ReadConstant == 0)
        deadline = Clock::now();
    else if (timeouts_.ReadMultiplier != 0 || timeouts_.ReadConstant != 0)
        deadline = Clock::now() +
                   milliseconds(std::uint64_t{timeouts_.ReadMultiplier} + timeouts_.ReadConstant);

    std::unique_lock lock(s.mutex);
    for (;;) {
        if (!s.queue.empty()) {
            bool wasFull = s.queue.size() >= s.capacity;
            char c = s.queue.front();
            s.queue.pop_front();
            ++s.taken;
            if (wasFull)
                s.Wake();
            return c;
        }
        if (s.readerReading) {
            s.changed.wait(lock, [&] { return !s.readerReading; });
            continue;
        }
        // The queue is empty and the reader thread is not reading (it may be
        // waiting for the very handler that calls us): read the device here.
        s.uiReading = true;
        std::size_t room = std::clamp<std::size_t>(s.capacity, 1, kChunk);
        lock.unlock();
        struct Release {
            TComSession& s;
            std::unique_lock<std::mutex>& lock;
            ~Release() {
                if (!lock.owns_lock())
                    lock.lock();
                s.uiReading = false;
                s.changed.notify_all();
            }
        };
        std::array<char, kChunk> buffer;
        ssize_t n;
        {
            Release release{s, lock};
            n = os_.Read(fd_, buffer.data(), room);
            if (n == 0)
                throw HungUp(path_);
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR)
                    throw SystemError(errno, "read " + path_);
                pollfd fd{fd_, POLLIN, 0};
                int ready = os_.Poll(&fd, 1, PollTimeout(deadline));
                if (ready == 0)
                    throw EComError(0, "Timeout");
                if (ready < 0 && errno != EINTR)
                    throw SystemError(errno, "poll " + path_);
                if (ready > 0 && !(fd.revents & POLLIN) &&
                    (fd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    // Let read report the cause; a bare hang-up has none.
                    n = os_.Read(fd_, buffer.data(), room);
                    if (n < 0 && errno != EAGAIN && errno != EINTR)
                        throw SystemError(errno, "read " + path_);
                    if (n <= 0)
                        throw HungUp(path_);
                } else {
                    continue;
                }
            }
            lock.lock();
            bool flag = s.Append(buffer.data() + 1, static_cast<std::size_t>(n) - 1, false);
            if (!s.discardNulls || buffer[0] != 0)
                s.queue.push_front(buffer[0]);
            // Outside a delivery nobody else will see that a line is waiting.
            if (flag && !s.delivering) {
                s.pending |= evRxFlag;
                s.Wake();
            }
        }
    }
}

int TCustomComPort::WaitingCount() {
    if (!Active())
        return 0;
    TComSession& s = *session_;
    std::unique_lock lock(s.mutex);
    // Holding the lock while the reader is outside read() keeps bytes from
    // being between the kernel and the queue while we count.
    s.changed.wait(lock, [&] { return !s.readerReading; });
    int queued = static_cast<int>(s.queue.size());
    if (s.lost)
        return queued;
    int pendingInKernel = 0;
    if (os_.Ioctl(fd_, FIONREAD, &pendingInKernel) != 0) {
        int code = errno;
        if (!DeviceGone(code))
            throw SystemError(code, "FIONREAD " + path_);
        // The device hung up after the reader queued a line: the line can
        // still be read, and the reader thread reports the loss once the
        // handlers are done.
        s.MarkLost(code == EIO ? HungUp(path_) : SystemError(code, "FIONREAD " + path_));
        s.Wake();
        return queued;
    }
    if (s.discardNulls && pendingInKernel > 0)
        return TakeInWithoutNulls(pendingInKernel);
    return queued + pendingInKernel;
}

// A NUL still in the driver would be counted, then dropped by ReadChar, which
// would wait for a byte that never comes: the waiting bytes are taken into
// the queue, without their NULs, and only what is left is counted. Needs the
// session's mutex with the reader thread outside read().
int TCustomComPort::TakeInWithoutNulls(int pendingInKernel) {
    TComSession& s = *session_;
    std::array<char, kChunk> buffer;
    while (pendingInKernel > 0 && s.queue.size() < s.capacity) {
        std::size_t room = std::min({s.capacity - s.queue.size(), buffer.size(),
                                     static_cast<std::size_t>(pendingInKernel)});
        ssize_t n = os_.Read(fd_, buffer.data(), room); // the descriptor does not block
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        if (n <= 0) {
            int code = n == 0 ? EIO : errno;
            if (!DeviceGone(code))
                throw SystemError(code, "read " + path_);
            s.MarkLost(n == 0 || code == EIO ? HungUp(path_) : SystemError(code, "read " + path_));
            s.Wake();
            break;
        }
        pendingInKernel -= static_cast<int>(n);
        // Outside a delivery nobody else will see that a line is waiting.
        if (s.Append(buffer.data(), static_cast<std::size_t>(n), false) && !s.delivering) {
            s.pending |= evRxFlag;
            s.Wake();
        }
    }
    return static_cast<int>(s.queue.size());
}

std::size_t TCustomComPort::QueuedCount() const {
    if (!session_)
        return 0;
    std::lock_guard lock(session_->mutex);
    return session_->queue.size();
}

TModemStatus TCustomComPort::ModemStatus() {
    RequireOpen();
    if (!hasModemLines_)
        return 0;
    int lines = 0;
    if (os_.Ioctl(fd_, TIOCMGET, &lines) != 0)
        throw SystemError(errno, "TIOCMGET " + path_);
    return StatusOfLines(lines);
}

void TCustomComPort::PurgeIn() {
    if (!Active())
        return;
    TComSession& s = *session_;
    std::unique_lock lock(s.mutex);
    s.changed.wait(lock, [&] { return !s.readerReading; });
    if (os_.Flush(fd_, TCIFLUSH) != 0)
        throw SystemError(errno, "tcflush " + path_);
    s.queue.clear();
    s.Wake();
}

void TCustomComPort::PurgeOut() {
    if (!Active())
        return;
    if (os_.Flush(fd_, TCOFLUSH) != 0)
        throw SystemError(errno, "tcflush " + path_);
}

void TCustomComPort::Deliver(const std::shared_ptr<TComSession>& session, TComEvents events,
                             int rxCount) {
    IEventContext& context = context_; // the port may be gone after a handler
    auto live = [&session] {
        std::lock_guard lock(session->mutex);
        return !session->closing;
    };
    // The fixed delivery order. Each handler is looked up only while the port
    // is still open: an earlier handler may have closed or destroyed it.
    const std::pair<TComEvent, std::function<void()>> steps[] = {
        {evBreak, [this] { Call(OnBreak); }},
        {evCTS, [this] { Call(OnCTSChange); }},
        {evDSR, [this] { Call(OnDSRChange); }},
        {evError,
         [this] {
             if (OnLineError)
                 OnLineError(0);
         }},
        {evEvent1, [] {}},
        {evEvent2, [] {}},
        {evPrinterError, [] {}},
        {evRing, [this] { Call(OnRing); }},
        {evRLSD, [this] { Call(OnRLSDChange); }},
        {evRx80Full, [this] { Call(OnRx80Full); }},
        {evRxChar,
         [this, rxCount] {
             if (OnRxChar)
                 OnRxChar(rxCount);
         }},
        {evRxFlag, [this] { Call(OnRxFlag); }},
        {evTxEmpty, [this] { Call(OnTxEmpty); }},
    };
    try {
        for (const auto& [event, call] : steps) {
            if (!(events & event))
                continue;
            if (!live())
                return;
            call();
        }
    } catch (...) {
        context.ShowError(std::current_exception());
    }
}

void TCustomComPort::ReportLost(const std::shared_ptr<TComSession>& session) {
    EComError error(0, "");
    {
        std::lock_guard lock(session->mutex);
        error = EComError(session->lostCode, session->lostMessage);
    }
    if (!OnDeviceLost) {
        context_.ShowError(std::make_exception_ptr(error));
        return;
    }
    IEventContext& context = context_;
    try {
        OnDeviceLost(error);
    } catch (...) {
        context.ShowError(std::current_exception());
    }
}

} // namespace tavi
