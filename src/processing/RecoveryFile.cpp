// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/RecoveryFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include "common/SafeFile.h"

namespace tavi {

namespace {

constexpr const char* kPrefix = "tavi-recovery-";
constexpr const char* kSuffix = ".dcw";
constexpr const char* kTempInfix = ".dcw.tmp";

// Header offset 256: six reserved bytes. "RC", passes set (16 bit), loop flag.
constexpr std::size_t kMarkAt = 256;
// The points of a pass (16 bit) go into the padding after the sweep flag.
constexpr std::size_t kPointsAt = 305;

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// Unique among the temporaries of this program's files.
std::string TemporaryOf(const std::string& path) {
    return path + ".tmp" + std::to_string(::getpid());
}

// Writes format byte, header and sums to a new temporary beside path, locks
// it when asked and renames it over path. Returns the open temporary's
// descriptor (now path), or -1 with the cause.
int ReplaceLocked(const std::string& path, const DataFileHeader& header,
                  std::span<const std::uint8_t> sums, bool lock, std::string* error) {
    const std::string tmp = TemporaryOf(path);
    ::unlink(tmp.c_str()); // one this program left when a write failed
    const int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = "Cannot create file " + tmp + ": " + std::strerror(errno);
        return -1;
    }
    const std::uint8_t format = kDataFormat;
    std::string why;
    bool ok = (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0 || (why = std::strerror(errno), false)) &&
              WriteAll(fd, std::span(&format, 1), &why) && WriteAll(fd, header.Bytes, &why) &&
              WriteAll(fd, sums, &why);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        ::close(fd);
        *error = "Cannot write file " + path + ": " + why;
        return -1;
    }
    return fd;
}

// Format byte and header of a data file and the records after them; false
// when it is not one.
bool ReadHeader(int fd, DataFileHeader& header, int* records, std::string* error) {
    std::uint8_t bytes[1 + kDataHeaderSize];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::pread(fd, bytes + got, sizeof bytes - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got < sizeof bytes || bytes[0] != kDataFormat) {
        *error = "not a complete data file";
        return false;
    }
    std::memcpy(header.Bytes.data(), bytes + 1, kDataHeaderSize);
    struct stat st {};
    *records = ::fstat(fd, &st) == 0
                   ? static_cast<int>(std::min<off_t>((st.st_size - static_cast<off_t>(sizeof bytes)) / 4,
                                                      1 << 20))
                   : -1;
    return true;
}

// Renames without ever replacing an existing file; EEXIST when to is taken.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without that flag: a hard link fails on a taken name too.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Nor hard links (FAT): check, then rename; only another program could race.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// A run name safe inside a file name; see RecoveryFileName.
std::string SafeRunName(const std::string& entered) {
    std::string name = entered.substr(entered.find_last_of('/') + 1);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, kSuffix) == 0)
        name.resize(name.size() - 4);
    if (name.size() > 64)
        name.resize(64);
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) && u < 0x80) && c != '-' && c != '_')
            c = '_';
    }
    return name;
}

} // namespace

std::string RecoveryFileName(long pid, const std::string& runName, int k) {
    const std::string run = SafeRunName(runName);
    return kPrefix + std::to_string(pid) + (run.empty() ? "" : "-" + run) +
           (k > 1 ? "-" + std::to_string(k) : std::string()) + kSuffix;
}


std::string RecoveryFilePath(const std::string& dir, long pid, const std::string& runName) {
    return Join(dir, RecoveryFileName(pid, runName));
}

void MarkRecoveryHeader(DataFileHeader& header, int passesSet, bool loop, int points) {
    auto& b = header.Bytes;
    const auto m = static_cast<std::uint16_t>(std::clamp(passesSet, 0, 0xFFFF));
    b[kMarkAt] = 'R';
    b[kMarkAt + 1] = 'C';
    b[kMarkAt + 2] = static_cast<std::uint8_t>(m);
    b[kMarkAt + 3] = static_cast<std::uint8_t>(m >> 8);
    b[kMarkAt + 4] = loop ? 1 : 0;
    b[kMarkAt + 5] = 0;
    const auto p = static_cast<std::uint16_t>(std::clamp(points, 0, 0xFFFF));
    b[kPointsAt] = static_cast<std::uint8_t>(p);
    b[kPointsAt + 1] = static_cast<std::uint8_t>(p >> 8);
}

