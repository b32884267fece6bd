// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator binary as tests run it. A test target that includes this
// defines TAVI_SIM_PATH as the path of tavi-sim.
#pragma once

#include "support/EventLoop.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>

#ifndef TAVI_SIM_PATH
#error "TAVI_SIM_PATH must name the tavi-sim binary"
#endif

namespace tavi::test {

// One tavi-sim process on a pseudo-terminal reached through a fixed link.
class SimProcess {
public:
    SimProcess(const QString& link, const QString& log) : link_(link), log_(log) {}
    ~SimProcess() { Stop(); }

    bool Start(QStringList args) {
        args << "--link" << link_ << "--log" << log_;
        proc_.start(TAVI_SIM_PATH, args);
        if (!proc_.waitForStarted(30000))
            return false;
        return PumpUntil([&] { return proc_.canReadLine() || proc_.state() != QProcess::Running; },
                         std::chrono::seconds(60)) &&
               !QString::fromUtf8(proc_.readLine()).trimmed().isEmpty();
    }
    // True when it ended by a signal that was not ours (a crash).
    bool Crashed() const {
        return crashed_ || (proc_.state() == QProcess::NotRunning && !killed_ &&
                            proc_.exitStatus() == QProcess::CrashExit);
    }
    bool Running() const { return proc_.state() == QProcess::Running; }
    void Stop() {
        if (proc_.state() == QProcess::NotRunning)
            return;
        proc_.terminate(); // it ends normally on SIGTERM
        if (proc_.waitForFinished(30000)) {
            crashed_ = proc_.exitStatus() == QProcess::CrashExit;
            return;
        }
        killed_ = true;
        proc_.kill();
        proc_.waitForFinished(10000);
    }
    // Waits until the process ended by itself (the drop fault).
    bool WaitEnded() {
        return PumpUntil([&] { return proc_.state() == QProcess::NotRunning; });
    }
    const QString& LogPath() const { return log_; }
    qint64 Pid() const { return proc_.processId(); } // 0 when not running

private:
    QString link_, log_;
    QProcess proc_;
    bool crashed_ = false;
    bool killed_ = false;
};

} // namespace tavi::test
