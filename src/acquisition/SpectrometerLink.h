// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrometer link without a window: the connection check, the reply
// dispatch and the device state, the watch over the power line and a lost
// port, and the command senders writing through the port it was given.
#pragma once

#include "acquisition/Accumulation.h"
#include "acquisition/AcquisitionObserver.h"
#include "device/ReplyParser.h"
#include "device/SerialPort.h"
#include "device/UOutMess.h"
#include "params/Freq.h"
#include "setup/USetup.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace tavi {

class SpectrometerLink {
public:
    // The check's attempt counter: it starts at kCheckStarted with "Connect",
    // counts one per tick, and at kCheckGivenUp the check has failed.
    static constexpr int kCheckStarted = 100;
    static constexpr int kCheckGivenUp = 105;

    // Takes over the port's event handlers until destroyed.
    SpectrometerLink(ISerialPort& port, IAcquisitionObserver& observer);
    ~SpectrometerLink();
    SpectrometerLink(const SpectrometerLink&) = delete;
    SpectrometerLink& operator=(const SpectrometerLink&) = delete;

    // Opens the port (its EComError propagates, the link stays
    // disconnected) and starts the check; the owner then calls
    // ConnectionTick once a second.
    void Connect();
    // One second of the check: completes it once "X" has arrived, else
    // sends "Z" (four times); the fifth tick without readiness fails it.
    void ConnectionTick();
    // After a failed check: four more queries, or give up and close.
    void RetryConnection();
    void Disconnect();

    ConnectionState Connection() const { return connection_; }
    int CheckAttempt() const { return attempt_; }
    bool DeviceReady() const { return deviceReady_; }
    bool HoldActive() const { return holdActive_; }
    int FieldSource() const { return fieldSource_; }
    bool SpectrometerOn() const { return spectrometerOn_; }
    const std::string& UnitSerial() const { return unitSerial_; }
    const std::string& DeviceVersion() const { return deviceVersion_; }
    std::int32_t SignalDivisor() const { return signalDivisor_; }
    const std::array<std::int32_t, 4>& FieldZeroOffsets() const { return fieldZeroOffsets_; }
    int OutOfRangeCount() const { return outOfRange_; }
    // Subtracted from every point (the DC offset control).
    void SetDCOffset(int offset) { dcOffset_ = offset; }
    // The line being assembled (its overlong runs are counted there).
    const LineAssembler& ReceivedLine() const { return rxLine_; }
    // While this answers true, reply lines are reported but not acted on
    // (the service window's monitor without analysis).
    void SetRepliesBlocked(std::function<bool()> blocked) { repliesBlocked_ = std::move(blocked); }

    const CommandSender& Commands() const { return commands_; }
    Accumulation& Run() { return run_; }
    const Accumulation& Run() const { return run_; }
    RunState State() const { return run_.State(); }

    // Sends every parameter of a setup, as loading it in the window does;
    // a mode the field source cannot serve falls back (ESR <-> NMR 1H).
    // Returns the mode sent.
    TResonanceMode SendSetup(const TSetupRecord& setup);
    bool ModeAvailable(TResonanceMode mode) const;
    // The run of a setup in a mode: its passes, sweep axis and the texts of
    // the data file's header, as the window's controls would show them.
    RunSettings SettingsFor(const TSetupRecord& setup, TResonanceMode mode) const;

    // The port's handlers; public for owners that drive a port themselves.
    void LineEvent();
    void PowerLineChanged();
    void PortLost(const EComError& error);
    void Dispatch(const Reply& reply);

private:
    void SetDeviceReady(bool ready);
    void SetFieldSource(int code);
    void SetConnection(ConnectionState state);
    void DropConnection();
    void Report(const std::exception& e);

    ISerialPort& port_;
    IAcquisitionObserver& observer_;
    bool deviceReady_ = false;
    CommandSender commands_{&port_, &deviceReady_};
    Accumulation run_{commands_, observer_};
    std::function<bool()> repliesBlocked_;
    LineAssembler rxLine_;
    ConnectionState connection_ = ConnectionState::Disconnected;
    int attempt_ = 0;
    bool holdActive_ = false;
    int fieldSource_ = 0;
    bool spectrometerOn_ = false;
    std::string unitSerial_;
    std::string deviceVersion_;
    std::int32_t signalDivisor_ = 0;
    std::array<std::int32_t, 4> fieldZeroOffsets_{};
    int outOfRange_ = 0;
    int dcOffset_ = 0;
};

} // namespace tavi
