// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/ProcJobs.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tavi::proc {
namespace {

struct JobsCase {
    const char* Name;
    int Jobs;
    std::size_t StopAfter; // write refuses this result; 0: never
};

class RunInOrderTest : public ::testing::TestWithParam<JobsCase> {};

// Items of uneven cost finish out of order; the writes come in list order,
// each item once, and nothing is written after a refused write.
TEST_P(RunInOrderTest, WritesInListOrderWhateverFinishesFirst) {
    const JobsCase c = GetParam();
    constexpr int kItems = 300;
    std::vector<std::string> names;
    for (int i = 0; i < kItems; ++i)
        names.push_back("f" + std::to_string(i));
    WorkList list(names);
    std::atomic<int> calls = 0;
    std::atomic<bool> badWorker = false;
    const Work work = [&](const WorkItem& item, int worker) {
        thread_local std::minstd_rand random(static_cast<unsigned>(worker + 1));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
        badWorker = badWorker || worker < 0 || worker >= c.Jobs;
        ++calls;
        return WorkResult{item.Path, false};
    };
    std::vector<std::string> written;
    const bool ok = RunInOrder(list, c.Jobs, work, [&](const WorkResult& r) {
        written.push_back(r.Text);
        return written.size() != c.StopAfter;
    });
    const std::size_t expected = c.StopAfter ? c.StopAfter : kItems;
    EXPECT_EQ(ok, c.StopAfter == 0);
    ASSERT_EQ(written.size(), expected);
    for (std::size_t i = 0; i < expected; ++i)
        EXPECT_EQ(written[i], names[i]);
    EXPECT_FALSE(badWorker);
    if (!c.StopAfter) {
        EXPECT_EQ(calls, kItems);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Threads, RunInOrderTest,
    ::testing::Values(JobsCase{"OneThread", 1, 0}, JobsCase{"TwoThreads", 2, 0},
                      JobsCase{"EightThreads", 8, 0}, JobsCase{"TwoThreadsStopAt10", 2, 10},
                      JobsCase{"EightThreadsStopAt1", 8, 1}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace tavi::proc
