// SPDX-License-Identifier: GPL-3.0-or-later
// Runs that survive: the recovery file of the finished passes, saving after an
// Abort or a lost device, closing over a silent device, the progress display.
#include "RunTestSupport.h"
#include "processing/DataFile.h"
#include "processing/RecoveryFile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace tavi::test {
namespace {

constexpr long kDeadPid = 999999999; // above any pid_max: no such process

class RecoveryTest : public RunFixture {
protected:
    QString RecoveryFile() const {
        return QString::fromStdString(RecoveryFilePath(
            dataDir.path().toStdString(), static_cast<long>(::getpid()),
            w->SingleRB->isChecked() ? w->FNameEdit->text().toStdString() : ""));
    }
    // Sums, AccText and mark of a data file; false when unreadable.
    struct Content {
        std::vector<std::int32_t> sums;
        std::string accText;
        RecoveryMark mark;
    };
    static bool Read(const QString& path, Content& c) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = f.readAll();
        if (bytes.size() < 425 || std::uint8_t(bytes[0]) != 11)
            return false;
        DataFileHeader h;
        std::memcpy(h.Bytes.data(), bytes.constData() + 1, 424);
        c.accText = h.Decode().AccText;
        c.mark = ReadRecoveryMark(h);
        c.sums.clear();
        for (qsizetype at = 425; at + 4 <= bytes.size(); at += 4) {
            std::uint32_t u = 0;
            for (int b = 0; b < 4; ++b)
                u |= std::uint32_t(std::uint8_t(bytes[at + b])) << (8 * b);
            c.sums.push_back(static_cast<std::int32_t>(u));
        }
        return true;
    }
    QStringList FilesInDataDir() const {
        return QDir(dataDir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    void SwitchToLoop() {
        w->LoopRB->setChecked(true);
        w->SingleRBClick();
    }
};

TEST_F(RecoveryTest, HoldsTheFinishedPassesNeverTheOneInProgress) {
    SetPasses(3);
    w->FNameEdit->setText("run");
    Start();
    const std::vector<std::vector<int>> passes = {{10, -20, 30}, {99, 2, 3}, {7, 7, 7}};
    const std::vector<std::vector<std::int32_t>> sums = {{10, -20, 30}, {109, -18, 33}};
    Pass(passes[0]);
    for (int k = 1; k <= 2; ++k) {
        // Pass k + 1 is a point in: only the k finished ones are in the file.
        port.Feed("A0003\r");
        port.Feed("B\r");
        port.Feed(PointLine(passes[k][0]));
        Content c;
        ASSERT_TRUE(Read(RecoveryFile(), c)) << "after pass " << k;
        EXPECT_EQ(c.sums, sums[k - 1]) << "after pass " << k;
        EXPECT_EQ(c.accText, std::to_string(k));
        EXPECT_TRUE(c.mark.Present);
        EXPECT_EQ(c.mark.PassesSet, 3);
        EXPECT_FALSE(c.mark.Loop);
        port.Feed(PointLine(passes[k][1]));
        port.Feed(PointLine(passes[k][2]));
        port.Feed("C\r");
        port.Feed("D\r");
    }
    // The third pass completed the experiment; the auto-save removed the file.
    ASSERT_EQ(w->RunState(), RunState::Finished);
    EXPECT_TRUE(QFileInfo::exists(DataPath("run.dcw")));
    EXPECT_FALSE(QFileInfo::exists(RecoveryFile()));
    EXPECT_EQ(FilesInDataDir(), QStringList{"run.dcw"}); // nothing half-written is left
}

TEST_F(RecoveryTest, SaveAsRemovesItButAnExitKeepsUnsavedPasses) {
    Start();
    Pass({4, 5});
    ASSERT_TRUE(QFileInfo::exists(RecoveryFile())); // unnamed: kept until saved
    dialogs.fake.fileAnswers.push_back(DataPath("kept.dcw"));
    w->MSaveasClick();
    EXPECT_TRUE(QFileInfo::exists(DataPath("kept.dcw")));
    EXPECT_FALSE(QFileInfo::exists(RecoveryFile()));

    // Closing over finished passes that were never saved keeps them for the
    // next start.
    Start();
    Pass({4, 5});
    ASSERT_TRUE(QFileInfo::exists(RecoveryFile()));
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(QFileInfo::exists(RecoveryFile()));
}

TEST_F(RecoveryTest, AFailedWriteLeavesThePreviousCompleteFile) {
    SetPasses(3);
    std::vector<int> values(200, 1);
    Start();
    Pass(values);
    QFile before(RecoveryFile());
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray first = before.readAll();
    before.close();
    ASSERT_EQ(first.size(), 425 + 800);

    // A file size limit below the file fails the next write half way, as a
    // full disk or a crash during the write would cut it.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Pass(values);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QFile after(RecoveryFile());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), first);
    EXPECT_EQ(FilesInDataDir(), QStringList{QFileInfo(RecoveryFile()).fileName()});
    EXPECT_EQ(w->PassCounter(), 3); // the run went on with its third pass
    EXPECT_EQ(dialogs.fake.messages.size(), 1u);
}

TEST_F(RecoveryTest, AnUnwritableDirectoryWarnsOncePerRun) {
    w->AcqDir = (dataDir.path() + "/gone").toStdString();
    SetPasses(3);
    for (int run = 1; run <= 2; ++run) {
        dialogs.fake.messages.clear();
        Start();
        Pass({1});
        Pass({2});
        Pass({3});
        ASSERT_EQ(w->RunState(), RunState::Finished) << "run " << run;
        ASSERT_EQ(dialogs.fake.messages.size(), 1u) << "run " << run;
        EXPECT_TRUE(dialogs.fake.messages[0].text.startsWith("The recovery file cannot be written"))
            << dialogs.fake.messages[0].text.toStdString();
        EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Warning);
        EXPECT_EQ(Entry(0), 6);
    }
}

TEST_F(RecoveryTest, LoopKeepsTheLastFinishedPass) {
    SwitchToLoop();
    Start();
    Pass({1, 2});
    Pass({5, 6});
    PassUpToC({9, 9}, 2); // a "C": this one is finished too
    port.Feed("D\r");
    port.Feed("A0002\r");
    port.Feed("B\r");
    port.Feed(PointLine(70));
    Content c;
    ASSERT_TRUE(Read(RecoveryFile(), c));
    EXPECT_EQ(c.sums, (std::vector<std::int32_t>{9, 9}));
    EXPECT_EQ(c.accText, "1");
    EXPECT_TRUE(c.mark.Loop);

    w->AbortToolBClick();
    port.Feed("F\r");
    port.Feed("D\r");
    ASSERT_EQ(w->RunState(), RunState::Aborted);
    ASSERT_TRUE(w->MSaveas->isEnabled());
    // The status says the finished pass is not lost, until it is saved.
    EXPECT_FALSE(w->AbortNoticeLab->isHidden());
    EXPECT_EQ(w->AbortNoticeLab->text().trimmed(),
              "\"Save data as ...\" keeps 1 finished pass");
    dialogs.fake.fileAnswers.push_back(DataPath("loop.dcw"));
    w->MSaveasClick();
    EXPECT_TRUE(w->AbortNoticeLab->isHidden());
    ASSERT_TRUE(Read(DataPath("loop.dcw"), c));
    EXPECT_EQ(c.sums, (std::vector<std::int32_t>{9, 9}));
    EXPECT_EQ(c.accText, "1");
}

TEST_F(RecoveryTest, ALoopRunsCopyGoesWithTheProgram) {
    SwitchToLoop();
    Start();
    Pass({1, 2});
    ASSERT_TRUE(QFileInfo::exists(RecoveryFile()));
    w->AbortToolBClick();
    port.Feed("F\r");
    port.Feed("D\r");
    ASSERT_EQ(w->RunState(), RunState::Aborted);
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(QFileInfo::exists(RecoveryFile()));
}

struct CutRunCase {
    const char* name;
    int finishedPasses;
    bool switchOff; // ended by "Spectrometer is OFF" (else by Abort)
};

class CutRunTest : public RecoveryTest, public ::testing::WithParamInterface<CutRunCase> {};

// A run cut short saves its finished passes, counted as such: the average read
// back is the true one. With none finished it says so and writes nothing.
TEST_P(CutRunTest, SaveAsWritesTheFinishedPassesOnly) {
    const CutRunCase& p = GetParam();
    if (p.switchOff)
        ReconnectWatchingPower();
    SetPasses(5);
    Start();
    const std::vector<std::vector<int>> passes = {{100, 200}, {300, 400}, {500, 600}};
    for (int k = 0; k < p.finishedPasses; ++k)
        Pass(passes[k]);
    port.Feed("A0002\r");
    port.Feed("B\r");
    port.Feed(PointLine(-30000 / 76)); // the cut-off pass
    if (p.switchOff) {
        port.SetModem(0);
        ASSERT_TRUE(dialogs.fake.Said("Spectrometer is OFF"));
    } else {
        w->AbortToolBClick();
        port.Feed("F\r");
        port.Feed("D\r");
        ASSERT_EQ(w->RunState(), RunState::Aborted);
    }
    ASSERT_TRUE(w->MSaveas->isEnabled());
    dialogs.fake.messages.clear();
    dialogs.fake.fileAnswers.push_back(DataPath("cut.dcw"));
    w->MSaveasClick();

    if (p.finishedPasses == 0) {
        ASSERT_EQ(dialogs.fake.messages.size(), 1u);
        EXPECT_EQ(dialogs.fake.messages[0].text,
                  "No pass of this experiment was finished: there is nothing to save.");
        EXPECT_FALSE(QFileInfo::exists(DataPath("cut.dcw")));
        return;
    }
    EXPECT_TRUE(dialogs.fake.messages.empty());
    LoadedDataFile loaded;
    std::string error;
    ASSERT_TRUE(ReadDataFile(DataPath("cut.dcw").toStdString(), loaded, &error)) << error;
    EXPECT_EQ(loaded.Settings.AccText, std::to_string(p.finishedPasses));
    const double first = p.finishedPasses == 1 ? 100 : 200;
    const double second = p.finishedPasses == 1 ? 200 : 300;
    EXPECT_EQ(loaded.Y, (std::vector<double>{first, second})); // the true average
    EXPECT_FALSE(QFileInfo::exists(RecoveryFile()));
}

INSTANTIATE_TEST_SUITE_P(Cut, CutRunTest,
                         ::testing::Values(CutRunCase{"AbortInTheFirstPass", 0, false},
                                           CutRunCase{"AbortAfterTwoPasses", 2, false},
                                           CutRunCase{"SwitchedOffInTheFirstPass", 0, true},
                                           CutRunCase{"SwitchedOffAfterOnePass", 1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecoveryTest, ClosingOverASilentDeviceAsksAfterTenSeconds) {
    auto clock = TFCW::Clock::now();
    w->Now = [&clock] { return clock; };
    SetPasses(3);
    Start();
    Pass({1, 2});
    port.Feed("A0002\r");
    port.Feed("B\r");
    port.Feed(PointLine(3));

    clock += std::chrono::milliseconds(9999);
    dialogs.fake.messages.clear();
    EXPECT_FALSE(w->CloseQueryAllowed());
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].text, "Measure in progress");

    clock += std::chrono::milliseconds(1);
    dialogs.fake.messages.clear();
    dialogs.fake.answers.push_back(MsgResult::No);
    EXPECT_FALSE(w->close());
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(dialogs.fake.messages[0].text.contains("sent nothing for 10 s"))
        << dialogs.fake.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs.fake.messages[0].text.contains(RecoveryFile()));
    EXPECT_EQ(w->RunState(), RunState::Running); // "No" keeps the run waiting

