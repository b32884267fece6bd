// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark main for the windows and charts: a QApplication on the offscreen
// platform unless another is asked for, and a sound player that plays
// nothing, so no run waits on a sound device.
#include "platform/Sound.h"
#include "support/EventLoop.h"

#include <QApplication>
#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tavi::test::SilentSound silent;
    tavi::SetSound(&silent);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tavi::SetSound(nullptr);
    return 0;
}
