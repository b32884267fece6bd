// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindowSupport.h"
#include "params/Freq.h"
#include "platform/Chart.h"
#include "platform/Controls.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstring>

namespace tavi::test {
namespace {

const QString kNotConnected = "CW NMR/ESR Spectrometer- Device not connected";
const QString kPart2 = "            SETUP and ACQUISITION";
const QString kPart3 = "            Setup: ";

using Lines = std::vector<std::string>;

TSetupRecord DistinctRecord() {
    TSetupRecord r = DefaultSetup();
    r.DCOffset = 12;
    r.Gain = 100;
    r.Phase = {10, 20, 30, 40};
    r.Accumulations = 7;
    r.FieldSweep = 1;
    r.FieldSweepRange = {3, 4, 10, 5};
    r.FreqSweepRange = 4;
    r.ModAmp = 6;
    r.SweepTime = 3;
    r.B0 = {100, -200, 300, 1500};
    r.B0Step = 2;
    r.Frequency = {11, -22, 33, 44};
    r.FrequencyStep = 1;
    r.Mode = rmH1;
    return r;
}

// ------------------------------------------------------------ start-up

using StartupTest = MainWindowFixture;

TEST_F(StartupTest, FreshStartWithoutFilesIsIdleAndNotConnected) {
    Make();
    EXPECT_EQ(w->objectName(), "FCW");
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3);
    EXPECT_EQ(w->Params.Mode, rmH1);
    EXPECT_TRUE(w->HydrogenRB->isChecked());
    EXPECT_FALSE(port.Active());
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(port.DeviceName(), "COM1");
    EXPECT_TRUE(w->MSpcCOMItems[0]->isChecked());
    EXPECT_FALSE(w->MSavesetup->isEnabled());
    EXPECT_FALSE(w->MSaveas->isEnabled());
    EXPECT_FALSE(w->MService->isEnabled());
    EXPECT_FALSE(w->MUnits->menuAction()->isEnabled());
    EXPECT_FALSE(w->MCurrentdirection->menuAction()->isEnabled());
    EXPECT_TRUE(w->MGs->isChecked());
    EXPECT_TRUE(w->MCDirFWD->isChecked());
    // All parameter controls and all four modes are available.
    for (QRadioButton* rb : w->ModeRB)
        EXPECT_TRUE(rb->isEnabled());
    EXPECT_TRUE(w->GainScrollBar->isEnabled());
    EXPECT_TRUE(w->StartToolB->isEnabled());
    EXPECT_TRUE(w->AbortToolB->isEnabled());
    EXPECT_FALSE(w->HoldToolB->isEnabled());
    EXPECT_EQ(w->Panels[0]->text(), "Acc: 0 of 1");
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: disconnected");
    EXPECT_EQ(w->Panels[3]->text(), "Magnetic Field Source: ");
    // The built-in defaults leave "Frequency Sweep" selected.
    EXPECT_TRUE(w->FreqSwRngRB->isChecked());
    EXPECT_EQ(w->Fid->BottomAxis().ValueFormat(), "# ##0.### [kHz]");
    EXPECT_DOUBLE_EQ(w->Fid->BottomAxis().Minimum(), -25.0);
    EXPECT_DOUBLE_EQ(w->Fid->RightAxis().Minimum(), -500.0);
    EXPECT_DOUBLE_EQ(w->Fid->RightAxis().Maximum(), 500.0);
    EXPECT_EQ(w->Fid->SeriesCount(), 6);
    EXPECT_EQ(w->ModAmpVal->text().trimmed(), "0.05 Gs");
    EXPECT_EQ(w->GainVal->text(), "0");
    EXPECT_EQ(w->HoldList.size(), 21u);
}

TEST_F(StartupTest, ReadsIniAndStandardSetupFromTheSetupDirectory) {
    ASSERT_TRUE(QDir(exeDir.path()).mkdir("setups"));
    const std::string setupDir = ExePath("setups");
    TSetupRecord rec = DistinctRecord();
    ASSERT_TRUE(SaveSetupFile(StandardSetupPath(setupDir), rec, nullptr));
    WriteIniLines({setupDir, "/data/acq", "/data/out", "COM3", "start.wav", "1,0,1", "", "0,1,0",
                   "", "0,0,1"});
    Make();
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3 + "STANDARD.CFG");
    EXPECT_EQ(w->SetupDir, setupDir);
    EXPECT_EQ(w->AcqDir, "/data/acq");
    EXPECT_EQ(port.DeviceName(), "COM3");
    EXPECT_TRUE(w->MSpcCOMItems[2]->isChecked());
    EXPECT_FALSE(w->MSpcCOMItems[0]->isChecked());
    EXPECT_FALSE(w->MSavesetup->isEnabled());
    EXPECT_EQ(w->SoundSettings[0].FileName, "start.wav");
    EXPECT_EQ(w->SoundSettings[0].Off, 1);
    EXPECT_EQ(w->SoundSettings[0].SingleEnabled, 1);
    // The setup reached the controls.
    EXPECT_EQ(w->GainScrollBar->value(), 100);
    EXPECT_EQ(w->PhaseScrollBar->value(), 10);
    EXPECT_EQ(w->TuningB0UpDown->Position(), 100);
    EXPECT_EQ(w->FrequencyUpDown->Position(), 11);
    EXPECT_EQ(w->LevelTB->value(), 12);
    EXPECT_EQ(w->AccUpDown->Position(), 7);
    EXPECT_EQ(w->ModAmpUpDown->Position(), 6);
    EXPECT_TRUE(w->FieldSwRngRB->isChecked());
    EXPECT_EQ(w->Fid->BottomAxis().ValueFormat(), "# ##0.### [Gs]");
    EXPECT_DOUBLE_EQ(w->Fid->BottomAxis().Maximum(), 7.5); // 15 Gs range
    EXPECT_EQ(w->Params.B0, rec.B0);
    EXPECT_EQ(w->Params.Frequency, rec.Frequency);
}

