// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-run against tavi-sim on a pseudo-terminal: a whole run, a run cut by
// SIGINT, SIGKILL or the simulator's end, and the failures it reports.
// Before termios, whose B0 macro would break the setup record.
#include "setup/USetup.h"

#include "device/ComPort.h"
#include "processing/DataFile.h"
#include "processing/RecoveryFile.h"
#include "setup/FileTestUtil.h"
#include "support/SimProcess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <pty.h>
#include <sstream>
#include <unistd.h>

#ifndef TAVI_RUN_PATH
#error "TAVI_RUN_PATH must name the tavi-run binary"
#endif

namespace tavi::test {
namespace {

constexpr int kPoints = 32;

// What happens once the second pass is reported finished.
enum class After2 { Nothing, Sigint, Sigkill, StopSim };

struct RunCase {
    const char* name;
    int passes;
    After2 action;
    int status;
    int passesSaved; // AccText of the saved file; 0: no file
    const char* stderrHas;
};

// The sums tavi-sim sent, per point, over its first `passes` passes (its log
// has "> V..." per point), scaled as the device's version 2.0 asks.
std::vector<std::int32_t> SentSums(const std::string& log, int passes) {
    std::vector<std::int32_t> sums(kPoints, 0);
    std::ifstream in(log);
    int index = 0, pass = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("> A", 0) == 0) {
            ++pass;
            index = 0;
        } else if (line.rfind("> V", 0) == 0 && pass <= passes && index < kPoints) {
            const auto raw = static_cast<std::int32_t>(std::stoul(line.substr(4, 8), nullptr, 16));
            sums[static_cast<std::size_t>(index++)] += raw / 76000;
        }
    }
    return sums;
}

class RunToolBase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        setup = Path("sample.cfg");
        TSetupRecord record = DefaultSetup();
        record.FieldSweep = 1;
        record.DCOffset = 0;
        std::string error;
        ASSERT_TRUE(SaveSetupFile(setup, record, &error)) << error;
    }
    std::string Path(const char* name) const { return (tmp.path() + "/" + name).toStdString(); }

    // Starts tavi-run with --json; its stdout lines are read as they come.
    void StartTool(const QStringList& args) {
        tool.start(TAVI_RUN_PATH, QStringList{"--json"} << args);
        ASSERT_TRUE(tool.waitForStarted(30000));
    }
    // Reads stdout lines until one contains `text`; false when the tool ended first.
    bool WaitForLine(const std::string& text) {
        return PumpUntil([&] {
            while (tool.canReadLine()) {
                const std::string line = tool.readLine().toStdString();
                out += line;
                if (line.find(text) != std::string::npos)
                    return true;
            }
            return tool.state() == QProcess::NotRunning && !tool.canReadLine();
        }) && out.find(text) != std::string::npos;
    }
    int Finish() {
        if (!tool.waitForFinished(120000))
            return -1;
        out += tool.readAllStandardOutput().toStdString();
        err = tool.readAllStandardError().toStdString();
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -2;
    }

    QTemporaryDir tmp;
    std::string setup;
    QProcess tool;
    std::string out, err;
};

class RunTool : public RunToolBase, public ::testing::WithParamInterface<RunCase> {};