    // A reply starts the silence again.
    port.Feed(PointLine(4));
    dialogs.fake.messages.clear();
    EXPECT_FALSE(w->CloseQueryAllowed());
    EXPECT_TRUE(dialogs.fake.Said("Measure in progress"));

    clock += std::chrono::seconds(60);
    dialogs.fake.answers.push_back(MsgResult::Yes);
    EXPECT_TRUE(w->close());
    Content c;
    ASSERT_TRUE(Read(RecoveryFile(), c)); // kept for the next start
    EXPECT_EQ(c.sums, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(c.accText, "1");
}

TEST_F(RecoveryTest, StartUpRenamesFilesOfRunsThatEndedAndSaysWhatTheyHold) {
    const std::string dir = dataDir.path().toStdString();
    DataFileSettings settings;
    settings.AccText = "2";
    const std::vector<std::uint8_t> sums = {1, 0, 0, 0, 2, 0, 0, 0};
    std::string error;
    const std::string dead = RecoveryFilePath(dir, kDeadPid);
    ASSERT_TRUE(WriteRecoveryFile(dead, DataFileHeader::Build(settings), sums, 5, false, &error));
    // A running program's file: held under its lock, whatever its name says.
    RecoveryWriter live;
    ASSERT_TRUE(live.Write(dir, "", DataFileHeader::Build(settings), sums, 5, false, &error));
    const std::string mine = live.Path();
    // A write that was cut off before its rename.
    QFile torn(QString::fromStdString(dead) + ".tmp123_0");
    ASSERT_TRUE(torn.open(QIODevice::WriteOnly));
    torn.write("\x0b partial");
    torn.close();

    w->RecoverEarlierRuns();
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    const auto& m = dialogs.fake.messages[0];
    EXPECT_EQ(m.icon, MsgIcon::Information);
    EXPECT_TRUE(m.text.contains("2 of 5 passes")) << m.text.toStdString();
    const QStringList recovered = QDir(dataDir.path()).entryList({"recovered-*.dcw"}, QDir::Files);
    ASSERT_EQ(recovered.size(), 1);
    EXPECT_TRUE(m.text.contains(dataDir.path() + "/" + recovered[0])) << m.text.toStdString();
    Content c;
    ASSERT_TRUE(Read(dataDir.path() + "/" + recovered[0], c));
    EXPECT_EQ(c.sums, (std::vector<std::int32_t>{1, 2}));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dead)));
    EXPECT_FALSE(torn.exists());
    // This instance's own file belongs to a live run and stays.
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(mine)));

    // A second file with the same time never replaces the first.
    ASSERT_TRUE(WriteRecoveryFile(dead, DataFileHeader::Build(settings), sums, 5, false, &error));
    std::filesystem::last_write_time(
        dead,
        std::filesystem::last_write_time((dataDir.path() + "/" + recovered[0]).toStdString()));
    w->RecoverEarlierRuns();
    EXPECT_EQ(QDir(dataDir.path()).entryList({"recovered-*.dcw"}, QDir::Files).size(), 2);
}

