// SPDX-License-Identifier: GPL-3.0-or-later
// The user's configuration and documents folders, as the desktop names them.
#pragma once

#include "setup/USetup.h"

namespace tavi {

// The configuration folder from UserConfigDir(); the documents folder the
// desktop names (XDG user directories), or home when that does not exist.
UserFolders CurrentUserFolders();

} // namespace tavi
