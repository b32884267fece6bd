// SPDX-License-Identifier: GPL-3.0-or-later
// The pass state machine and the sums of a run.
#include "acquisition/Accumulation.h"

#include "processing/RecoveryFile.h"

#include <algorithm>

namespace tavi {

std::vector<std::uint8_t> SumBytes(std::span<const std::int32_t> sums) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(sums.size() * 4);
    for (std::int32_t v : sums) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    return bytes;
}

void Accumulation::ChangeState(RunState state) {
    if (state_ == state)
        return;
    state_ = state;
    observer_.RunStateChanged(state);
}

void Accumulation::Start() {
    commands_.Send(lines::StartSweep(settings_.FrequencySweep));
    passCounter_ = 1;
    newRunPending_ = true;
    armed_ = true;
    recoveryWarned_ = false;
    abortAsked_ = false;
}

void Accumulation::Abort() {
    abortAsked_ = true;
    commands_.Send(lines::Abort());
}

void Accumulation::Hold(bool hold) const {
    commands_.Send(lines::Hold(hold));
}

void Accumulation::BeginPass(int points) {
    if (newRunPending_) {
        // A new run: nothing of it is finished yet.
        newRunPending_ = false;
        complete_ = false;
        finishedPasses_ = 0;
        finishedSums_.clear();
    }
    if (passCounter_ == 1) {
        points = std::max(points, 0);
        // Entries below the old size keep their sums; new ones start at 0.
        sums_.resize(static_cast<std::size_t>(points), 0);
        pointStep_ = points >= 2 ? (settings_.XMax - settings_.XMin) / (points - 1) : 0.0;
    }
    nextPoint_ = 0;
    currentSlot_ = (currentSlot_ + 1) % kRingSize;
    ring_[static_cast<std::size_t>(currentSlot_)].clear();
    ChangeState(RunState::SettingUp);
    observer_.PassBegun(passCounter_, PointCount());
}

void Accumulation::PassRunning() {
    ChangeState(RunState::Running);
}

void Accumulation::StorePoint(int value, bool holdActive) {
    auto& pass = ring_[static_cast<std::size_t>(currentSlot_)];
    if (holdActive && nextPoint_ > 0) {
        // While on hold the last point follows the live signal; nothing is summed.
        if (static_cast<std::size_t>(nextPoint_) <= pass.size()) {
            pass[static_cast<std::size_t>(nextPoint_ - 1)] = value;
            observer_.HeldPointChanged(nextPoint_ - 1, value);
        }
        return;
    }
    if (nextPoint_ >= PointCount())
        return; // beyond the announced count
    auto& entry = sums_[static_cast<std::size_t>(nextPoint_)];
    // 32-bit wrap-around, as the stored sums.
    entry = passCounter_ > 1 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(entry) +
                                                         static_cast<std::uint32_t>(value))
                             : value;
    pass.push_back(value);
    ++nextPoint_; // the report sees the point counted
    observer_.PointStored(nextPoint_ - 1, value);
}

void Accumulation::EndPass() {
    ChangeState(RunState::PassEnded);
    if (passCounter_ >= 1 && !complete_ && armed_) {
        finishedSums_ = sums_;
        finishedPasses_ = settings_.Loop ? 1 : passCounter_;
        WriteRecovery();
    }
    observer_.PassEnded(passCounter_);
}

void Accumulation::DeviceIdle() {
    // The owner may play the sweep-end sound here, and change the pass count
    // or Loop for what follows.
    observer_.IdleReplyArrived();
    if (state_ == RunState::Aborting) {
        abortAsked_ = false;
        ChangeState(RunState::Aborted);
        observer_.RunAborted();
    } else if (state_ == RunState::PassEnded) {
        // With an abort on its way no pass is started: the device's "F" and
        // "D" end the run. A pass started now would be run to its end and
        // the abort lost.
        if (!(abortAsked_ && MorePasses()))
            NextPassOrFinish();
    }
    observer_.IdleReplyHandled();
}

bool Accumulation::MorePasses() const {
    return settings_.Loop || passCounter_ < settings_.Passes;
}

void Accumulation::NextPassOrFinish() {
    if (MorePasses()) {
        if (!settings_.Loop) // a loop runs until it is stopped, uncounted
            ++passCounter_;
        commands_.Send(lines::StartSweep(settings_.FrequencySweep));
        return;
    }
    complete_ = true;
    ChangeState(RunState::Finished);
    observer_.ExperimentFinished();
}

void Accumulation::Aborting() {
    ChangeState(RunState::Aborting);
}

void Accumulation::CutShort() {
    const RunState before = state_;
    nextPoint_ = 0;
    abortAsked_ = false;
    ChangeState(RunState::Idle);
    observer_.RunCutShort(before);
}

std::vector<double> Accumulation::Average() const {
    std::vector<double> out(sums_.size());
    const double passes = std::max(passCounter_, 1);
    std::transform(sums_.begin(), sums_.end(), out.begin(),
                   [passes](std::int32_t s) { return s / passes; });
    return out;
}

DataFileHeader Accumulation::HeaderWith(int passes) const {
    DataFileSettings header = settings_.HeaderNow ? settings_.HeaderNow() : settings_.Header;
    header.AccText = std::to_string(passes).substr(0, 3);
    return DataFileHeader::Build(header);
}

void Accumulation::WriteRecovery() {
    if (settings_.RecoveryDir.empty())
        return;
    std::string error;
    const std::vector<std::uint8_t> bytes = SumBytes(finishedSums_);
    if (recovery_.Write(settings_.RecoveryDir, settings_.RecoveryRunName, HeaderWith(finishedPasses_),
                        bytes, settings_.Loop ? 1 : settings_.Passes, settings_.Loop, &error)) {
        recoveryKept_ = finishedPasses_;
        recoveryLoop_ = settings_.Loop;
        return;
    }
    // Losing the crash copy must not stop the run, nor be told once per pass.
    if (recoveryWarned_)
        return;
    recoveryWarned_ = true;
    observer_.RecoveryFailed("The recovery file cannot be written: " + error +
                      "\nThe experiment goes on, but its finished passes are kept in memory only.");
}

bool Accumulation::Save(const std::string& path, std::string* error) {
    if (!HasDataToSave()) {
        if (error)
            *error = "No pass of this experiment was finished: there is nothing to save.";
        return false;
    }
    // A run cut short saves its finished passes only, counted as such, so
    // the reader's average is the true one.
    const bool whole = complete_;
    const std::vector<std::uint8_t> bytes = SumBytes(whole ? sums_ : finishedSums_);
    if (!WriteDataFile(path, HeaderWith(whole ? settings_.Passes : finishedPasses_), bytes, error))
        return false;
    RemoveRecovery();
    return true;
}

void Accumulation::RemoveRecovery() {
    recovery_.Remove(nullptr);
    recoveryKept_ = 0;
}

} // namespace tavi
