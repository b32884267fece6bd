// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a whole file so that a failure (full disk, no permission) never
// leaves a truncated file that reads as if it were complete.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace tavi {

enum class WriteFailure { None, Create, Write };

// Writes all bytes to fd; false with the system's cause on failure.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes, std::string* cause);

// Replaces the file at path with the concatenated parts. A regular file (or a
// new one) is written beside its target, synced and renamed over it, keeping
// the old file's permissions; a symbolic link is followed, so the link itself
// survives; anything that is not a regular file (a device, a pipe) is written
// in place, since renaming over it would replace the device node itself.
// It never reaches further than create-or-truncate would: an existing file the
// user may not write fails with WriteFailure::Create and stays as it is, and
// a writable file whose folder refuses the replacement is rewritten in place.
bool WriteFileSafely(const std::string& path,
                     std::initializer_list<std::span<const std::uint8_t>> parts,
                     WriteFailure* failure, std::string* cause);

// "Cannot create file <path>: <cause>" or "Cannot write file <path>: <cause>".
std::string WriteFailureText(const std::string& path, WriteFailure failure,
                             const std::string& cause);

} // namespace tavi
