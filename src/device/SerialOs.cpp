// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/SerialOs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
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

// The lowest nice value this process may take without privilege
// (RLIMIT_NICE allows down to 20 - limit); nullopt when there is no limit.
std::optional<int> UnprivilegedFloor() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::nullopt;
    return 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
}

// Moves one thread (0: the calling one) to `nice`. Raising the priority is
// best effort: where the wanted value is refused, the thread gets the best one
// permitted, but never a priority lower than it has.
void SetThreadNice(id_t tid, int nice, const std::optional<int>& floor) {
    errno = 0;
    int current = ::getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0)
        return; // the thread has ended
    if (nice == current || ::setpriority(PRIO_PROCESS, tid, nice) == 0)
        return;
    if (nice < current && floor) {
        int best = std::max(nice, *floor);
        if (best < current)
            ::setpriority(PRIO_PROCESS, tid, best);
    }
}

// Linux keeps the nice value per thread; setting it for the process means
// setting it for each of its threads.
void SetNiceOfEveryThread(int nice) {
    const std::optional<int> floor = UnprivilegedFloor();
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) {
        SetThreadNice(0, nice, floor);
        return;
    }
    while (dirent* entry = ::readdir(tasks)) {
        char* end = nullptr;
        long tid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        SetThreadNice(static_cast<id_t>(tid), nice, floor);
    }
    ::closedir(tasks);
}

} // namespace

void PosixSerialOs::SetProcessNice(int nice) {
    SetNiceOfEveryThread(nice);
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