// The port menu's items below COM4: caption and check mark.
std::vector<std::pair<std::string, bool>> DeviceItems(const TFCW& w) {
    std::vector<std::pair<std::string, bool>> items;
    for (const QAction* a : w.PortDeviceItems)
        items.emplace_back(a->text().toStdString(), a->isChecked());
    return items;
}

TEST_F(StartupTest, PortsPresentAndThePortInUseAreListedWithItChecked) {
    WriteIniLines({"", "", "", "/dev/ttyUSB7", "", "0,1,0", "", "0,1,0", "", "0,0,1"});
    Make();
    EXPECT_EQ(port.DeviceName(), "/dev/ttyUSB7");
    for (QAction* a : w->MSpcCOMItems)
        EXPECT_FALSE(a->isChecked());
    using Items = std::vector<std::pair<std::string, bool>>;
    w->ListPorts = [] { return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyACM0"}; };
    w->RefreshPortMenu(); // ttyS0 is COM1; the absent port in use is still shown
    EXPECT_EQ(DeviceItems(*w), (Items{{"/dev/ttyACM0", false}, {"/dev/ttyUSB7", true}}));
    w->PortDeviceItems[0]->trigger();
    EXPECT_EQ(DeviceItems(*w), (Items{{"/dev/ttyACM0", true}}));
    dialogs.fake.script = [](QDialog& d) {
        d.findChild<QLineEdit*>("TextEdit")->setText("/dev/serial/by-id/usb-1");
        return int(QDialog::Accepted);
    };
    w->MSpcOther->trigger();
    EXPECT_EQ(port.DeviceName(), "/dev/serial/by-id/usb-1");
    EXPECT_EQ(DeviceItems(*w), (Items{{"/dev/ttyACM0", false}, {"/dev/serial/by-id/usb-1", true}}));
    // Empty directory lines become the program's directory.
    EXPECT_EQ(w->SetupDir, exeDir.path().toStdString() + "/");
}

TEST_F(StartupTest, ChosenPortAndDirectoriesReachTheIniAtExit) {
    Make();
    w->MSpcCOMItems[2]->trigger();
    EXPECT_TRUE(w->MSpcCOMItems[2]->isChecked());
    EXPECT_FALSE(w->MSpcCOMItems[0]->isChecked());
    EXPECT_EQ(port.DeviceName(), "COM3");
    w->AcqDir = "/acq";
    EXPECT_TRUE(w->close());
    const auto lines = ReadIniLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "/acq");
    EXPECT_EQ(lines[3], "COM3");
    EXPECT_EQ(lines[5], "0,1,0");
    EXPECT_EQ(lines[9], "0,0,1");
}

TEST_F(StartupTest, CloseIsRefusedDuringAMeasurementAndClosesThePortOtherwise) {
    Make();
    Connect();
    w->SetRunState(RunState::Running);
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(dialogs.fake.Said("Measure in progress"));
    EXPECT_TRUE(port.Active());
    w->SetRunState(RunState::Finished);
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(port.Active());
}

TEST(DisplayScale, FollowsTheScreenWidthRule) {
    EXPECT_EQ(TFCW::ComputeDisplayScale(800), 1.0);
    EXPECT_EQ(TFCW::ComputeDisplayScale(640), 1.0);
    EXPECT_EQ(TFCW::ComputeDisplayScale(1024), double(RoundToReal48(1.28L * 1.09L)));
    EXPECT_NEAR(TFCW::ComputeDisplayScale(1024), 1.3952, 1e-9);
}

// ------------------------------------------------------------ replies

using ReplyTest = MainWindowFixture;

TEST_F(ReplyTest, RepliesOtherThanXAndZAreIgnoredUntilReady) {
    Make();
    port.Open();
    port.Feed("B\rM01\rE0012\r");
    EXPECT_EQ(w->RunState(), RunState::Idle);
    EXPECT_EQ(w->FieldSource(), 0);
    EXPECT_EQ(w->Panels[4]->text(), "DB: ");
    port.Feed("Z12341.5\r");
    EXPECT_EQ(w->UnitSerial(), "1234");
    EXPECT_EQ(w->DeviceVersion(), "1.5");
    EXPECT_FALSE(w->DeviceReady());
    port.Feed("X08000850\r");
    EXPECT_TRUE(w->DeviceReady());
    EXPECT_EQ(w->FieldZeroOffsets(), (std::array<std::int32_t, 4>{1, 1, 0, 0x850 - 2047}));
    EXPECT_EQ(w->windowTitle(), "CW NMR/ESR Spectrometer- Unit Serial #1234" + kPart2 + kPart3);
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: ");
}

TEST_F(ReplyTest, IdentificationSetsDivisorAndModulationLimitByVersion) {
    Make();
    port.Open();
    port.Feed("Z00011.0\r");
    EXPECT_EQ(w->SignalDivisor(), 13500);
    EXPECT_EQ(w->ModAmpUpDown->Max(), 11);
    EXPECT_FALSE(w->CurrentDirectionAvailable);
    port.Feed("Z00012.0\r");
    EXPECT_EQ(w->SignalDivisor(), 76000);
    EXPECT_EQ(w->ModAmpUpDown->Max(), 12);
    EXPECT_TRUE(w->CurrentDirectionAvailable);
    // A later other version keeps the wider limit.
    port.Feed("Z00011.9\r");
    EXPECT_EQ(w->SignalDivisor(), 13500);
    EXPECT_EQ(w->ModAmpUpDown->Max(), 12);
}

