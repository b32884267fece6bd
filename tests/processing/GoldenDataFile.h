// SPDX-License-Identifier: GPL-3.0-or-later
// Data files laid out by hand, byte by byte, independent of the writer.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavi::test {

class GoldenDataFile {
public:
    // Format byte and a zeroed header (424 bytes, 400 for format 10).
    explicit GoldenDataFile(std::uint8_t format = 11) : bytes_(1 + (format == 10 ? 400 : 424), 0) {
        bytes_[0] = format;
    }

    // A short string at a header offset: length byte, then the bytes as given.
    GoldenDataFile& Short(std::size_t headerOffset, std::string_view cp1252) {
        bytes_.at(1 + headerOffset) = static_cast<std::uint8_t>(cp1252.size());
        for (std::size_t i = 0; i < cp1252.size(); ++i)
            bytes_.at(1 + headerOffset + 1 + i) = static_cast<std::uint8_t>(cp1252[i]);
        return *this;
    }
    GoldenDataFile& Byte(std::size_t headerOffset, std::uint8_t value) {
        bytes_.at(1 + headerOffset) = value;
        return *this;
    }
    // Four bytes at a header offset, least significant first.
    GoldenDataFile& Word(std::size_t headerOffset, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i)
            bytes_.at(1 + headerOffset + i) = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }
    GoldenDataFile& Sample(std::int32_t sum) {
        auto v = static_cast<std::uint32_t>(sum);
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    GoldenDataFile& Tail(std::size_t extraBytes) {
        bytes_.insert(bytes_.end(), extraBytes, 0x7E);
        return *this;
    }

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// IEEE 754 single-precision patterns used by the tests.
inline constexpr std::uint32_t kFloat100 = 0x42C80000; // 100.0f
inline constexpr std::uint32_t kFloat2_5 = 0x40200000; // 2.5f

// An ESR spectrum with five points, every header field set.
//   Comment "Sample A", FrequencyText "9 400 000 kHz", FieldB0Text "3 350.0 Gs",
//   field sweep over 100 Gs, "0.025 Gs", "20 s", "x 1000", "45°", "10", "ESR";
//   sums 1000, 25, 35, -7000, 7000 (averages 100, 2, 4, -500, 500).
inline GoldenDataFile SampleGolden() {
    GoldenDataFile g;
    g.Short(0, "Sample A")
        .Short(262, "9 400 000 kHz")
        .Short(283, "3 350.0 Gs")
        .Byte(304, 1)
        .Word(308, kFloat100)
        .Short(312, "0.025 Gs")
        .Short(333, "20 s")
        .Short(354, "x 1000")
        .Short(375, "45\xB0")
        .Short(396, "10")
        .Short(400, "ESR");
    for (int s : {1000, 25, 35, -7000, 7000})
        g.Sample(s);
    return g;
}

} // namespace tavi::test
