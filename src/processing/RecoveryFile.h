// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery file of a run: the sums of its finished passes, kept as an
// ordinary data file in the acquisition directory so that a crash, a killed
// program or a power cut loses at most the pass in progress. Each program
// instance owns one file, named after its process id; the next start gives a
// file whose owner is gone a dated name that no later run overwrites.
#pragma once

#include "processing/DataFile.h"

#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tavi {

// "tavi-recovery-<pid>.dcw", or "tavi-recovery-<pid>-<run>.dcw" when the run
// was to be stored under a name, so that what is recovered carries it. The run
// name is the entered file name without folder and ".dcw", with characters
// other than letters, digits, '-' and '_' replaced by '_' (64 at most).
std::string RecoveryFileName(long pid, const std::string& runName = {});
// dir + "/" + RecoveryFileName(pid, runName); an empty dir means the current directory.
std::string RecoveryFilePath(const std::string& dir, long pid, const std::string& runName = {});

// The number of passes set (M of "N of M passes") travels in the header's
// reserved bytes, which readers ignore; AccText holds N, so the processing
// window reads the file as the average of the finished passes.
struct RecoveryMark {
    bool Present = false;
    int PassesSet = 0;
    bool Loop = false;
};
void MarkRecoveryHeader(DataFileHeader& header, int passesSet, bool loop);
RecoveryMark ReadRecoveryMark(const DataFileHeader& header);

// Writes the file beside its target and renames it into place, so a crash at
// any instant leaves either the previous or the new complete file.
bool WriteRecoveryFile(const std::string& path, DataFileHeader header,
                       std::span<const std::uint8_t> sums, int passesSet, bool loop,
                       std::string* error);
// Removes the file; a missing file is no failure.
bool RemoveRecoveryFile(const std::string& path, std::string* error);

// Whether a process with this id runs (a live process owns its recovery file).
bool ProcessAlive(long pid);

struct RecoveredFile {
    std::string From;    // the recovery file found
    std::string To;      // its new name; empty when it could not be renamed
    int PassesDone = -1; // AccText; -1 when the file cannot be read
    RecoveryMark Mark;
    std::string Error; // why it could not be read or renamed
};

// "recovered-YYYYMMDD-HHMMSS.dcw" for a local time, with the run's name
// after "recovered-" when it had one ("recovered-run1-YYYYMMDD-HHMMSS.dcw").
std::string RecoveredFileName(std::time_t when, const std::string& runName = {});

// Renames every recovery file in dir whose owner no longer runs to a dated
// name (its last write time; "-2", "-3", ... when taken, never replacing a
// file) and removes temporaries its interrupted writes left.
std::vector<RecoveredFile>
CollectRecoveryFiles(const std::string& dir, const std::function<bool(long)>& alive = ProcessAlive);

// The operator's text about the files found; empty when there are none.
std::string RecoveryReport(const std::vector<RecoveredFile>& files);

} // namespace tavi
