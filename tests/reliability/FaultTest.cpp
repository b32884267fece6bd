// SPDX-License-Identifier: GPL-3.0-or-later
// Acquisition under faults of the line and the device, end to end: the
// simulator on a pseudo-terminal, the real port and the real main window.
// Every test checks the state, the messages and the data afterwards, and
// accounts for every point the simulator logged.
#include "ReliabilitySupport.h"
#include "setup/FileTestUtil.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>
#include <csignal>
#include <iostream>
#include <sys/mount.h>
#include <sys/resource.h>

namespace tavi::test {
namespace {

class Faults : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString link, logPath;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<Rig> rig;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        link = tmp.path() + "/tty";
        logPath = tmp.path() + "/sim.log";
    }
    void TearDown() override {
        rig.reset();
        if (sim)
            sim->Stop();
        if (HasFailure()) { // keep the simulator's log for a look
            tmp.setAutoRemove(false);
            std::cerr << "kept " << tmp.path().toStdString() << "\n";
        }
    }

    // A simulator with these options and a connected window on it.
    void Launch(const QStringList& simArgs) {
        sim = std::make_unique<SimProcess>(link, logPath);
        ASSERT_TRUE(sim->Start(simArgs));
        rig = std::make_unique<Rig>(link);
        rig->w->AcqDir = tmp.path().toStdString();
        ASSERT_TRUE(rig->Connect());
        ASSERT_TRUE(rig->dialogs.fake.messages.empty()) << Messages();
        ASSERT_TRUE(rig->dialogs.fake.errors.empty()) << Messages();
    }
    TFCW& W() { return *rig->w; }
    FakeDialogs& D() { return rig->dialogs.fake; }
    long Crashes() {
        sim->Stop();
        return sim->Crashed() ? 1 : 0;
    }
    std::string Messages() {
        std::string out;
        if (!rig)
            return out;
        for (const auto& m : rig->dialogs.fake.messages)
            out += "message: " + m.text.toStdString() + "\n";
        for (const auto& e : rig->dialogs.fake.errors)
            out += "error: " + e.toStdString() + "\n";
        return out;
    }
    bool ControlsEnabled() {
        return W().StartToolB->isEnabled() && W().GainScrollBar->isEnabled() &&
               W().HydrogenRB->isEnabled() && W().MOpensetup->isEnabled();
    }
    bool ControlsDisabled() {
        return !W().StartToolB->isEnabled() && !W().GainScrollBar->isEnabled() &&
               !W().HydrogenRB->isEnabled() && !W().MOpensetup->isEnabled();
    }
};

TEST_F(Faults, GarbageAndDamagedLinesCostOnlyTheDamagedPoints) {
    constexpr int kPoints = 2500;
    constexpr int kPasses = 3;
    ASSERT_NO_FATAL_FAILURE(
        Launch({"--speed", "0", "--points", QString::number(kPoints), "--garbage-every", "7",
                "--corrupt-every", "11", "--seed", "17"}));
    rig->StartSingle(kPasses, "garbled");
    ASSERT_TRUE(PumpUntil([&] { return W().RunState() == RunState::Finished; })) << int(W().RunState()) << Messages();
    const long crashes = Crashes();

    const SimLog log = SimLog::Read(logPath);
    ASSERT_EQ(log.passes.size(), std::size_t(kPasses));
    EXPECT_GT(log.garbage, kPasses * kPoints / 8);
    EXPECT_GT(log.Reported(), 100);
    EXPECT_GT(log.Ignored(), 20);
    EXPECT_GT(log.IntactDamaged(), 20);

    // Each broken hex field reaches the general error display once; junk
    // lines and lines with a foreign first byte pass silently.
    EXPECT_EQ(D().errors.size(), std::size_t(log.Reported()));
    for (const QString& e : D().errors)
        EXPECT_TRUE(e.endsWith("is not a valid integer value")) << e.toStdString();
    EXPECT_TRUE(D().messages.empty()) << Messages();
    EXPECT_EQ(W().Panels[2]->text(), "Spectrometer: end of experiment - ready");

    // Every point of an intact (or only tail-damaged) line is in the file,
    // each pass filling the entries from 0 with the points that survived.
    const auto want = log.Sums(kPoints);
    const long lost = Mismatches(FileSums(tmp.path() + "/garbled.dcw"), want);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(rig->Sums(), want);

    RecordFigures("junk lines between replies (NUL, FF, LF, ESC..)", log.garbage,
                  "skipped silently; run completed, file saved", lost, crashes);
    RecordFigures("V lines damaged inside (replace/insert/split/truncate)", log.Reported(),
                  std::to_string(D().errors.size()) + " conversion errors shown; point dropped",
                  lost, crashes);
    RecordFigures("V lines with a junk first byte", log.Ignored(), "dropped silently", lost,
                  crashes);
    RecordFigures("V lines damaged after the value", log.IntactDamaged(), "point counted", lost,
                  crashes);
}

