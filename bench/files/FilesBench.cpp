// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing the largest data file (65535 points) on /tmp, plus the
// in-memory parse alone and a setup file save/load for comparison.
#include "processing/DataFile.h"
#include "setup/USetup.h"
#include "support/SampleDataFile.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kPoints = 65535;

tavi::DataFileSettings Settings() {
    return tavi::test::SettingsBuilder()
        .Esr("3 350.0 Gs")
        .Comment("benchmark spectrum")
        .SweepTime("200 s")
        .Passes(99);
}

std::vector<std::uint8_t> Buffer() {
    std::vector<std::uint8_t> b(4 * kPoints);
    for (std::size_t i = 0; i < kPoints; ++i) {
        auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(i % 99000) - 49500);
        for (int k = 0; k < 4; ++k)
            b[4 * i + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
    }
    return b;
}

std::string BenchPath(const char* name) {
    return "/tmp/tavi-bench-" + std::to_string(::getpid()) + "-" + name;
}

void BM_WriteDataFile(benchmark::State& state) {
    const auto header = tavi::DataFileHeader::Build(Settings());
    const auto buffer = Buffer();
    const std::string path = BenchPath("write.dcw");
    std::string error;
    for (auto _ : state) {
        if (!tavi::WriteDataFile(path, header, buffer, &error))
            state.SkipWithError(error.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(buffer.size() + 425));
    ::unlink(path.c_str());
}
BENCHMARK(BM_WriteDataFile)->Unit(benchmark::kMillisecond);

void BM_ReadDataFile(benchmark::State& state) {
    const std::string path = BenchPath("read.dcw");
    std::string error;
    if (!tavi::WriteDataFile(path, tavi::DataFileHeader::Build(Settings()), Buffer(), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        tavi::LoadedDataFile f;
        if (!tavi::ReadDataFile(path, f, &error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(f.Y.data());
    }
    ::unlink(path.c_str());
}
BENCHMARK(BM_ReadDataFile)->Unit(benchmark::kMillisecond);

void BM_ParseDataFile(benchmark::State& state) {
    std::vector<std::uint8_t> bytes{tavi::kDataFormat};
    const auto header = tavi::DataFileHeader::Build(Settings());
    bytes.insert(bytes.end(), header.Bytes.begin(), header.Bytes.end());
    const auto buffer = Buffer();
    bytes.insert(bytes.end(), buffer.begin(), buffer.end());
    std::string error;
    for (auto _ : state) {
        tavi::LoadedDataFile f;
        if (!tavi::ParseDataFile(bytes, f, &error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(f.Y.data());
    }
}
BENCHMARK(BM_ParseDataFile)->Unit(benchmark::kMillisecond);

void BM_SaveLoadSetup(benchmark::State& state) {
    const std::string path = BenchPath("setup.cfg");
    tavi::TSetupRecord r = tavi::DefaultSetup();
    std::string error;
    for (auto _ : state) {
        if (!tavi::SaveSetupFile(path, r, &error) || !tavi::LoadSetupFile(path, r, &error))
            state.SkipWithError(error.c_str());
    }
    ::unlink(path.c_str());
}
BENCHMARK(BM_SaveLoadSetup)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
