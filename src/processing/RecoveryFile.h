// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery file of a run: the sums of its finished passes, kept as an
// ordinary data file in the acquisition directory so that a crash, a killed
// program or a power cut loses at most the pass in progress. Each program
// instance owns one file, named after its process id; the next start gives a
// file whose owner is gone a dated name that no later run overwrites.
#pragma once

#include "processing/DataFile.h"

#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace tavi {

// "tavi-recovery-<pid>.dcw", or "tavi-recovery-<pid>-<run>.dcw" when the run
// was to be stored under a name, so that what is recovered carries it; "-<k>"
// before ".dcw" for k > 1 when that name is taken. The run name is the entered
// file name without folder and ".dcw", with characters other than letters,
// digits, '-' and '_' replaced by '_' (64 at most).
std::string RecoveryFileName(long pid, const std::string& runName = {}, int k = 1);
// dir + "/" + RecoveryFileName(pid, runName); an empty dir means the current directory.
std::string RecoveryFilePath(const std::string& dir, long pid, const std::string& runName = {});

// The number of passes set (M of "N of M passes") travels in the header's
// reserved bytes, which readers ignore; AccText holds N, so the processing
// window reads the file as the average of the finished passes.
struct RecoveryMark {
    bool Present = false;
    int PassesSet = 0;
    bool Loop = false;
    int Points = 0; // points of a pass; 0 in files of earlier versions
};
void MarkRecoveryHeader(DataFileHeader& header, int passesSet, bool loop, int points = 0);
RecoveryMark ReadRecoveryMark(const DataFileHeader& header);

// Writes the file beside its target and renames it into place, so a crash at
// any instant leaves either the previous or the new complete file. Never
// rewrites in place: when no file can be put beside it, the previous stays.
// Holds no lock: the file reads as a leftover (what a crashed run leaves).
bool WriteRecoveryFile(const std::string& path, DataFileHeader header,
                       std::span<const std::uint8_t> sums, int passesSet, bool loop,
                       std::string* error);

// This program's recovery file, locked while the object holds it. Its name is
// chosen at the first write in that folder, never one an existing file has.
class RecoveryWriter {
public:
    RecoveryWriter() = default;
    ~RecoveryWriter(); // releases the lock, keeps the file
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    bool Write(const std::string& dir, const std::string& runName, DataFileHeader header,
               std::span<const std::uint8_t> sums, int passesSet, bool loop, std::string* error);
    // Removes the file (a missing file is no failure) and starts afresh.
    bool Remove(std::string* error);
    // Lets go of the file, which stays for the next start.
    void Release();
    const std::string& Path() const { return path_; }

private:
    std::string dir_;
    std::string runName_;
    std::string path_;
    int fd_ = -1; // the locked file now at path_
};
// Removes the file; a missing file is no failure.
bool RemoveRecoveryFile(const std::string& path, std::string* error);

struct RecoveredFile {
    std::string From;    // the recovery file found
    std::string To;      // its new name; empty when it could not be renamed
    int PassesDone = -1; // AccText; -1 when the file cannot be read
    RecoveryMark Mark;
    std::string Error;    // why it could not be read or renamed
    int PointsFound = -1; // the records it holds; fewer than Mark.Points when cut short
};

// "recovered-YYYYMMDD-HHMMSS.dcw" for a local time, with the run's name
// after "recovered-" when it had one ("recovered-run1-YYYYMMDD-HHMMSS.dcw").
std::string RecoveredFileName(std::time_t when, const std::string& runName = {});

// Renames every recovery file in dir that no running program holds locked to
// a dated name (its last write time; "-2", "-3", ... when taken, never
// replacing a file) and removes temporaries its interrupted writes left.
std::vector<RecoveredFile> CollectRecoveryFiles(const std::string& dir);

// The operator's text about the files found; empty when there are none.
std::string RecoveryReport(const std::vector<RecoveredFile>& files);

} // namespace tavi
