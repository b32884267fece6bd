// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/UService.h"

#include "device/UOutMess.h"
#include "platform/Controls.h"
#include "support/FakeDialogs.h"
#include "support/FakeSerialPort.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavi {
namespace {

using Lines = std::vector<std::string>;

class ServiceWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.Open();
        service.SetCommands(&commands);
        acqFrequency.SetRange(-2000, 2000);
        acqTuning.SetRange(-2000, 2000);
        service.Bind(&acqTuning, &acqFrequency);
    }
    void TearDown() override {
        service.hide();
    }
    template <class T> T* Child(const char* name) {
        T* w = service.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    TUpDown* UpDown(const char* name) { return Child<TUpDown>(name); }
    QString Text(const char* name) { return Child<QLabel>(name)->text(); }
    // Shows the window and forgets the tuning line that showing sends.
    void ShowWindow() {
        service.show();
        port.TakeWritten();
    }

    test::ScopedFakeDialogs fakes;
    test::FakeSerialPort port;
    bool ready = true;
    CommandSender commands{&port, &ready};
    TUpDown acqTuning;
    TUpDown acqFrequency;
    TFService service;
};

TEST_F(ServiceWindowTest, DesignOfTheControls) {
    EXPECT_EQ(service.windowTitle(), "Service");
    EXPECT_EQ(service.size(), QSize(402, 331));
    struct Range {
        const char* name;
        int min, max, position;
    };
    for (const Range& r : {Range{"SrvTuningB0UpDown", -2000, 2000, 0},
                           Range{"B0IncUpDown", 1, 100, 1}, Range{"SrvModAmpUpDown", 0, 255, 0},
                           Range{"MAIncUpDown", 1, 100, 1}, Range{"F2ModUpDown", 0, 255, 128}}) {
        TUpDown* u = UpDown(r.name);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u->Min(), r.min) << r.name;
        EXPECT_EQ(u->Max(), r.max) << r.name;
        EXPECT_EQ(u->Position(), r.position) << r.name;
        EXPECT_EQ(u->Increment(), 1) << r.name;
    }
    EXPECT_EQ(Text("TuningB0Lab"), "B0");
    EXPECT_EQ(Text("ModAmp"), "Mod Amp");
    EXPECT_EQ(Text("F2ModLab"), "F2Mod");
    EXPECT_EQ(Text("SrvTuningB0Val"), "0");
    EXPECT_EQ(Text("B0IncStaticText"), "1");
    EXPECT_EQ(Text("SrvModAmpVal"), "0");
    EXPECT_EQ(Text("MAIncStaticText"), "1");
    EXPECT_EQ(Text("F2ModVal"), "255");
    EXPECT_EQ(Child<QCheckBox>("CalModeCB")->text(), "Calibration mode");
    EXPECT_EQ(Child<QCheckBox>("FreqRngCB")->text(), "Freq range");
    EXPECT_EQ(Child<QCheckBox>("NAnalMessCB")->text(), "! Anal. Rec. Messages");
    EXPECT_EQ(Child<QRadioButton>("Dir1RB")->text(), "Dir-1");
    EXPECT_EQ(Child<QRadioButton>("Dir2RB")->text(), "Dir-2");
    EXPECT_FALSE(Child<QRadioButton>("Dir1RB")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>("Dir2RB")->isChecked());
    EXPECT_EQ(Child<QGroupBox>("GroupBox1")->title(), "Monitor");
    EXPECT_EQ(Child<QLineEdit>("MsgEdit")->text(), "MsgEdit");
    EXPECT_EQ(Child<QPushButton>("SendButton")->text(), "Send");
    EXPECT_EQ(Child<QPushButton>("Button1")->text(), "Send (X2) - Continue msr");
    EXPECT_EQ(Child<QListWidget>("MsgMemo")->count(), 0);
    EXPECT_TRUE(port.written.empty()); // creating sends nothing
}

TEST_F(ServiceWindowTest, ShowingTakesOverAndSendsTheFieldTuningOnce) {
    acqTuning.SetPosition(5);
    service.show();
    EXPECT_EQ(port.TakeWritten(), Lines{"B10804\r"});
    EXPECT_EQ(service.TuningB0Position(), 5);
    EXPECT_EQ(Text("SrvTuningB0Val"), "5");

    // Reloaded at every showing, whatever was set here before.
    UpDown("SrvTuningB0UpDown")->ClickUp();
    service.hide();
    port.TakeWritten();
    acqTuning.SetPosition(-2000);
    service.show();
    EXPECT_EQ(port.TakeWritten(), Lines{"B1002F\r"});
}

TEST_F(ServiceWindowTest, TuningStepsByTheChosenIncrement) {
    ShowWindow();
    for (int i = 0; i < 9; ++i)
        UpDown("B0IncUpDown")->ClickUp();
    EXPECT_EQ(Text("B0IncStaticText"), "10");
    EXPECT_TRUE(port.written.empty()); // the increment is not sent
    UpDown("SrvTuningB0UpDown")->ClickUp();
    EXPECT_EQ(service.TuningB0Position(), 10);
    EXPECT_EQ(Text("SrvTuningB0Val"), "10");
    EXPECT_EQ(port.TakeWritten(), Lines{"B10809\r"});
}