RecoveryMark ReadRecoveryMark(const DataFileHeader& header) {
    const auto& b = header.Bytes;
    RecoveryMark mark;
    if (b[kMarkAt] != 'R' || b[kMarkAt + 1] != 'C')
        return mark;
    mark.Present = true;
    mark.PassesSet = b[kMarkAt + 2] | b[kMarkAt + 3] << 8;
    mark.Loop = b[kMarkAt + 4] != 0;
    mark.Points = b[kPointsAt] | b[kPointsAt + 1] << 8;
    return mark;
}

bool WriteRecoveryFile(const std::string& path, DataFileHeader header,
                       std::span<const std::uint8_t> sums, int passesSet, bool loop,
                       std::string* error) {
    MarkRecoveryHeader(header, passesSet, loop, static_cast<int>(sums.size() / 4));
    std::string why;
    const int fd = ReplaceLocked(path, header, sums, false, &why);
    if (fd < 0) {
        if (error)
            *error = why;
        return false;
    }
    ::close(fd);
    return true;
}

RecoveryWriter::~RecoveryWriter() {
    Release();
}

bool RecoveryWriter::Write(const std::string& dir, const std::string& runName, DataFileHeader header,
                           std::span<const std::uint8_t> sums, int passesSet, bool loop,
                           std::string* error) {
    MarkRecoveryHeader(header, passesSet, loop, static_cast<int>(sums.size() / 4));
    if (fd_ < 0 || dir != dir_ || runName != runName_) {
        Release();
        // Claim a name no file has: another program's file, or a leftover
        // nobody reported yet, is never written over.
        for (int k = 1; k < 1000 && fd_ < 0; ++k) {
            const std::string candidate = Join(dir, RecoveryFileName(::getpid(), runName, k));
            fd_ = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                ::flock(fd_, LOCK_EX | LOCK_NB);
                path_ = candidate;
            } else if (errno != EEXIST) {
                if (error)
                    *error = "Cannot create file " + candidate + ": " + std::strerror(errno);
                return false;
            }
        }
        if (fd_ < 0) {
            if (error)
                *error = "no free name for a recovery file in " + dir;
            return false;
        }
        dir_ = dir;
        runName_ = runName;
    }
    std::string why;
    const int fd = ReplaceLocked(path_, header, sums, true, &why);
    if (fd < 0) {
        if (error)
            *error = why;
        return false;
    }
    ::close(fd_); // the old file, replaced by the locked new one
    fd_ = fd;
    return true;
}

bool RecoveryWriter::Remove(std::string* error) {
    const std::string path = path_;
    // Removed while still locked, so no starting program takes it meanwhile.
    const bool ok = RemoveRecoveryFile(path, error);
    Release();
    return ok;
}

void RecoveryWriter::Release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    path_.clear();
    dir_.clear();
    runName_.clear();
}

bool RemoveRecoveryFile(const std::string& path, std::string* error) {
    if (path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT)
        return true;
    if (error)
        *error = "Cannot remove file " + path + ": " + std::strerror(errno);
    return false;
}

std::string RecoveredFileName(std::time_t when, const std::string& runName) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S.dcw", &local);
    const std::string run = SafeRunName(runName);
    return "recovered-" + (run.empty() ? std::string() : run + "-") + text;
}

