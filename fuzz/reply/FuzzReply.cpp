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
#include <vector>

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

// The main window's line handler over a port whose bytes arrive in chunks:
// called on a chunk with a CR in it (the line event) or when the input buffer
// is full without one; reads while bytes wait, keeps an unfinished line for
// the next event, and lets only "X" and "Z" through until an "X" made the
// device ready.
class WindowModel {
public:
    static constexpr std::size_t kInputBuffer = 10000;

    explicit WindowModel(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    void Arrive(std::size_t count) {
        bool event = false;
        for (std::size_t k = 0; k < count && arrived_ < size_; ++k)
            event = data_[arrived_++] == '\r' || event;
        if (event || arrived_ - read_ >= kInputBuffer)
            RxFlag();
    }
    bool Done() const { return arrived_ >= size_; }

    std::vector<std::string> lines;
    int dispatched = 0;

private:
    int WaitingCount() const { return static_cast<int>(arrived_ - read_); }
    char ReadChar() { return static_cast<char>(data_[read_++]); }

    void RxFlag() {
        while (WaitingCount() > 0) {
            bool complete = false;
            do {
                complete = rx_.Push(ReadChar());
                Check(rx_.Line().size() <= tavi::LineAssembler::kMaxLine + 1);
            } while (!complete && WaitingCount() > 0);
            if (!complete)
                return;
            const std::string line = rx_.Line();
            rx_.Clear();
            lines.push_back(line);
            if (!(ready_ || line[0] == 'X' || line[0] == 'Z'))
                continue;
            try {
                const tavi::Reply r = tavi::DecodeReply(line);
                ++dispatched;
                ready_ = ready_ || r.kind == tavi::Reply::X;
            } catch (const tavi::EConvertError&) {
            }
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t arrived_ = 0, read_ = 0;
    tavi::LineAssembler rx_;
    bool ready_ = false;
};

// However the bytes are cut into arrivals, the handler sees the lines that
// the whole stream holds, each once, in order.
void CheckWindowLoop(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> whole;
    tavi::LineAssembler assembler;
    for (std::size_t i = 0; i < size; ++i)
        if (assembler.Push(static_cast<char>(data[i])))
            whole.push_back(assembler.Line());

    WindowModel model(data, size);
    std::size_t i = 0;
    while (!model.Done()) {
        // Arrival sizes from the data itself, up to a little over the buffer.
        const std::size_t step = 1 + (data[i % size] * 131u + i) % 12000u;
        model.Arrive(step);
        i += step;
    }
    Check(model.lines == whole);
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
    if (size > 0)
        CheckWindowLoop(data, size);
    return 0;
}
