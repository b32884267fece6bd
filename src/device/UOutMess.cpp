// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/UOutMess.h"

#include "common/Usr.h"

#include <cmath>

namespace tavi {

namespace {

CommandSender gTarget(nullptr, nullptr);

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

void SendGuarded(const std::string& line) {
    gTarget.Send(line);
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

void SetCommandTarget(ISerialPort* port, const bool* deviceReady) {
    gTarget = CommandSender(port, deviceReady);
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

void SendPhase(std::int16_t position) {
    SendGuarded(lines::Phase(position));
}
void SendGain(std::int16_t position) {
    SendGuarded(lines::Gain(position));
}
void SendModAmpRaw(std::int16_t position) {
    SendGuarded(lines::ModAmpRaw(position));
}
void SendModAmp(int esrFlag, float amplitudeGs) {
    SendGuarded(lines::ModAmp(esrFlag, amplitudeGs));
}
void SendFieldSweepRange(int esrFlag, std::int16_t position) {
    SendGuarded(lines::FieldSweepRange(esrFlag, position));
}
void SendSweepTime(std::int16_t position) {
    SendGuarded(lines::SweepTime(position));
}
void SendStartSweep(bool frequencySweep) {
    SendGuarded(lines::StartSweep(frequencySweep));
}
void SendFieldTuning(std::int16_t position) {
    SendGuarded(lines::FieldTuning(position));
}
void SendFrequency(std::int32_t hz) {
    SendGuarded(lines::Frequency(hz));
}
void SendFreqSweepRange(std::int32_t hz) {
    SendGuarded(lines::FreqSweepRange(hz));
}
void SendAbort() {
    SendGuarded(lines::Abort());
}
void SendMode(int esrFlag) {
    SendGuarded(lines::Mode(esrFlag));
}

void SendIdentify() {
    gTarget.SendIdentify();
}

void SendReadyAck() {
    SendGuarded(lines::ReadyAck());
}
void SendHold(bool hold) {
    SendGuarded(lines::Hold(hold));
}
void SendCurrentDirection(bool forward) {
    SendGuarded(lines::CurrentDirection(forward));
}
void SendModFrequency(std::int16_t value) {
    SendGuarded(lines::ModFrequency(value));
}
void SendControlMode(int value) {
    SendGuarded(lines::ControlMode(value));
}

void SendRawLine(std::string_view text) {
    gTarget.SendRaw(text);
}

} // namespace tavi
