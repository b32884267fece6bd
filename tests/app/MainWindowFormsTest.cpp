// SPDX-License-Identifier: GPL-3.0-or-later
// The program's windows together: creation order and how the main window opens
// the dialogs, the processing window and the service window.
#include "app/Forms.h"
#include "app/MainWindowSupport.h"
#include "dialogs/AudioDlgB.h"
#include "dialogs/DlgBox1.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "processing/UDataProc.h"
#include "setup/DirDlgB.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

namespace tavi::test {
namespace {

class FormsTest : public MainWindowFixture {
protected:
    std::unique_ptr<TaviForms> forms;
    TFCW* fcw = nullptr;
    void MakeForms() {
        forms = std::make_unique<TaviForms>(port, exeDir.path().toStdString());
        fcw = forms->FCW();
        target = fcw;
    }
    void TearDown() override {
        if (fcw)
            fcw->SetRunState(RunState::Idle);
        forms.reset();
        MainWindowFixture::TearDown();
    }
};

TEST_F(FormsTest, AllWindowsExistAndTheProcessingWindowGetsTheDirectories) {
    WriteIniLines({"/s", "/acq", "/out", "COM2", "", "0,1,0", "", "0,1,0", "", "0,0,1"});
    MakeForms();
    ASSERT_NE(forms->MDialogBox(), nullptr);
    ASSERT_NE(forms->MDirectories(), nullptr);
    ASSERT_NE(forms->FService(), nullptr);
    ASSERT_NE(forms->MAudioDlgBox(), nullptr);
    ASSERT_NE(forms->MUsersAssist(), nullptr);
    EXPECT_EQ(forms->FDataProc()->AcquisitionDirectory(), "/acq");
    EXPECT_EQ(forms->FDataProc()->OutputDirectory(), "/out");
    EXPECT_FALSE(forms->FDataProc()->isVisible());
}

TEST_F(FormsTest, AudioCancelKeepsAndOkTakesTheSettings) {
    MakeForms();
    const auto before = fcw->SoundSettings;
    auto edited = before;
    edited[1].FileName = "end.wav";
    dialogs.fake.script = [&](QDialog& d) {
        static_cast<TMAudioDlgBox&>(d).SetSettings(edited);
        return int(QDialog::Rejected);
    };
    fcw->Audio1->trigger();
    EXPECT_EQ(fcw->SoundSettings, before);
    dialogs.fake.script = [&](QDialog& d) {
        auto& audio = static_cast<TMAudioDlgBox&>(d);
        EXPECT_EQ(audio.Settings(), before); // it starts from the settings in use
        audio.SetSettings(edited);
        return int(QDialog::Accepted);
    };
    fcw->Audio1Click();
    EXPECT_EQ(fcw->SoundSettings[1].FileName, "end.wav");
}

TEST_F(FormsTest, PreferencesOkChangesTheDirectoriesEverywhere) {
    MakeForms();
    dialogs.fake.script = [](QDialog& d) {
        auto& dirs = static_cast<TMDirectories&>(d);
        dirs.SetDirectories("/new/setup", "/new/acq", "/new/out");
        return int(QDialog::Accepted);
    };
    fcw->MFileLocation->trigger();
    EXPECT_EQ(fcw->SetupDir, "/new/setup");
    EXPECT_EQ(fcw->AcqDir, "/new/acq");
    // In TAVI.INI at once: a crash must not send the next start to the old folder.
    ASSERT_EQ(ReadIniLines().size(), 10u);
    EXPECT_EQ(ReadIniLines()[1], "/new/acq");
    EXPECT_EQ(forms->FDataProc()->AcquisitionDirectory(), "/new/acq");
    EXPECT_EQ(forms->FDataProc()->OutputDirectory(), "/new/out");
    dialogs.fake.script = [](QDialog& d) {
        static_cast<TMDirectories&>(d).SetDirectories("/x", "/y", "/z");
        return int(QDialog::Rejected);
    };
    fcw->MFileLocationClick();
    EXPECT_EQ(fcw->SetupDir, "/new/setup");
    EXPECT_TRUE(fcw->close());
    const auto lines = ReadIniLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "/new/setup");
    EXPECT_EQ(lines[2], "/new/out");
}

TEST_F(FormsTest, DataProcessingIsShownMaximisedWithoutBeingModal) {
    MakeForms();
    fcw->MDataprocessing->trigger();
    EXPECT_TRUE(forms->FDataProc()->isVisible());
    EXPECT_TRUE(forms->FDataProc()->isMaximized());
    fcw->DProcTB->click();
    EXPECT_TRUE(forms->FDataProc()->isVisible());
    EXPECT_EQ(dialogs.fake.execs, 0);
}

TEST_F(FormsTest, ProcAfterASaveOpensThatFileOnce) {
    MakeForms();
    TFDataProc& proc = *forms->FDataProc();
    // A complete one-pass run of three points.
    for (auto& sound : fcw->SoundSettings)
        sound.Off = 1;
    port.Open();
    port.Feed("Z00422.0\rX07FF07FF\rM01\r");
    fcw->StartToolBClick();
    port.Feed("A0003\rB\rV 00000000\rV 00000000\rV 00000000\rC\rD\r");
    ASSERT_TRUE(fcw->RunComplete());
    ASSERT_TRUE(fcw->SaveDataFile(exeDir.path() + "/run1.dcw"));
    fcw->DProcTB->click();
    EXPECT_EQ(proc.FileName(), exeDir.path() + "/run1.dcw");
    EXPECT_EQ(proc.Series1->Count(), 3);
    proc.Series1->Clear(); // what the operator did since stays at the next visit
    fcw->DProcTB->click();
    EXPECT_EQ(proc.Series1->Count(), 0);
}

TEST_F(FormsTest, CommentDoubleClickOpensTheCommentDialog) {
    MakeForms();
    fcw->CommentEdit->setText("old");
    dialogs.fake.script = [](QDialog& d) {
        auto* edit = d.findChild<QLineEdit*>("DlgBoxEdit");
        EXPECT_NE(edit, nullptr);
        if (edit) {
            EXPECT_EQ(edit->text(), "old");
            edit->setText("new comment");
        }
        return int(QDialog::Rejected);
    };
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(fcw->CommentEdit, &click);
    EXPECT_EQ(dialogs.fake.execs, 1);
    EXPECT_EQ(fcw->CommentEdit->text(), "old");
}

TEST_F(FormsTest, ServiceWindowByShortcutHandsItsFieldTuningBack) {
    MakeForms();
    Connect();
    port.Feed("M01\r");
    port.TakeWritten();
    fcw->TuningB0UpDown->SetPosition(40);
    EXPECT_FALSE(fcw->MService->isEnabled());
    EXPECT_EQ(fcw->ServiceShortcut->shortcut(), QKeySequence("Ctrl+Shift+S"));
    dialogs.fake.script = [](QDialog& d) {
        auto* up = d.findChild<TUpDown*>("SrvTuningB0UpDown");
        EXPECT_NE(up, nullptr);
        if (up) {
            EXPECT_EQ(up->Position(), 40); // taken over at the showing
            up->ClickUp();
        }
        return int(QDialog::Rejected);
    };
    fcw->ServiceShortcut->trigger();
    EXPECT_EQ(dialogs.fake.execs, 1);
    EXPECT_EQ(fcw->TuningB0UpDown->Position(), 41);
    const auto written = port.TakeWritten();
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back(), lines::FieldTuning(41));
    EXPECT_EQ(fcw->Params.B0[rmH1], 41);
}

