// SPDX-License-Identifier: GPL-3.0-or-later
// The operating-system calls the serial port layer makes, behind one narrow
// interface so that tests can stand in for the device (modem lines, failures).
#pragma once

#include <cstddef>
#include <poll.h>
#include <sys/types.h>
#include <termios.h>

namespace tavi {

// Every call follows the POSIX convention: -1 (or a negative count) with errno
// set on failure.
class ISerialOs {
public:
    virtual ~ISerialOs() = default;
    virtual int Open(const char* path, int flags) = 0;
    virtual int Close(int fd) = 0;
    // flock(LOCK_EX | LOCK_NB): keeps a second opener out even for root,
    // which TIOCEXCL does not.
    virtual int Lock(int fd) = 0;
    virtual int GetAttr(int fd, termios* attr) = 0;
    virtual int SetAttr(int fd, const termios* attr) = 0;
    // TIOCMGET, TIOCMBIS, TIOCMBIC, FIONREAD, TIOCEXCL, TIOCNXCL.
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual ssize_t Read(int fd, void* buffer, std::size_t count) = 0;
    virtual ssize_t Write(int fd, const void* buffer, std::size_t count) = 0;
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
    // TCIFLUSH or TCOFLUSH.
    virtual int Flush(int fd, int queue) = 0;

    // Scheduling is best effort: a process without the privilege simply keeps
    // its priority, so these report nothing.
    virtual int ProcessNice() = 0;
    // Applies to every thread of the process. Where raising the priority that
    // far is refused, a thread gets the best value permitted, and keeps its
    // own when none is better.
    virtual void SetProcessNice(int nice) = 0;
    virtual void MakeThreadTimeCritical() = 0;
};

// The real calls.
class PosixSerialOs : public ISerialOs {
public:
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Lock(int fd) override;
    int GetAttr(int fd, termios* attr) override;
    int SetAttr(int fd, const termios* attr) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    ssize_t Read(int fd, void* buffer, std::size_t count) override;
    ssize_t Write(int fd, const void* buffer, std::size_t count) override;
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
    int Flush(int fd, int queue) override;
    int ProcessNice() override;
    void SetProcessNice(int nice) override;
    void MakeThreadTimeCritical() override;
};

// The process-wide real implementation.
ISerialOs& RealSerialOs();

} // namespace tavi
