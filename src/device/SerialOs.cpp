// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/SerialOs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tavi {

int PosixSerialOs::Open(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int PosixSerialOs::Close(int fd) {
    return ::close(fd);
}

int PosixSerialOs::Lock(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB);
}

int PosixSerialOs::GetAttr(int fd, termios* attr) {
    return ::tcgetattr(fd, attr);
}

int PosixSerialOs::SetAttr(int fd, const termios* attr) {
    return ::tcsetattr(fd, TCSANOW, attr);
}

int PosixSerialOs::Ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}

ssize_t PosixSerialOs::Read(int fd, void* buffer, std::size_t count) {
    return ::read(fd, buffer, count);
}

ssize_t PosixSerialOs::Write(int fd, const void* buffer, std::size_t count) {
    return ::write(fd, buffer, count);
}

int PosixSerialOs::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

int PosixSerialOs::Flush(int fd, int queue) {
    return ::tcflush(fd, queue);
}

int PosixSerialOs::ProcessNice() {
    errno = 0;
    int nice = ::getpriority(PRIO_PROCESS, 0);
    return (nice == -1 && errno != 0) ? 0 : nice;
}

namespace {

// Linux keeps the nice value per thread; setting it for the process means
// setting it for each of its threads.
void SetNiceOfEveryThread(int nice, int fallback) {
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) {
        if (::setpriority(PRIO_PROCESS, 0, nice) != 0)
            ::setpriority(PRIO_PROCESS, 0, fallback);
        return;
    }
    while (dirent* entry = ::readdir(tasks)) {
        char* end = nullptr;
        long tid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0)
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), fallback);
    }
    ::closedir(tasks);
}

} // namespace

void PosixSerialOs::SetProcessNice(int nice) {
    // RLIMIT_NICE allows nice values down to 20 - limit without privilege.
    int fallback = nice;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        fallback = std::max(nice, 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40)));
    SetNiceOfEveryThread(nice, fallback);
}

void PosixSerialOs::MakeThreadTimeCritical() {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
    if (::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0)
        return;
    ::setpriority(PRIO_PROCESS, 0, ::getpriority(PRIO_PROCESS, 0) - 5);
}

ISerialOs& RealSerialOs() {
    static PosixSerialOs os;
    return os;
}

} // namespace tavi
