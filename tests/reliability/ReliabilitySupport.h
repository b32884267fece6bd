// SPDX-License-Identifier: GPL-3.0-or-later
// The rig of the reliability tests: the simulator on a pseudo-terminal, the
// real port and main window, the simulator's log read back as the truth of
// what was sent, resident-memory readings, and the figures the report prints.
#pragma once

#include "app/UCW.h"
#include "common/Usr.h"
#include "device/ComPort.h"
#include "platform/Controls.h"
#include "platform/QtEventContext.h"
#include "platform/Sound.h"
#include "processing/DataFile.h"
#include "support/EventLoop.h"
#include "support/FakeDialogs.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef TAVI_SIM_PATH
#error "TAVI_SIM_PATH must name the tavi-sim binary"
#endif

namespace tavi::test {

// A version "2.0" simulator scales every value by this.
inline constexpr std::int32_t kSimDivisor = 76000;

// Freed memory under ASan waits in its quarantine, so the resident size
// climbs by design there: memory figures are reported but not judged.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kMemoryMeaningful = false;
#else
inline constexpr bool kMemoryMeaningful = true;
#endif

// Resident set size of this process in kB (VmRSS of /proc/self/status).
inline long ResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// The largest VmRSS seen while it lives: a handler that buffers a flood and
// frees it again before returning would not show in a reading afterwards.
class PeakRss {
public:
    PeakRss() : peak_(ResidentKb()) {
        thread_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            while (!stop_) {
                lock.unlock();
                const long now = ResidentKb();
                long seen = peak_.load();
                while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
                }
                lock.lock();
                wake_.wait_for(lock, std::chrono::milliseconds(2), [this] { return stop_; });
            }
        });
    }
    ~PeakRss() { Stop(); }
    long Stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        return peak_.load();
    }

private:
    std::atomic<long> peak_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

// Appends one row to the file named by TAVI_RELIABILITY_OUT (if set):
// fault, trials, outcome, points lost, crashes, memory figure.
inline void RecordFigures(const std::string& fault, long trials, const std::string& outcome,
                          long pointsLost, long crashes, const std::string& memory = "-") {
    const char* out = std::getenv("TAVI_RELIABILITY_OUT");
    if (!out || !*out)
        return;
    std::ofstream f(out, std::ios::app);
    f << fault << '\t' << trials << '\t' << outcome << '\t' << pointsLost << '\t' << crashes << '\t'
      << memory << '\n';
}

// What the simulator's log says was sent, pass by pass.
struct SimLog {
    struct Pass {
        std::vector<std::int32_t> counted; // raw values a reader must sum, in order
        int reported = 0;                  // damaged: a conversion error each
        int ignored = 0;                   // damaged: dropped silently
        int intactDamaged = 0;             // damaged after the value: still counted
    };
    std::vector<Pass> passes;
    int garbage = 0;
    int floods = 0;
    long floodBytes = 0;
    bool dropped = false;
    std::vector<std::string> errors; // "E" replies sent
    std::vector<std::string> fieldSources;

    int Reported() const {
        int n = 0;
        for (const auto& p : passes)
            n += p.reported;
        return n;
    }
    int Ignored() const {
        int n = 0;
        for (const auto& p : passes)
            n += p.ignored;
        return n;
    }
    int IntactDamaged() const {
        int n = 0;
        for (const auto& p : passes)
            n += p.intactDamaged;
        return n;
    }
    std::size_t Counted() const {
        std::size_t n = 0;
        for (const auto& p : passes)
            n += p.counted.size();
        return n;
    }

    static std::int32_t Raw(const std::string& tenChars) {
        return static_cast<std::int32_t>(HexToInt(tenChars.substr(2, 8)));
    }

    static SimLog Read(const QString& path) {
        SimLog log;
        std::ifstream in(path.toStdString(), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("> A", 0) == 0) {
                log.passes.emplace_back();
            } else if (line.rfind("> V", 0) == 0 && line.size() >= 12) {
                if (!log.passes.empty())
                    log.passes.back().counted.push_back(Raw(line.substr(2, 10)));
            } else if (line.rfind("> E", 0) == 0) {
                log.errors.push_back(line.substr(3));
            } else if (line.rfind("> M", 0) == 0) {
                log.fieldSources.push_back(line.substr(3));
            } else if (line.rfind("# garbage ", 0) == 0) {
                ++log.garbage;
            } else if (line.rfind("# flood ", 0) == 0) {
                ++log.floods;
                log.floodBytes += std::strtol(line.c_str() + 8, nullptr, 10);
            } else if (line == "# dropped") {
                log.dropped = true;
            } else if (line.rfind("# corrupt ", 0) == 0 && !log.passes.empty()) {
                // "# corrupt KIND VERDICT V.......... = HEX .."
                std::istringstream words(line.substr(10));
                std::string kind, verdict;
                words >> kind >> verdict;
                const std::size_t v = line.find(" V", 10 + kind.size() + verdict.size());
                Pass& p = log.passes.back();
                if (verdict == "reported") {
                    ++p.reported;
                } else if (verdict == "ignored") {
                    ++p.ignored;
                } else if (verdict == "intact" && v != std::string::npos) {
                    ++p.intactDamaged;
                    p.counted.push_back(Raw(line.substr(v + 1, 10)));
                } else {
                    ADD_FAILURE() << "unreadable log line: " << line;
                }
            }
        }
        return log;
    }

    // The sums a reader must hold after these passes, with the DC offset
    // taken off each point: entry i is the i-th counted point of every pass
    // (a pass that lost points fills fewer entries; the others keep theirs).
    std::vector<std::int32_t> Sums(std::size_t entries, int dcOffset = 0) const {
        std::vector<std::int32_t> sums(entries, 0);
        for (const auto& p : passes)
            for (std::size_t i = 0; i < p.counted.size() && i < entries; ++i)
                sums[i] = static_cast<std::int32_t>(
                    static_cast<std::uint32_t>(sums[i]) +
                    static_cast<std::uint32_t>(p.counted[i] / kSimDivisor - dcOffset));
        return sums;
    }
};

