// SPDX-License-Identifier: GPL-3.0-or-later
// The connection check, the reply dispatch and the device state.
#include "acquisition/SpectrometerLink.h"

#include "common/Usr.h"
#include "params/UTextTbl.h"

namespace tavi {

SpectrometerLink::SpectrometerLink(ISerialPort& port, IAcquisitionObserver& observer)
    : port_(port), observer_(observer) {
    port_.OnRxFlag = [this] { LineEvent(); };
    port_.OnDSRChange = [this] { PowerLineChanged(); };
    port_.OnCTSChange = [this] { PowerLineChanged(); };
    port_.OnDeviceLost = [this](const EComError& e) { PortLost(e); };
}

SpectrometerLink::~SpectrometerLink() {
    port_.OnRxFlag = nullptr;
    port_.OnDSRChange = nullptr;
    port_.OnCTSChange = nullptr;
    port_.OnDeviceLost = nullptr;
}

void SpectrometerLink::Report(const std::exception& e) {
    observer_.Problem(e.what());
}

void SpectrometerLink::SetConnection(ConnectionState state) {
    if (connection_ == state)
        return;
    connection_ = state;
    observer_.ConnectionChanged(state);
}

// ---- the connection check ----

void SpectrometerLink::Connect() {
    port_.PurgeIn();
    port_.PurgeOut();
    port_.Open();
    unitSerial_.clear(); // so a failed check tells whether this attempt got an answer
    spectrometerOn_ = port_.ModemStatus() == ModemBit(msDSR);
    SetFieldSource(3); // nothing is served until the device says what it has
    attempt_ = kCheckStarted;
    SetConnection(ConnectionState::Checking);
}

void SpectrometerLink::ConnectionTick() {
    if (attempt_ < kCheckStarted || attempt_ > kCheckGivenUp)
        return; // no check running
    try {
        if (deviceReady_) {
            attempt_ = 0;
            port_.PurgeIn();
            port_.PurgeOut();
            commands_.Send(lines::ReadyAck());
            SetConnection(ConnectionState::Connected);
            return;
        }
        ++attempt_;
        if (attempt_ < kCheckGivenUp)
            commands_.SendIdentify();
    } catch (const std::exception& e) {
        Report(e);
    }
    if (attempt_ < kCheckGivenUp)
        return;
    attempt_ = 0;
    observer_.ConnectionCheckFailed();
}

void SpectrometerLink::RetryConnection() {
    attempt_ = kCheckStarted;
}

void SpectrometerLink::Disconnect() {
    attempt_ = 0;
    DropConnection();
}

void SpectrometerLink::DropConnection() {
    SetDeviceReady(false); // ends a run cut short
    spectrometerOn_ = false;
    rxLine_.Clear();
    if (port_.Active()) {
        try {
            port_.Close();
        } catch (const std::exception&) {
            // The device is gone already; nothing more to release.
        }
    }
    SetConnection(ConnectionState::Disconnected);
}

void SpectrometerLink::PowerLineChanged() {
    bool on = false;
    try {
        on = port_.ModemStatus() == ModemBit(msDSR);
    } catch (const std::exception& e) {
        Report(e);
        return;
    }
    if (on == spectrometerOn_)
        return;
    spectrometerOn_ = on;
    if (!on) {
        SetDeviceReady(false); // ends a run cut short
        // The port stays open: "Connect" checks again on it.
        SetConnection(ConnectionState::Disconnected);
    }
    observer_.PowerChanged(on);
}

void SpectrometerLink::PortLost(const EComError& error) {
    attempt_ = 0;
    DropConnection();
    observer_.DeviceLost("The connection to the spectrometer on " + port_.DeviceName() +
                         " was lost (" + error.what() + ").");
}

// ---- replies ----

void SpectrometerLink::LineEvent() {
    try {
        while (port_.WaitingCount() > 0) {
            bool complete = false;
            do {
                complete = rxLine_.Push(port_.ReadChar());
                if (rxLine_.CutLineEnded())
                    observer_.LineReceived(rxLine_.CutLine());
            } while (!complete && port_.WaitingCount() > 0);
            if (!complete)
                return; // the rest of the line comes with a later event
            // Taken out before acting: a report may run a nested event loop.
            const std::string line = rxLine_.Line();
            rxLine_.Clear();
            observer_.LineReceived(line);
            if (repliesBlocked_ && repliesBlocked_())
                continue;
            if (!(deviceReady_ || line[0] == 'X' || line[0] == 'Z'))
                continue;
            try {
                Dispatch(DecodeReply(line));
            } catch (const EConvertError& e) {
                // A later pass begins whatever its count field holds, or its
                // points would all be dropped while the pass is counted.
                if (line[0] == 'A' && run_.PassCounter() != 1)
                    run_.BeginPass(0);
                Report(e);
            }
        }
    } catch (const std::exception& e) {
        Report(e);
    }
}

void SpectrometerLink::Dispatch(const Reply& reply) {
    switch (reply.kind) {
    case Reply::A:
        if (run_.PassCounter() == 1)
            outOfRange_ = 0; // counted per experiment
        run_.BeginPass(reply.points);
        break;
    case Reply::B:
        run_.PassRunning();
        break;
    case Reply::C:
        run_.EndPass();
        break;
    case Reply::D:
        if (holdActive_) {
            holdActive_ = false;
            observer_.HoldChanged(false);
        }
        run_.DeviceIdle();
        break;
    case Reply::E:
        observer_.DeviceError(reply.errorText);
        break;
    case Reply::F:
        run_.Aborting();
        break;
    case Reply::H:
        holdActive_ = reply.hold;
        observer_.HoldChanged(reply.hold);
        break;
    case Reply::M:
        SetFieldSource(reply.fieldSource);
        break;
    case Reply::V:
        if (signalDivisor_ == 0)
            break; // no "Z" yet: the point cannot be scaled
        if (reply.outOfRange)
            observer_.OutOfRangeCounted(++outOfRange_);
        run_.StorePoint(reply.raw / signalDivisor_ - dcOffset_, holdActive_);
        break;
    case Reply::X:
        fieldZeroOffsets_[rmH1] = reply.firstOffset;
        fieldZeroOffsets_[rmF19] = reply.firstOffset;
        fieldZeroOffsets_[rmESR] = reply.secondOffset;
        SetDeviceReady(true);
        break;
    case Reply::Z:
        unitSerial_ = reply.serial.substr(0, 4);
        deviceVersion_ = reply.version.substr(0, 3);
        signalDivisor_ = deviceVersion_ == "2.0" ? 76000 : 13500;
        observer_.IdentityChanged();
        break;
    case Reply::Ignored:
        break;
    }
}

void SpectrometerLink::SetDeviceReady(bool ready) {
    deviceReady_ = ready;
    if (!ready) {
        // No "D" will end a hold either: the controls it froze come back.
        if (holdActive_) {
            holdActive_ = false;
            observer_.HoldChanged(false);
        }
        run_.CutShort();
        fieldSource_ = 0;
    }
    observer_.DeviceReadySet(ready);
}

void SpectrometerLink::SetFieldSource(int code) {
    if (code < 0 || code > 5 || code == fieldSource_)
        return; // above 5: no text and no meaning
    fieldSource_ = code;
    observer_.FieldSourceChanged(code);
}

bool SpectrometerLink::ModeAvailable(TResonanceMode mode) const {
    switch (fieldSource_) {
    case 1:
        return mode != rmESR;
    case 2:
        return mode == rmESR;
    case 4:
    case 0:
        return true;
    default:
        return false;
    }
}

// ---- a setup's parameters ----

TResonanceMode SpectrometerLink::SendSetup(const TSetupRecord& setup) {
    auto mode = static_cast<TResonanceMode>(setup.Mode < kModeCount ? setup.Mode : 0);
    if (!ModeAvailable(mode))
        mode = mode == rmESR ? rmH1 : rmESR;
    const int esr = mode == rmESR ? 1 : 0;
    dcOffset_ = setup.DCOffset;
    const auto pos = [](std::int32_t v) { return static_cast<std::int16_t>(v); };
    commands_.Send(lines::Gain(pos(setup.Gain)));
    commands_.Send(lines::Phase(pos(setup.Phase[mode])));
    commands_.Send(lines::FreqSweepRange(FreqSweepRangeKHzRounded(setup.FreqSweepRange) * 1000));
    commands_.Send(lines::ModAmp(esr, ModAmpGs(setup.ModAmp)));
    commands_.Send(lines::SweepTime(pos(setup.SweepTime)));
    commands_.Send(lines::Mode(ModeCommandDigit(mode)));
    commands_.Send(lines::FieldSweepRange(esr, pos(setup.FieldSweepRange[mode])));
    commands_.Send(lines::FieldTuning(pos(setup.B0[mode])));
    commands_.Send(lines::Frequency(FrequencyHz(mode, setup.Frequency[mode])));
    commands_.Send(lines::CurrentDirection(true)); // the direction is not part of a setup
    return mode;
}

RunSettings SpectrometerLink::SettingsFor(const TSetupRecord& setup, TResonanceMode mode) const {
    const int esr = mode == rmESR ? 1 : 0;
    RunSettings run;
    run.Passes = setup.Accumulations;
    run.FrequencySweep = setup.FieldSweep == 0 && mode != rmESR;
    const double range = run.FrequencySweep
                             ? FreqSweepRangeKHzRounded(setup.FreqSweepRange)
                             : FieldSweepRangeGs(esr, setup.FieldSweepRange[mode]);
    run.XMin = -range / 2;
    run.XMax = range / 2;
    DataFileSettings& h = run.Header;
    h.ModeText = ModeCaption(mode);
    h.FrequencyText = FormatFrequency(mode, setup.Frequency[mode]);
    h.FieldB0Text = FormatB0(mode, true, setup.B0[mode], fieldZeroOffsets_[mode]);
    h.ModAmpText = FormatModAmp(setup.ModAmp);
    h.SweepTimeText = FormatSweepTime(setup.SweepTime);
    h.GainText = FormatGain(setup.Gain);
    h.PhaseText = FormatPhase(setup.Phase[mode]);
    h.FieldSweep = run.FrequencySweep ? 0 : 1;
    h.SweepRange = static_cast<float>(range);
    return run;
}

} // namespace tavi
