// SPDX-License-Identifier: GPL-3.0-or-later
// A file-size limit for the scope of a test: writes past it fail with "File
// too large" as on a nearly full disk (SIGXFSZ is ignored meanwhile).
#pragma once

#include <csignal>
#include <sys/resource.h>

namespace tavi::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*handler_)(int);
};

} // namespace tavi::test
