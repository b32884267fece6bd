// SPDX-License-Identifier: GPL-3.0-or-later
// The outcome of loading or saving a file: the kind of failure and its message.
#pragma once

#include <string>
#include <utility>

namespace tavi {

// Callers choose their reaction (dialog, exit status) by the kind; the message
// is what the operator reads.
enum class FileFailure {
    None,
    NotFound,   // the file, or the folder to save into, does not exist
    NotRegular, // a device, a pipe or a folder
    TooLarge,   // larger than any file of its kind can be
    Format,     // not a file of this kind at all (its format mark is wrong)
    Content,    // of this kind, but cut short or holding invalid values
    Io,         // the system refused: no permission, read or write error, full disk
    Damaged,    // a rewrite stopped part way and the old content could not be put back
};

struct FileResult {
    FileFailure Kind = FileFailure::None;
    std::string Message;

    static FileResult Success() { return {}; }
    static FileResult Failure(FileFailure kind, std::string message) {
        return {kind, std::move(message)};
    }
    bool Ok() const { return Kind == FileFailure::None; }
    explicit operator bool() const { return Ok(); }
};

} // namespace tavi
