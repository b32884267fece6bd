// SPDX-License-Identifier: GPL-3.0-or-later
// The run of an experiment without a window: the pass state machine, the
// 32-bit sums, the ring of the last five passes with their average, the
// recovery file after each finished pass, and saving the data file.
#pragma once

#include "acquisition/AcquisitionObserver.h"
#include "device/UOutMess.h"
#include "processing/DataFile.h"
#include "processing/RecoveryFile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tavi {

struct RunSettings {
    int Passes = 1; // may change during a run (SetPasses)
    bool Loop = false;
    bool FrequencySweep = false;
    // The sweep axis: the X of point i is XMin + i * (XMax - XMin) / (N - 1).
    double XMin = 0;
    double XMax = 0;
    // The header of the data file; AccText is filled in when saving.
    DataFileSettings Header;
    // When set, the header as it is at the moment of writing (an owner whose
    // controls may change after the start); it replaces Header.
    std::function<DataFileSettings()> HeaderNow;
    // The folder of the recovery file kept after every finished pass (empty:
    // none), and the run's name that the file carries.
    std::string RecoveryDir;
    std::string RecoveryRunName;
};

class Accumulation final {
public:
    static constexpr int kRingSize = 5;

    Accumulation(const CommandSender& commands, IAcquisitionObserver& observer)
        : commands_(commands), observer_(observer) {}

    void Configure(const RunSettings& settings) { settings_ = settings; }
    const RunSettings& Settings() const { return settings_; }
    void SetPasses(int passes) { settings_.Passes = passes; }

    // Sends the first start command. The last run stays saveable until the
    // device begins the new one's first pass (it may never answer).
    void Start();
    // The device answers "F" and "D"; a pass that ends before the abort
    // reaches it is not followed by another.
    void Abort();
    void Hold(bool hold) const;

    // The reply dispatch of the link drives these.
    void BeginPass(int points);  // "A"
    void PassRunning();          // "B"
    void StorePoint(int value, bool holdActive);
    void EndPass();              // "C"
    void DeviceIdle();           // "D"
    void Aborting();             // "F"
    // The device is gone (power off, lost port, readiness dropped): no "D"
    // will come.
    void CutShort();

    RunState State() const { return state_; }
    // 1 for every Loop pass.
    int PassCounter() const { return passCounter_; }
    // For an owner that shows or restores a run it did not start (no report).
    void SetState(RunState state) { state_ = state; }
    void SetPassCounter(int pass) { passCounter_ = pass; }
    // Drops the sums (the next first pass starts from an empty buffer).
    void ClearSums() { sums_.clear(); }
    // Start was pressed and the device has not begun the new run yet.
    bool NewRunPending() const { return newRunPending_; }
    int NextPointIndex() const { return nextPoint_; }
    int PointCount() const { return static_cast<int>(sums_.size()); }
    bool Complete() const { return complete_; }
    // Passes whose every point is in the finished sums.
    int FinishedPasses() const { return finishedPasses_; }
    std::span<const std::int32_t> Sums() const { return sums_; }
    std::span<const std::int32_t> FinishedSums() const { return finishedSums_; }
    // The ring slot of the pass being taken, and a slot's points (newest
    // pass in CurrentSlot, older ones backwards from it).
    int CurrentSlot() const { return currentSlot_; }
    const std::vector<int>& RingPass(int slot) const { return ring_[static_cast<std::size_t>(slot)]; }
    // Sum / pass counter per point: the average of the passes so far.
    std::vector<double> Average() const;
    double PointStep() const { return pointStep_; }
    // Passes kept in the recovery file (0: none written, or it was removed).
    int RecoveryPassesKept() const { return recoveryKept_; }
    // The recovery file is of a Loop run.
    bool RecoveryLoop() const { return recoveryLoop_; }
    // The recovery file written last; empty before the first.
    const std::string& RecoveryPath() const { return recovery_.Path(); }

    // What Save would write: the complete run, or the finished passes of a
    // cut one (with their true count); empty when nothing is finished.
    bool HasDataToSave() const { return complete_ || finishedPasses_ > 0; }
    // Writes the data file; removes the recovery file once it is written.
    bool Save(const std::string& path, std::string* error);
    void RemoveRecovery();

private:
    void ChangeState(RunState state);
    // Another pass is due: a loop, or passes still to count.
    bool MorePasses() const;
    void NextPassOrFinish();
    void WriteRecovery();
    DataFileHeader HeaderWith(int passes) const;

    const CommandSender& commands_;
    IAcquisitionObserver& observer_;
    RunSettings settings_;
    RunState state_ = RunState::Idle;
    int passCounter_ = 0;
    int nextPoint_ = 0;
    int currentSlot_ = 0;
    double pointStep_ = 0;
    bool complete_ = false;
    bool recoveryWarned_ = false;
    bool newRunPending_ = false;
    bool armed_ = false; // a run was started: its passes go to the recovery file
    bool abortAsked_ = false;
    bool recoveryLoop_ = false;
    int finishedPasses_ = 0;
    int recoveryKept_ = 0;
    RecoveryWriter recovery_; // held locked, so no start-up takes it for a leftover
    std::vector<std::int32_t> sums_;
    std::vector<std::int32_t> finishedSums_;
    std::array<std::vector<int>, kRingSize> ring_;
};

// The sums as the data file stores them: little-endian 32-bit entries.
std::vector<std::uint8_t> SumBytes(std::span<const std::int32_t> sums);

} // namespace tavi
