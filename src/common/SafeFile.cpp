// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SafeFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Closes on destruction; Close() reports a failed close.
struct FileHandle {
    int fd = -1;
    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }
    bool Close() {
        if (fd < 0)
            return true;
        const bool ok = ::close(fd) == 0;
        fd = -1;
        return ok;
    }
};

// Creates a new temporary file beside target. Its name is the target's name
// plus a suffix, or a short name of its own where that would pass the
// folder's limit on name length. -1 with errno on failure.
int CreateTemporary(const std::string& target, std::string* tmp) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    long nameMax = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0)
        nameMax = NAME_MAX;
    int fd = -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string suffix =
            ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        const bool fits = name.size() + suffix.size() <= static_cast<std::size_t>(nameMax);
        *tmp = dir + (fits ? name : std::string("tavi")) + suffix;
        fd = ::open(tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            break;
    }
    return fd;
}

// The whole content of an open file, or false when it cannot be read back.
bool ReadWhole(int fd, std::vector<std::uint8_t>& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0)
        return false;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool Rewrite(int fd, std::initializer_list<std::span<const std::uint8_t>> parts,
             std::string* why) {
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (!WriteParts(fd, parts, why))
        return false;
    if (::fsync(fd) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    return true;
}

// Create-or-truncate on a file already open for writing: the way left when
// no replacement can be put beside it. The old content is read first, so a
// rewrite that stops part way (a full disk, a size limit) can put it back.
bool RewriteOpenFile(FileHandle& file, std::initializer_list<std::span<const std::uint8_t>> parts,
                     bool readable, WriteFailure* failure, std::string* cause) {
    std::vector<std::uint8_t> saved;
    const bool backedUp = readable && ReadWhole(file.fd, saved);
    std::string why;
    bool ok = Rewrite(file.fd, parts, &why);
    WriteFailure kind = WriteFailure::Write;
    if (!ok) {
        std::string restoreWhy;
        if (!backedUp || !Rewrite(file.fd, {std::span<const std::uint8_t>(saved)}, &restoreWhy)) {
            kind = WriteFailure::Damaged;
            struct stat st {};
            const long long left = ::fstat(file.fd, &st) == 0 ? st.st_size : -1;
            why = "the rewrite stopped part way (" + why + ") and its earlier content " +
                  (backedUp ? "could not be put back (" + restoreWhy + ")"
                            : std::string("could not be read to keep it")) +
                  "; it now holds " + (left >= 0 ? std::to_string(left) : std::string("an unknown number of")) +
                  " bytes, not a complete file";
        }
    }
    if (!file.Close() && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok) {
        if (failure)
            *failure = kind;
        if (cause)
            *cause = why;
    }
    return ok;
}

const char* NodeKind(mode_t mode) {
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a regular file";
    if (S_ISFIFO(mode))
        return "it is a pipe, not a regular file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a regular file";
    return "it is not a regular file";
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

std::string NotARegularFileReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return NodeKind(st.st_mode);
}

bool WriteFileSafely(const std::string& path,
                     std::initializer_list<std::span<const std::uint8_t>> parts,
                     WriteFailure* failure, std::string* cause, WriteMode mode) {
    if (failure)
        *failure = WriteFailure::None;
    auto refuse = [&](mode_t kind) {
        if (failure)
            *failure = WriteFailure::NotRegular;
        if (cause)
            *cause = NodeKind(kind);
        return false;
    };
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
    // Renaming over a device or a pipe would replace the node itself, and
    // writing into one is no saved file either.
    if (exists && S_ISDIR(st.st_mode))
        return Fail(WriteFailure::Create, EISDIR, failure, cause);
    if (exists && !S_ISREG(st.st_mode))
        return refuse(st.st_mode);

    // The rename below needs only the folder's permission; opening the file
    // for writing first keeps a file the user may not write as it is, failing
    // as truncating it would. The handle also serves the in-place fallback,
    // read-write where allowed so that the old content can be kept aside.
    FileHandle old;
    bool readable = false;
    if (exists) {
        old.fd = ::open(target.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        readable = old.fd >= 0;
        if (old.fd < 0)
            old.fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (old.fd < 0)
            return Fail(WriteFailure::Create, errno, failure, cause);
        if (::fstat(old.fd, &st) != 0 || !S_ISREG(st.st_mode))
            return refuse(st.st_mode); // replaced meanwhile
    }
    const bool inPlaceAllowed = mode == WriteMode::AllowInPlace;

    std::string tmp;
    FileHandle fresh;
    fresh.fd = CreateTemporary(target, &tmp);
    if (fresh.fd < 0) {
        const int err = errno;
        // A folder that refuses new names still lets the file itself be
        // rewritten, as creating or truncating it would.
        if (inPlaceAllowed && (err == EACCES || err == EPERM || err == ENAMETOOLONG)) {
            if (exists)
                return RewriteOpenFile(old, parts, readable, failure, cause);
            return WriteInPlace(target, parts, failure, cause);
        }
        return Fail(WriteFailure::Create, err, failure, cause);
    }
    if (exists) {
        // Best effort: the replacement keeps the old file's owner and
        // permissions (owner first: a change of owner clears set-id bits).
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            [[maybe_unused]] const int chowned = ::fchown(fresh.fd, st.st_uid, st.st_gid);
        }
        (void)::fchmod(fresh.fd, st.st_mode & 07777);
    }
    std::string why;
    bool ok = WriteParts(fresh.fd, parts, &why);
    if (ok && ::fsync(fresh.fd) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!fresh.Close() && ok) {
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
        const int err = errno;
        ::unlink(tmp.c_str());
        // A sticky folder (another user's file) or a mount point refuses the
        // rename although the file itself is writable.
        if (inPlaceAllowed && exists && (err == EACCES || err == EPERM || err == EBUSY))
            return RewriteOpenFile(old, parts, readable, failure, cause);
        return Fail(WriteFailure::Create, err, failure, cause);
    }
    return true;
}

std::string WriteFailureText(const std::string& path, WriteFailure failure,
                             const std::string& cause) {
    switch (failure) {
    case WriteFailure::Damaged:
        return "File " + path + " is damaged: " + cause;
    case WriteFailure::Write:
    case WriteFailure::NotRegular:
        return "Cannot write file " + path + ": " + cause;
    default:
        return "Cannot create file " + path + ": " + cause;
    }
}

FileResult WriteFailureResult(const std::string& path, WriteFailure failure,
                              const std::string& cause) {
    const FileFailure kind = failure == WriteFailure::NotRegular ? FileFailure::NotRegular
                             : failure == WriteFailure::Damaged  ? FileFailure::Damaged
                                                                 : FileFailure::Io;
    return FileResult::Failure(kind, WriteFailureText(path, failure, cause));
}

} // namespace tavi
