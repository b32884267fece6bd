// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/USetup.h"

#include "common/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef TAVI_DATA_FROM_BINDIR
#define TAVI_DATA_FROM_BINDIR "../share/tavi"
#endif

namespace tavi {

namespace {

constexpr std::string_view kStandardName = "STANDARD.CFG";

void PutInt(std::uint8_t* at, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int32_t GetInt(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

// An up-down position: stored sign-extended, read back through its low 16 bits.
std::int32_t GetPosition(const std::uint8_t* at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(GetInt(at) & 0xFFFF));
}

std::string_view FileNamePart(std::string_view path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void SetError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

std::string Cause(int err) {
    return std::strerror(err);
}

// A failed save must never leave a truncated file behind.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* error) {
    WriteFailure failure;
    std::string cause;
    std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       bytes.size());
    if (WriteFileSafely(path, {data}, &failure, &cause))
        return true;
    SetError(error, WriteFailureText(path, failure, cause));
    return false;
}

std::string WithSeparator(const std::string& dir) {
    if (!dir.empty() && dir.back() == '/')
        return dir;
    return dir + "/";
}

} // namespace

std::array<std::uint8_t, kSetupRecordSize> TSetupRecord::ToBytes() const {
    std::array<std::uint8_t, kSetupRecordSize> b{};
    std::uint8_t* p = b.data();
    PutInt(p + 0, DCOffset);
    PutInt(p + 4, Gain);
    for (int i = 0; i < 4; ++i)
        PutInt(p + 8 + 4 * i, Phase[static_cast<std::size_t>(i)]);
    PutInt(p + 24, Accumulations);
    p[28] = FieldSweep;
    std::memcpy(p + 29, Padding1.data(), 3);
    for (int i = 0; i < 4; ++i)
        PutInt(p + 32 + 4 * i, FieldSweepRange[static_cast<std::size_t>(i)]);
    PutInt(p + 48, FreqSweepRange);
    PutInt(p + 52, ModAmp);
    PutInt(p + 56, SweepTime);
    for (int i = 0; i < 4; ++i)
        PutInt(p + 60 + 4 * i, B0[static_cast<std::size_t>(i)]);
    PutInt(p + 76, B0Step);
    for (int i = 0; i < 4; ++i)
        PutInt(p + 80 + 4 * i, Frequency[static_cast<std::size_t>(i)]);
    PutInt(p + 96, FrequencyStep);
    p[100] = Mode;
    std::memcpy(p + 101, Padding2.data(), 3);
    return b;
}

TSetupRecord TSetupRecord::FromBytes(std::span<const std::uint8_t, kSetupRecordSize> bytes) {
    const std::uint8_t* p = bytes.data();
    TSetupRecord r;
    r.DCOffset = GetInt(p + 0);
    r.Gain = GetInt(p + 4);
    for (int i = 0; i < 4; ++i)
        r.Phase[static_cast<std::size_t>(i)] = GetInt(p + 8 + 4 * i);
    r.Accumulations = GetPosition(p + 24);
    r.FieldSweep = p[28];
    std::memcpy(r.Padding1.data(), p + 29, 3);
    for (int i = 0; i < 4; ++i)
        r.FieldSweepRange[static_cast<std::size_t>(i)] = GetPosition(p + 32 + 4 * i);
    r.FreqSweepRange = GetPosition(p + 48);
    r.ModAmp = GetPosition(p + 52);
    r.SweepTime = GetPosition(p + 56);
    for (int i = 0; i < 4; ++i)
        r.B0[static_cast<std::size_t>(i)] = GetPosition(p + 60 + 4 * i);
    r.B0Step = GetPosition(p + 76);
    for (int i = 0; i < 4; ++i)
        r.Frequency[static_cast<std::size_t>(i)] = GetPosition(p + 80 + 4 * i);
    r.FrequencyStep = GetPosition(p + 96);
    r.Mode = p[100];
    std::memcpy(r.Padding2.data(), p + 101, 3);
    return r;
}

TSetupRecord DefaultSetup() {
    return TSetupRecord{};
}

bool IsStandardSetup(std::string_view path) {
    std::string_view name = FileNamePart(path);
    if (name.size() != kStandardName.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != kStandardName[i])
            return false;
    }
    return true;
}

