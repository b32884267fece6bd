// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc's work list (arguments and folder trees) and its ordered workers.
#include "tools/ProcJobs.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <sched.h>
#include <system_error>
#include <thread>
#include <utility>

namespace tavi::proc {

namespace fs = std::filesystem;

WorkList::WorkList(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

bool WorkList::Descend(const fs::path& dir, WorkItem& item) {
    Level level;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        level.Entries.push_back(it->path());
    if (ec) {
        item.Path = dir.string();
        item.Error = "Cannot read folder " + dir.string() + ": " + ec.message();
        return true;
    }
    std::sort(level.Entries.begin(), level.Entries.end());
    levels_.push_back(std::move(level));
    return false;
}

bool WorkList::Next(WorkItem& item) {
    item = WorkItem{};
    for (;;) {
        if (!levels_.empty()) {
            Level& top = levels_.back();
            if (top.At == top.Entries.size()) {
                levels_.pop_back();
                continue;
            }
            const fs::path p = top.Entries[top.At++];
            std::error_code ec;
            const fs::file_status st = fs::symlink_status(p, ec);
            if (ec || fs::is_symlink(st))
                continue;
            if (fs::is_directory(st)) {
                if (Descend(p, item))
                    return true;
                continue;
            }
            if (fs::is_regular_file(st) && p.extension() == ".dcw") {
                item.Path = p.string();
                return true;
            }
            continue;
        }
        if (argument_ == arguments_.size())
            return false;
        const std::string& arg = arguments_[argument_++];
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            if (Descend(arg, item))
                return true;
            continue;
        }
        // A file named on the command line is analysed as given, whatever
        // its name; a missing one reports its cause.
        item.Path = arg;
        return true;
    }
}

int DefaultJobs() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

// Results waiting for their turn, by position in the list.
struct Pending {
    std::mutex Lock;
    std::condition_variable WorkQueued; // the helpers wait here
    std::condition_variable ResultDone; // the writing thread waits here
    std::deque<std::pair<std::size_t, WorkItem>> Queue;
    std::vector<WorkResult> Results;
    std::vector<bool> Done;
    bool Closing = false;

    // Under Lock, with the queue not empty.
    std::pair<std::size_t, WorkItem> Take() {
        std::pair<std::size_t, WorkItem> job = std::move(Queue.front());
        Queue.pop_front();
        return job;
    }
    // Under Lock.
    void Finish(std::size_t position, WorkResult r) {
        Results[position % Results.size()] = std::move(r);
        Done[position % Done.size()] = true;
    }
};

} // namespace

bool RunInOrder(WorkList& list, int jobs, const Work& work, const Write& write) {
    WorkItem item;
    if (jobs <= 1) {
        while (list.Next(item))
            if (!write(work(item, 0)))
                return false;
        return true;
    }
    const std::size_t window = 4 * static_cast<std::size_t>(jobs);
    Pending p;
    p.Results.resize(window);
    p.Done.assign(window, false);
    // jobs - 1 helpers; the calling thread is worker 0 and the writer: it
    // takes a job itself whenever the next result is not ready, rather than
    // sleeping while a core idles.
    std::vector<std::jthread> helpers;
    for (int w = 1; w < jobs; ++w) {
        helpers.emplace_back([&p, &work, w] {
            for (;;) {
                std::pair<std::size_t, WorkItem> job;
                {
                    std::unique_lock lock(p.Lock);
                    p.WorkQueued.wait(lock, [&] { return p.Closing || !p.Queue.empty(); });
                    if (p.Queue.empty())
                        return;
                    job = p.Take();
                }
                WorkResult r = work(job.second, w);
                std::lock_guard lock(p.Lock);
                p.Finish(job.first, std::move(r));
                p.ResultDone.notify_one();
            }
        });
    }
    // Releases the helpers however this thread leaves, an exception from
    // its own work included, before they are joined.
    struct Release {
        Pending& P;
        ~Release() {
            std::lock_guard lock(P.Lock);
            P.Queue.clear();
            P.Closing = true;
            P.WorkQueued.notify_all();
        }
    } release{p};
    std::size_t queued = 0, written = 0;
    bool more = true, ok = true;
    while (ok) {
        while (more && queued - written < window) {
            more = list.Next(item);
            if (!more)
                break;
            std::lock_guard lock(p.Lock);
            p.Queue.emplace_back(queued++, std::move(item));
            p.WorkQueued.notify_one();
        }
        if (written == queued)
            break;
        std::unique_lock lock(p.Lock);
        const std::size_t slot = written % window;
        if (!p.Done[slot] && !p.Queue.empty()) {
            std::pair<std::size_t, WorkItem> job = p.Take();
            lock.unlock();
            WorkResult r = work(job.second, 0);
            lock.lock();
            p.Finish(job.first, std::move(r));
            continue;
        }
        p.ResultDone.wait(lock, [&] { return static_cast<bool>(p.Done[slot]); });
        p.Done[slot] = false;
        WorkResult r = std::move(p.Results[slot]);
        lock.unlock();
        ++written;
        ok = write(r);
    }
    return ok;
}

} // namespace tavi::proc
