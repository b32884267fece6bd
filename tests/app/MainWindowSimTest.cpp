// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against the simulated spectrometer on a pseudo-terminal,
// through the real port: connect, identify, field source, every parameter.
#include "app/MainWindowSupport.h"
#include "device/ComPort.h"
#include "params/Freq.h"
#include "platform/Controls.h"
#include "platform/QtEventContext.h"

#include <QCoreApplication>
#include <QFile>
#include <QRadioButton>
#include <QScrollBar>
#include <QThread>
#include <algorithm>
#include <chrono>

#ifdef TAVI_SIM_PATH
#include "support/SimProcess.h"

namespace tavi::test {
namespace {

std::vector<std::string> Commands(const QString& logPath) {
    std::vector<std::string> out;
    QFile f(logPath);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("< "))
            out.push_back(l.mid(2).toStdString());
    return out;
}

bool Logged(const QString& logPath, const std::string& line) {
    const auto c = Commands(logPath);
    return std::find(c.begin(), c.end(), line) != c.end();
}

std::string NoCR(std::string s) {
    if (!s.empty() && s.back() == '\r')
        s.pop_back();
    return s;
}

TEST(MainWindowSim, ConnectsIdentifiesAndEveryParameterReachesTheDevice) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString link = tmp.path() + "/tty";
    const QString logPath = tmp.path() + "/sim.log";
    SimProcess sim(link, logPath);
    ASSERT_TRUE(sim.Start({"--serial", "0815", "--field-source", "4", "--offsets", "5,-3"}));

    ScopedFakeDialogs dialogs;
    SilentSound silent;
    SetSound(&silent);
    {
        QtEventContext context;
        TComPort port(context);
        ConfigureSpectrometerPort(port);
        QTemporaryDir exeDir;
        TFCW w(port, nullptr, exeDir.path().toStdString());
        port.SetDeviceName(link.toStdString());

        w.MLinkClick();
        ASSERT_TRUE(port.Active())
            << (dialogs.fake.errors.empty() ? std::string() : dialogs.fake.errors[0].toStdString());
        // The timer runs for real here: "Z" once a second until "X" arrives.
        ASSERT_TRUE(PumpUntil([&] { return w.DeviceReady() && w.isEnabled(); }));
        EXPECT_EQ(w.UnitSerial(), "0815");
        EXPECT_EQ(w.SignalDivisor(), 76000);
        EXPECT_TRUE(w.windowTitle().startsWith("CW NMR/ESR Spectrometer- Unit Serial #0815"));
        ASSERT_TRUE(PumpUntil([&] { return w.FieldSource() == 4; }));
        EXPECT_EQ(w.FieldZeroOffsets()[rmH1], 5);
        EXPECT_EQ(w.FieldZeroOffsets()[rmESR], -3);
        EXPECT_TRUE(Logged(logPath, "Y"));
        // Field source 4 re-sent the whole set, ending with the direction.
        ASSERT_TRUE(PumpUntil([&] { return Logged(logPath, "S1"); }));

        // Every parameter control, one after the other.
        std::vector<std::string> expected;
        w.GainScrollBar->setValue(77);
        expected.push_back(NoCR(lines::Gain(77)));
        w.PhaseScrollBar->setValue(33);
        expected.push_back(NoCR(lines::Phase(33)));
        w.ModAmpUpDown->SetPosition(11);
        w.ModAmpUpDown->ClickUp(); // 12 on a version 2.0 device
        expected.push_back(NoCR(lines::ModAmp(0, ModAmpGs(12))));
        w.SweepTUpDown->ClickUp();
        expected.push_back(NoCR(lines::SweepTime(2)));
        w.TuningB0UpDown->ClickUp();
        expected.push_back(NoCR(lines::FieldTuning(1)));
        w.FrequencyUpDown->ClickUp();
        expected.push_back(NoCR(lines::Frequency(FrequencyHz(rmH1, 1))));
        w.FieldSwRngUpDown->ClickUp();
        expected.push_back(NoCR(lines::FieldSweepRange(0, 2)));
        w.FreqSwRngUpDown->ClickUp();
        expected.push_back(NoCR(lines::FreqSweepRange(75000)));
        w.MCDirREVClick();
        expected.push_back(NoCR(lines::CurrentDirection(false)));
        w.EPRResRB->setChecked(true);
        expected.push_back(NoCR(lines::Mode(1)));
        ASSERT_TRUE(PumpUntil([&] { return Logged(logPath, expected.back()); }));
        const auto commands = Commands(logPath);
        auto from = commands.begin();
        for (const std::string& e : expected) {
            auto it = std::find(from, commands.end(), e);
            EXPECT_NE(it, commands.end()) << "missing or out of order: " << e;
            if (it != commands.end())
                from = it + 1;
        }
        EXPECT_TRUE(dialogs.fake.errors.empty())
            << (dialogs.fake.errors.empty() ? "" : dialogs.fake.errors[0].toStdString());
        EXPECT_TRUE(w.close());
        EXPECT_FALSE(port.Active());
    }
    SetSound(nullptr);
    sim.Stop();
}

} // namespace
} // namespace tavi::test