// The entries of an accumulation buffer or of a data file's sums.
inline std::vector<std::int32_t> Entries(const std::uint8_t* p, std::size_t bytes) {
    std::vector<std::int32_t> out(bytes / 4);
    for (std::size_t i = 0; i < out.size(); ++i, p += 4)
        out[i] = static_cast<std::int32_t>(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                           std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
    return out;
}

// The sums stored in a data file; empty when it cannot be read.
inline std::vector<std::int32_t> FileSums(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    const qsizetype head = qsizetype(kDataHeaderSize) + 1;
    if (bytes.size() < head)
        return {};
    return Entries(reinterpret_cast<const std::uint8_t*>(bytes.constData()) + head,
                   static_cast<std::size_t>(bytes.size() - head));
}

// Entries that differ (or are missing) between what was saved and what the log
// demands: each stands for at least one point lost or summed wrongly.
inline long Mismatches(const std::vector<std::int32_t>& got,
                       const std::vector<std::int32_t>& want) {
    long bad = static_cast<long>(got.size() > want.size() ? got.size() - want.size()
                                                          : want.size() - got.size());
    int shown = 0;
    for (std::size_t i = 0; i < got.size() && i < want.size(); ++i) {
        if (got[i] != want[i]) {
            ++bad;
            if (++shown <= 5)
                ADD_FAILURE() << "entry " << i << ": saved " << got[i] << ", sent " << want[i];
        }
    }
    if (got.size() != want.size())
        ADD_FAILURE() << "saved " << got.size() << " entries, expected " << want.size();
    return bad;
}

// The real window on the real port, with every modal answered by FakeDialogs.
class Rig {
public:
    ScopedFakeDialogs dialogs;

    explicit Rig(const QString& link) {
        SetSound(&silent_);
        port_ = std::make_unique<TComPort>(context_);
        ConfigureSpectrometerPort(*port_);
        w = std::make_unique<TFCW>(*port_, nullptr, exeDir_.path().toStdString());
        for (auto& s : w->SoundSettings)
            s.Off = 1;
        port_->SetDeviceName(link.toStdString());
    }
    ~Rig() {
        // No run may be left waiting, or the window would refuse to go.
        w->SetRunState(RunState::Idle);
        port_->Close();
        w.reset();
        port_.reset();
        SetSound(nullptr);
    }

    TComPort& Port() { return *port_; }

    // "Connect", then the first tick sends "Z" at once (rather than after a
    // second); the tick after "X" completes the check and sends "Y", to which
    // the device answers with its field source.
    ::testing::AssertionResult Connect(int fieldSource = 1) {
        w->MLinkClick();
        if (!port_->Active())
            return ::testing::AssertionFailure()
                   << "port not open: "
                   << (dialogs.fake.errors.empty() ? "" : dialogs.fake.errors.back().toStdString());
        w->Timer1Timer();
        if (!PumpUntil([&] { return w->DeviceReady(); }))
            return ::testing::AssertionFailure() << "no X reply";
        if (w->Timer1->isActive()) // else the running timer has completed it
            w->Timer1Timer();
        if (!PumpUntil([&] { return w->FieldSource() == fieldSource && w->isEnabled(); }))
            return ::testing::AssertionFailure() << "field source " << int(w->FieldSource());
        return ::testing::AssertionSuccess();
    }

    // A Single experiment of `passes` passes, saved under `name` when given.
    void StartSingle(int passes, const QString& name = {}) {
        w->AccUpDown->SetPosition(passes);
        w->AccUpDownClick();
        w->SingleRB->setChecked(true);
        w->SingleRBClick();
        w->FNameEdit->setText(name);
        w->StartToolBClick();
    }

    std::vector<std::int32_t> Sums() const {
        return Entries(w->AccBuffer().data(), w->AccBuffer().size());
    }

    std::unique_ptr<TFCW> w;

private:
    SilentSound silent_;
    QtEventContext context_;
    QTemporaryDir exeDir_;
    std::unique_ptr<TComPort> port_;
};

} // namespace tavi::test
