// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the holder of a port's lock in /proc/locks.
#include "device/PortLock.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tavi {

std::optional<pid_t> PortLockHolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF"; waiters carry "->".
        std::istringstream in(line);
        std::string id, kind, mode, access, file;
        long pid = 0;
        if (!(in >> id >> kind) || kind != "FLOCK" || !(in >> mode >> access >> pid >> file))
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        if (major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && inode == st.st_ino &&
            pid > 0)
            return static_cast<pid_t>(pid);
    }
    return std::nullopt;
}

std::string PortInUseMessage(const std::string& name, std::optional<pid_t> holder) {
    if (holder)
        return "Port " + name + " is in use by process " + std::to_string(*holder);
    return "Port " + name + " is in use by another process";
}

} // namespace tavi