TEST_F(Faults, AFloodWithoutCRStaysBoundedAndTheFollowingLinesCount) {
    constexpr int kPoints = 3000;
    constexpr long kFlood = 8L << 20;
    ASSERT_NO_FATAL_FAILURE(
        Launch({"--speed", "0", "--points", QString::number(kPoints), "--flood-after-points",
                QStringLiteral("1000:%1").arg(kFlood)}));
    const long before = ResidentKb();

    // The flood comes in the first pass.
    std::size_t longestLine = 0, mostQueued = 0;
    PeakRss peak;
    rig->StartSingle(2, "flooded");
    ASSERT_TRUE(PumpUntil([&] {
        longestLine = std::max(longestLine, W().RxLine().Line().size());
        mostQueued = std::max(mostQueued, rig->Port().QueuedCount());
        return W().RunState() == RunState::Finished;
    })) << int(W().RunState());
    const long peakKb = peak.Stop();
    const long after = ResidentKb();
    const long crashes = Crashes();

    const SimLog log = SimLog::Read(logPath);
    ASSERT_EQ(log.floods, 1);
    ASSERT_EQ(log.passes.size(), 2u);
    const long lost = Mismatches(FileSums(tmp.path() + "/flooded.dcw"), log.Sums(kPoints));
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(D().errors.empty()) << Messages();
    EXPECT_TRUE(D().messages.empty()) << Messages();
    EXPECT_GE(W().RxLine().DiscardedRuns(), 1u);
    EXPECT_LE(longestLine, LineAssembler::kMaxLine + 1);
    EXPECT_LE(mostQueued, 10000u);
    // Holding the flood anywhere would cost at least its 8 MiB.
    if (kMemoryMeaningful) {
        EXPECT_LT(peakKb - before, 3 * 1024) << "before " << before << " kB, peak " << peakKb;
        EXPECT_LT(after - before, 3 * 1024) << "before " << before << " kB, after " << after;
    }

    RecordFigures("8 MiB without CR in a pass", 1,
                  "the run of junk dropped, the lines after it handled", lost, crashes,
                  "peak VmRSS +" + std::to_string(std::max(0L, peakKb - before)) + " kB" +
                      (kMemoryMeaningful ? "" : " [ASan]"));
}