TEST_F(ReplyTest, IdentificationAfterTheConnectionShowsTheSerialAtOnce) {
    Make();
    w->MLinkClick();
    port.Feed("X07FF07FF\r"); // ready before any identification
    w->Timer1Timer();
    ASSERT_TRUE(w->DeviceReady());
    EXPECT_EQ(w->windowTitle(), "CW NMR/ESR Spectrometer- Unit Serial #" + kPart2 + kPart3);
    port.Feed("Z07312.0\r");
    EXPECT_EQ(w->windowTitle(), "CW NMR/ESR Spectrometer- Unit Serial #0731" + kPart2 + kPart3);
}

TEST_F(ReplyTest, IdentificationDuringTheConnectionCheckKeepsItsCaption) {
    Make();
    w->MLinkClick();
    port.Feed("Z07312.0\r");
    EXPECT_EQ(w->windowTitle(), "CW NMR/ESR Spectrometer- Checking device ready");
}

TEST_F(ReplyTest, LineSplitOverEventsIsHandledOnceAndTwoLinesInOneEventInOrder) {
    Make();
    ConnectWithSource(1);
    w->SetPassCounter(1);
    port.Feed("A04");
    EXPECT_EQ(w->RunState(), RunState::Idle);
    port.Feed("00\r");
    EXPECT_EQ(w->RunState(), RunState::SettingUp);
    EXPECT_EQ(w->AccBuffer().size(), 4u * 1024u);
    port.Feed("B\rC\r");
    EXPECT_EQ(w->RunState(), RunState::PassEnded);
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: End of experiment - please wait");
}

TEST_F(ReplyTest, RunStatesAndTheirPanelTexts) {
    Make();
    ConnectWithSource(1);
    port.Feed("B\r");
    EXPECT_EQ(w->RunState(), RunState::Running);
    EXPECT_TRUE(w->HoldToolB->isEnabled());
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: Experiment in progress - please wait");
    port.Feed("F\r");
    EXPECT_EQ(w->RunState(), RunState::Aborting);
    EXPECT_FALSE(w->HoldToolB->isEnabled());
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: Experiment aborted - please wait");
    w->SetControlsEnabled(false);
    port.Feed("D\r");
    EXPECT_EQ(w->RunState(), RunState::Aborted);
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: Experiment aborted - ready");
    EXPECT_TRUE(w->StartToolB->isEnabled());
    EXPECT_TRUE(w->GainScrollBar->isEnabled());
    // "D" outside states 3 and 4 only releases the hold and rewrites panel 0.
    port.Feed("H1\r");
    ASSERT_TRUE(w->HoldActive());
    w->SetPassCounter(2);
    port.Feed("D\r");
    EXPECT_EQ(w->RunState(), RunState::Aborted);
    EXPECT_FALSE(w->HoldActive());
    EXPECT_EQ(w->Panels[0]->text(), "Acc: 2 of 1");
}

TEST_F(ReplyTest, ErrorReplyReplacesTheWholeDbPanel) {
    Make();
    ConnectWithSource(1);
    port.Feed("E0012\r");
    EXPECT_EQ(w->Panels[4]->text(), "Error: 0012");
    w->SetPanelValue(4, "1.50 Gs");
    EXPECT_EQ(w->Panels[4]->text(), "Error: 1.50 Gs");
    EXPECT_EQ(w->RunState(), RunState::Idle);
}

TEST_F(ReplyTest, HoldListOfAFieldSweepFreesFrequencyControls) {
    Make();
    ConnectWithSource(1);
    w->FieldSwRngRB->setChecked(true);
    w->SetRunState(RunState::Running);
    w->SetControlsEnabled(false); // as a running pass has it
    port.Feed("H1\r");
    EXPECT_TRUE(w->HoldActive());
    EXPECT_TRUE(w->HoldToolB->isChecked());
    EXPECT_EQ(w->HoldToolB->text(), "Continue");
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: Experiment on Hold");
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(w->HoldList[i]->isEnabled(), i <= 6 || (i >= 8 && i <= 14)) << i;
    EXPECT_TRUE(w->FrequencyUpDown->isEnabled());
    EXPECT_FALSE(w->TuningB0UpDown->isEnabled());
    port.Feed("H0\r");
    EXPECT_FALSE(w->HoldToolB->isChecked());
    EXPECT_EQ(w->HoldToolB->text(), "Hold");
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: Experiment in progress - please wait");
    for (QWidget* c : w->HoldList)
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
}

TEST_F(ReplyTest, HoldListOfAFrequencySweepFreesFieldControls) {
    Make();
    ConnectWithSource(1);
    w->FreqSwRngRB->setChecked(true);
    w->SetRunState(RunState::Running);
    w->SetControlsEnabled(false);
    port.Feed("H1\r");
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(w->HoldList[i]->isEnabled(), i <= 6 || i >= 14) << i;
    EXPECT_TRUE(w->TuningB0UpDown->isEnabled());
    EXPECT_FALSE(w->DFrqUpDown->isEnabled());
}

struct SourceCase {
    int code;
    const char* text;
    std::array<bool, 4> modes;
    bool controls;
};

