// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a whole file so that a failure (full disk, no permission) never
// leaves a truncated file that reads as if it were complete.
#pragma once

#include "common/FileResult.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace tavi {

// NotRegular: the target is a device, a pipe or a folder, never written.
// Damaged: a rewrite in place stopped part way and the old content could not
// be put back; the cause then says what the file holds.
enum class WriteFailure { None, Create, Write, NotRegular, Damaged };

// ReplaceOnly never rewrites the file in place: when no replacement can be put
// beside it, the old file stays as it was and the write fails.
enum class WriteMode { AllowInPlace, ReplaceOnly };

// Writes all bytes to fd; false with the system's cause on failure.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes, std::string* cause);

// Replaces the file at path with the concatenated parts. A regular file (or a
// new one) is written beside its target, synced and renamed over it, keeping
// the old file's permissions; a symbolic link is followed, so the link itself
// survives. Anything that is not a regular file (a device, a pipe) is refused.
// It never reaches further than create-or-truncate would: an existing file the
// user may not write fails with WriteFailure::Create and stays as it is, and
// a writable file whose folder refuses the replacement is rewritten in place
// (unless mode forbids it). A rewrite that fails part way puts the old
// content back; only when that fails too is the file left damaged, and the
// failure says so.
bool WriteFileSafely(const std::string& path,
                     std::initializer_list<std::span<const std::uint8_t>> parts,
                     WriteFailure* failure, std::string* cause,
                     WriteMode mode = WriteMode::AllowInPlace);

// "" when path names a regular file or nothing (a new file), else why the
// writers refuse it ("it is a device", ...). Links are followed.
std::string NotARegularFileReason(const std::string& path);

// "Cannot create file <path>: <cause>", "Cannot write file <path>: <cause>",
// or for a damaged file "File <path> is damaged: <cause>".
std::string WriteFailureText(const std::string& path, WriteFailure failure,
                             const std::string& cause);

// A failed WriteFileSafely as a file result: its kind and WriteFailureText.
FileResult WriteFailureResult(const std::string& path, WriteFailure failure,
                              const std::string& cause);

} // namespace tavi
