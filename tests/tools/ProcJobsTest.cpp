// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/ProcJobs.h"

#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tavi::proc {
namespace {

// Items of uneven cost finish out of order; the writes come in list order,
// each item once, and none after a refused write.
TEST(RunInOrder, WritesInListOrderWhateverFinishesFirst) {
    for (const auto& [jobs, stopAfter] : {std::pair{1, 0}, {2, 0}, {8, 0}, {2, 10}, {8, 1}}) {
        SCOPED_TRACE("jobs " + std::to_string(jobs) + ", stop after " + std::to_string(stopAfter));
        std::vector<std::string> names(300);
        for (std::size_t i = 0; i < names.size(); ++i)
            names[i] = std::to_string(i);
        WorkList list(names);
        std::vector<std::string> written;
        const bool ok = RunInOrder(
            list, jobs,
            [](const WorkItem& item, int worker) {
                thread_local std::minstd_rand random(static_cast<unsigned>(worker + 1));
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                return WorkResult{item.Path, false};
            },
            [&](const WorkResult& r) {
                written.push_back(r.Text);
                return static_cast<int>(written.size()) != stopAfter;
            });
        EXPECT_EQ(ok, stopAfter == 0);
        names.resize(stopAfter ? static_cast<std::size_t>(stopAfter) : names.size());
        EXPECT_EQ(written, names);
    }
}

} // namespace
} // namespace tavi::proc