class FieldSourceTest : public MainWindowFixture,
                        public ::testing::WithParamInterface<SourceCase> {};

TEST_P(FieldSourceTest, SetsPanelModesAndControls) {
    const SourceCase c = GetParam();
    Make();
    Connect();
    port.Feed("M0" + std::to_string(c.code) + "\r");
    EXPECT_EQ(w->FieldSource(), c.code);
    EXPECT_EQ(w->Panels[3]->text(), QString("Magnetic Field Source: ") + c.text);
    for (int m = 0; m < 4; ++m)
        EXPECT_EQ(w->ModeRB[m]->isEnabled(), c.modes[m]) << m;
    EXPECT_EQ(w->StartToolB->isEnabled(), c.controls);
    EXPECT_EQ(w->AbortToolB->isEnabled(), c.controls);
    EXPECT_EQ(w->FNameEdit->isEnabled(), c.controls);
    EXPECT_EQ(w->GainScrollBar->isEnabled(), c.controls);
    EXPECT_EQ(w->MOpensetup->isEnabled(), c.controls);
    EXPECT_FALSE(w->HoldToolB->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FieldSourceTest,
    ::testing::Values(SourceCase{1, "Electromagnet", {true, true, true, false}, true},
                      SourceCase{2, "Helmholtz coils", {false, false, false, true}, true},
                      SourceCase{3, "not connected", {false, false, false, false}, false},
                      SourceCase{4, "Magnet & Coils", {true, true, true, true}, true},
                      SourceCase{5, "Wrong connection", {false, false, false, false}, false}));

TEST_F(ReplyTest, FieldSourceCodesAboveFiveAreIgnored) {
    Make();
    ConnectWithSource(1);
    port.Feed("M07\rM2A\r");
    EXPECT_EQ(w->FieldSource(), 1);
    EXPECT_EQ(w->Panels[3]->text(), "Magnetic Field Source: Electromagnet");
    EXPECT_TRUE(port.written.empty());
    EXPECT_TRUE(dialogs.fake.errors.empty());
}

TEST_F(ReplyTest, UnconvertibleHexIsReportedAndTheNextLineParses) {
    Make();
    ConnectWithSource(1);
    port.Feed("A0G00\rB\r");
    ASSERT_EQ(dialogs.fake.errors.size(), 1u);
    EXPECT_TRUE(dialogs.fake.errors[0].contains("is not a valid integer value"));
    EXPECT_EQ(w->RunState(), RunState::Running);
    port.Feed("M0\r"); // the CR falls inside the field
    EXPECT_EQ(dialogs.fake.errors.size(), 2u);
    EXPECT_EQ(w->FieldSource(), 1);
    port.Feed("C\r");
    EXPECT_EQ(w->RunState(), RunState::PassEnded);
}

TEST_F(ReplyTest, OverlongRunWithoutCarriageReturnIsDiscarded) {
    Make();
    ConnectWithSource(1);
    port.Feed(std::string(300, 'B'));
    port.Feed("\rB\r");
    EXPECT_EQ(w->RunState(), RunState::Running);
    EXPECT_GE(w->RxLine().DiscardedRuns(), 1u);
}

TEST_F(ReplyTest, PointBeforeIdentificationIsIgnored) {
    Make();
    port.Open();
    port.Feed("X07FF07FF\r");
    ASSERT_TRUE(w->DeviceReady());
    ASSERT_EQ(w->SignalDivisor(), 0);
    port.Feed("V!00034BC0\r");
    EXPECT_EQ(w->OutOfRangeCount(), 0);
    EXPECT_TRUE(dialogs.fake.errors.empty());
}

TEST_F(ReplyTest, PointIsScaledByTheDivisorAndCorrectedByTheOffset) {
    Make();
    ConnectWithSource(1, "1.0");
    w->SetPassCounter(1);
    port.Feed("A0004\rB\r");
    port.Feed("V 00034BC0\r"); // 216000 / 13500 = 16
    port.Feed("V FFFFCB44\r"); // -13500 -> -1
    port.Feed("V 000034BB\r"); // one below the divisor -> 0
    w->LevelTB->setValue(5);
    port.Feed("V!00034BC0\r");
    ASSERT_EQ(w->AccBuffer().size(), 16u);
    auto entry = [&](int i) {
        std::int32_t v;
        std::memcpy(&v, w->AccBuffer().data() + 4 * i, 4);
        return v;
    };
    EXPECT_EQ(entry(0), 16);
    EXPECT_EQ(entry(1), -1);
    EXPECT_EQ(entry(2), 0);
    EXPECT_EQ(entry(3), 11);
    EXPECT_EQ(w->OutOfRangeCount(), 1);
    EXPECT_FALSE(w->OutOfRangeLab->isHidden());
    EXPECT_EQ(w->OutOfRangeLab->text(), " Out of range: 1 ");
}

// ------------------------------------------------------------ command sequences

using CommandTest = MainWindowFixture;

TEST_F(CommandTest, NothingIsSentWhileNotReady) {
    Make();
    port.Open();
    w->GainScrollBar->setValue(50);
    w->TuningB0UpDown->ClickUp();
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(w->GainVal->text(), "50");
    EXPECT_EQ(w->Params.Gain, 50);
}

TEST_F(CommandTest, EachControlSendsItsCommand) {
    Make();
    ConnectWithSource(4);
    w->GainScrollBar->setValue(55);
    EXPECT_EQ(port.TakeWritten(), Lines{lines::Gain(55)});
    w->PhaseScrollBar->setValue(3);
    EXPECT_EQ(port.TakeWritten(), Lines{lines::Phase(3)});
    EXPECT_EQ(w->PhaseVal->text().trimmed(), QString::fromUtf8("4.5 °"));
    w->ModAmpUpDown->SetPosition(5);
    w->ModAmpUpDown->ClickUp();
    EXPECT_EQ(port.TakeWritten(), Lines{"R022\r"}); // 0.35 Gs -> 34
    w->SweepTUpDown->ClickUp();
    EXPECT_EQ(port.TakeWritten(), Lines{"G01\r"});
    w->TuningB0UpDown->ClickUp();
    EXPECT_EQ(port.TakeWritten(), Lines{"B10800\r"});
    w->FrequencyUpDown->ClickDown();
    EXPECT_EQ(port.TakeWritten(), Lines{lines::Frequency(14000000 - 500)});
    w->FieldSwRngUpDown->ClickUp();
    EXPECT_EQ(port.TakeWritten(), Lines{"H001\r"});
    EXPECT_TRUE(w->FieldSwRngRB->isChecked());
    EXPECT_DOUBLE_EQ(w->Fid->BottomAxis().Maximum(), 5.0);
    w->FreqSwRngUpDown->ClickUp();
    EXPECT_EQ(port.TakeWritten(), Lines{lines::FreqSweepRange(75000)});
    EXPECT_TRUE(w->FreqSwRngRB->isChecked());
    EXPECT_EQ(w->Fid->BottomAxis().ValueFormat(), "# ##0.### [kHz]");
    EXPECT_DOUBLE_EQ(w->Fid->BottomAxis().Increment(), 18.75);
    // Steps and passes only change increments and texts.
    w->DB0UpDown->ClickUp();
    EXPECT_EQ(w->TuningB0UpDown->Increment(), 10);
    w->DFrqUpDown->ClickUp();
    EXPECT_EQ(w->FrequencyUpDown->Increment(), 2);
    w->AccUpDown->ClickUp();
    EXPECT_EQ(w->AccVal->text(), "2");
    EXPECT_EQ(w->Panels[0]->text(), "Acc: 0 of 2");
    EXPECT_TRUE(port.written.empty());
    // Putting a position runs nothing.
    w->TuningB0UpDown->SetPosition(-5);
    w->LevelTB->setValue(-40);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(CommandTest, ModeSwitchSendsTheNewModesSetInOrder) {
    Make();
    ConnectWithSource(4);
    w->PhaseScrollBar->setValue(10);
    w->TuningB0UpDown->SetPosition(123);
    w->FieldSwRngUpDown->SetPosition(4);
    port.TakeWritten();

    w->EPRResRB->setChecked(true);
    const Lines toEsr = {lines::Phase(0), // the scroll bar moved to the ESR slot
                         lines::FieldTuning(0), lines::Frequency(FrequencyHz(rmESR, 0)),
                         lines::Phase(0),       lines::FieldSweepRange(1, 1),
                         lines::Mode(1)};
    EXPECT_EQ(port.TakeWritten(), toEsr);
    EXPECT_EQ(w->CurrentMode, rmESR);
    EXPECT_EQ(w->DB0UpDown->Min(), -1);
    EXPECT_EQ(w->FieldSwRngUpDown->Max(), 8);
    EXPECT_FALSE(w->FreqSwRngRB->isEnabled());
    EXPECT_FALSE(w->FreqSwRngUpDown->isEnabled());
    EXPECT_TRUE(w->FieldSwRngRB->isChecked());
    EXPECT_TRUE(w->MCurrentdirection->menuAction()->isEnabled()); // version 2.0 in ESR

    w->HydrogenRB->setChecked(true);
    const Lines toH1 = {
        lines::Phase(10), lines::FieldTuning(123),      lines::Frequency(FrequencyHz(rmH1, 0)),
        lines::Phase(10), lines::FieldSweepRange(0, 4), lines::Mode(0)};
    EXPECT_EQ(port.TakeWritten(), toH1);
    EXPECT_EQ(w->TuningB0UpDown->Position(), 123);
    EXPECT_EQ(w->FieldSwRngUpDown->Position(), 4);
    EXPECT_FALSE(w->MCurrentdirection->menuAction()->isEnabled());

    w->HFRB->setChecked(true);
    EXPECT_FALSE(w->FieldSwRngUpDown->isEnabled());
    EXPECT_EQ(w->FieldSwRngUpDown->Position(), 10);
}

TEST_F(CommandTest, EsrStepIndexIsClampedWhenLeavingEsr) {
    Make();
    ConnectWithSource(4);
    w->EPRResRB->setChecked(true);
    w->DB0UpDown->SetPosition(-1);
    w->DB0UpDownClick();
    EXPECT_EQ(w->TuningB0UpDown->Increment(), 16);
    w->HydrogenRB->setChecked(true);
    EXPECT_EQ(w->DB0UpDown->Position(), 0);
    EXPECT_EQ(w->TuningB0UpDown->Increment(), 1);
}

TEST_F(CommandTest, HelmholtzCoilsFallBackToEsrAndResendTheWholeSet) {
    Make();
    Connect();
    port.TakeWritten();
    port.Feed("M02\r");
    const Lines esrMode = {lines::FieldTuning(0), lines::Frequency(FrequencyHz(rmESR, 0)),
                           lines::Phase(0), lines::FieldSweepRange(1, 1), lines::Mode(1)};
    Lines expected = esrMode; // step 7: checking the ESR button runs its handler
    for (const std::string& l : {lines::Gain(0), lines::FreqSweepRange(50000),
                                 lines::ModAmp(1, ModAmpGs(1)), lines::SweepTime(1)})
        expected.push_back(l);
    expected.insert(expected.end(), esrMode.begin(), esrMode.end()); // step 9
    expected.push_back(lines::CurrentDirection(true));
    EXPECT_EQ(port.TakeWritten(), expected);
    EXPECT_EQ(w->Params.Mode, rmESR);
    EXPECT_TRUE(w->EPRResRB->isChecked());
    // The record's frequency sweep does not survive into ESR, so a run there
    // starts a field sweep.
    EXPECT_TRUE(w->FieldSwRngRB->isChecked());
    EXPECT_FALSE(w->FreqSwRngRB->isChecked());
    EXPECT_FALSE(w->FreqSwRngRB->isEnabled());
    EXPECT_EQ(w->Params.FieldSweep, 1);
    w->StartToolBClick();
    EXPECT_EQ(port.TakeWritten(), Lines{lines::StartSweep(false)});
}

TEST_F(CommandTest, ElectromagnetFallsBackFromEsrToHydrogen) {
    Make();
    Connect();
    w->Params.Mode = rmESR;
    port.TakeWritten();
    port.Feed("M01\r");
    EXPECT_EQ(w->Params.Mode, rmH1);
    EXPECT_TRUE(w->HydrogenRB->isChecked());
    const Lines written = port.TakeWritten();
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back(), lines::CurrentDirection(true));
    EXPECT_EQ(std::count(written.begin(), written.end(), lines::Mode(0)), 1);
}

TEST_F(CommandTest, ApplyingASetupSendsChangedScrollBarsThenTheSet) {
    Make();
    ConnectWithSource(4);
    w->Params = DistinctRecord();
    w->ApplyParameters();
    const Lines h1Mode = {lines::FieldTuning(100), lines::Frequency(FrequencyHz(rmH1, 11)),
                          lines::Phase(10), lines::FieldSweepRange(0, 3), lines::Mode(0)};
    Lines expected = {lines::Gain(100),
                      lines::Phase(10),
                      lines::Gain(100),
                      lines::FreqSweepRange(150000),
                      lines::ModAmp(0, ModAmpGs(6)),
                      lines::SweepTime(3)};
    expected.insert(expected.end(), h1Mode.begin(), h1Mode.end());
    expected.push_back(lines::CurrentDirection(true));
    EXPECT_EQ(port.TakeWritten(), expected);
    EXPECT_TRUE(w->FieldSwRngRB->isChecked());
    EXPECT_EQ(w->TuningB0UpDown->Increment(), 100);
    EXPECT_EQ(w->FrequencyUpDown->Increment(), 2);
}

TEST_F(CommandTest, CurrentDirectionItemsSendTheirDigit) {
    Make();
    ConnectWithSource(4);
    w->MCDirREV->trigger();
    EXPECT_TRUE(w->MCDirREV->isChecked());
    w->MCDirFWD->trigger();
    EXPECT_EQ(port.TakeWritten(), (Lines{"S0\r", "S1\r"}));
}

// ------------------------------------------------------------ connection

using ConnectionTest = MainWindowFixture;

TEST_F(ConnectionTest, ReadyBeforeTheFirstTickConnectsWithoutAnyIdentify) {
    Make();
    w->MLinkClick();
    EXPECT_TRUE(port.Active());
    EXPECT_EQ(w->windowTitle(), "CW NMR/ESR Spectrometer- Checking device ready");
    EXPECT_FALSE(w->isEnabled());
    EXPECT_FALSE(w->MLink->isEnabled());
    EXPECT_FALSE(w->MSpcCOMItems[0]->isEnabled());
    EXPECT_EQ(w->Panels[3]->text(), "Magnetic Field Source: not connected");
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(w->CheckAttempt(), 100);
    port.Feed("Z00422.0\rX07FF07FF\r");
    w->Timer1Timer();
    EXPECT_EQ(port.TakeWritten(), Lines{"Y\r"});
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(w->windowTitle(), "CW NMR/ESR Spectrometer- Unit Serial #0042" + kPart2 + kPart3);
}

TEST_F(ConnectionTest, IdentifyOnlyNeverConnectsAndIgnoreClosesThePort) {
    Make();
    w->MLinkClick();
    for (int i = 0; i < 4; ++i) {
        w->Timer1Timer();
        port.Feed("Z00422.0\r");
    }
    EXPECT_EQ(port.TakeWritten(), Lines(4, "Z\r"));
    EXPECT_FALSE(w->DeviceReady());
    dialogs.fake.answers.push_back(MsgResult::Ignore);
    w->Timer1Timer();
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    // It names the port and what was heard of the device.
    EXPECT_EQ(dialogs.fake.messages[0].text.section('\n', 0, 0), "Device not ready");
    EXPECT_TRUE(dialogs.fake.messages[0].text.contains("Port: COM1 (/dev/ttyS0)"));
    EXPECT_TRUE(dialogs.fake.messages[0].text.contains("unit #0042"));
    EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(dialogs.fake.messages[0].buttons, MsgButtons::RetryIgnore);
    EXPECT_TRUE(port.written.empty());
    EXPECT_FALSE(port.Active());
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_TRUE(w->isEnabled());
    EXPECT_TRUE(w->MLink->isEnabled());
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: disconnected");
    EXPECT_TRUE(w->GainScrollBar->isEnabled());
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3);
    // Later ticks of a stopped check do nothing.
    w->Timer1Timer();
    EXPECT_TRUE(port.written.empty());
}

