// SPDX-License-Identifier: GPL-3.0-or-later
// What the recovery file costs once per pass at 65535 points: the write alone
// (beside the target, synced, renamed), and the whole end of a pass ("C": the
// average redrawn, the sums copied, the file written) with and without it.
// The difference is how long the chart and the replies wait at a pass end.
#include "app/UCW.h"
#include "platform/Controls.h"
#include "platform/Sound.h"
#include "processing/RecoveryFile.h"
#include "support/FakeDialogs.h"
#include "support/FakeSerialPort.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

using namespace tavi;

constexpr int kPoints = 65535;

void BM_RecoveryWrite(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = RecoveryFilePath(dir.path().toStdString(), ::getpid());
    std::vector<std::uint8_t> sums(4 * kPoints, 0x5A);
    DataFileSettings settings;
    settings.AccText = "7";
    const DataFileHeader header = DataFileHeader::Build(settings);
    std::string error;
    for (auto _ : state)
        if (!WriteRecoveryFile(path, header, sums, 99, false, &error))
            state.SkipWithError(error.c_str());
    state.counters["bytes"] = 425.0 + 4.0 * kPoints;
}
BENCHMARK(BM_RecoveryWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// The "C" of a full pass; argument 1 keeps the recovery file, 0 does not.
void BM_EndOfPass(benchmark::State& state) {
    test::ScopedFakeDialogs dialogs;
    test::FakeSerialPort port;
    QTemporaryDir exeDir;
    auto w = std::make_unique<TFCW>(port, nullptr, exeDir.path().toStdString());
    w->AcqDir = exeDir.path().toStdString();
    w->AccUpDown->SetPosition(99);
    w->SetPassCounter(1);
    if (state.range(0))
        w->Run().Start(); // a started run keeps its passes in the recovery file
    w->Run().BeginPass(kPoints);
    for (int i = 0; i < kPoints; ++i)
        w->StorePoint(i % 500);
    for (auto _ : state)
        w->Run().EndPass();
    if (!dialogs.fake.messages.empty())
        state.SkipWithError("the recovery file was not written");
    if (state.range(0) && w->RecoveryPassesKept() != 1)
        state.SkipWithError("no recovery file");
    w->SetRunState(RunState::Idle);
}
BENCHMARK(BM_EndOfPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
