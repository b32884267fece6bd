// SPDX-License-Identifier: GPL-3.0-or-later
// What tests against real ports and processes share: pumping the event loop
// until a condition holds, and a sound player that plays nothing.
#pragma once

#include "platform/Sound.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <string>

namespace tavi::test {

class SilentSound : public ISoundPlayer {
public:
    void PlayAndWait(const std::string&) override {}
    void PlayOnce(const std::string&) override {}
    void PlayLoop(const std::string&) override {}
    void Stop() override {}
};

// Pumps the event loop until done() holds. The limit is a safety net against
// a hang, never a measure of speed: it is generous enough for ASan.
template <class Pred>
bool PumpUntil(Pred done, std::chrono::seconds limit = std::chrono::seconds(300)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

} // namespace tavi::test
