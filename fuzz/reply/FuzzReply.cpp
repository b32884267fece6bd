// SPDX-License-Identifier: GPL-3.0-or-later
// Reply bytes as they arrive from the line: split into reads of arbitrary
// size, assembled into lines, each line decoded. Only conversion errors are
// expected; anything else (or a broken invariant) is a finding.
#include "common/Usr.h"
#include "device/ReplyParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

void Decode(const std::string& line) {
    try {
        tavi::Reply r = tavi::DecodeReply(line);
        switch (r.kind) {
        case tavi::Reply::A:
            Check(r.points >= 0 && r.points <= 0xFFFF);
            break;
        case tavi::Reply::M:
            Check(r.fieldSource >= 0 && r.fieldSource <= 0xFF);
            break;
        case tavi::Reply::X:
            Check(r.firstOffset >= -2047 && r.firstOffset <= 0xFFFF - 2047);
            Check(r.secondOffset >= -2047 && r.secondOffset <= 0xFFFF - 2047);
            break;
        case tavi::Reply::E:
            Check(r.errorText.size() <= 4);
            break;
        case tavi::Reply::Z:
            Check(r.serial.size() <= 4 && r.version.size() <= 3);
            break;
        case tavi::Reply::Ignored:
            Check(line.empty() || line[0] != 'A');
            break;
        default:
            break;
        }
    } catch (const tavi::EConvertError&) {
    }
}

} // namespace

// Input: a control byte, then that many (mod 32, plus one) bytes of line
// data; repeated. The control byte's top bit also chooses whether the reader
// clears the line after handling it or relies on the next Push.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavi::LineAssembler assembler;
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t control = data[i++];
        const std::size_t chunk = (control & 0x1F) + 1u;
        const bool clear = (control & 0x80) != 0;
        for (std::size_t k = 0; k < chunk && i < size; ++k, ++i) {
            const char c = static_cast<char>(data[i]);
            if (assembler.Push(c)) {
                const std::string& line = assembler.Line();
                Check(!line.empty() && line.back() == '\r');
                Check(line.find('\r') == line.size() - 1);
                Check(line.size() <= tavi::LineAssembler::kMaxLine + 1);
                Decode(line);
                if (clear)
                    assembler.Clear();
            } else {
                Check(assembler.Line().size() <= tavi::LineAssembler::kMaxLine);
            }
        }
        // A read ends here; a partial line waits for the next one.
    }
    return 0;
}