TEST_F(Faults, TheAdapterVanishingMidPassLeavesASaveableRunAndConnectWorksAgain) {
    constexpr int kPoints = 2000;
    constexpr int kDropAt = 700;
    ASSERT_NO_FATAL_FAILURE(Launch({"--speed", "0", "--points", QString::number(kPoints),
                                    "--drop-after-points", QString::number(kDropAt)}));
    rig->StartSingle(2, "never");
    ASSERT_TRUE(PumpUntil([&] { return !D().messages.empty() && !W().DeviceReady(); }))
        << int(W().RunState()) << " " << W().NextPointIndex();
    ASSERT_TRUE(sim->WaitEnded());
    const long crashes = sim->Crashed() ? 1 : 0;
    // Let anything still queued arrive: it must not add a second message.
    PumpUntil([] { return false; }, std::chrono::seconds(1));

    ASSERT_EQ(D().messages.size(), 1u) << Messages();
    EXPECT_EQ(D().messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(D().messages[0].text.contains("was lost")) << Messages();
    EXPECT_TRUE(D().errors.empty()) << Messages();
    EXPECT_FALSE(rig->Port().Active());
    EXPECT_EQ(W().RunState(), RunState::Idle);
    EXPECT_EQ(W().Panels[2]->text(), "Spectrometer: disconnected");
    EXPECT_TRUE(W().MLink->isEnabled());
    EXPECT_TRUE(W().isEnabled());
    EXPECT_TRUE(W().CloseQueryAllowed());
    EXPECT_EQ(D().messages.size(), 1u) << "closing was refused: " << Messages();

    // The pass was cut off, so no pass is finished: "Save data as ..." says so
    // rather than write a part of a pass as if it were a whole one.
    const SimLog log = SimLog::Read(logPath);
    ASSERT_TRUE(log.dropped);
    ASSERT_EQ(log.passes.size(), 1u);
    ASSERT_EQ(log.passes[0].counted.size(), std::size_t(kDropAt));
    ASSERT_TRUE(W().MSaveas->isEnabled());
    W().MSaveasClick();
    ASSERT_EQ(D().messages.size(), 2u) << Messages();
    EXPECT_EQ(D().messages[1].text,
              "No pass of this experiment was finished: there is nothing to save.");
    EXPECT_EQ(W().Panels[1]->text(), "Last Data Saved In: ");
    const long lost = 0; // no finished pass existed to lose

    // The adapter comes back under the same name: Connect, and a new run.
    const QString log2 = tmp.path() + "/sim2.log";
    SimProcess again(link, log2);
    ASSERT_TRUE(again.Start({"--speed", "0", "--points", "300"}));
    D().messages.clear();
    ASSERT_TRUE(rig->Connect());
    EXPECT_TRUE(D().messages.empty()) << Messages();
    rig->StartSingle(1, "again");
    ASSERT_TRUE(PumpUntil([&] { return W().RunState() == RunState::Finished; })) << int(W().RunState());
    again.Stop();
    const long lost2 =
        Mismatches(FileSums(tmp.path() + "/again.dcw"), SimLog::Read(log2).Sums(300));
    EXPECT_EQ(lost2, 0);

    RecordFigures("adapter vanishes mid-pass", 1,
                  "one message, not connected, closable, cut pass not saved (said so), "
                  "reconnected",
                  lost + lost2, crashes + (again.Crashed() ? 1 : 0));
}

TEST_F(Faults, ASilentDeviceKeepsTheRunUntilAbortIsAnswered) {
    constexpr int kPoints = 1500;
    constexpr int kStopAt = 400;
    ASSERT_NO_FATAL_FAILURE(Launch({"--speed", "0", "--points", QString::number(kPoints),
                                    "--stop-after-points", QString::number(kStopAt)}));
    rig->StartSingle(3);
    ASSERT_TRUE(PumpUntil([&] { return W().NextPointIndex() == kStopAt; }));
    // The device says nothing more; the run waits, as it must.
    PumpUntil([] { return false; }, std::chrono::seconds(1));
    EXPECT_EQ(W().NextPointIndex(), kStopAt);
    EXPECT_EQ(W().RunState(), RunState::Running);
    EXPECT_TRUE(ControlsDisabled());
    EXPECT_TRUE(W().AbortToolB->isEnabled());
    EXPECT_FALSE(W().CloseQueryAllowed());
    ASSERT_EQ(D().messages.size(), 1u);
    EXPECT_EQ(D().messages[0].text, "Measure in progress");
    const auto summed = rig->Sums();

    W().AbortToolBClick();
    ASSERT_TRUE(PumpUntil([&] { return W().RunState() == RunState::Aborted; })) << int(W().RunState());
    EXPECT_EQ(W().Panels[2]->text(), "Spectrometer: Experiment aborted - ready");
    EXPECT_TRUE(ControlsEnabled());
    EXPECT_TRUE(W().CloseQueryAllowed());
    EXPECT_EQ(D().messages.size(), 1u) << Messages();
    // The abort leaves the points taken so far as they were.
    SimLog log = SimLog::Read(logPath);
    long lost = Mismatches(summed, log.Sums(kPoints));
    EXPECT_EQ(rig->Sums(), summed);

    // And the device takes a new experiment.
    rig->StartSingle(1, "after-abort");
    ASSERT_TRUE(PumpUntil([&] { return W().RunState() == RunState::Finished; })) << int(W().RunState());
    const long crashes = Crashes();
    log = SimLog::Read(logPath);
    ASSERT_EQ(log.passes.size(), 2u);
    log.passes.erase(log.passes.begin());
    lost += Mismatches(FileSums(tmp.path() + "/after-abort.dcw"), log.Sums(kPoints));
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(D().errors.empty()) << Messages();

    RecordFigures("device silent mid-pass", 1,
                  "run waits, close refused; Abort answered (state 5); next run ok", lost, crashes);
}

class FieldSourceFaults : public Faults, public ::testing::WithParamInterface<int> {};

TEST_P(FieldSourceFaults, AnErrorAndALostMagnetMidRunAreShownAndTheDataKept) {
    const int code = GetParam();
    constexpr int kPoints = 1200;
    constexpr int kAt = 500;
    // The device reports the error, then the magnet, then waits.
    ASSERT_NO_FATAL_FAILURE(Launch(
        {"--speed", "0", "--points", QString::number(kPoints), "--error-after-points", "200:0042",
         "--field-source-after-points", QStringLiteral("%1:%2").arg(kAt).arg(code),
         "--stop-after-points", QString::number(kAt)}));
    rig->StartSingle(1);
    ASSERT_TRUE(PumpUntil([&] { return W().FieldSource() == code && W().NextPointIndex() == kAt; }));
    EXPECT_EQ(W().Panels[4]->text(), "Error: 0042");
    EXPECT_EQ(W().Panels[3]->text(), code == 3 ? "Magnetic Field Source: not connected"
                                               : "Magnetic Field Source: Wrong connection");
    EXPECT_EQ(W().RunState(), RunState::Running); // "E" does not touch the state
    EXPECT_TRUE(ControlsDisabled());
    EXPECT_FALSE(W().AbortToolB->isEnabled());
    EXPECT_FALSE(W().AccUpDown->isEnabled());
    EXPECT_FALSE(W().FNameEdit->isEnabled());
    EXPECT_TRUE(D().messages.empty()) << Messages();
    EXPECT_TRUE(D().errors.empty()) << Messages();

    SimLog log = SimLog::Read(logPath);
    ASSERT_EQ(log.errors, std::vector<std::string>{"0042"});
    long lost = Mismatches(rig->Sums(), log.Sums(kPoints));
    EXPECT_EQ(lost, 0);

    // The operator's way out is Abort; the window then takes the answer.
    W().AbortToolBClick();
    ASSERT_TRUE(PumpUntil([&] { return W().RunState() == RunState::Aborted; }));
    EXPECT_EQ(rig->Sums(), log.Sums(kPoints));
    const long crashes = Crashes();
    RecordFigures("E reply + field source " + std::to_string(code) + " mid-run", 1,
                  "panel 4 'Error: 0042'; controls and acquisition disabled; sums kept", lost,
                  crashes);
}

INSTANTIATE_TEST_SUITE_P(NotConnectedOrWrong, FieldSourceFaults, ::testing::Values(3, 5));

TEST_F(Faults, ARunGoesOnThroughAnErrorAndAFieldSourceChange) {
    constexpr int kPoints = 1500;
    ASSERT_NO_FATAL_FAILURE(
        Launch({"--speed", "0", "--points", QString::number(kPoints), "--error-after-points",
                "100:7E57", "--field-source-after-points", "900:4"}));
    rig->StartSingle(2, "through");
    ASSERT_TRUE(PumpUntil([&] { return W().RunState() == RunState::Finished; })) << int(W().RunState());
    const long crashes = Crashes();
    EXPECT_EQ(W().FieldSource(), 4);
    EXPECT_EQ(W().Panels[3]->text(), "Magnetic Field Source: Magnet & Coils");
    // The second pass's start cleared the value but kept the error's label.
    EXPECT_EQ(W().Panels[4]->text(), "Error: ");
    EXPECT_TRUE(D().messages.empty()) << Messages();
    const SimLog log = SimLog::Read(logPath);
    ASSERT_EQ(log.passes.size(), 2u);
    const long lost = Mismatches(FileSums(tmp.path() + "/through.dcw"), log.Sums(kPoints));
    EXPECT_EQ(lost, 0);
    RecordFigures("E reply + field source 4 mid-run", 1, "shown; run completed, file saved", lost,
                  crashes);
}

// A data directory that refuses the file, then "Save data as ..." elsewhere.
class SaveFaults : public Faults {
protected:
    static constexpr int kPoints = 5000; // 20 425 bytes: more than the small disk holds

    // Runs two passes that auto-save into `dir`.
    void RunInto(const QString& dir) {
        W().AcqDir = dir.toStdString();
        rig->StartSingle(2, "auto");
        ASSERT_TRUE(PumpUntil([&] { return W().RunState() == RunState::Finished; })) << int(W().RunState());
    }
    long CheckRescue(const std::string& fault, const std::string& how) {
        const long crashes = Crashes();
        EXPECT_EQ(W().Panels[1]->text(), "Last Data Saved In: ");
        // The recovery file failed there too: one warning for the whole run,
        // then the save's own error.
        EXPECT_EQ(D().messages.size(), 2u) << Messages();
        if (D().messages.size() == 2) {
            EXPECT_TRUE(D().messages[0].text.startsWith("The recovery file cannot be written"))
                << Messages();
            EXPECT_EQ(D().messages[1].icon, MsgIcon::Error);
        }
        EXPECT_TRUE(W().MSaveas->isEnabled());
        const QString good = tmp.path() + "/good";
        EXPECT_TRUE(QDir().mkpath(good));
        D().fileAnswers.push_back(good + "/rescued.dcw");
        W().MSaveasClick();
        EXPECT_EQ(W().Panels[1]->text(), "Last Data Saved In: rescued.dcw");
        const long lost =
            Mismatches(FileSums(good + "/rescued.dcw"), SimLog::Read(logPath).Sums(kPoints));
        EXPECT_EQ(lost, 0);
        RecordFigures(fault, 1, how + "; saved with Save data as", lost, crashes);
        return lost;
    }
};

TEST_F(SaveFaults, AReadOnlyDataDirectoryAtAutoSave) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--speed", "0", "--points", QString::number(kPoints)}));
    const QString dir = tmp.path() + "/readonly";
    ASSERT_TRUE(QDir().mkpath(dir));
    {
        UnwritableDir locked(dir.toStdString());
        if (!locked.Active())
            GTEST_SKIP() << "cannot make a directory read-only here";
        ASSERT_NO_FATAL_FAILURE(RunInto(dir));
        EXPECT_TRUE(QDir(dir).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    ASSERT_FALSE(D().messages.empty());
    EXPECT_TRUE(D().messages.back().text.startsWith("Cannot create file")) << Messages();
    CheckRescue("read-only data directory at auto-save", "reported");
}

TEST_F(SaveFaults, AFullDiskAtAutoSave) {
    ASSERT_NO_FATAL_FAILURE(Launch({"--speed", "0", "--points", QString::number(kPoints)}));
    const QString dir = tmp.path() + "/small";
    ASSERT_TRUE(QDir().mkpath(dir));
    std::string how;
    const QByteArray mountPoint = dir.toLocal8Bit();
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=16k") == 0) {
        struct Unmount {
            const char* path;
            ~Unmount() { ::umount2(path, MNT_DETACH); }
        } unmount{mountPoint.constData()};
        how = "16 kB tmpfs full: reported";
        ASSERT_NO_FATAL_FAILURE(RunInto(dir));
        // Nothing half-written is left to fill the disk or pass for data; the
        // recovery file of the first pass stays whole when the second no longer fits.
        EXPECT_TRUE(QDir(dir).entryList({QStringLiteral("*")}, QDir::Files | QDir::Hidden)
                        .filter(QRegularExpression(QStringLiteral("^(?!tavi-recovery-).*")))
                        .isEmpty());
    } else {
        // Without mounts: a file size limit fails the write as a full disk does.
        how = "file size limit: reported";
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 16 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        RunInto(dir);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_NE(QFileInfo(dir + "/auto.dcw").size(), 425 + 4 * kPoints);
    }
    ASSERT_FALSE(D().messages.empty());
    EXPECT_TRUE(D().messages.back().text.contains("auto.dcw")) << Messages();
    CheckRescue("full disk at auto-save", how);
}

} // namespace
} // namespace tavi::test
