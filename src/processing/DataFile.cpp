// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/DataFile.h"

#include "common/Cp1252.h"
#include "common/SafeFile.h"
#include "common/Usr.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tavi {

namespace {

struct ShortField {
    std::size_t Offset;
    std::size_t Capacity;
};
constexpr ShortField kComment{0, 255};
constexpr ShortField kFrequency{262, 20};
constexpr ShortField kFieldB0{283, 20};
constexpr std::size_t kFieldSweepAt = 304;
constexpr std::size_t kSweepRangeAt = 308;
constexpr ShortField kModAmp{312, 20};
constexpr ShortField kSweepTime{333, 20};
constexpr ShortField kGain{354, 20};
constexpr ShortField kPhase{375, 20};
constexpr ShortField kAcc{396, 3};
constexpr ShortField kMode{400, 20};
// Format 10 has no mode text; the first frequency character tells NMR from ESR.
constexpr std::size_t kFirstFrequencyChar = 263;

void PutShort(std::array<std::uint8_t, kDataHeaderSize>& b, ShortField f, std::string_view utf8) {
    // Cut after conversion: the capacity counts stored bytes, not UTF-8 bytes.
    std::string text = Utf8ToCp1252(utf8);
    if (text.size() > f.Capacity)
        text.resize(f.Capacity);
    b[f.Offset] = static_cast<std::uint8_t>(text.size());
    std::memcpy(b.data() + f.Offset + 1, text.data(), text.size());
}

std::string GetShort(const std::array<std::uint8_t, kDataHeaderSize>& b, ShortField f) {
    std::size_t len = std::min<std::size_t>(b[f.Offset], f.Capacity);
    return Cp1252ToUtf8(
        std::string_view(reinterpret_cast<const char*>(b.data() + f.Offset + 1), len));
}

void SetError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

std::string DirectoryPart(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Nearest integer to s / d (d > 0), halves to even, without floating-point error.
std::int64_t RoundedQuotient(std::int64_t s, std::int64_t d) {
    std::int64_t q = s / d;
    std::int64_t r = s % d;
    std::int64_t twice = 2 * (r < 0 ? -r : r);
    if (twice > d || (twice == d && (q % 2) != 0))
        q += s < 0 ? -1 : 1;
    return q;
}

std::int32_t GetInt(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

} // namespace

DataFileHeader DataFileHeader::Build(const DataFileSettings& s) {
    DataFileHeader h;
    auto& b = h.Bytes;
    PutShort(b, kComment, s.Comment);
    PutShort(b, kFrequency, s.FrequencyText);
    PutShort(b, kFieldB0, s.FieldB0Text);
    b[kFieldSweepAt] = s.FieldSweep;
    auto range = std::bit_cast<std::uint32_t>(s.SweepRange);
    for (int i = 0; i < 4; ++i)
        b[kSweepRangeAt + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(range >> (8 * i));
    PutShort(b, kModAmp, s.ModAmpText);
    PutShort(b, kSweepTime, s.SweepTimeText);
    PutShort(b, kGain, s.GainText);
    PutShort(b, kPhase, s.PhaseText);
    PutShort(b, kAcc, s.AccText);
    PutShort(b, kMode, s.ModeText);
    return h;
}

DataFileSettings DataFileHeader::Decode() const {
    DataFileSettings s;
    s.Comment = GetShort(Bytes, kComment);
    s.FrequencyText = GetShort(Bytes, kFrequency);
    s.FieldB0Text = GetShort(Bytes, kFieldB0);
    s.FieldSweep = Bytes[kFieldSweepAt];
    s.SweepRange = std::bit_cast<float>(static_cast<std::uint32_t>(GetInt(&Bytes[kSweepRangeAt])));
    s.ModAmpText = GetShort(Bytes, kModAmp);
    s.SweepTimeText = GetShort(Bytes, kSweepTime);
    s.GainText = GetShort(Bytes, kGain);
    s.PhaseText = GetShort(Bytes, kPhase);
    s.AccText = GetShort(Bytes, kAcc);
    s.ModeText = GetShort(Bytes, kMode);
    return s;
}

bool WriteAllToFd(int fd, std::span<const std::uint8_t> bytes, std::string* cause) {
    return WriteAll(fd, bytes, cause);
}

bool WriteDataFile(const std::string& path, const DataFileHeader& header,
                   std::span<const std::uint8_t> accBuffer, std::string* error) {
    struct stat st {};
    if (::stat(DirectoryPart(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetError(error, "Path not found !");
        return false;
    }
    // A failed save must never leave a file that reads as a shorter spectrum.
    const std::uint8_t format = kDataFormat;
    WriteFailure failure;
    std::string cause;
    if (WriteFileSafely(path, {std::span(&format, 1), header.Bytes, accBuffer}, &failure, &cause))
        return true;
    SetError(error, WriteFailureText(path, failure, cause));
    return false;
}

bool ReadDataFile(const std::string& path, LoadedDataFile& out, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "Cannot open file " + path + ": " + std::strerror(errno));
        return false;
    }
    std::vector<std::uint8_t> bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            SetError(error, "Cannot read file " + path + ": " + std::strerror(err));
            return false;
        }
        if (n == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return ParseDataFile(bytes, out, error);
}

bool ParseDataFile(std::span<const std::uint8_t> bytes, LoadedDataFile& out, std::string* error) {
    if (bytes.empty()) {
        SetError(error, "Stream read error");
        return false;
    }
    const int format = bytes[0];
    if (format != kDataFormat && format != kDataFormatOld) {
        SetError(error, "file format error");
        return false;
    }
    const std::size_t headerSize = format == kDataFormat ? kDataHeaderSize : kDataHeaderSize10;
    if (bytes.size() - 1 < headerSize) {
        SetError(error, "Stream read error");
        return false;
    }
    LoadedDataFile f;
    f.Format = format;
    std::memcpy(f.Header.Bytes.data(), bytes.data() + 1, headerSize);
    f.Settings = f.Header.Decode();
    if (format == kDataFormatOld)
        f.Settings.ModeText = f.Header.Bytes[kFirstFrequencyChar] <= '1' ? "NMR" : "ESR";

    try {
        f.Divisor = StrToInt(f.Settings.AccText);
        if (f.Divisor <= 0) {
            SetError(error, "Invalid accumulation count '" + f.Settings.AccText + "'");
            return false;
        }
        f.ModAmpValue = ValueOfText(f.Settings.ModAmpText);
        f.FrequencyValue = ValueOfText(f.Settings.FrequencyText);
        f.FieldB0Value = ValueOfText(f.Settings.FieldB0Text);
    } catch (const EConvertError& e) {
        SetError(error, e.what());
        return false;
    }

    const double range = f.Settings.SweepRange;
    if (!std::isfinite(range) || range <= 0) {
        SetError(error, "Invalid sweep range");
        return false;
    }
    std::span<const std::uint8_t> records = bytes.subspan(1 + headerSize);
    const std::size_t n = records.size() / 4;
    if (n < 2) {
        SetError(error, "The file holds fewer than two points");
        return false;
    }
    f.XStep = range / static_cast<double>(n - 1);
    f.XMin = -range / 2;
    f.XMax = range / 2;
    f.X.resize(n);
    f.Y.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::int64_t y = RoundedQuotient(GetInt(records.data() + 4 * i), f.Divisor);
        f.Y[i] = static_cast<double>(std::clamp<std::int64_t>(y, -500, 500));
        f.Clipped += y > 500 || y < -500;
        f.X[i] = static_cast<double>(i) * f.XStep + f.XMin;
    }
    out = std::move(f);
    return true;
}

} // namespace tavi
