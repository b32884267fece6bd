// SPDX-License-Identifier: GPL-3.0-or-later
// The named states of a run and of the connection, and the interface through
// which the spectrometer link and the accumulation report to their owner.
#pragma once

#include <cstdint>
#include <string>

namespace tavi {

// The experiment state; the values are the device state codes the window and
// its tests rely on.
enum class RunState : std::uint8_t {
    Idle = 0,      // idle or not connected
    SettingUp = 1, // "A": the device sets up a pass
    Running = 2,   // "B"
    PassEnded = 3, // "C": waiting for "D"
    Aborting = 4,  // "F"
    Aborted = 5,   // "D" after "F"
    Finished = 10  // "D" after the last pass
};

// States 1 to 4: a measurement is in progress.
constexpr bool Measuring(RunState s) {
    return s >= RunState::SettingUp && s <= RunState::Aborting;
}

enum class ConnectionState : std::uint8_t { Disconnected, Checking, Connected };

// Every report runs on the thread that handles the port's events. Empty
// defaults, so an owner overrides only what it shows.
class IAcquisitionObserver {
public:
    virtual ~IAcquisitionObserver() = default;
    // Every complete reply line, before the gate (the service monitor).
    virtual void LineReceived(const std::string& /*line*/) {}
    virtual void ConnectionChanged(ConnectionState /*state*/) {}
    // No "X" within the connection check's five seconds.
    virtual void ConnectionCheckFailed() {}
    virtual void IdentityChanged() {} // a "Z" reply
    // Readiness was set: by an "X", or dropped with the connection.
    virtual void DeviceReadySet(bool /*ready*/) {}
    virtual void FieldSourceChanged(int /*code*/) {}
    // The power line (DSR alone) changed; off has already dropped readiness.
    virtual void PowerChanged(bool /*on*/) {}
    // The port vanished; the link is closed and disconnected.
    virtual void DeviceLost(const std::string& /*message*/) {}
    virtual void DeviceError(const std::string& /*code*/) {} // an "E" reply
    virtual void HoldChanged(bool /*hold*/) {}
    // One more point beyond the converter's range in this experiment.
    virtual void OutOfRangeCounted(int /*count*/) {}
    virtual void RunStateChanged(RunState /*state*/) {}
    virtual void PassBegun(int /*pass*/, int /*points*/) {}
    virtual void PointStored(int /*index*/, int /*value*/) {}
    // On hold: the pass's last point follows the live signal (nothing summed).
    virtual void HeldPointChanged(int /*index*/, int /*value*/) {}
    // Every point of the pass is in: the sums and the average are up to date.
    virtual void PassEnded(int /*pass*/) {}
    virtual void ExperimentFinished() {}
    virtual void RunAborted() {}
    // A "D" reached the run, before it acts on it (the next start command,
    // the end of the experiment), and once it has.
    virtual void IdleReplyArrived() {}
    virtual void IdleReplyHandled() {}
    // The device is gone while a run waited for it; `before` is the state it
    // was in. The run is idle now.
    virtual void RunCutShort(RunState /*before*/) {}
    // The recovery file could not be written; said once per run.
    virtual void RecoveryFailed(const std::string& message) { Problem(message); }
    // A failure that does not stop the link or the run (a damaged reply, a
    // recovery file that cannot be written, a port error inside a handler).
    virtual void Problem(const std::string& /*message*/) {}
};

} // namespace tavi
