// SPDX-License-Identifier: GPL-3.0-or-later
// A long Single experiment at the line's full speed: every point the
// simulator sent is in the saved sums, and the program's resident memory at
// the end is that of the first pass. TAVI_SOAK_PASSES sets the pass count
// (99 by default, 1..99; a whole run takes seconds).
#include "ReliabilitySupport.h"

#include <QLineEdit>
#include <algorithm>

namespace tavi::test {
namespace {

int SoakPasses() {
    const char* env = std::getenv("TAVI_SOAK_PASSES");
    const long n = env ? std::strtol(env, nullptr, 10) : 99;
    return static_cast<int>(std::clamp(n, 1L, 99L));
}

TEST(Soak, ManyFullSpeedPassesLoseNothingAndDoNotGrow) {
    constexpr int kPoints = 4096;
    const int passes = SoakPasses();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    SimProcess sim(tmp.path() + "/tty", tmp.path() + "/sim.log");
    ASSERT_TRUE(sim.Start({"--speed", "0", "--points", QString::number(kPoints)}));
    long crashes = 0;
    long lost = -1;
    long afterFirst = 0, atEnd = 0;
    {
        Rig rig(tmp.path() + "/tty");
        rig.w->AcqDir = tmp.path().toStdString();
        ASSERT_TRUE(rig.Connect());
        TFCW& w = *rig.w;
        rig.StartSingle(passes, "soak");
        if (passes > 1) {
            // The pass counter moves on once the first pass has been taken.
            ASSERT_TRUE(PumpUntil([&] { return w.PassCounter() >= 2 || w.RunState() == RunState::Finished; }));
        } else {
            ASSERT_TRUE(PumpUntil([&] { return w.RunState() == RunState::Finished; }));
        }
        afterFirst = ResidentKb();
        ASSERT_TRUE(PumpUntil([&] { return w.RunState() == RunState::Finished; }, std::chrono::seconds(1800)))
            << "pass " << w.PassCounter() << " state " << int(w.RunState());
        atEnd = ResidentKb();
        EXPECT_EQ(w.Panels[0]->text().toStdString(),
                  "Acc: " + std::to_string(passes) + " of " + std::to_string(passes));
        EXPECT_TRUE(rig.dialogs.fake.messages.empty());
        EXPECT_TRUE(rig.dialogs.fake.errors.empty());
        sim.Stop();
        crashes = sim.Crashed() ? 1 : 0;
        const SimLog log = SimLog::Read(sim.LogPath());
        EXPECT_EQ(log.passes.size(), std::size_t(passes));
        EXPECT_EQ(log.Counted(), std::size_t(passes) * kPoints);
        lost = Mismatches(FileSums(tmp.path() + "/soak.dcw"), log.Sums(kPoints));
        EXPECT_EQ(lost, 0);
    }
    const long growth = atEnd - afterFirst;
    if (kMemoryMeaningful) {
        // A few percent, plus a little for the allocator's own bookkeeping.
        EXPECT_LE(growth, afterFirst * 3 / 100 + 2048)
            << "VmRSS after pass 1 " << afterFirst << " kB, at the end " << atEnd << " kB";
    }
    const double percent = afterFirst > 0 ? 100.0 * static_cast<double>(growth) / afterFirst : 0.0;
    char memory[128];
    std::snprintf(memory, sizeof memory, "%ld kB after pass 1, %ld kB at end (%+.1f%%)%s",
                  afterFirst, atEnd, percent, kMemoryMeaningful ? "" : " [ASan]");
    RecordFigures("soak: " + std::to_string(passes) + " passes x 4096 points, speed 0",
                  static_cast<long>(passes) * kPoints, "every point summed and saved", lost,
                  crashes, memory);
}

} // namespace
} // namespace tavi::test
