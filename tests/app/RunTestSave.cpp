// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunTestSupport.h"
#include "device/UOutMess.h"
#include "processing/DataFile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <csignal>
#include <sys/resource.h>
#include <tuple>

namespace tavi::test {
namespace {

using SaveTest = RunFixture;

// The files saved in a directory; the run's recovery file is not one of them.
QStringList SavedFiles(const QString& dir) {
    QStringList names = QDir(dir).entryList(QDir::Files);
    names.removeIf([](const QString& n) { return n.startsWith("tavi-recovery-"); });
    return names;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

TEST_F(SaveTest, AutoSaveAppendsTheDefaultExtension) {
    SetPasses(2);
    w->FNameEdit->setText("run1");
    w->CommentEdit->setText("water, 20 C");
    Start();
    Pass({100, -3, 0});
    Pass({50, -4, 1});
    const QString path = DataPath("run1.dcw");
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_TRUE(w->FNameEdit->text().isEmpty());
    EXPECT_EQ(Panel(1), "Last Data Saved In: run1.dcw");

    const QByteArray bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 425 + 12);
    EXPECT_EQ(std::uint8_t(bytes[0]), 11);
    // The sums follow the header byte for byte, as in the buffer.
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(w->AccBuffer().data()), 12), bytes.mid(425));

    LoadedDataFile loaded;
    std::string error;
    ASSERT_TRUE(ReadDataFile(path.toStdString(), loaded, &error)) << error;
    EXPECT_EQ(loaded.Settings.Comment, "water, 20 C");
    EXPECT_EQ(loaded.Settings.AccText, w->AccVal->text().left(3).toStdString());
    EXPECT_EQ(loaded.Settings.GainText, w->GainVal->text().toStdString());
    EXPECT_EQ(loaded.Settings.FrequencyText, w->FrequencyVal->text().toStdString());
    EXPECT_EQ(loaded.Settings.FieldB0Text, w->TuningB0Val->text().toStdString());
    EXPECT_EQ(loaded.Settings.ModeText, "NMR 1H");
    EXPECT_EQ(loaded.Settings.FieldSweep, 1);
    EXPECT_FLOAT_EQ(loaded.Settings.SweepRange,
                    FieldSweepRangeGs(0, w->FieldSwRngUpDown->Position()));
}

TEST_F(SaveTest, AnEsrUnitRecordsAFieldSweepWhateverTheSetupSaid) {
    w->Params.FieldSweep = 0; // the setup was saved with a frequency sweep
    port.Feed("M02\r");       // Helmholtz coils: the set falls back to ESR
    ASSERT_TRUE(w->EPRResRB->isChecked());
    EXPECT_FALSE(w->FreqSwRngRB->isChecked());
    port.TakeWritten();
    w->FNameEdit->setText("esr1");
    Start();
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{lines::StartSweep(false)});
    Pass({1, 2});
    LoadedDataFile loaded;
    std::string error;
    ASSERT_TRUE(ReadDataFile(DataPath("esr1.dcw").toStdString(), loaded, &error)) << error;
    EXPECT_EQ(loaded.Settings.FieldSweep, 1);
    EXPECT_FLOAT_EQ(loaded.Settings.SweepRange, FieldSweepRangeGs(1, w->FieldSwRngUpDown->Position()));
}

TEST_F(SaveTest, AutoSaveKeepsAGivenExtension) {
    w->FNameEdit->setText("run1.txt");
    Start();
    Pass({1});
    EXPECT_TRUE(QFileInfo::exists(DataPath("run1.txt")));
    EXPECT_FALSE(QFileInfo::exists(DataPath("run1.txt.dcw")));
    EXPECT_EQ(Panel(1), "Last Data Saved In: run1.txt");
}

TEST_F(SaveTest, UnnamedRunsAreNotSaved) {
    Start();
    Pass({1});
    EXPECT_TRUE(SavedFiles(dataDir.path()).isEmpty());
    EXPECT_EQ(Panel(1), "Last Data Saved In: ");
}

