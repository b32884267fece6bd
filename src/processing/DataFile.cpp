// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/DataFile.h"

#include "common/Cp1252.h"
#include "common/SafeFile.h"
#include "common/Usr.h"
#include "processing/CurveScan.h"

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

bool MessageOf(const FileResult& r, std::string* error) {
    if (!r && error)
        *error = r.Message;
    return r.Ok();
}

FileResult Fail(FileFailure kind, std::string text) {
    return FileResult::Failure(kind, std::move(text));
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

// sum / divisor rounded with halves to even, clamped to +-500. For divisors
// that double holds exactly the quotient's rounding error is below the
// distance of any non-half quotient from a half (1 / 2d), and halves are exact,
// so rounding the double quotient gives the integer result. Returns the
// number of points cut; range gets the lowest and highest value, from the
// indices before which neither occurs.
int ConvertRecords(const std::uint8_t* records, std::size_t n, std::int64_t divisor, double* y,
                   std::pair<double, double>& range, std::pair<std::size_t, std::size_t>& from);

std::int32_t GetInt(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

TAVI_POINT_LOOP int ConvertQuotients(const std::uint8_t* records, std::size_t n, double d,
                                     double* y, std::int32_t& lowest, std::int32_t& highest,
                                     std::pair<std::size_t, std::size_t>& from) {
    int clipped = 0;
    std::int32_t lo = 500, hi = -500;
    // Adding and taking away 1.5 * 2^52 rounds to an integer, halves to even.
    constexpr double kRound = 6755399441055744.0;
    // A block at a time, so that the block where each bound was last moved
    // is known: the first place of the bound is in it.
    constexpr std::size_t kBlock = 1024;
    for (std::size_t b = 0; b < n; b += kBlock) {
        const std::size_t e = std::min(n, b + kBlock);
        std::int32_t blockLo = lo, blockHi = hi;
        // The rounded quotient is an integer within the int32 range (d >= 1),
        // so it is clamped and counted as an integer: a loop the compiler
        // vectorises.
        for (std::size_t i = b; i < e; ++i) {
            std::int32_t sum;
            std::memcpy(&sum, records + 4 * i, sizeof sum);
            if constexpr (std::endian::native == std::endian::big)
                sum = GetInt(records + 4 * i);
            const double q = (static_cast<double>(sum) / d + kRound) - kRound;
            const auto qi = static_cast<std::int32_t>(q);
            const std::int32_t cut = qi < -500 ? -500 : (qi > 500 ? 500 : qi);
            y[i] = static_cast<double>(cut);
            clipped += (qi > 500) | (qi < -500);
            blockLo = cut < blockLo ? cut : blockLo;
            blockHi = cut > blockHi ? cut : blockHi;
        }
        if (blockLo < lo) {
            lo = blockLo;
            from.first = b;
        }
        if (blockHi > hi) {
            hi = blockHi;
            from.second = b;
        }
    }
    lowest = lo;
    highest = hi;
    return clipped;
}

int ConvertRecords(const std::uint8_t* records, std::size_t n, std::int64_t divisor, double* y,
                   std::pair<double, double>& range, std::pair<std::size_t, std::size_t>& from) {
    from = {0, 0};
    int clipped = 0;
    std::int32_t lowest = 500, highest = -500;
    if (divisor > (std::int64_t{1} << 31)) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t q = RoundedQuotient(GetInt(records + 4 * i), divisor);
            const auto cut = static_cast<std::int32_t>(std::clamp<std::int64_t>(q, -500, 500));
            y[i] = cut;
            clipped += q > 500 || q < -500;
            lowest = std::min(lowest, cut);
            highest = std::max(highest, cut);
        }
    } else {
        clipped =
            ConvertQuotients(records, n, static_cast<double>(divisor), y, lowest, highest, from);
    }
    range = {lowest, highest};
    return clipped;
}

