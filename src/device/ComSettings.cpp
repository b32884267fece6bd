// SPDX-License-Identifier: GPL-3.0-or-later
// The port's settings: termios line settings, modem-control lines, the
// properties that change them, and the spectrometer's line.
#include "device/ComSession.h"

#include <cerrno>
#include <termios.h>

namespace tavi {

using namespace com;

namespace {

speed_t SpeedOf(TBaudRate rate) {
    switch (rate) {
    case br110:
        return B110;
    case br300:
        return B300;
    case br600:
        return B600;
    case br1200:
        return B1200;
    case br2400:
        return B2400;
    case br4800:
        return B4800;
    case br9600:
        return B9600;
    case br19200:
        return B19200;
    case br38400:
        return B38400;
    case br57600:
        return B57600;
    case br115200:
        return B115200;
    case brDefault:
        break;
    }
    return B0;
}


// Changes a setting of an open port and keeps it only once the device has
// taken it: a refused one stays out, so the property tells what is in force
// and the next Open does not fail on it again. What was applied before the
// refusal is put back as far as the device lets it.
template <class T, class Apply>
void KeepIfApplied(T& setting, const T& value, bool active, Apply apply) {
    const T old = setting;
    setting = value;
    if (!active)
        return;
    try {
        apply();
    } catch (...) {
        std::exception_ptr refused = std::current_exception();
        setting = old;
        try {
            apply();
        } catch (...) {
            // the refusal is what the caller needs to hear about
        }
        std::rethrow_exception(refused);
    }
}

} // namespace

void TCustomComPort::ApplySessionSettings() {
    if (!session_)
        return;
    std::lock_guard lock(session_->mutex);
    session_->capacity = static_cast<std::size_t>(std::max(1, bufferSizes_.Input));
    session_->eventChar = characters_.Event;
    session_->discardNulls = (options_ & OptionBit(opDiscardNullBytes)) != 0;
    session_->mask = HandledEvents();
    session_->Wake(); // a larger queue may let the reader go on
}

TComEvents TCustomComPort::HandledEvents() const {
    TComEvents mask = 0;
    if (OnBreak)
        mask |= evBreak;
    if (OnCTSChange)
        mask |= evCTS;
    if (OnDSRChange)
        mask |= evDSR;
    if (OnLineError)
        mask |= evError;
    if (OnRing)
        mask |= evRing;
    if (OnRLSDChange)
        mask |= evRLSD;
    if (OnRx80Full)
        mask |= evRx80Full;
    if (OnRxChar)
        mask |= evRxChar;
    if (OnRxFlag)
        mask |= evRxFlag;
    if (OnTxEmpty)
        mask |= evTxEmpty;
    return mask;
}

void TCustomComPort::ApplyLineSettings(bool opening) {
    termios t{};
    if (os_.GetAttr(fd_, &t) != 0)
        throw SystemError(errno, "tcgetattr " + path_);
    if (opening) {
        // Raw mode is the starting point: no echo, no line editing, no
        // character translation and no XON/XOFF unless asked for.
        ::cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
    }
    t.c_cflag |= CLOCAL | CREAD;
    if (baudRate_ != brDefault) {
        ::cfsetispeed(&t, SpeedOf(baudRate_));
        ::cfsetospeed(&t, SpeedOf(baudRate_));
    }
    if (dataBits_ != dbDefault) {
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
        static constexpr tcflag_t sizes[] = {CS8, CS5, CS6, CS7, CS8};
        t.c_cflag |= sizes[dataBits_];
    }
    if (parity_ != paDefault) {
        t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
        switch (parity_) {
        case paOdd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case paEven:
            t.c_cflag |= PARENB;
            break;
        case paMark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case paSpace:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
        }
    }
    if (stopBits_ == sb1)
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    else if (stopBits_ != sbDefault)
        t.c_cflag |= CSTOPB; // 1.5 stop bits exist only as CSTOPB with 5 data bits
    bool hardwareFlow = flowControl_.RTS == rcHandshake || (options_ & OptionBit(opOutputCTSFlow));
    if (hardwareFlow)
        t.c_cflag |= CRTSCTS;
    else if (flowControl_.RTS != rcDefault)
        t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (flowControl_.XOnXOff != xcDefault) {
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        if (flowControl_.XOnXOff == xcInput || flowControl_.XOnXOff == xcInOut)
            t.c_iflag |= IXOFF;
        if (flowControl_.XOnXOff == xcOutput || flowControl_.XOnXOff == xcInOut)
            t.c_iflag |= IXON;
    }
    t.c_cc[VSTART] = static_cast<cc_t>(characters_.XOn);
    t.c_cc[VSTOP] = static_cast<cc_t>(characters_.XOff);
    if (options_ & OptionBit(opCheckParity)) {
        t.c_iflag |= INPCK;
        t.c_iflag &= ~static_cast<tcflag_t>(IGNPAR);
    } else {
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    }
    if (os_.SetAttr(fd_, &t) != 0)
        throw SystemError(errno, "tcsetattr " + path_);
}

void TCustomComPort::ApplyModemControl() {
    auto change = [this](unsigned long request, int bits, const char* name) {
        if (os_.Ioctl(fd_, request, &bits) != 0 && !NoModemLines(errno))
            throw SystemError(errno, std::string(name) + " " + path_);
    };
    switch (flowControl_.DTR) {
    case dcDisable:
        change(TIOCMBIC, TIOCM_DTR, "TIOCMBIC");
        break;
    case dcEnable:
    case dcHandshake: // no DTR/DSR flow control here: keep DTR raised
        change(TIOCMBIS, TIOCM_DTR, "TIOCMBIS");
        break;
    case dcDefault:
        break;
    }
    switch (flowControl_.RTS) {
    case rcDisable:
    case rcToggle: // idle level of a toggled RTS
        change(TIOCMBIC, TIOCM_RTS, "TIOCMBIC");
        break;
    case rcEnable:
        change(TIOCMBIS, TIOCM_RTS, "TIOCMBIS");
        break;
    case rcHandshake: // the driver drives RTS (CRTSCTS)
    case rcDefault:
        break;
    }
}

// ---------------------------------------------------------------------------
// Settings

void TCustomComPort::SetDeviceName(const std::string& name) {
    RequireClosedFor(name != deviceName_);
    deviceName_ = name;
}

void TCustomComPort::SetPriorityClass(TPriorityClass value) {
    RequireClosedFor(value != priorityClass_);
    priorityClass_ = value;
}

void TCustomComPort::SetSynchronizeEvents(bool value) {
    RequireClosedFor(value != synchronizeEvents_);
    synchronizeEvents_ = value;
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
    KeepIfApplied(baudRate_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetDataBits(TDataBits value) {
    KeepIfApplied(dataBits_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetParity(TParity value) {
    KeepIfApplied(parity_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetStopBits(TStopBits value) {
    KeepIfApplied(stopBits_, value, Active(), [this] { ApplyLineSettings(false); });
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
    KeepIfApplied(flowControl_, value, Active(), [this] {
        ApplyLineSettings(false);
        ApplyModemControl();
    });
}

void TCustomComPort::SetCharacters(const TComCharacters& value) {
    KeepIfApplied(characters_, value, Active(), [this] {
        ApplyLineSettings(false);
        ApplySessionSettings();
    });
}

void TCustomComPort::SetBufferSizes(const TComBufferSizes& value) {
    bufferSizes_ = value;
    if (Active())
        ApplySessionSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
    timeouts_ = value;
}

void TCustomComPort::SetOptions(TComOptions value) {
    KeepIfApplied(options_, value, Active(), [this] {
        ApplyLineSettings(false);
        ApplySessionSettings();
    });
}

void ConfigureSpectrometerPort(TCustomComPort& port) {
    port.SetDeviceName("COM1");
    port.SetBaudRate(br19200);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb2);
    port.SetFlowControl({dcDisable, rcDisable, xcDefault});
    port.SetCharacters({'\r', 17, 19, 0, 0});
    port.SetBufferSizes({10000, 10000});
    port.SetTimeouts({});
    port.SetOptions(0);
    port.SetPriorityClass(pcRealTime);
    port.SetSynchronizeEvents(true);
}

} // namespace tavi