TEST_F(ServiceWindowTest, RawModulationAmplitudeIsInverted) {
    ShowWindow();
    UpDown("SrvModAmpUpDown")->ClickDown(); // stays at 0, still sends
    UpDown("SrvModAmpUpDown")->SetPosition(254);
    UpDown("SrvModAmpUpDown")->ClickUp();
    EXPECT_EQ(port.TakeWritten(), (Lines{"D1FF\r", "D100\r"}));
    EXPECT_EQ(Text("SrvModAmpVal"), "255");

    for (int i = 0; i < 4; ++i)
        UpDown("MAIncUpDown")->ClickUp();
    UpDown("SrvModAmpUpDown")->SetPosition(0);
    UpDown("SrvModAmpUpDown")->ClickUp();
    EXPECT_EQ(port.TakeWritten(), Lines{"D1FA\r"}); // 255 - 5
}

TEST_F(ServiceWindowTest, ModulationFrequencyAtTheEndsAndTheMiddle) {
    ShowWindow();
    TUpDown* f2 = UpDown("F2ModUpDown");
    f2->SetPosition(1);
    f2->ClickDown();
    EXPECT_EQ(Text("F2ModVal"), "25.2 Hz");
    f2->SetPosition(254);
    f2->ClickUp();
    EXPECT_EQ(Text("F2ModVal"), "50.7 Hz");
    f2->SetPosition(127);
    f2->ClickUp();
    EXPECT_EQ(Text("F2ModVal"), "38.0 Hz");
    EXPECT_EQ(port.TakeWritten(), (Lines{"T0A56\r", "T0523\r", "T06DA\r"}));
}

TEST_F(ServiceWindowTest, CurrentDirectionAndControlMode) {
    ShowWindow();
    Child<QRadioButton>("Dir2RB")->click();
    Child<QRadioButton>("Dir1RB")->click();
    Child<QCheckBox>("CalModeCB")->click();
    Child<QCheckBox>("CalModeCB")->click();
    Child<QPushButton>("Button1")->click();
    EXPECT_EQ(port.TakeWritten(), (Lines{"S0\r", "S1\r", "X1\r", "X0\r", "X2\r"}));
}

TEST_F(ServiceWindowTest, CommandsAreDroppedWhileTheDeviceIsNotReady) {
    ready = false;
    service.show();
    UpDown("SrvModAmpUpDown")->ClickUp();
    Child<QPushButton>("Button1")->click();
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(Text("SrvModAmpVal"), "1"); // the control still changes
}

TEST_F(ServiceWindowTest, RawLineGoesOutUncheckedAndUnchanged) {
    ready = false; // before the device has answered
    ShowWindow();
    Child<QLineEdit>("MsgEdit")->setText("Z");
    Child<QPushButton>("SendButton")->click();
    Child<QLineEdit>("MsgEdit")->setText("b1 0809");
    Child<QPushButton>("SendButton")->click();
    Child<QPushButton>("SendButton")->click(); // the edit keeps its text
    Child<QLineEdit>("MsgEdit")->clear();
    Child<QPushButton>("SendButton")->click();
    EXPECT_EQ(port.TakeWritten(), (Lines{"Z\r", "b1 0809\r", "b1 0809\r", "\r"}));
    EXPECT_EQ(Child<QLineEdit>("MsgEdit")->text(), "");
}

TEST_F(ServiceWindowTest, RawLineOnAClosedPortReportsThePortError) {
    ShowWindow();
    port.Close();
    Child<QLineEdit>("MsgEdit")->setText("Z");
    Child<QPushButton>("SendButton")->click();
    ASSERT_EQ(fakes.fake.errors.size(), 1u);
    EXPECT_EQ(fakes.fake.errors[0], "Can't perform this operation on a closed port");
    EXPECT_TRUE(service.isVisible());
}

TEST_F(ServiceWindowTest, FreqRangeWidensTheAcquisitionFrequency) {
    ShowWindow();
    Child<QCheckBox>("FreqRngCB")->click();
    EXPECT_EQ(acqFrequency.Min(), -20000);
    EXPECT_EQ(acqFrequency.Max(), 20000);
    Child<QCheckBox>("FreqRngCB")->click();
    EXPECT_EQ(acqFrequency.Min(), -2000);
    EXPECT_EQ(acqFrequency.Max(), 2000);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(ServiceWindowTest, MonitorListsLinesAndDoubleClickEmptiesIt) {
    auto* memo = Child<QListWidget>("MsgMemo");
    service.AppendMonitorLine("Z12342.0\r");
    service.AppendMonitorLine("X00000000\r");
    EXPECT_EQ(memo->count(), 2);
    EXPECT_EQ(service.MonitorLines(), (QStringList{"Z12342.0\r", "X00000000\r"}));

    QWidget* viewport = memo->viewport();
    const QPointF at(5, 5);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &dbl);
    EXPECT_EQ(memo->count(), 0);
}

TEST_F(ServiceWindowTest, AnalysisBlockedFollowsItsCheckBox) {
    EXPECT_FALSE(service.AnalysisBlocked());
    Child<QCheckBox>("NAnalMessCB")->click();
    EXPECT_TRUE(service.AnalysisBlocked());
    EXPECT_TRUE(port.written.empty());
}

} // namespace
} // namespace tavi