void SetCurrentSetup(CurrentSetup& current, const std::string& path) {
    current.SetupPath = path;
    current.SetupName = std::string(FileNamePart(path));
    current.SaveEnabled = !IsStandardSetup(path);
}

bool ParseSetupBytes(std::span<const std::uint8_t> bytes, TSetupRecord& record,
                     std::string* error) {
    if (bytes.size() < kSetupRecordSize) {
        SetError(error, "The setup file holds " + std::to_string(bytes.size()) + " bytes, " +
                            std::to_string(kSetupRecordSize) + " are needed");
        return false;
    }
    record = TSetupRecord::FromBytes(bytes.first<kSetupRecordSize>());
    return true;
}

bool LoadSetupFile(const std::string& path, TSetupRecord& record, std::string* error) {
    // Read-only: a write-protected standard setup must still load.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "Cannot open file " + path + ": " + Cause(errno));
        return false;
    }
    std::array<std::uint8_t, kSetupRecordSize> buf{};
    std::size_t got = 0;
    int err = 0;
    while (got < buf.size()) {
        ssize_t n = ::read(fd, buf.data() + got, buf.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (err != 0) {
        SetError(error, "Cannot read file " + path + ": " + Cause(err));
        return false;
    }
    std::string why;
    if (!ParseSetupBytes(std::span<const std::uint8_t>(buf.data(), got), record, &why)) {
        SetError(error, path + ": " + why);
        return false;
    }
    return true;
}

bool SaveSetupFile(const std::string& path, const TSetupRecord& record, std::string* error) {
    auto bytes = record.ToBytes();
    return WriteWholeFile(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

std::string StandardSetupPath(const std::string& setupDir) {
    return setupDir + "/" + std::string(kStandardName);
}

std::string InstalledDataDir(const std::string& exeDir) {
    return WithSeparator(WithSeparator(exeDir) + TAVI_DATA_FROM_BINDIR);
}

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates dir and its missing parents; the new folders are private to the user.
bool MakeFolders(const std::string& dir) {
    std::string path;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = dir.find('/', at + 1);
        path = dir.substr(0, at);
        if (path.empty())
            continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string SiteConfigDir(const std::string& exeDir) {
    // The prefix is the folder above bin; /usr's configuration lives in /etc.
    std::string prefix = exeDir;
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    const auto slash = prefix.rfind('/');
    prefix = slash == std::string::npos ? std::string() : prefix.substr(0, slash);
    if (prefix == "/usr" || prefix.ends_with("/usr"))
        prefix.resize(prefix.size() - 4);
    return prefix + "/etc/tavi/";
}

std::string FindStandardSetup(const std::string& setupDir, const std::string& siteDir,
                              const std::string& dataDir) {
    const std::string own = StandardSetupPath(setupDir);
    if (IsRegularFile(own))
        return own;
    for (const std::string* dir : {&siteDir, &dataDir}) {
        if (dir->empty())
            continue;
        const std::string candidate = WithSeparator(*dir) + std::string(kStandardName);
        if (IsRegularFile(candidate))
            return candidate;
    }
    return own;
}

std::string FindStandardSetup(const std::string& setupDir, const std::string& dataDir) {
    return FindStandardSetup(setupDir, {}, dataDir);
}

IniLocation ChooseIniLocation(const std::string& exeDir, bool exeDirKeepsIni,
                              const UserFolders& user) {
    IniLocation loc;
    if (exeDirKeepsIni) {
        loc.Path = IniPath(exeDir);
        loc.SetupDirDefault = WithSeparator(exeDir);
        loc.DataDirDefault = loc.SetupDirDefault;
        loc.BesideExecutable = true;
        return loc;
    }
    loc.Path = WithSeparator(user.ConfigDir) + "TAVI.INI";
    loc.SetupDirDefault = WithSeparator(user.ConfigDir);
    loc.DataDirDefault = WithSeparator(user.DocumentsDir);
    loc.BesideExecutable = false;
    return loc;
}

std::string UserConfigDir(std::string_view xdgConfigHome, std::string_view home) {
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/')
        return WithSeparator(std::string(xdgConfigHome)) + "tavi/";
    return WithSeparator(std::string(home)) + ".config/tavi/";
}

std::string UserConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string homeDir = home ? home : "";
    if (homeDir.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            homeDir = pw->pw_dir;
    }
    return UserConfigDir(xdg ? xdg : "", homeDir);
}

bool DirectoryWritable(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return false;
    const uid_t uid = ::geteuid();
    if (st.st_uid == uid)
        return (st.st_mode & S_IWUSR) != 0;
    if (st.st_gid == ::getegid())
        return (st.st_mode & S_IWGRP) != 0;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
    const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
    for (int i = 0; i < n; ++i)
        if (groups[static_cast<std::size_t>(i)] == st.st_gid)
            return (st.st_mode & S_IWGRP) != 0;
    // Root passes access() everywhere; the other bits still say whether the
    // folder was meant to be written.
    if (uid == 0)
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return (st.st_mode & S_IWOTH) != 0;
}

bool ExecutableDirKeepsIni(const std::string& exeDir) {
    if (IsRegularFile(InstalledDataDir(exeDir) + std::string(kStandardName)))
        return false;
    return DirectoryWritable(exeDir);
}

std::array<TSoundSetting, 3> DefaultSoundSettings() {
    return {TSoundSetting{"", 0, 1, 0}, TSoundSetting{"", 0, 1, 0}, TSoundSetting{"", 0, 0, 1}};
}

std::string IniPath(const std::string& exeDir) {
    return WithSeparator(exeDir) + "TAVI.INI";
}

void ParseIni(std::string_view text, const std::string& exeDir, IniSettings& settings) {
    ParseIni(text, ChooseIniLocation(exeDir, true, {}), settings);
}

void ParseIni(std::string_view text, const IniLocation& location, IniSettings& settings) {
    std::vector<std::string_view> lines;
    while (!text.empty() && lines.size() < 10) {
        auto lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
    }
    auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string_view{}; };
    auto dir = [&](std::size_t i, const std::string& dirDefault) {
        return line(i).empty() ? dirDefault : std::string(line(i));
    };
    settings.SetupDir = dir(0, location.SetupDirDefault);
    settings.AcqDir = dir(1, location.DataDirDefault);
    settings.OutDir = dir(2, location.DataDirDefault);
    settings.PortName = line(3).empty() ? std::string("COM1") : std::string(line(3));
    for (std::size_t k = 0; k < settings.Sounds.size(); ++k) {
        TSoundSetting& s = settings.Sounds[k];
        s.FileName = std::string(line(4 + 2 * k));
        std::string_view numbers = line(5 + 2 * k);
        // Each value is its character minus '0', whatever the character; a
        // line too short for a value keeps that value.
        auto take = [&](std::size_t at, int& field) {
            if (at < numbers.size())
                field = static_cast<unsigned char>(numbers[at]) - '0';
        };
        take(0, s.Off);
        take(2, s.Single);
        take(4, s.SingleEnabled);
    }
}

bool ReadIni(const std::string& path, const std::string& exeDir, IniSettings& settings) {
    IniLocation location = ChooseIniLocation(exeDir, true, {});
    location.Path = path;
    return ReadIni(location, settings);
}

bool ReadIni(const IniLocation& location, IniSettings& settings) {
    std::ifstream in(location.Path, std::ios::binary);
    if (!in) {
        // A user's first start: the folders are theirs from the outset, not
        // the executable's (/usr/bin), where nothing can be saved.
        if (!location.BesideExecutable)
            ParseIni({}, location, settings);
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ParseIni(text, location, settings);
    return true;
}

std::string FormatIni(const IniSettings& settings) {
    std::string out;
    auto put = [&out](std::string_view line) {
        out.append(line);
        out += "\r\n";
    };
    put(settings.SetupDir);
    put(settings.AcqDir);
    put(settings.OutDir);
    put(settings.PortName);
    for (const TSoundSetting& s : settings.Sounds) {
        put(s.FileName);
        put(std::to_string(s.Off) + "," + std::to_string(s.Single) + "," +
            std::to_string(s.SingleEnabled));
    }
    return out;
}

bool WriteIni(const std::string& path, const IniSettings& settings) {
    return WriteWholeFile(path, FormatIni(settings), nullptr);
}

bool WriteIni(const IniLocation& location, const IniSettings& settings) {
    if (!location.BesideExecutable) {
        const auto slash = location.Path.find_last_of('/');
        if (slash != std::string::npos && slash > 0 && !MakeFolders(location.Path.substr(0, slash)))
            return false;
    }
    return WriteIni(location.Path, settings);
}

} // namespace tavi