TEST_P(RunTool, SavesWhatTheSimulatorSentWithTheTrueCount) {
    const RunCase& c = GetParam();
    const QString link = tmp.path() + "/tty";
    SimProcess sim(link, tmp.path() + "/sim.log");
    // 0.5 s per pass: the test acts well inside the third pass.
    ASSERT_TRUE(sim.Start({"--points", QString::number(kPoints), "--speed", "60"}));
    const std::string dataFile = Path("series-1.dcw");
    StartTool({"--port", link, "--setup", QString::fromStdString(setup), "--passes",
               QString::number(c.passes), "--out", QString::fromStdString(dataFile)});
    ASSERT_TRUE(WaitForLine("\"connected\"")) << out;
    EXPECT_NE(out.find("\"serial\": \"0042\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"fieldSource\": \"Electromagnet\""), std::string::npos) << out;
    const std::string recovery =
        RecoveryFilePath(tmp.path().toStdString(), static_cast<long>(tool.processId()));
    if (c.action != After2::Nothing) {
        ASSERT_TRUE(WaitForLine("{\"event\": \"pass\", \"pass\": 2,")) << out;
        if (c.action == After2::Sigint)
            ::kill(static_cast<pid_t>(tool.processId()), SIGINT);
        else if (c.action == After2::Sigkill)
            ::kill(static_cast<pid_t>(tool.processId()), SIGKILL);
        else
            sim.Stop();
    }
    const int status = Finish();
    if (c.action == After2::Sigkill) {
        EXPECT_EQ(status, -2);
        // What the window's next start collects and reports.
        const auto found = CollectRecoveryFiles(tmp.path().toStdString());
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].From, recovery);
        EXPECT_EQ(found[0].PassesDone, 2);
        return;
    }
    EXPECT_EQ(status, c.status) << out << err;
    EXPECT_NE(err.find(c.stderrHas), std::string::npos) << err;
    LoadedDataFile file;
    std::string error;
    ASSERT_TRUE(ReadDataFile(dataFile, file, &error)) << error;
    EXPECT_EQ(file.Settings.AccText, std::to_string(c.passesSaved));
    EXPECT_NE(out.find("\"saved\""), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(recovery));
    sim.Stop();
    // The sums in the file are the simulator's values, point by point.
    auto bytes = ReadBytes(dataFile);
    ASSERT_EQ(bytes.size(), 1 + kDataHeaderSize + 4u * kPoints);
    const auto sent = SentSums(sim.LogPath().toStdString(), c.passesSaved);
    for (int i = 0; i < kPoints; ++i) {
        const std::uint8_t* p = bytes.data() + 1 + kDataHeaderSize + 4 * i;
        const auto sum = static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                                   static_cast<std::uint32_t>(p[3]) << 24);
        EXPECT_EQ(sum, sent[static_cast<std::size_t>(i)]) << "point " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunTool,
    ::testing::Values(RunCase{"ThreePasses", 3, After2::Nothing, 0, 3, ""},
                      RunCase{"SigintAfterPass2", 5, After2::Sigint, 130, 2, ""},
                      RunCase{"SigkillAfterPass2", 5, After2::Sigkill, 0, 0, ""},
                      RunCase{"SimulatorStoppedInPass3", 5, After2::StopSim, 1, 2, "was lost"}),
    [](const auto& info) { return std::string(info.param.name); });

// Failures before a run: the status and the message that says why.
struct FailureCase {
    const char* name;
    const char* args; // %P the port, %S a valid setup, %D the temporary folder
    int status;
    const char* stderrHas;
};

class RunToolFailure : public RunToolBase, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunToolFailure, ExitsWithItsStatusAndSaysWhy) {
    const FailureCase& c = GetParam();
    // A pseudo-terminal nobody answers on; this process holds it for the
    // in-use case, as the window would.
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    struct NoEvents : IEventContext {
        void Post(std::function<void()>) override {}
        void ShowError(std::exception_ptr) override {}
    } context;
    TComPort holder(context);
    ConfigureSpectrometerPort(holder);
    holder.SetPriorityClass(pcDefault);
    holder.SetDeviceName(name);
    const bool inUse = std::string(c.stderrHas).find("in use") != std::string::npos;
    if (inUse)
        holder.Open();

    QString args = QString::fromUtf8(c.args);
    args.replace("%P", name).replace("%S", QString::fromStdString(setup)).replace("%D", tmp.path());
    StartTool(args.split(' ', Qt::SkipEmptyParts));
    const int status = Finish();
    EXPECT_EQ(status, c.status);
    std::string expected = c.stderrHas;
    if (inUse)
        expected += " " + std::to_string(::getpid());
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    holder.Close();
    ::close(master);
    ::close(slave);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunToolFailure,
    ::testing::Values(
        FailureCase{"PortInUse", "--port %P --setup %S --out %D/a.dcw", 1, "in use by process"},
        FailureCase{"PortMissing", "--port %D/none --setup %S", 1, "open "},
        FailureCase{"NoAnswer", "--port %P --setup %S --out %D/a.dcw", 1,
                    "does not answer the connection check"},
        FailureCase{"SetupMissing", "--port %P --setup %D/none.cfg", 1, "cannot load the setup"},
        FailureCase{"OutputFolderMissing", "--port %P --setup %S --out %D/no/a.dcw", 1,
                    "cannot write"},
        FailureCase{"NoSetup", "--port %P", 2, "--setup"},
        FailureCase{"BadPasses", "--port %P --setup %S --passes 0", 2, "--passes"},
        FailureCase{"UnknownOption", "--frobnicate 1", 2, "unknown option"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tavi::test
