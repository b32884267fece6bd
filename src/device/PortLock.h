// SPDX-License-Identifier: GPL-3.0-or-later
// Who holds a port: the process whose exclusive lock keeps a second program
// off the line, for the message that second program shows.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace tavi {

// The process holding a flock on the file at path (the device a link points
// to), read from the kernel's lock table; nothing when none is found.
std::optional<pid_t> PortLockHolder(const std::string& path);

// "Port NAME is in use by process N" (or "by another process").
std::string PortInUseMessage(const std::string& name, std::optional<pid_t> holder);

} // namespace tavi
