// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc's work list and workers: folder trees walked in sorted order as
// the output needs them, files analysed on several threads, results written
// in the order of the work list.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tavi::proc {

// One entry of the work list: a file to analyse, or a folder that could not
// be read (Error set).
struct WorkItem {
    std::string Path;
    std::string Error;
};

// The arguments in order; a folder stands for its *.dcw files, its tree
// walked in name order without following symbolic links. Only the folders on
// the current path are held, so a tree of any size starts at once.
class WorkList {
public:
    explicit WorkList(std::vector<std::string> arguments);
    bool Next(WorkItem& item);

private:
    struct Level {
        std::vector<std::filesystem::path> Entries; // sorted
        std::size_t At = 0;
    };
    bool Descend(const std::filesystem::path& dir, WorkItem& item);

    std::vector<std::string> arguments_;
    std::size_t argument_ = 0;
    std::vector<Level> levels_;
};

// What a worker gives for one item: the text to write, and whether it failed.
struct WorkResult {
    std::string Text;
    bool Failed = false;
};

// Runs work(item, worker) for every item of the list on `jobs` threads (the
// calling thread is one of them, worker 0) and hands the results to write in
// list order. At most a few items per thread wait unwritten, so memory stays
// flat. Stops early once write returns false; returns false then, true
// otherwise.
using Work = std::function<WorkResult(const WorkItem&, int worker)>;
using Write = std::function<bool(const WorkResult&)>;
bool RunInOrder(WorkList& list, int jobs, const Work& work, const Write& write);

// The number of processors this process may run on.
int DefaultJobs();

} // namespace tavi::proc