// Asked once at Start, so nothing waits at the end; No offers another name.
TEST_F(SaveTest, TheOverwriteQuestionComesAtStartAndNoAsksForAnotherName) {
    const QString path = DataPath("run1.dcw");
    const std::tuple<MsgResult, QString, QString> cases[] = {
        {MsgResult::No, "", ""},                    // another name cancelled: kept for Save as
        {MsgResult::No, "run1b.dcw", "run1b.dcw"},
        {MsgResult::Yes, "", "run1.dcw"},
    };
    for (const auto& [answer, otherName, saved] : cases) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        dialogs.fake.messages.clear();
        dialogs.fake.saveStarts.clear();
        w->Panels[1]->setText("Last Data Saved In: ");
        dialogs.fake.answers = {answer};
        dialogs.fake.fileAnswers = {otherName.isEmpty() ? "" : DataPath(otherName)};
        w->FNameEdit->setText("run1");
        Start();
        ASSERT_EQ(dialogs.fake.messages.size(), 1u);
        EXPECT_EQ(dialogs.fake.messages[0].text, "\"run1.dcw\" file exists. Overwrite ?");
        Pass({1, 2});
        EXPECT_EQ(dialogs.fake.messages.size(), 1u);
        EXPECT_EQ(dialogs.fake.saveStarts, answer == MsgResult::No ? std::vector{path}
                                                                   : std::vector<QString>{});
        EXPECT_EQ(ReadAll(path).size(), answer == MsgResult::No ? 3 : 425 + 8);
        EXPECT_EQ(Panel(1), "Last Data Saved In: " + saved);
    }
}

TEST_F(SaveTest, AMissingDirectoryIsReportedAndNothingClaimsSaved) {
    w->AcqDir = (dataDir.path() + "/no/such/dir").toStdString();
    w->FNameEdit->setText("run1");
    Start();
    Pass({1, 2});
    EXPECT_TRUE(dialogs.fake.Said("Path not found !"));
    EXPECT_EQ(dialogs.fake.messages.back().icon, MsgIcon::Error);
    EXPECT_EQ(Panel(1), "Last Data Saved In: ");
    EXPECT_EQ(w->RunState(), RunState::Finished);

    // The accumulation stays saveable.
    ASSERT_TRUE(w->MSaveas->isEnabled());
    dialogs.fake.fileAnswers.push_back(DataPath("rescued.dcw"));
    w->MSaveasClick();
    EXPECT_EQ(QFileInfo(DataPath("rescued.dcw")).size(), 425 + 8);
    EXPECT_EQ(Panel(1), "Last Data Saved In: rescued.dcw");
}

TEST_F(SaveTest, AFullDiskIsReportedAndNothingClaimsSaved) {
    // A file size limit below the file's size fails the write as a full disk does.
    Start();
    Pass({1, 2});
    dialogs.fake.messages.clear();
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = w->SaveDataFile(DataPath("full.dcw"));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
    EXPECT_FALSE(dialogs.fake.messages[0].text.isEmpty());
    EXPECT_NE(QFileInfo(DataPath("full.dcw")).size(), 425 + 8);
    EXPECT_EQ(Panel(1), "Last Data Saved In: ");
}

TEST_F(SaveTest, AnUnwritableFileIsReported) {
    // A directory in the file's place cannot be created as a file, even as root.
    ASSERT_TRUE(QDir(dataDir.path()).mkdir("taken.dcw"));
    Start();
    Pass({1, 2});
    dialogs.fake.messages.clear();
    EXPECT_FALSE(w->SaveDataFile(DataPath("taken.dcw")));
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_TRUE(dialogs.fake.messages[0].text.startsWith("Cannot create file"))
        << dialogs.fake.messages[0].text.toStdString();
    EXPECT_EQ(Panel(1), "Last Data Saved In: ");
}

TEST_F(SaveTest, SaveAsAsksForTheFileInTheDataDirectory) {
    Start();
    Pass({3});
    dialogs.fake.fileAnswers.push_back(""); // cancelled
    w->MSaveasClick();
    EXPECT_TRUE(SavedFiles(dataDir.path()).isEmpty());
    dialogs.fake.fileAnswers.push_back(DataPath("chosen.dcw"));
    w->MSaveasClick();
    EXPECT_TRUE(QFileInfo::exists(DataPath("chosen.dcw")));
}

TEST_F(SaveTest, SettingsAreTakenAtTheMomentOfSaving) {
    Start();
    Pass({3, 4});
    w->CommentEdit->setText("written later");
    ASSERT_TRUE(w->SaveDataFile(DataPath("late.dcw")));
    LoadedDataFile loaded;
    std::string error;
    ASSERT_TRUE(ReadDataFile(DataPath("late.dcw").toStdString(), loaded, &error)) << error;
    EXPECT_EQ(loaded.Settings.Comment, "written later");
}

} // namespace
} // namespace tavi::test