TEST_F(ConnectionTest, RetryQueriesFourMoreTimes) {
    Make();
    w->MLinkClick();
    dialogs.fake.answers.push_back(MsgResult::Retry);
    for (int i = 0; i < 5; ++i)
        w->Timer1Timer();
    EXPECT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_TRUE(w->Timer1->isActive());
    EXPECT_EQ(w->CheckAttempt(), 100);
    port.TakeWritten();
    w->Timer1Timer();
    w->Timer1Timer();
    port.Feed("X07FF07FF\r");
    w->Timer1Timer();
    EXPECT_EQ(port.TakeWritten(), (Lines{"Z\r", "Z\r", "Y\r"}));
    EXPECT_TRUE(w->DeviceReady());
}

TEST_F(ConnectionTest, PortThatCannotOpenRestoresTheNotConnectedState) {
    Make();
    port.openError = "Cannot open COM1: No such file or directory";
    w->MLinkClick();
    ASSERT_EQ(dialogs.fake.errors.size(), 1u);
    EXPECT_EQ(dialogs.fake.errors[0], "Cannot open COM1: No such file or directory");
    EXPECT_TRUE(w->MLink->isEnabled());
    EXPECT_TRUE(w->MSpcCOMItems[1]->isEnabled());
    EXPECT_TRUE(w->isEnabled());
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3);
    port.openError.clear();
    w->MLinkClick();
    EXPECT_TRUE(port.Active());
}

