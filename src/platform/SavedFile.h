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

// Writes all of bytes, or cancels the write and gives the cause. Qt hands a
// large block to the system in one call and returns a short count without an
// error when a size limit cuts it.
bool WriteSaveFile(QSaveFile& file, const QByteArray& bytes, QString* why);

// Flushes and commits; any failure (a full disk, a size limit) cancels the
// write, keeps the old file and gives the cause. QSaveFile's own commit does
// not notice a failing last flush.
bool CommitSaveFile(QSaveFile& file, QString* why);

} // namespace tavi
