// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and committing the QSaveFile behind a picture or PDF writer, so that
// a failed write keeps the old file and says why.
#pragma once

#include <QSaveFile>
#include <QString>

namespace tavi {

// Opens file for writing; refuses a target that is not a regular file (a
// device or a pipe would be replaced by the rename). False with the cause.
bool OpenSaveFile(QSaveFile& file, QString* why);

// Flushes and commits; any failure (a full disk, a size limit) cancels the
// write, keeps the old file and gives the cause. QSaveFile's own commit does
// not notice a failing last flush.
bool CommitSaveFile(QSaveFile& file, QString* why);

} // namespace tavi