TEST_F(ConnectionTest, PowerLineChanges) {
    Make();
    ConnectWithSource(1);
    // A CTS event that leaves DSR alone active: nothing.
    port.OnCTSChange();
    EXPECT_TRUE(dialogs.fake.messages.empty());
    // DSR together with CTS counts as switched off.
    w->SetRunState(RunState::Running);
    port.SetModem(ModemBit(msDSR) | ModemBit(msCTS));
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].text, "Spectrometer is OFF");
    EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Warning);
    EXPECT_FALSE(w->DeviceReady());
    EXPECT_EQ(w->RunState(), RunState::Idle);
    EXPECT_TRUE(w->MLink->isEnabled());
    EXPECT_TRUE(port.Active());
    EXPECT_EQ(w->Panels[2]->text(), "Spectrometer: disconnected");
    // Back to DSR alone: on.
    port.SetModem(ModemBit(msDSR));
    ASSERT_EQ(dialogs.fake.messages.size(), 2u);
    EXPECT_EQ(dialogs.fake.messages[1].text, "Spectrometer is ON");
    // Changing the port while it is open is refused; the check mark stays.
    w->MSpcCOMItems[1]->trigger();
    EXPECT_EQ(dialogs.fake.errors.size(), 1u);
    EXPECT_EQ(port.DeviceName(), "COM1");
    EXPECT_TRUE(w->MSpcCOMItems[0]->isChecked());
    EXPECT_FALSE(w->MSpcCOMItems[1]->isChecked());
    // Connect again on the open port.
    w->MLinkClick();
    port.Feed("X07FF07FF\r");
    w->Timer1Timer();
    EXPECT_TRUE(w->DeviceReady());
}

