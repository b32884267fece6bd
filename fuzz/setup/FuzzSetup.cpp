// SPDX-License-Identifier: GPL-3.0-or-later
// The setup record parse on arbitrary bytes: a record read back stores the
// bytes it came from, except that each up-down position is stored as its low
// 16 bits sign-extended; and it reads back as itself.
#include "setup/USetup.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

namespace {

constexpr std::size_t kPositionOffsets[] = {24, 32, 36, 40, 44, 48, 52, 56, 60,
                                            64, 68, 72, 76, 80, 84, 88, 92, 96};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavi::TSetupRecord r;
    std::string error;
    if (!tavi::ParseSetupBytes(std::span(data, size), r, &error)) {
        if (size >= tavi::kSetupRecordSize || error.empty())
            std::abort();
        return 0;
    }
    std::uint8_t expected[tavi::kSetupRecordSize];
    std::memcpy(expected, data, sizeof expected);
    for (std::size_t at : kPositionOffsets) {
        const std::uint8_t sign = (expected[at + 1] & 0x80) != 0 ? 0xFF : 0x00;
        expected[at + 2] = sign;
        expected[at + 3] = sign;
    }
    auto bytes = r.ToBytes();
    if (std::memcmp(bytes.data(), expected, bytes.size()) != 0)
        std::abort();
    if (tavi::TSetupRecord::FromBytes(bytes) != r)
        std::abort();
    return 0;
}
