// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ComPort.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tavi {

namespace {

void Call(const std::function<void()>& handler) {
    if (handler)
        handler();
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kModemPollPeriod{10};
// How long a full queue without an event character may wait for a reader
// before the line event is raised anyway.
constexpr milliseconds kStallGrace{100};
constexpr std::size_t kChunk = 4096;

const char* const kClosedPort = "Can't perform this operation on a closed port";
const char* const kOpenPort = "Can't perform this operation on an open port";

EComError SystemError(int code, const std::string& what) {
    return EComError(code, what + ": " + std::strerror(code));
}

// Serial devices belong to the group dialout; an operator outside it is told
// how to get in rather than left with the bare "Permission denied".
EComError OpenError(int code, const std::string& path) {
    EComError e = SystemError(code, "open " + path);
    if (code != EACCES)
        return e;
    return EComError(code, std::string(e.what()) +
                               " (serial ports are for the group dialout: sudo adduser $USER "
                               "dialout, then log in again)");
}

EComError HungUp(const std::string& path) {
    return EComError(EIO, path + ": the device hung up");
}

// What a device that hung up or was unplugged answers.
bool DeviceGone(int code) {
    return code == EIO || code == ENXIO || code == ENODEV;
}

// The modem ioctls of a device without modem lines (a pseudo-terminal).
bool NoModemLines(int code) {
    return code == ENOTTY || code == EINVAL;
}

TModemStatus StatusOfLines(int lines) {
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

speed_t SpeedOf(TBaudRate rate) {
    switch (rate) {
    case br110:
        return B110;
    case br300:
        return B300;
    case br600:
        return B600;
    case br1200:
        return B1200;
    case br2400:
        return B2400;
    case br4800:
        return B4800;
    case br9600:
        return B9600;
    case br19200:
        return B19200;
    case br38400:
        return B38400;
    case br57600:
        return B57600;
    case br115200:
        return B115200;
    case brDefault:
        break;
    }
    return B0;
}

int NiceOf(TPriorityClass priority) {
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

// Changes a setting of an open port and keeps it only once the device has
// taken it: a refused one stays out, so the property tells what is in force
// and the next Open does not fail on it again. What was applied before the
// refusal is put back as far as the device lets it.
template <class T, class Apply>
void KeepIfApplied(T& setting, const T& value, bool active, Apply apply) {
    const T old = setting;
    setting = value;
    if (!active)
        return;
    try {
        apply();
    } catch (...) {
        std::exception_ptr refused = std::current_exception();
        setting = old;
        try {
            apply();
        } catch (...) {
            // the refusal is what the caller needs to hear about
        }
        std::rethrow_exception(refused);
    }
}

// Milliseconds left until a deadline, for poll(); -1 waits for ever.
int PollTimeout(Clock::time_point deadline) {
    auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

int PollTimeout(const std::optional<Clock::time_point>& deadline) {
    return deadline ? PollTimeout(*deadline) : -1;
}

} // namespace

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
    void ReadDevice(short revents, std::array<char, kChunk>& buffer);
    void CheckModem();
    void Dispatch(TComEvents events, int rxCount);
    void DispatchLost();

    TCustomComPort& port_;
    std::shared_ptr<TComSession> session_;
    std::thread thread_;
};

void TComThread::Run() {
    // A handler run on this thread (SynchronizeEvents off) may close the
    // port and so destroy this object: past a delivery only locals are used
    // until `closing` has been seen.
    std::shared_ptr<TComSession> keep = session_;
    TComSession& s = *keep;
    {
        std::unique_lock lock(s.mutex);
        s.changed.wait(lock, [&] { return s.started || s.closing; });
        if (s.closing)
            return;
    }
    if (s.timeCritical)
        s.os.MakeThreadTimeCritical();
    std::array<char, kChunk> buffer{};
    Clock::time_point nextModemCheck = Clock::now();
    // A run without event character longer than the queue would stop the
    // line for good: the reader waits for the queue to drain, and only the
    // line event has the program read. When nobody takes a byte for a
    // while, the line event is raised anyway; the handler reads what is
    // there and keeps the unfinished line.
    // A plain time point, not an optional: GCC 12 takes an optional's value
    // read in this loop for uninitialised.
    constexpr Clock::time_point kNoStall = Clock::time_point::max();
    Clock::time_point stallDeadline = kNoStall;
    std::uint64_t takenAtStall = 0;
    for (;;) {
        bool canRead = false;
        bool watchModem = false;
        {
            std::unique_lock lock(s.mutex);
            if (s.closing)
                return;
            TComEvents events = s.pending & s.mask;
            int rxCount = std::exchange(s.rxCount, 0);
            s.pending = 0; // events nobody handles are dropped
            if (events != 0) {
                s.delivering = true;
                lock.unlock();
                Dispatch(events, rxCount);
                lock.lock();
                s.changed.wait(lock, [&] { return !s.delivering || s.closing; });
                continue;
            }
            if (s.lost && !s.lostReported) {
                s.lostReported = true;
                lock.unlock();
                DispatchLost();
                continue;
            }
            if (s.uiReading) {
                s.changed.wait(lock, [&] { return !s.uiReading || s.closing; });
                continue;
            }
            // A full queue stops reading: the device's own buffer and flow
            // control hold further bytes until the UI thread drains it.
            canRead = !s.lost && s.queue.size() < s.capacity;
            watchModem = !s.lost && s.hasModemLines;
            if (s.lost || (s.mask & evRxFlag) == 0 || !s.StalledWithoutLineEnd()) {
                stallDeadline = kNoStall;
            } else if (stallDeadline == kNoStall || s.taken != takenAtStall) {
                stallDeadline = Clock::now() + kStallGrace;
                takenAtStall = s.taken;
            } else if (Clock::now() >= stallDeadline) {
                stallDeadline = kNoStall;
                s.pending |= evRxFlag;
                continue;
            }
        }
        pollfd fds[2] = {{s.wakeFd, POLLIN, 0}, {s.fd, POLLIN, 0}};
        int timeout = -1;
        if (watchModem)
            timeout = PollTimeout(nextModemCheck);
        if (stallDeadline != kNoStall) {
            const int stall = PollTimeout(stallDeadline);
            timeout = timeout < 0 ? stall : std::min(timeout, stall);
        }
        int ready = s.os.Poll(fds, canRead ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            int code = errno;
            std::lock_guard lock(s.mutex);
            s.MarkLost(SystemError(code, "poll " + s.path));
            continue;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(s.wakeFd, &count, sizeof count);
        }
        if (canRead && fds[1].revents != 0)
            ReadDevice(fds[1].revents, buffer);
        if (watchModem && Clock::now() >= nextModemCheck) {
            CheckModem();
            nextModemCheck = Clock::now() + kModemPollPeriod;
        }
    }
}

void TComThread::ReadDevice(short revents, std::array<char, kChunk>& buffer) {
    TComSession& s = *session_;
    std::size_t room;
    {
        std::lock_guard lock(s.mutex);
        if (s.uiReading || s.closing || s.queue.size() >= s.capacity)
            return;
        room = std::min(s.capacity - s.queue.size(), buffer.size());
        s.readerReading = true;
    }
    ssize_t n = s.os.Read(s.fd, buffer.data(), room);
    int code = errno;
    std::lock_guard lock(s.mutex);
    s.readerReading = false;
    if (n > 0)
        s.Append(buffer.data(), static_cast<std::size_t>(n), true);
    else if (n == 0)
        s.MarkLost(HungUp(s.path));
    else if (code == EAGAIN || code == EINTR) {
        if (revents & (POLLHUP | POLLERR | POLLNVAL))
            s.MarkLost(HungUp(s.path));
    } else
        s.MarkLost(SystemError(code, "read " + s.path));
    s.changed.notify_all();
}

void TComThread::CheckModem() {
    TComSession& s = *session_;
    int lines = 0;
    if (s.os.Ioctl(s.fd, TIOCMGET, &lines) != 0) {
        int code = errno;
        if (!NoModemLines(code) && code != EINTR) {
            std::lock_guard lock(s.mutex);
            s.MarkLost(SystemError(code, "TIOCMGET " + s.path));
        }
        return;
    }
    TModemStatus now = StatusOfLines(lines);
    TModemStatus changed = now ^ s.modem;
    TModemStatus before = s.modem;
    s.modem = now;
    if (changed == 0)
        return;
    std::lock_guard lock(s.mutex);
    if (changed & ModemBit(msCTS))
        s.pending |= evCTS;
    if (changed & ModemBit(msDSR))
        s.pending |= evDSR;
    if (changed & ModemBit(msRLSD))
        s.pending |= evRLSD;
    if ((now & ModemBit(msRing)) && !(before & ModemBit(msRing)))
        s.pending |= evRing;
}

void TComThread::Dispatch(TComEvents events, int rxCount) {
    auto session = session_;
    TCustomComPort* port = &port_;
    auto task = [session, port, events, rxCount] {
        std::uint64_t takenBefore = 0;
        {
            std::lock_guard lock(session->mutex);
            if (session->closing)
                return;
            takenBefore = session->taken;
        }
        port->Deliver(session, events, rxCount);
        std::lock_guard lock(session->mutex);
        // A handler may have left a complete line behind (or read one in
        // itself): deliver the line event again rather than let it sit. Only
        // after it took something: a handler that fails before reading would
        // be called again at once, for ever, and a lost device never reported.
        if (!session->closing && session->taken != takenBefore && session->QueueHoldsEventChar())
            session->pending |= evRxFlag;
        session->delivering = false;
        session->changed.notify_all();
    };
    if (session_->synchronize)
        port_.context_.Post(std::move(task));
    else
        task();
}

void TComThread::DispatchLost() {
    auto session = session_;
    TCustomComPort* port = &port_;
    auto task = [session, port] {
        {
            std::lock_guard lock(session->mutex);
            if (session->closing)
                return;
        }
        port->ReportLost(session);
    };
    if (session_->synchronize)
        port_.context_.Post(std::move(task));
    else
        task();
}

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

        int fd = os_.Open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw OpenError(errno, path_);
        fd_ = fd;
        session->fd = fd; // the reader thread starts using it only below
        if (os_.Lock(fd_) != 0) {
            int code = errno == EWOULDBLOCK ? EBUSY : errno;
            throw SystemError(code, "open " + path_);
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

void TCustomComPort::ApplySessionSettings() {
    if (!session_)
        return;
    std::lock_guard lock(session_->mutex);
    session_->capacity = static_cast<std::size_t>(std::max(1, bufferSizes_.Input));
    session_->eventChar = characters_.Event;
    session_->discardNulls = (options_ & OptionBit(opDiscardNullBytes)) != 0;
    session_->mask = HandledEvents();
    session_->Wake(); // a larger queue may let the reader go on
}

TComEvents TCustomComPort::HandledEvents() const {
    TComEvents mask = 0;
    if (OnBreak)
        mask |= evBreak;
    if (OnCTSChange)
        mask |= evCTS;
    if (OnDSRChange)
        mask |= evDSR;
    if (OnLineError)
        mask |= evError;
    if (OnRing)
        mask |= evRing;
    if (OnRLSDChange)
        mask |= evRLSD;
    if (OnRx80Full)
        mask |= evRx80Full;
    if (OnRxChar)
        mask |= evRxChar;
    if (OnRxFlag)
        mask |= evRxFlag;
    if (OnTxEmpty)
        mask |= evTxEmpty;
    return mask;
}

void TCustomComPort::ApplyLineSettings(bool opening) {
    termios t{};
    if (os_.GetAttr(fd_, &t) != 0)
        throw SystemError(errno, "tcgetattr " + path_);
    if (opening) {
        // Raw mode is the starting point: no echo, no line editing, no
        // character translation and no XON/XOFF unless asked for.
        ::cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
    }
    t.c_cflag |= CLOCAL | CREAD;
    if (baudRate_ != brDefault) {
        ::cfsetispeed(&t, SpeedOf(baudRate_));
        ::cfsetospeed(&t, SpeedOf(baudRate_));
    }
    if (dataBits_ != dbDefault) {
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
        static constexpr tcflag_t sizes[] = {CS8, CS5, CS6, CS7, CS8};
        t.c_cflag |= sizes[dataBits_];
    }
    if (parity_ != paDefault) {
        t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
        switch (parity_) {
        case paOdd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case paEven:
            t.c_cflag |= PARENB;
            break;
        case paMark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case paSpace:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
        }
    }
    if (stopBits_ == sb1)
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    else if (stopBits_ != sbDefault)
        t.c_cflag |= CSTOPB; // 1.5 stop bits exist only as CSTOPB with 5 data bits
    bool hardwareFlow = flowControl_.RTS == rcHandshake || (options_ & OptionBit(opOutputCTSFlow));
    if (hardwareFlow)
        t.c_cflag |= CRTSCTS;
    else if (flowControl_.RTS != rcDefault)
        t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (flowControl_.XOnXOff != xcDefault) {
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        if (flowControl_.XOnXOff == xcInput || flowControl_.XOnXOff == xcInOut)
            t.c_iflag |= IXOFF;
        if (flowControl_.XOnXOff == xcOutput || flowControl_.XOnXOff == xcInOut)
            t.c_iflag |= IXON;
    }
    t.c_cc[VSTART] = static_cast<cc_t>(characters_.XOn);
    t.c_cc[VSTOP] = static_cast<cc_t>(characters_.XOff);
    if (options_ & OptionBit(opCheckParity)) {
        t.c_iflag |= INPCK;
        t.c_iflag &= ~static_cast<tcflag_t>(IGNPAR);
    } else {
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    }
    if (os_.SetAttr(fd_, &t) != 0)
        throw SystemError(errno, "tcsetattr " + path_);
}

void TCustomComPort::ApplyModemControl() {
    auto change = [this](unsigned long request, int bits, const char* name) {
        if (os_.Ioctl(fd_, request, &bits) != 0 && !NoModemLines(errno))
            throw SystemError(errno, std::string(name) + " " + path_);
    };
    switch (flowControl_.DTR) {
    case dcDisable:
        change(TIOCMBIC, TIOCM_DTR, "TIOCMBIC");
        break;
    case dcEnable:
    case dcHandshake: // no DTR/DSR flow control here: keep DTR raised
        change(TIOCMBIS, TIOCM_DTR, "TIOCMBIS");
        break;
    case dcDefault:
        break;
    }
    switch (flowControl_.RTS) {
    case rcDisable:
    case rcToggle: // idle level of a toggled RTS
        change(TIOCMBIC, TIOCM_RTS, "TIOCMBIC");
        break;
    case rcEnable:
        change(TIOCMBIS, TIOCM_RTS, "TIOCMBIS");
        break;
    case rcHandshake: // the driver drives RTS (CRTSCTS)
    case rcDefault:
        break;
    }
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

// ---------------------------------------------------------------------------
// Settings

void TCustomComPort::SetDeviceName(const std::string& name) {
    RequireClosedFor(name != deviceName_);
    deviceName_ = name;
}

void TCustomComPort::SetPriorityClass(TPriorityClass value) {
    RequireClosedFor(value != priorityClass_);
    priorityClass_ = value;
}

void TCustomComPort::SetSynchronizeEvents(bool value) {
    RequireClosedFor(value != synchronizeEvents_);
    synchronizeEvents_ = value;
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
    KeepIfApplied(baudRate_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetDataBits(TDataBits value) {
    KeepIfApplied(dataBits_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetParity(TParity value) {
    KeepIfApplied(parity_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetStopBits(TStopBits value) {
    KeepIfApplied(stopBits_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
    KeepIfApplied(flowControl_, value, Active(), [this] {
        ApplyLineSettings(false);
        ApplyModemControl();
    });
}

void TCustomComPort::SetCharacters(const TComCharacters& value) {
    KeepIfApplied(characters_, value, Active(), [this] {
        ApplyLineSettings(false);
        ApplySessionSettings();
    });
}

void TCustomComPort::SetBufferSizes(const TComBufferSizes& value) {
    bufferSizes_ = value;
    if (Active())
        ApplySessionSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
    timeouts_ = value;
}

void TCustomComPort::SetOptions(TComOptions value) {
    KeepIfApplied(options_, value, Active(), [this] {
        ApplyLineSettings(false);
        ApplySessionSettings();
    });
}

void ConfigureSpectrometerPort(TCustomComPort& port) {
    port.SetDeviceName("COM1");
    port.SetBaudRate(br19200);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb2);
    port.SetFlowControl({dcDisable, rcDisable, xcDefault});
    port.SetCharacters({'\r', 17, 19, 0, 0});
    port.SetBufferSizes({10000, 10000});
    port.SetTimeouts({});
    port.SetOptions(0);
    port.SetPriorityClass(pcRealTime);
    port.SetSynchronizeEvents(true);
}

} // namespace tavi
