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

// What the reply dispatch drives: the passes of a run. The accumulation is
// the one every program runs on; an owner with a pass display of its own may
// take the replies instead.
class IPassReplies {
public:
    virtual ~IPassReplies() = default;
    virtual RunState State() const = 0;
    // The 1-based number of the pass being taken.
    virtual int PassCounter() const = 0;
    virtual void BeginPass(int points) = 0; // "A"
    virtual void PassRunning() = 0;         // "B"
    virtual void StorePoint(int value, bool holdActive) = 0;
    virtual void EndPass() = 0;    // "C"
    virtual void DeviceIdle() = 0; // "D"
    virtual void Aborting() = 0;   // "F"
    // The device is gone (power off, lost port, readiness dropped): no "D"
    // will come.
    virtual void CutShort() = 0;
};

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
    virtual void RunStateChanged(RunState /*state*/) {}
    virtual void PassBegun(int /*pass*/, int /*points*/) {}
    virtual void PointStored(int /*index*/, int /*value*/) {}
    // Every point of the pass is in: the sums and the average are up to date.
    virtual void PassEnded(int /*pass*/) {}
    virtual void ExperimentFinished() {}
    virtual void RunAborted() {}
    // A failure that does not stop the link or the run (a damaged reply, a
    // recovery file that cannot be written, a port error inside a handler).
    virtual void Problem(const std::string& /*message*/) {}
};

} // namespace tavi