TEST_F(ConnectionTest, VanishedDeviceDropsToNotConnectedAndCanReconnect) {
    Make();
    ConnectWithSource(1);
    w->SetRunState(RunState::Running);
    port.Vanish("Input/output error");
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(dialogs.fake.messages[0].text.contains("Input/output error"));
    EXPECT_FALSE(port.Active());
    EXPECT_FALSE(w->DeviceReady());
    EXPECT_EQ(w->RunState(), RunState::Idle);
    EXPECT_TRUE(w->MLink->isEnabled());
    EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3);
    w->MLinkClick();
    EXPECT_EQ(port.opens, 2);
    port.Feed("X07FF07FF\r");
    w->Timer1Timer();
    EXPECT_TRUE(w->DeviceReady());
    EXPECT_TRUE(w->close());
}

// Re-enabling the window after the check must not wake the sub-menus that
// were disabled on purpose.
TEST_F(ConnectionTest, UnitsAndCurrentDirectionStayDisabledAcrossTheCheck) {
    Make();
    w->MLinkClick();
    dialogs.fake.answers.push_back(MsgResult::Ignore);
    for (int i = 0; i < 5; ++i)
        w->Timer1Timer();
    ASSERT_TRUE(w->isEnabled());
    EXPECT_FALSE(w->MUnits->menuAction()->isEnabled());
    EXPECT_FALSE(w->MCurrentdirection->menuAction()->isEnabled());

    // Connected to an electromagnet with a "2.0" device: NMR, so no direction.
    ConnectWithSource(1);
    EXPECT_FALSE(w->MUnits->menuAction()->isEnabled());
    EXPECT_FALSE(w->MCurrentdirection->menuAction()->isEnabled());
    // Helmholtz coils: ESR, and the direction becomes available.
    port.Feed("M02\r");
    ASSERT_TRUE(w->EPRResRB->isChecked());
    EXPECT_TRUE(w->MCurrentdirection->menuAction()->isEnabled());
    EXPECT_FALSE(w->MUnits->menuAction()->isEnabled());
    // The field source is reported before "Y" (window still disabled).
    port.SetModem(0); // switched off
    port.SetModem(ModemBit(msDSR));
    w->MLinkClick();
    port.Feed("Z00422.0\rX07FF07FF\rM01\r");
    w->Timer1Timer();
    ASSERT_TRUE(w->isEnabled());
    EXPECT_FALSE(w->MCurrentdirection->menuAction()->isEnabled());
    EXPECT_FALSE(w->MUnits->menuAction()->isEnabled());
}

