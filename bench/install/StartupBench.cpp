// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the installed program (offscreen, from a read-only copy of the
// installation, no preferences yet): from starting the process to its exit on
// a pending SIGTERM, which its event loop takes only once the main window has
// been created and shown; and its peak resident memory, reached by then.
#include "install/InstalledProgram.h"
#include "setup/FileTestUtil.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

using tavi::test::TempDir;

void BM_InstalledStartUpToShownWindow(benchmark::State& state) {
    TempDir scratch;
    const std::string prefix = scratch.File("prefix");
    if (!tavi::test::InstallInto(prefix)) {
        state.SkipWithError("cmake --install failed");
        return;
    }
    tavi::test::MakeReadOnly(prefix);
    long maxRss = 0;
    for (auto _ : state) {
        TempDir user;
        std::filesystem::create_directories(user.File("home"));
        const auto exit =
            tavi::test::RunAndClose(prefix + "/bin/tavi", user.File("config"), user.File("home"));
        if (exit.status != 0) {
            state.SkipWithError("the installed program failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(exit.elapsed).count());
        maxRss = std::max(maxRss, exit.maxRssKiB);
    }
    state.counters["MaxRSS_MiB"] = static_cast<double>(maxRss) / 1024.0;
    tavi::test::MakeWritable(scratch.Path());
}
BENCHMARK(BM_InstalledStartUpToShownWindow)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseManualTime();

} // namespace

BENCHMARK_MAIN();
