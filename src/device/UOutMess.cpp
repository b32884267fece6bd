// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/UOutMess.h"

#include "common/Usr.h"

#include <cmath>

namespace tavi {

namespace {

constexpr char kCR = '\r';

char Digit(int value) {
    return static_cast<char>('0' + value);
}

std::string Line(std::string_view letters, std::string_view field = {}) {
    std::string out;
    out.reserve(letters.size() + field.size() + 1);
    out.append(letters);
    out.append(field);
    out += kCR;
    return out;
}

std::string Line(std::string_view letters, char digit, std::string_view field = {}) {
    std::string head(letters);
    head += digit;
    return Line(head, field);
}

} // namespace

void CommandSender::Send(const std::string& line) const {
    if (PortOpen() && deviceReady_ != nullptr && *deviceReady_)
        port_->WriteText(line);
}

void CommandSender::SendIdentify() const {
    // Identification is what establishes readiness, so only the port matters.
    if (PortOpen())
        port_->WriteText(lines::Identify());
}

void CommandSender::SendRaw(std::string_view text) const {
    // No guard: the operator may talk to a device that is not ready. A closed
    // port reports its own error; without any port there is nothing to write to.
    if (port_ == nullptr)
        throw EComError(0, "Can't perform this operation on a closed port");
    std::string line(text);
    line += kCR;
    port_->WriteText(line);
}

namespace lines {

std::string Phase(std::int16_t position) {
    return Line("E", HexDigits(position, 2));
}
std::string Gain(std::int16_t position) {
    return Line("D2", HexDigits(255 - position, 2));
}
std::string ModAmpRaw(std::int16_t position) {
    return Line("D1", HexDigits(255 - position, 2));
}

std::string ModAmp(int esrFlag, float amplitudeGs) {
    // The float amplitude times 100 is formed exactly (in double) and then
    // truncated, so 0.35f gives 34 and 0.7f gives 69; a float product would
    // round up to 35 and 70 first.
    const double hundredfold = static_cast<double>(amplitudeGs) * 100.0;
    const auto code = static_cast<std::int64_t>(std::trunc(hundredfold));
    return Line("R", Digit(esrFlag), HexDigits(code, 2));
}

std::string FieldSweepRange(int esrFlag, std::int16_t position) {
    return Line("H", Digit(esrFlag), HexDigits(position - 1, 2));
}
std::string SweepTime(std::int16_t position) {
    return Line("G", HexDigits(position - 1, 2));
}
std::string StartSweep(bool frequencySweep) {
    return Line("F", Digit(frequencySweep ? 1 : 0));
}
std::string FieldTuning(std::int16_t position) {
    return Line("B1", HexDigits(position + 2047, 4));
}
std::string Frequency(std::int32_t hz) {
    return Line("J", HexDigits(hz, 8));
}
std::string FreqSweepRange(std::int32_t hz) {
    return Line("K", HexDigits(hz, 8));
}
std::string Abort() {
    return Line("N");
}
std::string Mode(int esrFlag) {
    return Line("P", Digit(esrFlag));
}
std::string Identify() {
    return Line("Z");
}
std::string ReadyAck() {
    return Line("Y");
}
std::string Hold(bool hold) {
    return Line("Q", Digit(hold ? 1 : 0));
}
std::string CurrentDirection(bool forward) {
    return Line("S", Digit(forward ? 1 : 0));
}
std::string ModFrequency(std::int16_t value) {
    return Line("T", HexDigits(value, 4));
}
std::string ControlMode(int value) {
    return Line("X", Digit(value));
}

} // namespace lines

} // namespace tavi