// ------------------------------------------------------------ setups

using SetupMenuTest = MainWindowFixture;

TEST_F(SetupMenuTest, OpenSetupLoadsAppliesAndEnablesSave) {
    Make();
    const std::string path = ExePath("mine.cfg");
    ASSERT_TRUE(SaveSetupFile(path, DistinctRecord(), nullptr));
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(path));
    w->MOpensetup->trigger();
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3 + "mine.cfg");
    EXPECT_TRUE(w->MSavesetup->isEnabled());
    EXPECT_EQ(w->GainScrollBar->value(), 100);
    EXPECT_EQ(w->CurrentSetup.SetupPath, path);
    // Another file named STANDARD.CFG disables "Save setup" again.
    const std::string standard = ExePath("standard.cfg");
    ASSERT_TRUE(SaveSetupFile(standard, DefaultSetup(), nullptr));
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(standard));
    w->MOpensetupClick();
    EXPECT_FALSE(w->MSavesetup->isEnabled());
}

TEST_F(SetupMenuTest, UnreadableSetupIsReportedAndChangesNothing) {
    Make();
    QFile shortFile(QString::fromStdString(ExePath("short.cfg")));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write("abc");
    shortFile.close();
    const TSetupRecord before = w->Params;
    for (const char* name : {"short.cfg", "missing.cfg"}) {
        dialogs.fake.fileAnswers.push_back(QString::fromStdString(ExePath(name)));
        w->MOpensetupClick();
    }
    EXPECT_EQ(dialogs.fake.errors.size(), 2u);
    EXPECT_EQ(w->Params, before);
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3);
    // Cancel does nothing at all.
    w->MOpensetupClick();
    EXPECT_EQ(dialogs.fake.errors.size(), 2u);
}

TEST_F(SetupMenuTest, SaveAsRefusesTheStandardSetupByName) {
    Make();
    for (const char* name : {"standard.cfg", "Standard.Cfg"}) {
        dialogs.fake.fileAnswers.push_back(QString::fromStdString(ExePath(name)));
        w->MSavesetupasClick();
    }
    ASSERT_EQ(dialogs.fake.messages.size(), 2u);
    EXPECT_EQ(dialogs.fake.messages[0].text, "STANDARD.CFG can not be changed !");
    EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(ExePath("standard.cfg"))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(ExePath("Standard.Cfg"))));
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(ExePath("MYSTANDARD.CFG")));
    w->MSavesetupasClick();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(ExePath("MYSTANDARD.CFG"))));
}

TEST_F(SetupMenuTest, SavedSetupRestoresEveryModesValues) {
    Make();
    w->Params = DistinctRecord();
    w->ApplyParameters();
    w->EPRResRB->setChecked(true);
    w->TuningB0UpDown->SetPosition(-777);
    const std::string path = ExePath("all.cfg");
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(path));
    w->MSavesetupasClick();
    EXPECT_TRUE(dialogs.fake.errors.empty());
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3 + "all.cfg");
    EXPECT_TRUE(w->MSavesetup->isEnabled());
    TSetupRecord stored;
    ASSERT_TRUE(LoadSetupFile(path, stored, nullptr));
    EXPECT_EQ(stored.Mode, rmESR);
    EXPECT_EQ(stored.B0, (std::array<std::int32_t, 4>{100, -200, 300, -777}));
    EXPECT_EQ(stored.Phase, DistinctRecord().Phase);
    EXPECT_EQ(stored.Frequency, DistinctRecord().Frequency);
    EXPECT_EQ(stored.FieldSweepRange, DistinctRecord().FieldSweepRange);
    EXPECT_EQ(stored.Gain, 100);
    EXPECT_EQ(stored.DCOffset, 12);

    // "Save setup" writes the current setup again.
    w->GainScrollBar->setValue(200);
    w->MSavesetup->trigger();
    ASSERT_TRUE(LoadSetupFile(path, stored, nullptr));
    EXPECT_EQ(stored.Gain, 200);
}

TEST_F(SetupMenuTest, SavingAFrequencySweepSetupKeepsTheSweepKind) {
    Make();
    w->FreqSwRngRB->setChecked(true);
    const std::string path = ExePath("freq.cfg");
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(path));
    w->MSavesetupasClick();
    TSetupRecord stored;
    ASSERT_TRUE(LoadSetupFile(path, stored, nullptr));
    EXPECT_EQ(stored.FieldSweep, 0);
    EXPECT_TRUE(w->FreqSwRngRB->isChecked());
    EXPECT_EQ(w->Fid->BottomAxis().ValueFormat(), "# ##0.### [kHz]");
}

TEST_F(SetupMenuTest, FailedSaveIsReportedAndKeepsTheCurrentSetup) {
    Make();
    const std::string good = ExePath("good.cfg");
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(good));
    w->MSavesetupasClick();
    ASSERT_EQ(w->CurrentSetup.SetupPath, good);
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(ExePath("no/such/dir/x.cfg")));
    w->MSavesetupasClick();
    EXPECT_EQ(dialogs.fake.errors.size(), 1u);
    EXPECT_EQ(w->CurrentSetup.SetupPath, good);
    EXPECT_EQ(w->windowTitle(), kNotConnected + kPart2 + kPart3 + "good.cfg");
}

} // namespace
} // namespace tavi::test
