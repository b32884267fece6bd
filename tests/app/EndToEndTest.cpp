// SPDX-License-Identifier: GPL-3.0-or-later
// The whole road of an experiment against the simulated spectrometer: the real
// port on a pseudo-terminal, the reply parser, the run and the data file.
#include "app/UCW.h"
#include "common/Usr.h"
#include "device/ComPort.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/QtEventContext.h"
#include "platform/Sound.h"
#include "processing/DataFile.h"
#include "support/EventLoop.h"
#include "support/FakeDialogs.h"
#include "support/SimProcess.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tavi::test {
namespace {

// The points the simulator sent, pass by pass, from its "> " log lines.
std::vector<std::vector<std::int64_t>> LoggedPasses(const std::string& logPath) {
    std::vector<std::vector<std::int64_t>> passes;
    std::ifstream in(logPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("> A", 0) == 0)
            passes.emplace_back();
        else if (line.rfind("> V", 0) == 0 && line.size() >= 12 && !passes.empty())
            passes.back().push_back(static_cast<std::int32_t>(HexToInt(line.substr(4, 8))));
    }
    return passes;
}

TEST(EndToEnd, EverySimulatedPointIsSummedOnce) {
    constexpr int kPoints = 700;
    constexpr int kPasses = 3;
    constexpr int kDcOffset = 3;

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString link = tmp.path() + "/tty";
    const QString logPath = tmp.path() + "/sim.log";

    SimProcess sim(link, logPath);
    ASSERT_TRUE(
        sim.Start({"--speed", "0", "--points", QString::number(kPoints), "--garbage-every", "97"}));

    ScopedFakeDialogs dialogs;
    SilentSound silent;
    SetSound(&silent);
    QtEventContext context;
    TComPort port(context);
    ConfigureSpectrometerPort(port);
    {
        QTemporaryDir exeDir;
        TFCW w(port, nullptr, exeDir.path().toStdString());
        port.SetDeviceName(link.toStdString());
        w.AcqDir = tmp.path().toStdString();

        w.MLinkClick();
        ASSERT_TRUE(port.Active());
        for (int tick = 0; tick < 20 && !(w.DeviceReady() && w.FieldSource() == 1); ++tick) {
            w.Timer1Timer();
            PumpUntil([&] { return w.DeviceReady() && w.FieldSource() == 1; }, std::chrono::seconds(1));
        }
        w.Timer1Timer(); // completes the check: "Y", then the device reports "M01"
        ASSERT_TRUE(PumpUntil([&] { return w.DeviceReady() && w.FieldSource() == 1; }));

        w.LevelTB->setValue(kDcOffset);
        w.AccUpDown->SetPosition(kPasses);
        w.AccUpDownClick();
        w.SingleRB->setChecked(true);
        w.SingleRBClick();
        w.FNameEdit->setText("e2e");
        w.StartToolBClick();
        ASSERT_TRUE(PumpUntil([&] { return w.RunState() == RunState::Finished; })) << "RunState " << int(w.RunState());
        EXPECT_TRUE(dialogs.fake.messages.empty() || !dialogs.fake.Said("Path not found !"));
        port.Close();
    }
    SetSound(nullptr);
    sim.Stop();

    const auto passes = LoggedPasses(logPath.toStdString());
    ASSERT_EQ(passes.size(), std::size_t(kPasses));
    std::vector<std::int64_t> expected(kPoints, 0);
    for (const auto& pass : passes) {
        ASSERT_EQ(pass.size(), std::size_t(kPoints));
        for (int i = 0; i < kPoints; ++i)
            expected[i] += pass[i] / 76000 - kDcOffset; // truncating toward zero
    }

    // A flat line would prove little.
    EXPECT_GT(std::set<std::int64_t>(expected.begin(), expected.end()).size(), 10u);

    QFile file(tmp.path() + "/e2e.dcw");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), qsizetype(kDataHeaderSize + 1 + 4 * kPoints));
    int mismatches = 0;
    for (int i = 0; i < kPoints; ++i) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + 425 + 4 * i;
        const auto sum =
            static_cast<std::int32_t>(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                      std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
        if (sum != expected[i] && ++mismatches <= 5)
            ADD_FAILURE() << "point " << i << ": file " << sum << ", sent " << expected[i];
    }
    EXPECT_EQ(mismatches, 0);
}

// Five passes on screen with their average and the marker readout; with
// TAVI_SCREENSHOT_DIR set, the window is saved there as run.png.
TEST(EndToEnd, FivePassesOnTheChart) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString link = tmp.path() + "/tty";
    SimProcess sim(link, tmp.path() + "/sim.log");
    ASSERT_TRUE(sim.Start({"--speed", "0", "--points", "1500", "--noise", "12"}));

    ScopedFakeDialogs dialogs;
    SilentSound silent;
    SetSound(&silent);
    QtEventContext context;
    TComPort port(context);
    ConfigureSpectrometerPort(port);
    {
        QTemporaryDir exeDir;
        TFCW w(port, nullptr, exeDir.path().toStdString());
        w.resize(1024, 700);
        w.show();
        port.SetDeviceName(link.toStdString());
        w.MLinkClick();
        ASSERT_TRUE(port.Active());
        for (int tick = 0; tick < 20 && !w.DeviceReady(); ++tick) {
            w.Timer1Timer();
            PumpUntil([&] { return w.DeviceReady(); }, std::chrono::seconds(1));
        }
        w.Timer1Timer();
        ASSERT_TRUE(PumpUntil([&] { return w.DeviceReady() && w.FieldSource() == 1; }));

        if (!w.FieldSwRngRB->isChecked())
            w.FieldSwRngRB->click();
        w.AccUpDown->SetPosition(5);
        w.AccUpDownClick();
        w.CurrDiagramCBox->setCurrentIndex(4);
        w.CurrDiagramCBoxChange();
        w.AccDToolBClick();
        w.StartToolBClick();
        ASSERT_TRUE(PumpUntil([&] { return w.RunState() == RunState::Finished; }));
        for (auto* s : w.PassSeries) {
            EXPECT_EQ(s->Count(), 1500);
            EXPECT_TRUE(s->Active());
        }
        EXPECT_TRUE(w.SeriesAcc->Active());
        w.Fid->RepaintNow();
        QCoreApplication::processEvents();
        EXPECT_FALSE(w.XYST->isHidden());
        EXPECT_TRUE(w.XYST->text().startsWith(" B: ")) << w.XYST->text().toStdString();
        w.MainMarker.Centre();
        w.DHToolBClick();
        QCoreApplication::processEvents();

        const QByteArray dir = qgetenv("TAVI_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            EXPECT_TRUE(w.grab().save(QString::fromLocal8Bit(dir) + "/run.png"));
        }
        port.Close();
    }
    SetSound(nullptr);
    sim.Stop();
}

} // namespace
} // namespace tavi::test
