// SPDX-License-Identifier: GPL-3.0-or-later
// The reader thread: waits for received bytes, modem-line changes and the
// wake-up of a closing port, and has the UI thread run the event handlers.
#include "device/ComSession.h"

#include <cerrno>
#include <poll.h>

namespace tavi {

using namespace com;

// Milliseconds left until a deadline, for poll(); -1 waits for ever.
int com::PollTimeout(const std::optional<Clock::time_point>& deadline) {
    if (!deadline)
        return -1;
    auto left = std::chrono::ceil<milliseconds>(*deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

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
    std::optional<Clock::time_point> stallDeadline;
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
                stallDeadline.reset();
            } else if (!stallDeadline || s.taken != takenAtStall) {
                stallDeadline = Clock::now() + kStallGrace;
                takenAtStall = s.taken;
            } else if (Clock::now() >= *stallDeadline) {
                stallDeadline.reset();
                s.pending |= evRxFlag;
                continue;
            }
        }
        pollfd fds[2] = {{s.wakeFd, POLLIN, 0}, {s.fd, POLLIN, 0}};
        int timeout = -1;
        if (watchModem)
            timeout = PollTimeout(nextModemCheck);
        if (stallDeadline)
            timeout = timeout < 0 ? PollTimeout(stallDeadline)
                                  : std::min(timeout, PollTimeout(stallDeadline));
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

} // namespace tavi