// The service window has no port of its own: its lines go out through the
// main window's, the raw ones even before the device is ready.
TEST_F(FormsTest, ServiceWindowWritesThroughTheMainWindowsPort) {
    MakeForms();
    TFService* service = forms->FService();
    auto* edit = service->findChild<QLineEdit*>("MsgEdit");
    auto* send = service->findChild<QPushButton*>("SendButton");
    ASSERT_TRUE(edit && send);
    edit->setText("b1 0809");
    send->click(); // the port is still closed: said, not thrown
    EXPECT_EQ(dialogs.fake.errors.size(), 1u);
    port.Open();
    send->click();
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"b1 0809\r"});
}

TEST_F(FormsTest, MonitorListsEveryLineAndTheCheckBoxStopsAnalysis) {
    MakeForms();
    Connect();
    TFService* service = forms->FService();
    service->show();
    port.Feed("M01\rB\r");
    const QStringList lines = service->MonitorLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "M01\r");
    EXPECT_EQ(fcw->RunState(), RunState::Running);
    auto* block = service->findChild<QCheckBox*>("NAnalMessCB");
    ASSERT_NE(block, nullptr);
    block->setChecked(true);
    port.Feed("C\r");
    EXPECT_EQ(service->MonitorLines().size(), 3);
    EXPECT_EQ(fcw->RunState(), RunState::Running);
    service->hide();
}

TEST_F(FormsTest, MonitorListsALineTooLongForTheParserMarkedAsCut) {
    MakeForms();
    Connect();
    TFService* service = forms->FService();
    service->show();
    const std::string head(LineAssembler::kMaxLine, '7');
    port.Feed("V" + head + std::string(300 - 1 - head.size(), '8') + "\rB\r");
    const QStringList lines = service->MonitorLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0],
              QString::fromStdString("V" + head.substr(1) + " ... [cut, 300 characters]\r"));
    EXPECT_EQ(lines[1], "B\r");
    EXPECT_EQ(fcw->RunState(), RunState::Running); // the cut line is not parsed, the next one is
    EXPECT_TRUE(dialogs.fake.errors.empty());
    service->hide();
}

TEST_F(FormsTest, AboutShowsTheDeviceVersionOnceIdentified) {
    MakeForms();
    Connect("2.0");
    dialogs.fake.script = [](QDialog& d) {
        auto* label = d.findChild<QLabel*>("DevicePrgVerLab");
        EXPECT_NE(label, nullptr);
        if (label) {
            EXPECT_TRUE(label->isVisible());
            EXPECT_EQ(label->text(), "device internal control program v.2.0");
        }
        return int(QDialog::Accepted);
    };
    fcw->MAbout->trigger();
    EXPECT_EQ(dialogs.fake.execs, 1);
}

} // namespace
} // namespace tavi::test
