// SPDX-License-Identifier: GPL-3.0-or-later
// A main window on a fake port in a temporary program directory.
#pragma once

#include "app/UCW.h"
#include "device/UOutMess.h"
#include "platform/Sound.h"
#include "setup/USetup.h"
#include "support/FakeDialogs.h"
#include "support/EventLoop.h"
#include "support/FakeSerialPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tavi::test {

class MainWindowFixture : public ::testing::Test {
protected:
    ScopedFakeDialogs dialogs;
    SilentSound sound;
    FakeSerialPort port;
    QTemporaryDir exeDir;
    std::unique_ptr<TFCW> w;
    TFCW* target = nullptr; // the window Connect talks to when w is not used

    void SetUp() override {
        ASSERT_TRUE(exeDir.isValid());
        SetSound(&sound);
        // The spectrometer is switched on (DSR alone) before anything listens.
        port.SetModem(ModemBit(msDSR));
    }
    void TearDown() override {
        if (w)
            w->SetRunState(RunState::Idle);
        w.reset();
        SetSound(nullptr);
    }

    std::string ExePath(const std::string& name) const {
        return exeDir.filePath(QString::fromStdString(name)).toStdString();
    }
    void WriteIniLines(const std::vector<std::string>& lines) {
        QFile f(QString::fromStdString(ExePath("TAVI.INI")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const auto& l : lines)
            f.write((l + "\r\n").c_str());
    }
    std::vector<std::string> ReadIniLines() {
        QFile f(QString::fromStdString(ExePath("TAVI.INI")));
        std::vector<std::string> out;
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& l : f.readAll().split('\n'))
            out.push_back(l.endsWith('\r') ? l.chopped(1).toStdString() : l.toStdString());
        if (!out.empty() && out.back().empty())
            out.pop_back();
        return out;
    }

    void Make() { w = std::make_unique<TFCW>(port, nullptr, exeDir.path().toStdString()); }

    // Connect, identify (version 2.0 unless told), report ready, acknowledge.
    void Connect(const std::string& version = "2.0") {
        TFCW* t = target ? target : w.get();
        t->MLinkClick();
        port.Feed("Z0042" + version + "\r");
        port.Feed("X07FF07FF\r");
        t->Timer1Timer();
        ASSERT_TRUE(t->DeviceReady());
    }
    void ConnectWithSource(int code, const std::string& version = "2.0") {
        Connect(version);
        port.Feed("M0" + std::to_string(code) + "\r");
        ASSERT_EQ((target ? target : w.get())->FieldSource(), code);
        port.TakeWritten();
    }
};

} // namespace tavi::test