#endif

// The real window on the real port, with the test playing the device on a
// pseudo-terminal.
#include "device/ComPortTestSupport.h"

#include <QLabel>
#include <QTimer>

namespace tavi::test {
namespace {

TEST(MainWindowPty, HangUpWithALineQueuedIsReportedOnceAndLeavesItNotConnected) {
    ScopedFakeDialogs dialogs;
    SilentSound silent;
    SetSound(&silent);
    {
        auto pty = std::make_unique<Pty>();
        QtEventContext context;
        TComPort port(context);
        ConfigureSpectrometerPort(port);
        port.SetPriorityClass(pcDefault);
        QTemporaryDir exeDir;
        TFCW w(port, nullptr, exeDir.path().toStdString());
        port.SetDeviceName(pty->Path());

        w.MLinkClick();
        ASSERT_TRUE(port.Active());
        pty->Write("Z00422.0\rX07FF07FF\r");
        ASSERT_TRUE(PumpUntil([&] { return w.DeviceReady(); }));
        if (w.Timer1->isActive())
            w.Timer1Timer();
        ASSERT_TRUE(w.isEnabled());
        ASSERT_TRUE(dialogs.fake.errors.empty());

        // The reader has taken the line and asked the UI thread to handle
        // it; the adapter hangs up before the UI thread gets there.
        const std::string line = "E0042\r";
        pty->Write(line);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (port.QueuedCount() < line.size() && std::chrono::steady_clock::now() < limit)
            QThread::msleep(1);
        ASSERT_EQ(port.QueuedCount(), line.size());
        pty->CloseMaster();
        ASSERT_TRUE(PumpUntil([&] { return !port.Active(); }, std::chrono::seconds(60)));
        PumpUntil([] { return false; }, std::chrono::seconds(1)); // any repeat shows now

        EXPECT_TRUE(dialogs.fake.errors.empty())
            << dialogs.fake.errors.size()
            << " errors, first: " << dialogs.fake.errors.front().toStdString();
        ASSERT_EQ(dialogs.fake.messages.size(), 1u);
        EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
        EXPECT_TRUE(dialogs.fake.messages[0].text.contains(QString::fromStdString(pty->Path())));
        EXPECT_EQ(w.Panels[4]->text(), "Error: 0042"); // the queued line was not lost
        EXPECT_FALSE(w.DeviceReady());
        EXPECT_TRUE(w.MLink->isEnabled());
        EXPECT_TRUE(w.isEnabled());

        // Connect works again, on a new device.
        pty = std::make_unique<Pty>();
        port.SetDeviceName(pty->Path());
        w.MLinkClick();
        EXPECT_TRUE(port.Active());
        EXPECT_TRUE(w.close());
        EXPECT_FALSE(port.Active());
    }
    SetSound(nullptr);
}

} // namespace
} // namespace tavi::test
