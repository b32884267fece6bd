// SPDX-License-Identifier: GPL-3.0-or-later
// The data file (*.dcw): format byte, 424-byte header (400 for format 10) and
// the accumulation sums. File code only; the windows show the results.
#pragma once

#include "common/FileResult.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tavi {

inline constexpr std::size_t kDataHeaderSize = 424;
inline constexpr std::size_t kDataHeaderSize10 = 400;
inline constexpr std::uint8_t kDataFormat = 11;
inline constexpr std::uint8_t kDataFormatOld = 10;
// The most points a run records (the device's count is 16 bit); the readers
// refuse more, and files larger than that with a margin for trailing bytes.
inline constexpr std::size_t kDataMaxPoints = 65535;
inline constexpr std::size_t kDataFileMaxSize = 1 + kDataHeaderSize + 4 * kDataMaxPoints + 4096;

// The settings a data file carries, as UTF-8 texts.
struct DataFileSettings {
    std::string Comment;       // capacity 255
    std::string FrequencyText; // capacity 20 each
    std::string FieldB0Text;
    std::uint8_t FieldSweep = 1;
    float SweepRange = 0;
    std::string ModAmpText;
    std::string SweepTimeText;
    std::string GainText;
    std::string PhaseText;
    std::string AccText; // capacity 3
    std::string ModeText;
};

// The header exactly as stored (short strings in Windows-1252).
struct DataFileHeader {
    std::array<std::uint8_t, kDataHeaderSize> Bytes{};

    static DataFileHeader Build(const DataFileSettings& settings);
    // Decodes the fields; a length byte above a field's capacity is cut to it.
    DataFileSettings Decode() const;
};

// Writes format byte, header and the buffer byte for byte. Failures: NotFound
// "Path not found !" when the directory is missing, NotRegular, Io ("Cannot
// create file <path>" and the system's cause) or Damaged. A failed write never
// leaves a complete-looking file.
FileResult WriteDataFile(const std::string& path, const DataFileHeader& header,
                         std::span<const std::uint8_t> accBuffer);
// The same for callers that treat every failure alike: false with the message.
bool WriteDataFile(const std::string& path, const DataFileHeader& header,
                   std::span<const std::uint8_t> accBuffer, std::string* error);

// Writes all bytes to an open descriptor, retrying short writes; on failure
// returns false with the system's cause (for example "No space left on device").
bool WriteAllToFd(int fd, std::span<const std::uint8_t> bytes, std::string* cause);

struct LoadedDataFile {
    int Format = 0;
    DataFileHeader Header;     // format 10 fills the first 400 bytes
    DataFileSettings Settings; // decoded; format 10 gets its derived ModeText
    std::int64_t Divisor = 1;
    double XStep = 0;
    double XMin = 0;
    double XMax = 0;
    double ModAmpValue = 0;
    double FrequencyValue = 0;
    double FieldB0Value = 0;
    std::vector<double> X; // i * XStep + XMin
    std::vector<double> Y; // sum / divisor, halves to even, clamped to +-500
    int Clipped = 0;       // points whose sum / divisor lay beyond +-500 and were cut
    // The lowest and highest Y, found while converting so that no one reads
    // the curve again for them; empty for a file put together by hand. Whoever
    // changes Y empties it.
    std::optional<std::pair<double, double>> YRange;
    // No point before these indices holds the lowest, the highest Y: where
    // the searches for their first places may begin.
    std::pair<std::size_t, std::size_t> YRangeFrom{0, 0};
};

// Reads a data file with the arithmetic of the processing window. Failures
// carry the message to show: Format "file format error" for a wrong format
// byte; Content "Stream read error", "'%s' is not a valid integer value", ...;
// NotFound, Io ("Cannot open file <path>: <cause>"). Devices, pipes
// (NotRegular), files over kDataFileMaxSize and more than kDataMaxPoints points
// (TooLarge) are refused before anything large is read.
FileResult ReadDataFile(const std::string& path, LoadedDataFile& out);
FileResult ParseDataFile(std::span<const std::uint8_t> bytes, LoadedDataFile& out);
// The same for callers that treat every failure alike: false with the message.
bool ReadDataFile(const std::string& path, LoadedDataFile& out, std::string* error);
bool ParseDataFile(std::span<const std::uint8_t> bytes, LoadedDataFile& out, std::string* error);

} // namespace tavi