std::vector<RecoveredFile> CollectRecoveryFiles(const std::string& dir) {
    namespace fs = std::filesystem;
    std::vector<RecoveredFile> found;
    std::error_code ec;
    const fs::path where = dir.empty() ? fs::path(".") : fs::path(dir);
    std::vector<std::string> names;
    for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());

    for (const std::string& name : names) {
        if (!StartsWith(name, kPrefix))
            continue;
        const bool temporary = name.find(kTempInfix) != std::string::npos;
        if (!temporary && !EndsWith(name, kSuffix))
            continue;
        const std::string path = Join(dir, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // The lock, not the id in the name, tells a running program's file:
        // ids repeat (in a container the program has the same one each time).
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        if (temporary || st.st_size == 0) {
            // A write cut off before its rename, or a name claimed by a run
            // that ended before its first pass: never a complete file.
            ::unlink(path.c_str());
            ::close(fd);
            continue;
        }
        // "tavi-recovery-<pid>-<run>.dcw" carries the run's name on.
        std::string runName;
        if (!temporary) {
            std::size_t at = std::strlen(kPrefix);
            while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at])))
                ++at;
            const std::size_t end = name.size() - std::strlen(kSuffix);
            if (at < end && name[at] == '-')
                runName = name.substr(at + 1, end - at - 1);
        }
        RecoveredFile f;
        f.From = path;
        DataFileHeader header;
        std::string why;
        int records = -1;
        if (ReadHeader(fd, header, &records, &why)) {
            const DataFileSettings s = header.Decode();
            int n = 0;
            auto [end, perr] =
                std::from_chars(s.AccText.data(), s.AccText.data() + s.AccText.size(), n);
            const bool number = perr == std::errc() && end == s.AccText.data() + s.AccText.size();
            f.PassesDone = number ? n : -1;
            if (!number)
                f.Error = "its pass count '" + s.AccText + "' is not a number";
            f.Mark = ReadRecoveryMark(header);
            f.PointsFound = records;
        } else {
            f.Error = why;
        }
        const std::time_t when = st.st_mtime;
        const std::string base = RecoveredFileName(when, runName);
        for (int k = 1; k < 1000; ++k) {
            std::string candidate = base;
            if (k > 1)
                candidate.insert(candidate.size() - 4, "-" + std::to_string(k));
            const std::string to = Join(dir, candidate);
            const int err = RenameNoReplace(path, to);
            if (err == 0) {
                f.To = to;
                break;
            }
            if (err != EEXIST) {
                f.Error = std::strerror(err);
                break;
            }
        }
        ::close(fd);
        if (f.To.empty() && f.Error.empty())
            f.Error = "no free name";
        found.push_back(std::move(f));
    }
    return found;
}

std::string RecoveryReport(const std::vector<RecoveredFile>& files) {
    if (files.empty())
        return {};
    // Not only a crash leaves one: closing over a run that was never saved does too.
    std::string text = files.size() == 1
                           ? "The program found the passes of an experiment that was never "
                             "saved.\n"
                           : "The program found the passes of experiments that were never saved.\n";
    for (const RecoveredFile& f : files) {
        text += '\n';
        std::string passes;
        if (f.Mark.Present && f.Mark.Loop)
            passes = "the last pass of a Loop experiment";
        else if (f.Mark.Present)
            passes = std::to_string(f.PassesDone) + " of " + std::to_string(f.Mark.PassesSet) +
                     (f.Mark.PassesSet == 1 ? " pass" : " passes");
        else
            passes = std::to_string(f.PassesDone) + (f.PassesDone == 1 ? " pass" : " passes");
        // Cut short: fewer records than the pass has points (or than two).
        const bool damaged =
            f.PassesDone >= 0 && f.PointsFound >= 0 &&
            (f.Mark.Points > 0 ? f.PointsFound != f.Mark.Points : f.PointsFound < 2);
        std::string what;
        if (f.PassesDone < 0)
            what = "It holds an unreadable recovery file (" + f.Error + ")";
        else if (damaged && f.Mark.Points > 0)
            what = "It is damaged: of " + passes + " it still holds " +
                   std::to_string(f.PointsFound) + " of " + std::to_string(f.Mark.Points) +
                   " points,";
        else if (damaged)
            what = "It is damaged: of " + passes + " it holds no complete spectrum,";
        else
            what = "It holds " + passes;
        if (!f.To.empty())
            text += what + " and is kept as " + f.To + ".";
        else
            text += what + " and could not be renamed (" + f.Error + "); it is " + f.From + ".";
    }
    text += "\n\nOpen it in the processing window like any data file.";
    return text;
}

} // namespace tavi
