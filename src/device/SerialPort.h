// SPDX-License-Identifier: GPL-3.0-or-later
// What the program needs of a serial port. TCustomComPort implements it on
// termios; tests implement it with a fake whose lines they read and feed.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavi {

// The error type of the serial layer: an error code (errno, or 0 for the
// layer's own checks) and a message text.
class EComError : public std::runtime_error {
public:
    EComError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

enum TModemStatusValue : std::uint8_t { msCTS = 0, msDSR = 1, msRing = 2, msRLSD = 3 };
// Set of TModemStatusValue as bits 0..3.
using TModemStatus = std::uint8_t;
inline constexpr TModemStatus ModemBit(TModemStatusValue v) {
    return static_cast<TModemStatus>(1u << v);
}

// How the reader thread reaches the UI thread: Post queues a task to run there;
// ShowError is the application's general error display.
class IEventContext {
public:
    virtual ~IEventContext() = default;
    virtual void Post(std::function<void()> task) = 0;
    virtual void ShowError(std::exception_ptr error) = 0;
};

class ISerialPort {
public:
    virtual ~ISerialPort() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool Active() const = 0;
    virtual void WriteText(std::string_view text) = 0;
    virtual char ReadChar() = 0;
    virtual int WaitingCount() = 0;
    virtual TModemStatus ModemStatus() = 0;
    virtual void PurgeIn() = 0;
    virtual void PurgeOut() = 0;
    virtual std::string DeviceName() const = 0;
    virtual void SetDeviceName(const std::string& name) = 0;

    // Event handlers; they run on the UI thread.
    std::function<void()> OnRxFlag;
    std::function<void()> OnDSRChange;
    std::function<void()> OnCTSChange;
    // The device vanished while open (hang-up, EIO, ENXIO); raised once.
    std::function<void(const EComError&)> OnDeviceLost;
};

} // namespace tavi
