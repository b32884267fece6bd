// SPDX-License-Identifier: GPL-3.0-or-later
// Runs that end badly against the simulator: the program killed with SIGKILL
// (a separate process), an Abort followed by "Save data as ...", and a device
// that falls silent. Every finished pass must survive, exactly as the
// simulator's log says it was sent.
#include "ReliabilitySupport.h"
#include "processing/RecoveryFile.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <unistd.h>

namespace tavi::test {
namespace {

constexpr int kPoints = 1500;
// More passes than any test waits for, so no run ends before its fault.
constexpr int kPasses = 99;

// The sums of the first `passes` passes of the log.
std::vector<std::int32_t> LoggedSums(const QString& logPath, int passes) {
    SimLog log = SimLog::Read(logPath);
    if (static_cast<int>(log.passes.size()) > passes)
        log.passes.resize(static_cast<std::size_t>(passes));
    return log.Sums(kPoints);
}

std::string AccTextOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.read(1 + qint64(kDataHeaderSize));
    if (bytes.size() != 1 + qsizetype(kDataHeaderSize))
        return {};
    DataFileHeader h;
    std::memcpy(h.Bytes.data(), bytes.constData() + 1, kDataHeaderSize);
    return h.Decode().AccText;
}

class Recovery : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString link, logPath;
    std::unique_ptr<SimProcess> sim;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        link = tmp.path() + "/tty";
        logPath = tmp.path() + "/sim.log";
        sim = std::make_unique<SimProcess>(link, logPath);
        ASSERT_TRUE(sim->Start({"--speed", "0", "--points", QString::number(kPoints)}));
    }
    void TearDown() override {
        if (sim) {
            if (sim->Pid() > 0)
                ::kill(static_cast<pid_t>(sim->Pid()), SIGCONT);
            sim->Stop();
        }
    }
    long Crashes() {
        sim->Stop();
        return sim->Crashed() ? 1 : 0;
    }
    // A connected window with its acquisition directory in tmp.
    std::unique_ptr<Rig> Connected() {
        auto rig = std::make_unique<Rig>(link);
        rig->w->AcqDir = tmp.path().toStdString();
        EXPECT_TRUE(rig->Connect());
        return rig;
    }
};

// ---- the program killed: a child process runs the same binary ----

// In the child (TAVI_RECOVERY_CHILD = "mid" or "end" and a pass count k): a
// run of kPasses passes that kills itself once k passes are finished, at the
// end of a pass or in the middle of the next one.
TEST(RecoveryChild, RunUntilKilled) {
    const char* how = std::getenv("TAVI_RECOVERY_CHILD");
    if (!how || !*how)
        GTEST_SKIP() << "runs only as the child of Recovery.KilledRun";
    const QStringList args = QString::fromUtf8(how).split(' ');
    ASSERT_EQ(args.size(), 4);
    const QString link = args[0];
    const bool mid = args[2] == "mid";
    const int k = args[3].toInt();
    Rig rig(link);
    rig.w->AcqDir = args[1].toStdString();
    ASSERT_TRUE(rig.Connect());
    rig.StartSingle(kPasses);
    TFCW& w = *rig.w;
    ASSERT_TRUE(PumpUntil([&] {
        return w.FinishedPasses() >= k && (!mid || (w.RunState() == RunState::Running && w.NextPointIndex() > 0));
    }));
    ::kill(::getpid(), SIGKILL);
}

struct KillCase {
    const char* name;
    const char* when; // "end" or "mid"
    int passes;
};

class KilledRun : public Recovery, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledRun, KeepsTheFinishedPassesForTheNextStart) {
    const KillCase& p = GetParam();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVI_RECOVERY_CHILD",
               QStringList{link, tmp.path(), p.when, QString::number(p.passes)}.join(' '));
    env.remove("TAVI_RELIABILITY_OUT");
    // The killed child never removes its temporary folders: keep them in ours.
    env.insert("TMPDIR", tmp.path());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=RecoveryChild.RunUntilKilled"});
    ASSERT_TRUE(child.waitForStarted(30000));
    const qint64 pid = child.processId();
    ASSERT_TRUE(PumpUntil([&] { return child.state() == QProcess::NotRunning; }));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAll().toStdString();

    // The killed program's file: exactly the sums of its finished passes.
    const QString file = QString::fromStdString(RecoveryFilePath(tmp.path().toStdString(), pid));
    ASSERT_TRUE(QFileInfo::exists(file)) << child.readAll().toStdString();
    const std::string acc = AccTextOf(file);
    const int kept = std::atoi(acc.c_str());
    EXPECT_GE(kept, p.passes);
    EXPECT_LT(kept, kPasses);
    const std::vector<std::int32_t> sums = FileSums(file);
    const long lost = Mismatches(sums, LoggedSums(logPath, kept));
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(QDir(tmp.path()).entryList({"*.tmp*"}, QDir::Files).isEmpty());

    // The next start gives it a dated name and says what it holds.
    Rig next(link);
    next.w->AcqDir = tmp.path().toStdString();
    next.w->RecoverEarlierRuns();
    ASSERT_EQ(next.dialogs.fake.messages.size(), 1u);
    const QString said = next.dialogs.fake.messages[0].text;
    EXPECT_TRUE(said.contains(QStringLiteral("%1 of %2 passes").arg(kept).arg(kPasses)))
        << said.toStdString();
    const QStringList recovered = QDir(tmp.path()).entryList({"recovered-*.dcw"}, QDir::Files);
    ASSERT_EQ(recovered.size(), 1);
    EXPECT_TRUE(said.contains(recovered[0]));
    EXPECT_EQ(FileSums(tmp.path() + "/" + recovered[0]), sums);
    EXPECT_FALSE(QFileInfo::exists(file));
    RecordFigures(std::string("killed (SIGKILL) ") + p.name, 1,
                  "finished passes kept in the recovery file; renamed and reported at next start",
                  lost, Crashes());
}

