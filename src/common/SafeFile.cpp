// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SafeFile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavi {

namespace {

bool Fail(WriteFailure kind, int err, WriteFailure* failure, std::string* cause) {
    if (failure)
        *failure = kind;
    if (cause)
        *cause = std::strerror(err);
    return false;
}

bool WriteParts(int fd, std::initializer_list<std::span<const std::uint8_t>> parts,
                std::string* cause) {
    for (auto part : parts)
        if (!WriteAll(fd, part, cause))
            return false;
    return true;
}

bool WriteInPlace(const std::string& path,
                  std::initializer_list<std::span<const std::uint8_t>> parts, WriteFailure* failure,
                  std::string* cause) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return Fail(WriteFailure::Create, errno, failure, cause);
    std::string why;
    bool ok = WriteParts(fd, parts, &why);
    int closeErr = ::close(fd) != 0 ? errno : 0;
    if (ok && closeErr != 0) {
        ok = false;
        why = std::strerror(closeErr);
    }
    if (!ok) {
        if (failure)
            *failure = WriteFailure::Write;
        if (cause)
            *cause = why;
    }
    return ok;
}

} // namespace

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, std::string* cause) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (cause)
                *cause = std::strerror(errno);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

bool WriteFileSafely(const std::string& path,
                     std::initializer_list<std::span<const std::uint8_t>> parts,
                     WriteFailure* failure, std::string* cause) {
    if (failure)
        *failure = WriteFailure::None;
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) // a dangling link: let the system create its target
            return WriteInPlace(path, parts, failure, cause);
        target = real;
        std::free(real);
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return WriteInPlace(target, parts, failure, cause);

    static std::atomic<unsigned> counter{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = target + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return Fail(WriteFailure::Create, errno, failure, cause);
    if (exists)
        (void)::fchmod(fd, st.st_mode & 07777); // best effort: keep the old permissions
    std::string why;
    bool ok = WriteParts(fd, parts, &why);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        if (failure)
            *failure = WriteFailure::Write;
        if (cause)
            *cause = why;
        return false;
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return Fail(WriteFailure::Create, err, failure, cause);
    }
    return true;
}

std::string WriteFailureText(const std::string& path, WriteFailure failure,
                             const std::string& cause) {
    return (failure == WriteFailure::Write ? "Cannot write file " : "Cannot create file ") + path +
           ": " + cause;
}

} // namespace tavi
