// SPDX-License-Identifier: GPL-3.0-or-later
// The command senders: one per command, each writing one complete line.
// Line builders are pure so that every template is tested exactly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/SerialPort.h"

namespace tavi {

// Writes command lines through the port it was given, behind the send guard:
// only while the port is open and the device ready (the identify command
// needs only the open port); a command that fails the guard is dropped.
class CommandSender {
public:
    CommandSender(ISerialPort* port, const bool* deviceReady)
        : port_(port), deviceReady_(deviceReady) {}
    void Send(const std::string& line) const;
    void SendIdentify() const;
    // Text + CR straight to the port, without the guard.
    void SendRaw(std::string_view text) const;

private:
    bool PortOpen() const { return port_ != nullptr && port_->Active(); }
    ISerialPort* port_;
    const bool* deviceReady_;
};

// Builders: the command text with its CR.
namespace lines {
std::string Phase(std::int16_t position);
std::string Gain(std::int16_t position);
std::string ModAmpRaw(std::int16_t position);
std::string ModAmp(int esrFlag, float amplitudeGs);
std::string FieldSweepRange(int esrFlag, std::int16_t position);
std::string SweepTime(std::int16_t position);
std::string StartSweep(bool frequencySweep);
std::string FieldTuning(std::int16_t position);
std::string Frequency(std::int32_t hz);
std::string FreqSweepRange(std::int32_t hz);
std::string Abort();
std::string Mode(int esrFlag);
std::string Identify();
std::string ReadyAck();
std::string Hold(bool hold);
std::string CurrentDirection(bool forward);
std::string ModFrequency(std::int16_t value);
std::string ControlMode(int value);
} // namespace lines

} // namespace tavi
