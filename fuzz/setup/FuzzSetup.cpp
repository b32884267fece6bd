// SPDX-License-Identifier: GPL-3.0-or-later
// The setup record parse on arbitrary bytes: a record read back must store
// exactly the bytes it came from.
#include "setup/USetup.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavi::TSetupRecord r;
    std::string error;
    if (!tavi::ParseSetupBytes(std::span(data, size), r, &error)) {
        if (size >= tavi::kSetupRecordSize || error.empty())
            std::abort();
        return 0;
    }
    auto bytes = r.ToBytes();
    if (std::memcmp(bytes.data(), data, bytes.size()) != 0)
        std::abort();
    if (tavi::TSetupRecord::FromBytes(bytes) != r)
        std::abort();
    return 0;
}