// Start keeps a complete run saveable until the device begins the new one.
TEST_F(RecoveryTest, AFinishedRunStaysSaveableUntilTheNextPassBegins) {
    Start();
    Pass({4, 5});
    ASSERT_EQ(w->RunState(), RunState::Finished);
    w->StartToolBClick(); // the device has not answered yet
    dialogs.fake.fileAnswers.push_back(DataPath("late.dcw"));
    w->MSaveasClick();
    EXPECT_TRUE(dialogs.fake.messages.empty()) << dialogs.fake.messages[0].text.toStdString();
    EXPECT_TRUE(QFileInfo::exists(DataPath("late.dcw")));
    Pass({1, 1}); // now the new run has begun
    EXPECT_EQ(w->FinishedPasses(), 1);
}

// An auto-save that failed leaves a complete run nobody wrote: Exit asks.
TEST_F(RecoveryTest, ClosingOverACompleteRunThatWasNeverSavedAsks) {
    w->FNameEdit->setText("gone/run");
    Start();
    Pass({4, 5});
    ASSERT_EQ(w->RunState(), RunState::Finished);
    ASSERT_FALSE(QFileInfo::exists(DataPath("gone/run.dcw")));
    dialogs.fake.messages.clear();
    dialogs.fake.answers.push_back(MsgResult::No);
    EXPECT_FALSE(w->close());
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_TRUE(dialogs.fake.messages[0].text.contains("was not saved"));
    EXPECT_EQ(dialogs.fake.messages[0].buttons, MsgButtons::YesNo);
    dialogs.fake.fileAnswers.push_back(DataPath("run.dcw"));
    w->MSaveasClick();
    dialogs.fake.messages.clear();
    EXPECT_TRUE(w->close()); // saved now: no question
    EXPECT_TRUE(dialogs.fake.messages.empty());
}

