// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrometer link and the accumulation driven through the fake port,
// without any widget.
#include "acquisition/SpectrometerLink.h"
#include "common/Usr.h"
#include "processing/DataFile.h"
#include "processing/RecoveryFile.h"
#include "setup/FileTestUtil.h"
#include "support/FakeSerialPort.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <set>

namespace tavi::test {
namespace {

struct Recorder : IAcquisitionObserver {
    void ConnectionCheckFailed() override { ++checkFailed; }
    void PowerChanged(bool on) override { power.push_back(on); }
    void DeviceLost(const std::string& m) override { lost = m; }
    void ExperimentFinished() override { ++finished; }
    void RunAborted() override { ++aborted; }
    void Problem(const std::string& m) override { problems.push_back(m); }
    void HoldChanged(bool hold) override { holds.push_back(hold); }
    void LineReceived(const std::string& /*line*/) override { ++lines; }
    void HeldPointChanged(int i, int v) override { held.emplace_back(i, v); }
    void RunCutShort(RunState before) override { cuts.push_back(before); }
    void IdleReplyArrived() override {
        if (onIdle)
            onIdle();
    }
    int checkFailed = 0, finished = 0, aborted = 0, lines = 0;
    std::vector<std::pair<int, int>> held;
    std::vector<RunState> cuts;
    std::function<void()> onIdle;
    std::vector<bool> power, holds;
    std::string lost;
    std::vector<std::string> problems;
};

// Values of point i in pass p: distinct per pass and point, some negative.
int Value(int pass, int i) {
    return (pass * 7 + i * 3) % 41 - 20;
}

class Engine : public ::testing::Test {
protected:
    Engine() {
        port.Open();
        port.SetModem(ModemBit(msDSR));
    }
    void ConnectDevice() {
        link.Connect();
        port.Feed("Z00421.0\rX07FF0800\rM01\r");
        link.ConnectionTick();
        ASSERT_EQ(link.Connection(), ConnectionState::Connected);
        port.TakeWritten();
    }
    void Configure(int passes, bool loop, std::string recoveryDir = {}) {
        RunSettings s = link.SettingsFor(DefaultSetup(), rmH1);
        s.Passes = passes;
        s.Loop = loop;
        s.RecoveryDir = std::move(recoveryDir);
        link.Run().Configure(s);
    }
    // One pass as the device sends it; stops after "C" when cut.
    void Pass(int pass, int n, bool cut = false) {
        port.Feed("A" + HexDigits(n, 4) + "\rB\r");
        for (int i = 0; i < n; ++i)
            port.Feed("V " + HexDigits(std::int64_t{Value(pass, i)} * 13500, 8) + "\r");
        port.Feed("C\r");
        if (!cut)
            port.Feed("D\r");
    }
    std::int32_t SumOf(int firstPass, int lastPass, int i) const {
        std::int32_t s = 0;
        for (int p = firstPass; p <= lastPass; ++p)
            s += Value(p, i);
        return s;
    }
    FakeSerialPort port;
    Recorder observer;
    SpectrometerLink link{port, observer};
    TempDir dir;
};

// ---- the connection check ----

struct CheckCase {
    const char* name;
    const char* replies; // fed before the ticks
    int ticks;
    int identifies;
    ConnectionState state;
    int failures;
};

class ConnectionCheck : public Engine, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ConnectionCheck, SendsZOncePerTickUntilXOrFiveSeconds) {
    const CheckCase& c = GetParam();
    link.Connect();
    port.Feed(c.replies);
    for (int i = 0; i < c.ticks; ++i)
        link.ConnectionTick();
    const auto written = port.TakeWritten();
    EXPECT_EQ(std::count(written.begin(), written.end(), "Z\r"), c.identifies);
    EXPECT_EQ(link.Connection(), c.state);
    EXPECT_EQ(observer.checkFailed, c.failures);
    if (c.state == ConnectionState::Connected) {
        EXPECT_EQ(written.back(), "Y\r");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectionCheck,
    ::testing::Values(CheckCase{"XBeforeFirstTick", "X07FF0800\r", 1, 0, ConnectionState::Connected, 0},
                      CheckCase{"SilentDeviceFailsOnFifthTick", "", 5, 4, ConnectionState::Checking, 1},
                      CheckCase{"ZAloneNeverCompletes", "Z00421.0\r", 5, 4, ConnectionState::Checking, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the run ----

struct RunCase {
    const char* name;
    int passesSet;
    bool loop;
    int passesSent;
    RunState state;
    int passCounter;
    int firstSummed; // the sums hold the passes firstSummed..passesSent
};

class Runs : public Engine, public ::testing::WithParamInterface<RunCase> {};

TEST_P(Runs, SumAverageAndStartCommandsFollowThePasses) {
    const RunCase& c = GetParam();
    ConnectDevice();
    Configure(c.passesSet, c.loop);
    link.Run().Start();
    for (int p = 1; p <= c.passesSent; ++p)
        Pass(p, 16);
    const Accumulation& run = link.Run();
    EXPECT_EQ(run.State(), c.state);
    EXPECT_EQ(run.PassCounter(), c.passCounter);
    ASSERT_EQ(run.PointCount(), 16);
    const auto average = run.Average();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(run.Sums()[static_cast<std::size_t>(i)], SumOf(c.firstSummed, c.passesSent, i)) << i;
        EXPECT_DOUBLE_EQ(average[static_cast<std::size_t>(i)],
                         SumOf(c.firstSummed, c.passesSent, i) / double(c.passCounter));
    }
    // One start per pass taken, and one more for every pass that follows.
    const auto written = port.TakeWritten();
    const int starts = c.state == RunState::Finished ? c.passesSent : c.passesSent + 1;
    EXPECT_EQ(std::count(written.begin(), written.end(), lines::StartSweep(run.Settings().FrequencySweep)),
              starts);
    EXPECT_EQ(observer.finished, c.state == RunState::Finished ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Runs,
    ::testing::Values(RunCase{"SingleOfThree", 3, false, 3, RunState::Finished, 3, 1},
                      RunCase{"SingleCutAfterTwo", 3, false, 2, RunState::PassEnded, 3, 1},
                      RunCase{"LoopKeepsOnlyTheLastPass", 1, true, 4, RunState::PassEnded, 1, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Engine, HoldReplacesTheLastPointWithoutSumming) {
    ConnectDevice();
    Configure(1, false);
    link.Run().Start();
    port.Feed("A0004\rB\rV 000034BC\rH1\rV 00006978\rV 0000D2F0\rH0\rV 00006978\r");
    const Accumulation& run = link.Run();
    EXPECT_EQ(run.NextPointIndex(), 2);
    EXPECT_EQ(run.Sums()[0], 1);
    EXPECT_EQ(run.Sums()[1], 2);
    EXPECT_EQ(run.RingPass(run.CurrentSlot()), (std::vector<int>{4, 2}));
    EXPECT_EQ(observer.held, (std::vector<std::pair<int, int>>{{0, 2}, {0, 4}}));
}

TEST_F(Engine, EachDIsHeardBeforeTheNextStartAndMayRaiseThePassCount) {
    ConnectDevice();
    Configure(2, false);
    const std::string start = lines::StartSweep(link.Run().Settings().FrequencySweep);
    std::vector<long> startsWhenHeard;
    observer.onIdle = [&] {
        const auto written = port.TakeWritten();
        startsWhenHeard.push_back(std::count(written.begin(), written.end(), start));
        link.Run().SetPasses(4); // the operator raises the count during the run
    };
    link.Run().Start();
    for (int p = 1; p <= 4; ++p)
        Pass(p, 3);
    EXPECT_EQ(link.Run().State(), RunState::Finished);
    EXPECT_EQ(link.Run().PassCounter(), 4);
    // The start of pass k went out before its "D" was heard, never that of k + 1.
    EXPECT_EQ(startsWhenHeard, (std::vector<long>{1, 1, 1, 1}));
}

TEST_F(Engine, AFinishedRunStaysSaveableUntilTheNextRunsFirstPass) {
    ConnectDevice();
    Configure(1, false);
    std::string comment = "at start";
    RunSettings s = link.Run().Settings();
    s.HeaderNow = [&, base = s.Header] {
        DataFileSettings h = base;
        h.Comment = comment;
        return h;
    };
    link.Run().Configure(s);
    link.Run().Start();
    Pass(1, 4);
    link.Run().Start(); // the device may never answer this one
    ASSERT_TRUE(link.Run().Complete());
    comment = "at saving";
    std::string error;
    ASSERT_TRUE(link.Run().Save(dir.File("kept.dcw"), &error)) << error;
    LoadedDataFile file;
    ASSERT_TRUE(ReadDataFile(dir.File("kept.dcw"), file, &error)) << error;
    EXPECT_EQ(file.Settings.Comment, "at saving"); // the header of the moment of saving
    EXPECT_EQ(file.Settings.AccText, "1");
    port.Feed("A0004\r");
    EXPECT_FALSE(link.Run().HasDataToSave());
}

TEST_F(Engine, OnlyAStartedRunKeepsARecoveryFile) {
    ConnectDevice();
    Configure(3, false, dir.Path());
    link.Run().SetPassCounter(1); // passes the device takes on its own
    Pass(1, 4);
    EXPECT_EQ(link.Run().RecoveryPassesKept(), 0);
    link.Run().Start();
    Pass(1, 4);
    EXPECT_EQ(link.Run().RecoveryPassesKept(), 1);
    link.Run().RemoveRecovery();
}

TEST_F(Engine, TheSixthPassReusesTheRingSlotOfTheFirst) {
    ConnectDevice();
    Configure(6, false);
    link.Run().Start();
    std::vector<int> slots;
    for (int p = 1; p <= 6; ++p) {
        Pass(p, 3);
        slots.push_back(link.Run().CurrentSlot());
    }
    EXPECT_EQ(slots[5], slots[0]);
    EXPECT_EQ(std::set<int>(slots.begin(), slots.begin() + 5).size(), 5u);
}

// Abort, a switched-off spectrometer and a vanished port all leave the
// finished passes, which are saved with their true count.
enum class Cut { Abort, PowerOff, PortLost };

std::string CutName(Cut cut) {
    switch (cut) {
    case Cut::Abort:
        return "Abort";
    case Cut::PowerOff:
        return "PowerOff";
    case Cut::PortLost:
        return "PortLost";
    }
    return {};
}

class CutRun : public Engine, public ::testing::WithParamInterface<Cut> {};

TEST_P(CutRun, SavesTheFinishedPassesWithTheirCountAndDropsTheRecoveryFile) {
    ConnectDevice();
    Configure(5, false, dir.Path());
    link.Run().Start();
    Pass(1, 8);
    Pass(2, 8);
    port.Feed("A0008\rB\rV 000034BC\rH1\r"); // the third pass is cut short, on hold
    const std::string recovery = link.Run().RecoveryPath();
    ASSERT_TRUE(std::filesystem::exists(recovery)) << (observer.problems.empty() ? "" : observer.problems[0]);
    switch (GetParam()) {
    case Cut::Abort:
        link.Run().Abort();
        port.Feed("F\rD\r");
        EXPECT_EQ(link.Run().State(), RunState::Aborted);
        EXPECT_EQ(observer.aborted, 1);
        break;
    case Cut::PowerOff:
        port.SetModem(0);
        EXPECT_EQ(observer.power.back(), false);
        EXPECT_FALSE(link.DeviceReady());
        break;
    case Cut::PortLost:
        port.Vanish();
        EXPECT_NE(observer.lost.find("was lost"), std::string::npos);
        EXPECT_FALSE(port.Active());
        break;
    }
    EXPECT_FALSE(Measuring(link.Run().State()));
    EXPECT_EQ(link.Run().FinishedPasses(), 2);
    // However the run ends, so does its hold, and the owner is told.
    EXPECT_FALSE(link.HoldActive());
    EXPECT_EQ(observer.holds, (std::vector<bool>{true, false}));
    EXPECT_EQ(observer.cuts, GetParam() == Cut::Abort ? std::vector<RunState>{}
                                                      : std::vector<RunState>{RunState::Running});

    const std::string out = dir.File("cut.dcw");
    std::string error;
    ASSERT_TRUE(link.Run().Save(out, &error)) << error;
    LoadedDataFile file;
    ASSERT_TRUE(ReadDataFile(out, file, &error)) << error;
    EXPECT_EQ(file.Settings.AccText, "2");
    ASSERT_EQ(file.Y.size(), 8u);
    EXPECT_FALSE(std::filesystem::exists(recovery));
}

TEST_F(Engine, AnAbortCrossingTheEndOfAPassStartsNoOtherPass) {
    ConnectDevice();
    Configure(5, false);
    link.Run().Start();
    Pass(1, 8);
    Pass(2, 8, true);
    port.TakeWritten();
    link.Run().Abort(); // sent as the device ended the pass
    port.Feed("D\r");
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"N\r"});
    port.Feed("F\rD\r");
    EXPECT_EQ(link.Run().State(), RunState::Aborted);
    EXPECT_EQ(observer.aborted, 1);
    EXPECT_EQ(link.Run().FinishedPasses(), 2);
    EXPECT_TRUE(port.TakeWritten().empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, CutRun,
                         ::testing::Values(Cut::Abort, Cut::PowerOff, Cut::PortLost),
                         [](const auto& info) { return CutName(info.param); });

TEST_F(Engine, BlockedRepliesAreOnlyReported) {
    ConnectDevice();
    Configure(1, false);
    bool blocked = true;
    link.SetRepliesBlocked([&] { return blocked; });
    link.Run().Start();
    const int before = observer.lines;
    Pass(1, 2);
    const int reported = observer.lines;
    EXPECT_EQ(link.Run().PointCount(), 0);
    blocked = false;
    Pass(1, 2);
    EXPECT_EQ(observer.lines - before, 2 * (reported - before)); // all reported both times
    EXPECT_EQ(link.Run().PointCount(), 2);
    EXPECT_EQ(observer.finished, 1);
}

TEST_F(Engine, NothingFinishedIsNothingToSave) {
    ConnectDevice();
    Configure(2, false);
    link.Run().Start();
    port.Feed("A0004\rB\r");
    std::string error;
    EXPECT_FALSE(link.Run().Save(dir.File("none.dcw"), &error));
    EXPECT_NE(error.find("nothing to save"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.dcw")));
}

TEST_F(Engine, SetupFallsBackToAModeTheFieldSourceServes) {
    ConnectDevice(); // M01: an electromagnet, no ESR
    TSetupRecord setup = DefaultSetup();
    setup.Mode = rmESR;
    EXPECT_EQ(link.SendSetup(setup), rmH1);
    const auto written = port.TakeWritten();
    EXPECT_NE(std::find(written.begin(), written.end(), "P0\r"), written.end());
    EXPECT_GE(written.size(), 9u);
}

} // namespace
} // namespace tavi::test