INSTANTIATE_TEST_SUITE_P(Kill, KilledRun,
                         ::testing::Values(KillCase{"after the first pass", "end", 1},
                                           KillCase{"after a later pass", "end", 3},
                                           KillCase{"in the middle of a pass", "mid", 2}),
                         [](const auto& info) {
                             return std::string(info.param.when) + "Pass" +
                                    std::to_string(info.param.passes);
                         });

// ---- aborted, then saved ----

TEST_F(Recovery, AbortedAndSavedKeepsTheFinishedPasses) {
    auto rig = Connected();
    ASSERT_FALSE(HasFailure());
    TFCW& w = *rig->w;
    rig->StartSingle(kPasses);
    // A pass may come in one read, its running state never seen between two.
    ASSERT_TRUE(PumpUntil([&] { return w.FinishedPasses() >= 2 && Measuring(w.RunState()); },
                          std::chrono::seconds(60)))
        << "state " << int(w.RunState()) << ", pass " << w.PassCounter() << ", finished "
        << w.FinishedPasses() << ", point " << w.NextPointIndex();
    w.AbortToolBClick();
    ASSERT_TRUE(PumpUntil([&] { return w.RunState() == RunState::Aborted || w.RunState() == RunState::Finished; }));
    ASSERT_EQ(w.RunState(), RunState::Aborted);
    ASSERT_TRUE(w.MSaveas->isEnabled());
    const QString saved = tmp.path() + "/aborted.dcw";
    rig->dialogs.fake.fileAnswers.push_back(saved);
    w.MSaveasClick();
    const int kept = w.FinishedPasses();
    EXPECT_EQ(AccTextOf(saved), std::to_string(kept));
    const long lost = Mismatches(FileSums(saved), LoggedSums(logPath, kept));
    EXPECT_EQ(lost, 0);
    EXPECT_TRUE(QDir(tmp.path()).entryList({"tavi-recovery-*"}, QDir::Files).isEmpty());
    RecordFigures("aborted after 2+ passes, then Save data as", 1,
                  "the finished passes saved, counted as such", lost, Crashes());
}

// ---- a device that falls silent without a modem line ----

TEST_F(Recovery, ASilentDeviceLetsTheProgramCloseKeepingThePasses) {
    auto rig = Connected();
    ASSERT_FALSE(HasFailure());
    TFCW& w = *rig->w;
    auto clock = TFCW::Clock::now();
    w.Now = [&clock] { return clock; };
    rig->StartSingle(kPasses);
    ASSERT_TRUE(PumpUntil([&] { return w.FinishedPasses() >= 1 && w.RunState() == RunState::Running; }));
    ASSERT_GT(sim->Pid(), 0);
    ::kill(static_cast<pid_t>(sim->Pid()), SIGSTOP);          // silent, the lines unchanged
    PumpUntil([] { return false; }, std::chrono::seconds(1)); // what was sent arrives
    const int kept = w.FinishedPasses();

    rig->dialogs.fake.messages.clear();
    EXPECT_FALSE(w.CloseQueryAllowed()); // not yet 10 s of silence
    EXPECT_TRUE(rig->dialogs.fake.Said("Measure in progress"));
    clock += std::chrono::seconds(10);
    rig->dialogs.fake.answers.push_back(MsgResult::No);
    EXPECT_FALSE(w.CloseQueryAllowed());
    EXPECT_EQ(rig->dialogs.fake.messages.back().buttons, MsgButtons::YesNo);
    // Running, or waiting for the next pass when the whole pass had been sent.
    EXPECT_TRUE(Measuring(w.RunState()));
    rig->dialogs.fake.answers.push_back(MsgResult::Yes);
    EXPECT_TRUE(w.close());

    const QString file = QString::fromStdString(w.RecoveryPath());
    EXPECT_EQ(AccTextOf(file), std::to_string(kept));
    ::kill(static_cast<pid_t>(sim->Pid()), SIGCONT);
    const long lost = Mismatches(FileSums(file), LoggedSums(logPath, kept));
    EXPECT_EQ(lost, 0);
    RecordFigures("silent device mid-pass (no modem lines), closed", 1,
                  "close asked after 10 s; No waits, Yes closes; finished passes kept", lost,
                  Crashes());
}

} // namespace
} // namespace tavi::test
