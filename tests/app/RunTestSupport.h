// SPDX-License-Identifier: GPL-3.0-or-later
// A main window on a fake port with a ready device, and helpers that play the
// spectrometer's side of a run line by line.
#pragma once

#include "app/UCW.h"
#include "common/Usr.h"
#include "platform/Controls.h"
#include "platform/Sound.h"
#include "support/FakeDialogs.h"
#include "support/FakeSerialPort.h"

#include <QCoreApplication>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tavi::test {

// Records what the run asks of the sound layer.
class RecordingSound : public ISoundPlayer {
public:
    std::vector<std::string> calls; // "wait:<file>", "once:<file>", "loop:<file>", "stop"
    void PlayAndWait(const std::string& file) override { calls.push_back("wait:" + file); }
    void PlayOnce(const std::string& file) override { calls.push_back("once:" + file); }
    void PlayLoop(const std::string& file) override { calls.push_back("loop:" + file); }
    void Stop() override { calls.push_back("stop"); }
};

struct ScopedSound {
    RecordingSound sound;
    ScopedSound() { SetSound(&sound); }
    ~ScopedSound() { SetSound(nullptr); }
};

// The "Z" reply below announces version 2.0: every point is value * 76000 raw.
inline constexpr std::int32_t kDivisor = 76000;

inline std::string PointLine(std::int32_t value, char flag = ' ') {
    return std::string("V") + flag + HexDigits(std::int64_t(value) * kDivisor, 8) + "\r";
}

class RunFixture : public ::testing::Test {
protected:
    ScopedFakeDialogs dialogs;
    ScopedSound sound;
    FakeSerialPort port;
    QTemporaryDir exeDir;
    QTemporaryDir dataDir;
    std::unique_ptr<TFCW> w;

    void SetUp() override {
        ASSERT_TRUE(exeDir.isValid());
        ASSERT_TRUE(dataDir.isValid());
        w = std::make_unique<TFCW>(port, nullptr, exeDir.path().toStdString());
        w->AcqDir = dataDir.path().toStdString();
        for (auto& s : w->SoundSettings)
            s.Off = 1;
        MakeReady();
    }
    void TearDown() override {
        // Leave no run in progress so the window may close.
        w->SetRunState(RunState::Idle);
        w.reset();
    }

    void MakeReady() {
        port.Open();
        port.Feed("Z00422.0\r");
        port.Feed("X07FF07FF\r");
        port.Feed("M01\r");
        ASSERT_TRUE(w->DeviceReady());
        w->LevelTB->setValue(0);
        if (!w->FieldSwRngRB->isChecked())
            w->FieldSwRngRB->click();
        ASSERT_TRUE(w->FieldSwRngRB->isChecked());
        port.TakeWritten();
    }

    // A new window connected through the connection check, so that the power
    // line (DSR) is watched.
    void ReconnectWatchingPower() {
        w.reset();
        port.Close();
        port.SetModem(ModemBit(msDSR));
        w = std::make_unique<TFCW>(port, nullptr, exeDir.path().toStdString());
        w->AcqDir = dataDir.path().toStdString();
        for (auto& s : w->SoundSettings)
            s.Off = 1;
        w->MLinkClick();
        port.Feed("Z00422.0\r");
        port.Feed("X07FF07FF\r");
        w->Timer1Timer();
        port.Feed("M01\r");
        ASSERT_TRUE(w->DeviceReady());
    }

    void Start() {
        w->StartToolBClick();
        ASSERT_EQ(w->PassCounter(), 1);
    }
    void SetPasses(int passes) {
        w->AccUpDown->SetPosition(passes);
        w->AccUpDownClick();
    }

    // One whole pass as the device sends it: A, B, the points, C, D.
    void Pass(const std::vector<int>& values, int announced = -1) {
        PassUpToC(values, announced);
        port.Feed("D\r");
    }
    void PassUpToC(const std::vector<int>& values, int announced = -1) {
        const int n = announced < 0 ? int(values.size()) : announced;
        port.Feed("A" + HexDigits(n, 4) + "\r");
        port.Feed("B\r");
        for (int v : values)
            port.Feed(PointLine(v));
        port.Feed("C\r");
    }

    std::int32_t Entry(std::size_t i) const {
        const auto& b = w->AccBuffer();
        std::uint32_t u = std::uint32_t(b.at(4 * i)) | std::uint32_t(b.at(4 * i + 1)) << 8 |
                          std::uint32_t(b.at(4 * i + 2)) << 16 |
                          std::uint32_t(b.at(4 * i + 3)) << 24;
        return static_cast<std::int32_t>(u);
    }
    std::size_t Entries() const { return w->AccBuffer().size() / 4; }
    QString Panel(int i) const { return w->Panels[i]->text(); }
    int Count(const std::vector<std::string>& lines, const std::string& line) const {
        int n = 0;
        for (const auto& l : lines)
            n += l == line;
        return n;
    }
    QString DataPath(const QString& name) const { return dataDir.path() + "/" + name; }
};

} // namespace tavi::test
