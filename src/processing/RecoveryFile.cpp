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
#include <unistd.h>

namespace tavi {

namespace {

constexpr const char* kPrefix = "tavi-recovery-";
constexpr const char* kSuffix = ".dcw";
constexpr const char* kTempInfix = ".dcw.tmp";

// Header offset 256: six reserved bytes. "RC", passes set (16 bit), loop flag.
constexpr std::size_t kMarkAt = 256;

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

// The owner's id when name is "tavi-recovery-<pid><rest>", else -1.
long OwnerOf(const std::string& name, std::string* rest) {
    const std::size_t prefix = std::strlen(kPrefix);
    if (name.compare(0, prefix, kPrefix) != 0)
        return -1;
    long pid = -1;
    const char* first = name.data() + prefix;
    const char* last = name.data() + name.size();
    auto [end, ec] = std::from_chars(first, last, pid);
    if (ec != std::errc() || end == first || pid <= 0)
        return -1;
    *rest = std::string(end, last);
    return pid;
}

// Format byte, header and AccText of a data file; false when it is not one.
bool ReadHeader(const std::string& path, DataFileHeader& header, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    std::uint8_t bytes[1 + kDataHeaderSize];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got < sizeof bytes || bytes[0] != kDataFormat) {
        *error = "not a complete data file";
        return false;
    }
    std::memcpy(header.Bytes.data(), bytes + 1, kDataHeaderSize);
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

std::string RecoveryFileName(long pid, const std::string& runName) {
    const std::string run = SafeRunName(runName);
    return kPrefix + std::to_string(pid) + (run.empty() ? "" : "-" + run) + kSuffix;
}

std::string RecoveryFilePath(const std::string& dir, long pid, const std::string& runName) {
    return Join(dir, RecoveryFileName(pid, runName));
}

void MarkRecoveryHeader(DataFileHeader& header, int passesSet, bool loop) {
    auto& b = header.Bytes;
    const auto m = static_cast<std::uint16_t>(std::clamp(passesSet, 0, 0xFFFF));
    b[kMarkAt] = 'R';
    b[kMarkAt + 1] = 'C';
    b[kMarkAt + 2] = static_cast<std::uint8_t>(m);
    b[kMarkAt + 3] = static_cast<std::uint8_t>(m >> 8);
    b[kMarkAt + 4] = loop ? 1 : 0;
    b[kMarkAt + 5] = 0;
}

RecoveryMark ReadRecoveryMark(const DataFileHeader& header) {
    const auto& b = header.Bytes;
    RecoveryMark mark;
    if (b[kMarkAt] != 'R' || b[kMarkAt + 1] != 'C')
        return mark;
    mark.Present = true;
    mark.PassesSet = b[kMarkAt + 2] | b[kMarkAt + 3] << 8;
    mark.Loop = b[kMarkAt + 4] != 0;
    return mark;
}

bool WriteRecoveryFile(const std::string& path, DataFileHeader header,
                       std::span<const std::uint8_t> sums, int passesSet, bool loop,
                       std::string* error) {
    MarkRecoveryHeader(header, passesSet, loop);
    return WriteDataFile(path, header, sums, error);
}

bool RemoveRecoveryFile(const std::string& path, std::string* error) {
    if (path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT)
        return true;
    if (error)
        *error = "Cannot remove file " + path + ": " + std::strerror(errno);
    return false;
}

bool ProcessAlive(long pid) {
    if (pid <= 0 || pid > 0x7FFFFFFF)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string RecoveredFileName(std::time_t when, const std::string& runName) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S.dcw", &local);
    const std::string run = SafeRunName(runName);
    return "recovered-" + (run.empty() ? std::string() : run + "-") + text;
}

std::vector<RecoveredFile> CollectRecoveryFiles(const std::string& dir,
                                                const std::function<bool(long)>& alive) {
    namespace fs = std::filesystem;
    std::vector<RecoveredFile> found;
    std::error_code ec;
    const fs::path where = dir.empty() ? fs::path(".") : fs::path(dir);
    std::vector<std::string> names;
    for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());

    for (const std::string& name : names) {
        std::string rest;
        const long pid = OwnerOf(name, &rest);
        if (pid < 0 || alive(pid))
            continue;
        const std::string path = Join(dir, name);
        // rest: ".dcw", or "-<run>.dcw" for a run that had a name.
        if (rest.find(kTempInfix) != std::string::npos) {
            // A write cut off before its rename: never a complete file.
            ::unlink(path.c_str());
            continue;
        }
        const std::size_t suffix = std::strlen(kSuffix);
        if (rest.size() < suffix || rest.compare(rest.size() - suffix, suffix, kSuffix) != 0 ||
            (rest.size() > suffix && rest[0] != '-'))
            continue;
        const std::string runName = rest.size() > suffix ? rest.substr(1, rest.size() - suffix - 1)
                                                         : std::string();
        RecoveredFile f;
        f.From = path;
        DataFileHeader header;
        std::string why;
        if (ReadHeader(path, header, &why)) {
            const DataFileSettings s = header.Decode();
            int n = 0;
            auto [end, perr] =
                std::from_chars(s.AccText.data(), s.AccText.data() + s.AccText.size(), n);
            f.PassesDone = perr == std::errc() ? n : -1;
            f.Mark = ReadRecoveryMark(header);
        } else {
            f.Error = why;
        }
        struct stat st {};
        const std::time_t when = ::stat(path.c_str(), &st) == 0 ? st.st_mtime : std::time(nullptr);
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
        if (f.To.empty() && f.Error.empty())
            f.Error = "no free name";
        found.push_back(std::move(f));
    }
    return found;
}

std::string RecoveryReport(const std::vector<RecoveredFile>& files) {
    if (files.empty())
        return {};
    std::string text = files.size() == 1
                           ? "The program found the passes of an experiment that did not end "
                             "normally.\n"
                           : "The program found the passes of experiments that did not end "
                             "normally.\n";
    for (const RecoveredFile& f : files) {
        text += '\n';
        std::string what;
        if (f.PassesDone < 0) {
            what = "an unreadable recovery file (" + f.Error + ")";
        } else if (f.Mark.Present && f.Mark.Loop) {
            what = "the last pass of a Loop experiment";
        } else if (f.Mark.Present) {
            what = std::to_string(f.PassesDone) + " of " + std::to_string(f.Mark.PassesSet) +
                   " passes";
        } else {
            what = std::to_string(f.PassesDone) + " passes";
        }
        if (!f.To.empty())
            text += "It holds " + what + " and is kept as " + f.To + ".";
        else
            text += "It holds " + what + " and could not be renamed (" + f.Error + "); it is " +
                    f.From + ".";
    }
    text += "\n\nOpen it in the processing window like any data file.";
    return text;
}

} // namespace tavi
