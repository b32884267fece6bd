// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port on POSIX termios: a port object used from the UI thread and
// a reader thread that waits for port events and has the UI thread run the
// handlers while it waits.
#pragma once

#include "device/SerialOs.h"
#include "device/SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tavi {

// Each enumeration's ...Default value leaves the port's (or the process's)
// current setting as it is.
enum TBaudRate : std::uint8_t {
    brDefault,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br19200,
    br38400,
    br57600,
    br115200
};
enum TDataBits : std::uint8_t { dbDefault, db5, db6, db7, db8 };
enum TParity : std::uint8_t { paDefault, paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sbDefault, sb1, sb1_5, sb2 };
enum TDTRControl : std::uint8_t { dcDefault, dcDisable, dcEnable, dcHandshake };
enum TRTSControl : std::uint8_t { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };
enum TXOnXOffControl : std::uint8_t { xcDefault, xcDisable, xcInput, xcOutput, xcInOut };
enum TPriorityClass : std::uint8_t { pcDefault, pcIdle, pcNormal, pcHigh, pcRealTime };

enum TComOption : std::uint8_t {
    opCheckParity,
    opOutputCTSFlow,
    opOutputDSRFlow,
    opDSRSensitivity,
    opTXContinueOnXOff,
    opUseErrorChar,
    opDiscardNullBytes,
    opAbortOnError
};
// Set of TComOption as bits.
using TComOptions = std::uint8_t;
inline constexpr TComOptions OptionBit(TComOption o) {
    return static_cast<TComOptions>(1u << o);
}

// Line errors reported with the line-error event.
enum TLineError : std::uint8_t { leBreak, leFrame, leOverrun, leRxOver, leRxParity, leTxFull };
using TLineErrors = std::uint8_t;

struct TComFlowControl {
    TDTRControl DTR = dcDefault;
    TRTSControl RTS = rcDefault;
    TXOnXOffControl XOnXOff = xcDefault;
};

struct TComCharacters {
    char Event = '\r';
    char XOn = 17;
    char XOff = 19;
    char Error = 0;
    char Eof = 0;
};

struct TComBufferSizes {
    int Input = 4096;
    int Output = 2048;
};

// Milliseconds, as the classic serial time-outs: all 0 means wait until
// complete. ReadInterval = MAXDWORD with the read fields 0 means "return at
// once with what is there".
struct TComTimeouts {
    std::uint32_t ReadInterval = 0;
    std::uint32_t ReadMultiplier = 0;
    std::uint32_t ReadConstant = 0;
    std::uint32_t WriteMultiplier = 0;
    std::uint32_t WriteConstant = 0;
};

// Port events, in the order their handlers run in one delivery.
enum TComEvent : std::uint16_t {
    evBreak = 1u << 0,
    evCTS = 1u << 1,
    evDSR = 1u << 2,
    evError = 1u << 3,
    evEvent1 = 1u << 4,
    evEvent2 = 1u << 5,
    evPrinterError = 1u << 6,
    evRing = 1u << 7,
    evRLSD = 1u << 8,
    evRx80Full = 1u << 9,
    evRxChar = 1u << 10,
    evRxFlag = 1u << 11,
    evTxEmpty = 1u << 12
};
using TComEvents = std::uint16_t;

class TComThread;
struct TComSession;

class TCustomComPort : public ISerialPort {
public:
    explicit TCustomComPort(IEventContext& context, ISerialOs& os = RealSerialOs());
    ~TCustomComPort() override;
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    void Open() override;
    // Must run on the thread the event context posts to (the UI thread).
    void Close() override;
    bool Active() const override;
    void SetActive(bool active);

    void WriteText(std::string_view text) override;
    char ReadChar() override;
    int WaitingCount() override;
    TModemStatus ModemStatus() override;
    void PurgeIn() override;
    void PurgeOut() override;

    std::string DeviceName() const override { return deviceName_; }
    void SetDeviceName(const std::string& name) override;
    // The file the device name stands for: "COM1".."COM4" are the first four
    // serial ports, anything else is a path.
    static std::string DevicePath(const std::string& deviceName);

    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    const TComFlowControl& FlowControl() const { return flowControl_; }
    void SetFlowControl(const TComFlowControl& value);
    const TComCharacters& Characters() const { return characters_; }
    void SetCharacters(const TComCharacters& value);
    const TComBufferSizes& BufferSizes() const { return bufferSizes_; }
    void SetBufferSizes(const TComBufferSizes& value);
    const TComTimeouts& Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts& value);
    TComOptions Options() const { return options_; }
    void SetOptions(TComOptions value);
    TPriorityClass PriorityClass() const { return priorityClass_; }
    void SetPriorityClass(TPriorityClass value);
    bool SynchronizeEvents() const { return synchronizeEvents_; }
    void SetSynchronizeEvents(bool value);

    // Bytes the reader thread has taken from the device and not yet handed
    // out; never more than the Input buffer size.
    std::size_t QueuedCount() const;

    // Further handlers, run in the delivery order of TComEvent.
    std::function<void()> OnBreak;
    std::function<void(TLineErrors)> OnLineError;
    std::function<void()> OnRing;
    std::function<void()> OnRLSDChange;
    std::function<void()> OnRx80Full;
    std::function<void(int)> OnRxChar;
    std::function<void()> OnTxEmpty;

private:
    friend class TComThread;

    void CloseDevice();
    void ApplyLineSettings(bool opening);
    void ApplyModemControl();
    void ApplySessionSettings();
    TComEvents HandledEvents() const;
    void Deliver(const std::shared_ptr<TComSession>& session, TComEvents events, int rxCount);
    void ReportLost(const std::shared_ptr<TComSession>& session);
    int TakeInWithoutNulls(int pendingInKernel);
    void RequireOpen() const;
    void RequireClosedFor(bool changed) const;

    IEventContext& context_;
    ISerialOs& os_;
    std::shared_ptr<TComSession> session_;
    std::unique_ptr<TComThread> thread_;
    int fd_ = -1;
    std::string path_;
    bool hasModemLines_ = false;
    bool priorityChanged_ = false;
    int savedNice_ = 0;

    std::string deviceName_ = "COM2";
    TBaudRate baudRate_ = br9600;
    TDataBits dataBits_ = db8;
    TParity parity_ = paNone;
    TStopBits stopBits_ = sb1;
    TComFlowControl flowControl_;
    TComCharacters characters_;
    TComBufferSizes bufferSizes_;
    TComTimeouts timeouts_;
    TComOptions options_ = 0;
    TPriorityClass priorityClass_ = pcDefault;
    bool synchronizeEvents_ = true;
};

// The port class the program uses.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// The settings of the spectrometer line: "COM1", 19200 baud 8N2, DTR and RTS
// inactive, CR as event character, 10000-byte buffers, no time-outs, real-time
// priority while open.
void ConfigureSpectrometerPort(TCustomComPort& port);

} // namespace tavi
