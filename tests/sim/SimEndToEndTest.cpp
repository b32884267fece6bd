// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the tavi-sim program and talks to it through its pseudo-terminal with
// plain termios, as the serial layer will.
#include "device/ReplyParser.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tavi {
namespace {

using Lines = std::vector<std::string>;
// Only a safety net against a hung simulator, never a measured duration.
constexpr int kSafetyMs = 20000;

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        dir_ = std::filesystem::temp_directory_path() /
               ("tavi-sim-test-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(dir_);
        args.insert(args.begin(), {TAVI_SIM_PATH, "--log", LogPath(), "--link", LinkPath()});
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TAVI_SIM_PATH, &fa, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        stdout_ = out[0];
    }
    ~SimProcess() {
        Stop();
        if (stdout_ >= 0)
            close(stdout_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    bool Started() const { return pid_ > 0; }

    // The first line the simulator prints: its slave device.
    std::string SlavePath() {
        std::string line;
        char c;
        while (true) {
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, kSafetyMs) <= 0 || read(stdout_, &c, 1) != 1)
                return line;
            if (c == '\n')
                return line;
            line += c;
        }
    }
    // SIGTERM and wait; the exit status.
    int Stop() {
        if (pid_ <= 0)
            return exitStatus_;
        kill(pid_, SIGTERM);
        return Wait();
    }
    int Wait() {
        if (pid_ <= 0)
            return exitStatus_;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitStatus_;
    }
    std::string LogPath() const { return (dir_ / "sim.log").string(); }
    std::string LinkPath() const { return (dir_ / "tty").string(); }
    Lines LogLines() const {
        Lines out;
        std::ifstream in(LogPath(), std::ios::binary);
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        return out;
    }

private:
    static inline int counter_ = 0;
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    int stdout_ = -1;
    int exitStatus_ = -1;
};

int OpenRaw(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return fd;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= CSTOPB | CLOCAL | CREAD;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void Write(int fd, std::string_view text) {
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Reads lines until `last` has arrived (a line equal to it), the line hangs
// up, or the safety net fires. `hungUp` tells which.
Lines ReadUntil(int fd, LineAssembler& a, std::string_view last, bool* hungUp = nullptr) {
    Lines out;
    if (hungUp)
        *hungUp = false;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kSafetyMs) <= 0)
            return out;
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            if (hungUp)
                *hungUp = n == 0 || errno == EIO;
            return out;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (a.Push(buf[i])) {
                out.push_back(a.Line());
                if (a.Line() == last)
                    return out;
            }
        }
    }
}

Lines Sent(const Lines& log) {
    Lines out;
    for (const auto& l : log)
        if (l.rfind("> ", 0) == 0)
            out.push_back(l.substr(2) + "\r");
    return out;
}

TEST(SimProgram, ConnectAndOnePassArriveAsLogged) {
    SimProcess sim({"--speed", "0", "--points", "64", "--seed", "5"});
    ASSERT_TRUE(sim.Started());
    const std::string slave = sim.SlavePath();
    ASSERT_FALSE(slave.empty());
    ASSERT_EQ(std::filesystem::read_symlink(sim.LinkPath()).string(), slave);

    int fd = OpenRaw(sim.LinkPath());
    ASSERT_GE(fd, 0);
    LineAssembler a;
    Write(fd, "Z\r");
    Lines received = ReadUntil(fd, a, "X07FF07FF\r");
    EXPECT_EQ(received, (Lines{"Z00422.0\r", "X07FF07FF\r"}));
    Write(fd, "Y\r");
    Lines m = ReadUntil(fd, a, "M01\r");
    EXPECT_EQ(m, Lines{"M01\r"});
    Write(fd, "D2F0\rF0\r");
    Lines pass = ReadUntil(fd, a, "D\r");
    ASSERT_EQ(pass.size(), 64u + 4u);
    EXPECT_EQ(pass.front(), "A0040\r");
    EXPECT_EQ(pass[1], "B\r");
    EXPECT_EQ(pass[66], "C\r");
    int points = 0;
    for (const auto& l : pass)
        points += DecodeReply(l).kind == Reply::V;
    EXPECT_EQ(points, 64);
    close(fd);

    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(sim.LinkPath()));
    Lines log = sim.LogLines();
    Lines commands;
    for (const auto& l : log)
        if (l.rfind("< ", 0) == 0)
            commands.push_back(l.substr(2));
    EXPECT_EQ(commands, (Lines{"Z", "Y", "D2F0", "F0"}));
    received.insert(received.end(), m.begin(), m.end());
    received.insert(received.end(), pass.begin(), pass.end());
    EXPECT_EQ(Sent(log), received);
}

TEST(SimProgram, GarbageIsLoggedAndSkippedByTheAssembler) {
    SimProcess sim({"--speed", "0", "--points", "30", "--garbage-every", "2"});
    ASSERT_TRUE(sim.Started());
    int fd = OpenRaw(sim.SlavePath());
    ASSERT_GE(fd, 0);
    LineAssembler a;
    Write(fd, "F0\r");
    Lines all = ReadUntil(fd, a, "D\r");
    Lines real;
    for (const auto& l : all)
        if (DecodeReply(l).kind != Reply::Ignored)
            real.push_back(l);
    EXPECT_EQ(real.size(), 34u);
    close(fd);
    sim.Stop();
    Lines log = sim.LogLines();
    EXPECT_EQ(Sent(log), real);
    int garbage = 0;
    for (const auto& l : log)
        garbage += l.rfind("# garbage ", 0) == 0;
    EXPECT_GE(garbage, 16); // one after every second line; the last may be unread
}

TEST(SimProgram, DropFaultHangsUpTheLineAndEndsTheProgram) {
    SimProcess sim({"--speed", "0", "--points", "100", "--drop-after-points", "5"});
    ASSERT_TRUE(sim.Started());
    int fd = OpenRaw(sim.SlavePath());
    ASSERT_GE(fd, 0);
    LineAssembler a;
    Write(fd, "F0\r");
    bool hungUp = false;
    Lines got = ReadUntil(fd, a, "D\r", &hungUp);
    EXPECT_TRUE(hungUp);
    int points = 0;
    for (const auto& l : got)
        points += DecodeReply(l).kind == Reply::V;
    EXPECT_EQ(points, 5);
    EXPECT_EQ(sim.Wait(), 0); // it ends by itself
    close(fd);
}

TEST(SimProgram, StaysUsableWhileNoProgramHasThePortOpen) {
    SimProcess sim({"--speed", "0"});
    ASSERT_TRUE(sim.Started());
    const std::string slave = sim.SlavePath();
    for (int round = 0; round < 2; ++round) {
        int fd = OpenRaw(slave);
        ASSERT_GE(fd, 0);
        LineAssembler a;
        Write(fd, "Z\r");
        EXPECT_EQ(ReadUntil(fd, a, "X07FF07FF\r").size(), 2u);
        close(fd);
    }
    EXPECT_EQ(sim.Stop(), 0);
}

} // namespace
} // namespace tavi