// int: converts in vectors.
TAVI_POINT_LOOP void FillX(double* x, int n, double step, double xMin) {
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<double>(i) * step + xMin;
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

FileResult WriteDataFile(const std::string& path, const DataFileHeader& header,
                         std::span<const std::uint8_t> accBuffer) {
    struct stat st {};
    if (::stat(DirectoryPart(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail(FileFailure::NotFound, "Path not found !");
    // A failed save must never leave a file that reads as a shorter spectrum.
    const std::uint8_t format = kDataFormat;
    WriteFailure failure;
    std::string cause;
    if (WriteFileSafely(path, {std::span(&format, 1), header.Bytes, accBuffer}, &failure, &cause))
        return FileResult::Success();
    return WriteFailureResult(path, failure, cause);
}

bool WriteDataFile(const std::string& path, const DataFileHeader& header,
                   std::span<const std::uint8_t> accBuffer, std::string* error) {
    return MessageOf(WriteDataFile(path, header, accBuffer), error);
}

FileResult ReadDataFile(const std::string& path, LoadedDataFile& out) {
    // Non-blocking, so that a pipe without a writer cannot hang the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int cause = errno;
        return Fail(cause == ENOENT || cause == ENOTDIR ? FileFailure::NotFound : FileFailure::Io,
                    "Cannot open file " + path + ": " + std::strerror(cause));
    }
    auto fail = [&](FileFailure kind, std::string text) {
        ::close(fd);
        return Fail(kind, std::move(text));
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(FileFailure::Io, "Cannot read file " + path + ": " + std::strerror(errno));
    // A device or a pipe has no end to read to (/dev/zero), and a file
    // larger than any the program writes is none of its data files.
    if (!S_ISREG(st.st_mode))
        return fail(FileFailure::NotRegular,
                    "Cannot read file " + path + ": it is not a regular file");
    if (static_cast<std::uint64_t>(st.st_size) > kDataFileMaxSize)
        return fail(FileFailure::TooLarge, "file format error: " + path +
                                               " is too large for a data file (" +
                                               std::to_string(st.st_size) + " bytes)");
    // One buffer per thread, kept from file to file; a file read in one call.
    thread_local std::vector<std::uint8_t> bytes;
    const auto size = static_cast<std::size_t>(st.st_size);
    if (bytes.size() < size)
        bytes.resize(size);
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, bytes.data() + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(FileFailure::Io, "Cannot read file " + path + ": " + std::strerror(errno));
        }
        if (n == 0)
            break; // shortened meanwhile
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return ParseDataFile(std::span(bytes.data(), got), out);
}

bool ReadDataFile(const std::string& path, LoadedDataFile& out, std::string* error) {
    return MessageOf(ReadDataFile(path, out), error);
}

bool ParseDataFile(std::span<const std::uint8_t> bytes, LoadedDataFile& out, std::string* error) {
    return MessageOf(ParseDataFile(bytes, out), error);
}

FileResult ParseDataFile(std::span<const std::uint8_t> bytes, LoadedDataFile& out) {
    if (bytes.empty())
        return Fail(FileFailure::Content, "Stream read error");
    const int format = bytes[0];
    if (format != kDataFormat && format != kDataFormatOld)
        return Fail(FileFailure::Format, "file format error");
    const std::size_t headerSize = format == kDataFormat ? kDataHeaderSize : kDataHeaderSize10;
    if (bytes.size() - 1 < headerSize)
        return Fail(FileFailure::Content, "Stream read error");
    LoadedDataFile f;
    f.Format = format;
    std::memcpy(f.Header.Bytes.data(), bytes.data() + 1, headerSize);
    f.Settings = f.Header.Decode();
    if (format == kDataFormatOld)
        f.Settings.ModeText = f.Header.Bytes[kFirstFrequencyChar] <= '1' ? "NMR" : "ESR";

    try {
        f.Divisor = StrToInt(f.Settings.AccText);
        if (f.Divisor <= 0)
            return Fail(FileFailure::Content,
                        "Invalid accumulation count '" + f.Settings.AccText + "'");
        f.ModAmpValue = ValueOfText(f.Settings.ModAmpText);
        f.FrequencyValue = ValueOfText(f.Settings.FrequencyText);
        f.FieldB0Value = ValueOfText(f.Settings.FieldB0Text);
    } catch (const EConvertError& e) {
        return Fail(FileFailure::Content, e.what());
    }

    const double range = f.Settings.SweepRange;
    if (!std::isfinite(range) || range <= 0)
        return Fail(FileFailure::Content, "Invalid sweep range");
    std::span<const std::uint8_t> records = bytes.subspan(1 + headerSize);
    const std::size_t n = records.size() / 4;
    if (n < 2)
        return Fail(FileFailure::Content, "The file holds fewer than two points");
    if (n > kDataMaxPoints)
        return Fail(FileFailure::TooLarge,
                    "The file holds " + std::to_string(n) + " points, more than the " +
                        std::to_string(kDataMaxPoints) + " a data file can have");
    f.XStep = range / static_cast<double>(n - 1);
    f.XMin = -range / 2;
    f.XMax = range / 2;
    // The caller's curves are overwritten anyway: their buffers are reused.
    f.X.swap(out.X);
    f.Y.swap(out.Y);
    f.X.resize(n);
    f.Y.resize(n);
    f.Clipped =
        ConvertRecords(records.data(), n, f.Divisor, f.Y.data(), f.YRange.emplace(), f.YRangeFrom);
    FillX(f.X.data(), static_cast<int>(n), f.XStep, f.XMin);
    out = std::move(f);
    return FileResult::Success();
}

} // namespace tavi