TEST_F(RecoveryTest, ProgressInTheStatusBarAndTheCaption) {
    const QString caption = w->CaptionText();
    SetPasses(2);
    w->SweepTUpDown->SetPosition(1); // 0.5 min a pass
    w->SweepTUpDownClick();
    Start();
    ASSERT_TRUE(w->RunProgress);
    port.Feed("A0004\r");
    port.Feed("B\r");
    EXPECT_FALSE(w->RunProgress->isHidden());
    port.Feed(PointLine(1));
    port.Feed(PointLine(2));
    EXPECT_EQ(w->RunProgress->value(), 50);
    EXPECT_EQ(w->RunProgress->format(), "50% of pass 1, 0 of 2 done, 0:45 left");
    EXPECT_EQ(w->windowTitle(), "50% of pass 1, 0 of 2 done, 0:45 left - " + caption);
    port.Feed(PointLine(3));
    port.Feed(PointLine(4));
    port.Feed("C\r");
    port.Feed("D\r");
    Pass({1, 2, 3}, 4);
    EXPECT_EQ(w->RunState(), RunState::Finished);
    EXPECT_TRUE(w->RunProgress->isHidden());
    EXPECT_EQ(w->windowTitle(), caption);

    SwitchToLoop();
    Start();
    port.Feed("A0004\r");
    port.Feed(PointLine(1));
    EXPECT_EQ(w->RunProgress->format(), "Loop: 25% of pass");
    EXPECT_TRUE(w->windowTitle().startsWith("Loop: 25% of pass - CW NMR/ESR"));
    w->AbortToolBClick();
    port.Feed("F\r");
    port.Feed("D\r");
    EXPECT_TRUE(w->RunProgress->isHidden());
    EXPECT_EQ(w->windowTitle(), caption);
}

} // namespace
} // namespace tavi::test
