// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ComPortTestSupport.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

namespace tavi::test {
namespace {

using namespace std::chrono_literals;

// The spectrometer's line settings on a pseudo-terminal, at normal priority.
void Configure(TCustomComPort& port, const Pty& pty) {
    ConfigureSpectrometerPort(port);
    port.SetPriorityClass(pcDefault);
    port.SetDeviceName(pty.Path());
}

class ComPortPty : public ::testing::Test {
protected:
    ComPortPty() : port(context), lines(port) {
        Configure(port, pty);
        port.OnRxFlag = [this] { lines(); };
    }
    Pty pty;
    TestEventContext context;
    TComPort port;
    LineCollector lines;
};

TEST_F(ComPortPty, AppliesLineSettingsInRawModeAndChangesThemWhileOpen) {
    port.Open();
    termios t = pty.SlaveAttr();
    EXPECT_EQ(cfgetispeed(&t), B19200);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);

    port.SetBaudRate(br9600);
    port.SetStopBits(sb1);
    t = pty.SlaveAttr();
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_FALSE(t.c_cflag & CSTOPB);

    // A pseudo-terminal has no modem lines.
    EXPECT_EQ(port.ModemStatus(), 0);
}

TEST_F(ComPortPty, CarriesLinesBothWays) {
    port.Open();
    port.WriteText("");
    port.WriteText(std::string("Z") + "\r"); // the text is gone before the bytes are read
    EXPECT_EQ(pty.Read(2), "Z\r");

    pty.Write("X07FF0800\r");
    ASSERT_TRUE(context.PumpUntil([&] { return lines.lines.size() == 1; }));
    EXPECT_EQ(lines.lines[0], "X07FF0800\r");
}

TEST_F(ComPortPty, BurstOfThreeLinesIsReadInOneHandlerCall) {
    port.Open();
    pty.Write("A0010\rB\rV 00034BC0\r");
    ASSERT_TRUE(context.PumpUntil([&] { return lines.lines.size() == 3; }));
    EXPECT_EQ(lines.linesPerCall.front(), 3);
    EXPECT_EQ(lines.lines[2], "V 00034BC0\r");
    EXPECT_EQ(port.WaitingCount(), 0);
}

TEST_F(ComPortPty, IncompleteLineRaisesNoEventUntilItsCarriageReturn) {
    port.Open();
    pty.Write("V 0003");
    ASSERT_TRUE(context.PumpUntil([&] { return port.WaitingCount() == 6; }));
    context.PumpFor(50ms);
    EXPECT_EQ(lines.calls, 0);

    pty.Write("4BC0\r");
    ASSERT_TRUE(context.PumpUntil([&] { return lines.lines.size() == 1; }));
    EXPECT_EQ(lines.lines[0], "V 00034BC0\r");
}

TEST_F(ComPortPty, ThrowingHandlerIsShownAndLaterEventsStillArrive) {
    int calls = 0;
    port.OnRxFlag = [&] {
        ++calls;
        lines();
        if (calls == 1)
            throw EComError(0, "handler failed");
    };
    port.Open();
    pty.Write("Z0001\r");
    ASSERT_TRUE(context.PumpUntil([&] { return !context.errors.empty(); }));
    EXPECT_EQ(MessageOf(context.errors[0]), "handler failed");

    pty.Write("X07FF0800\r");
    ASSERT_TRUE(context.PumpUntil([&] { return lines.lines.size() == 2; }));
    EXPECT_EQ(context.errors.size(), 1u);
}

TEST_F(ComPortPty, OpenAndCloseAreIdempotentAndRepeatable) {
    port.Close();
    EXPECT_FALSE(port.Active());
    port.Open();
    port.Open();
    EXPECT_TRUE(port.Active());
    port.Close();
    port.Close();
    EXPECT_FALSE(port.Active());

    port.SetActive(true);
    ASSERT_TRUE(port.Active());
    pty.Write("D\r");
    ASSERT_TRUE(context.PumpUntil([&] { return lines.lines.size() == 1; }));
    port.WriteText("Y\r");
    EXPECT_EQ(pty.Read(2), "Y\r");
    port.SetActive(false);
    EXPECT_FALSE(port.Active());
}

// A second opener, in this process or another, is told who holds the port;
// once the holder lets go the port opens.
enum class Holder { ThisProcess, ChildProcess };

class ComPortLock : public ::testing::TestWithParam<Holder> {};

TEST_P(ComPortLock, SecondOpenNamesTheHoldingProcess) {
    Pty pty;
    TestEventContext context;
    TComPort port(context);
    Configure(port, pty);
    pid_t holder = ::getpid();
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    if (GetParam() == Holder::ChildProcess) {
        holder = ::fork();
        ASSERT_GE(holder, 0);
        if (holder == 0) {
            // Holds the port until the parent writes, then leaves.
            char c = 0;
            try {
                port.Open();
                c = 1;
            } catch (...) {
            }
            [[maybe_unused]] ssize_t w = ::write(fromChild[1], &c, 1);
            [[maybe_unused]] ssize_t r = ::read(toChild[0], &c, 1);
            ::_exit(0);
        }
        char opened = 0;
        ASSERT_EQ(::read(fromChild[0], &opened, 1), 1);
        ASSERT_EQ(opened, 1);
    } else {
        port.Open();
    }

    TComPort other(context);
    Configure(other, pty);
    EComError error = ComErrorOf([&] { other.Open(); });
    EXPECT_EQ(error.Code(), EBUSY);
    EXPECT_EQ(std::string(error.what()),
              "Port " + pty.Path() + " is in use by process " + std::to_string(holder));
    EXPECT_FALSE(other.Active());

    if (GetParam() == Holder::ChildProcess) {
        char c = 0;
        ASSERT_EQ(::write(toChild[1], &c, 1), 1);
        ::waitpid(holder, nullptr, 0);
    } else {
        port.Close();
    }
    other.Open();
    EXPECT_TRUE(other.Active());
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
        ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Holders, ComPortLock,
                         ::testing::Values(Holder::ThisProcess, Holder::ChildProcess),
                         [](const auto& info) {
                             return info.param == Holder::ThisProcess ? "ThisProcess"
                                                                      : "ChildProcess";
                         });

TEST_F(ComPortPty, PurgeInDiscardsWaitingInput) {
    port.Open();
    pty.Write("V 000");
    ASSERT_TRUE(context.PumpUntil([&] { return port.WaitingCount() == 5; }));
    port.PurgeIn();
    port.PurgeOut();
    EXPECT_EQ(port.WaitingCount(), 0);
    pty.Write("C\r");
    ASSERT_TRUE(context.PumpUntil([&] { return lines.lines.size() == 1; }));
    EXPECT_EQ(lines.lines[0], "C\r");
}

TEST_F(ComPortPty, ReadCharTimesOutOnlyWhenATimeoutIsSet) {
    TComTimeouts timeouts;
    timeouts.ReadConstant = 20;
    port.SetTimeouts(timeouts);
    port.Open();
    EComError error = ComErrorOf([&] { port.ReadChar(); });
    EXPECT_EQ(error.Code(), 0);
    EXPECT_STREQ(error.what(), "Timeout");

    port.SetTimeouts({});
    std::thread writer([&] { pty.Write("Q"); });
    EXPECT_EQ(port.ReadChar(), 'Q');
    writer.join();
}

TEST_F(ComPortPty, CloseWhileTheReaderWaitsForTheUiThreadDoesNotHang) {
    port.Open();
    pty.Write("B\r");
    ASSERT_TRUE(context.WaitForPosted());
    port.Close();
    EXPECT_FALSE(port.Active());
    context.PumpFor(20ms); // the stale delivery does nothing
    EXPECT_EQ(lines.calls, 0);

    auto doomed = std::make_unique<TComPort>(context);
    Configure(*doomed, pty);
    int calls = 0;
    doomed->OnRxFlag = [&] { ++calls; };
    doomed->Open();
    pty.Write("C\r");
    ASSERT_TRUE(context.WaitForPosted());
    doomed.reset();
    context.PumpFor(20ms);
    EXPECT_EQ(calls, 0);
}

TEST_F(ComPortPty, HandlerMayCloseThePort) {
    int calls = 0;
    port.OnRxFlag = [&] {
        ++calls;
        port.Close();
    };
    port.Open();
    pty.Write("D\r");
    ASSERT_TRUE(context.PumpUntil([&] { return calls == 1; }));
    EXPECT_FALSE(port.Active());
    port.Open();
    EXPECT_TRUE(port.Active());
}

TEST_F(ComPortPty, UnsynchronizedHandlerRunsOnTheReaderThreadAndMayClose) {
    port.SetSynchronizeEvents(false);
    std::atomic<bool> done{false};
    std::string line;
    std::thread::id handlerThread;
    port.OnRxFlag = [&] {
        handlerThread = std::this_thread::get_id();
        while (port.WaitingCount() > 0)
            line += port.ReadChar();
        port.Close();
        done = true;
    };
    port.Open();
    pty.Write("D\r");
    ASSERT_TRUE(context.PumpUntil([&] { return done.load(); }));
    EXPECT_EQ(line, "D\r");
    EXPECT_NE(handlerThread, std::this_thread::get_id());
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(context.tasksRun, 0);
}

TEST_F(ComPortPty, LongRunWithoutCarriageReturnKeepsTheQueueBoundedAndLosesNothing) {
    port.SetBufferSizes({1000, 1000});
    port.Open();
    constexpr std::size_t total = 1 << 20;
    auto byteAt = [](std::size_t i) { return static_cast<char>('a' + i % 26); };
    std::thread writer([&] {
        std::string block(4096, ' ');
        for (std::size_t done = 0; done < total; done += block.size()) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = byteAt(done + i);
            pty.Write(block);
        }
    });
    ASSERT_TRUE(context.PumpUntil([&] { return port.QueuedCount() == 1000; }));
    std::size_t mismatches = 0;
    std::size_t largest = 0;
    for (std::size_t i = 0; i < total; ++i) {
        if (port.ReadChar() != byteAt(i))
            ++mismatches;
        if (i % 4096 == 0)
            largest = std::max(largest, port.QueuedCount());
    }
    writer.join();
    EXPECT_EQ(mismatches, 0u);
    EXPECT_LE(largest, 1000u);
    EXPECT_EQ(lines.calls, 0);
}

TEST_F(ComPortPty, DiscardedNullBytesAreNotCountedAsWaiting) {
    port.SetOptions(OptionBit(opDiscardNullBytes));
    std::vector<int> counts;
    std::string read;
    auto sendAndCount = [&](std::string_view bytes) {
        pty.Write(bytes);
        const auto limit = std::chrono::steady_clock::now() + 20s;
        while (pty.SlaveWaiting() < static_cast<int>(bytes.size()) &&
               std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(1ms);
        counts.push_back(port.WaitingCount());
    };
    port.OnRxFlag = [&] {
        lines();
        if (!counts.empty())
            return;
        // The reader thread waits for this handler: the bytes stay in the driver.
        sendAndCount(std::string_view("\0\0", 2));
        sendAndCount(std::string_view("X\0\r", 3));
        read += port.ReadChar();
        read += port.ReadChar();
    };
    port.Open();
    pty.Write("Z\r");
    ASSERT_TRUE(context.PumpUntil([&] { return !counts.empty(); }));
    EXPECT_EQ(counts, (std::vector<int>{0, 2}));
    EXPECT_EQ(read, "X\r");
    EXPECT_TRUE(context.errors.empty());
}

class ComPortVanishing : public ::testing::Test {
protected:
    ComPortVanishing() : port(context, os) { Configure(port, pty); }
    ScriptedOs os;
    Pty pty;
    TestEventContext context;
    TComPort port;
};

TEST_F(ComPortVanishing, IsReportedOnceWithoutSpinningAndCloseStillWorks) {
    std::vector<EComError> lost;
    port.OnDeviceLost = [&](const EComError& e) { lost.push_back(e); };
    port.Open();
    pty.CloseMaster();
    ASSERT_TRUE(context.PumpUntil([&] { return !lost.empty(); }));
    EXPECT_EQ(lost[0].Code(), EIO);
    EXPECT_NE(std::string(lost[0].what()).find(pty.Path()), std::string::npos);
    int polls = os.polls;
    int reads = os.reads;
    context.PumpFor(200ms);
    EXPECT_EQ(lost.size(), 1u);
    EXPECT_LE(os.polls - polls, 1);
    EXPECT_EQ(os.reads - reads, 0);
    EXPECT_TRUE(port.Active());
    EXPECT_TRUE(context.errors.empty());

    port.Close();
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(os.opens, os.closes);
}

TEST_F(ComPortVanishing, WithoutHandlerGoesToTheErrorDisplay) {
    port.Open();
    pty.CloseMaster();
    ASSERT_TRUE(context.PumpUntil([&] { return !context.errors.empty(); }));
    EXPECT_EQ(CodeOf(context.errors[0]), EIO);
    context.PumpFor(50ms);
    EXPECT_EQ(context.errors.size(), 1u);
    port.Close();
}

TEST(ComPortRules, ClosedPortRefusesTransfersAndIgnoresPurges) {
    TestEventContext context;
    TComPort port(context);
    EXPECT_FALSE(port.Active());
    for (auto call : std::initializer_list<std::function<void()>>{[&] { port.WriteText("Z\r"); },
                                                                  [&] { port.ReadChar(); },
                                                                  [&] { port.ModemStatus(); }}) {
        EComError error = ComErrorOf(call);
        EXPECT_EQ(error.Code(), 0);
        EXPECT_STREQ(error.what(), "Can't perform this operation on a closed port");
    }
    EXPECT_NO_THROW(port.PurgeIn());
    EXPECT_NO_THROW(port.PurgeOut());
    EXPECT_EQ(port.WaitingCount(), 0);
}

TEST(ComPortRules, DeviceNameAndOpenOnlySettings) {
    EXPECT_EQ(TCustomComPort::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(TCustomComPort::DevicePath("COM4"), "/dev/ttyS3");
    EXPECT_EQ(TCustomComPort::DevicePath("COM5"), "COM5");
    EXPECT_EQ(TCustomComPort::DevicePath("/dev/pts/7"), "/dev/pts/7");

    Pty pty;
    TestEventContext context;
    TComPort port(context);
    EXPECT_EQ(port.DeviceName(), "COM2");
    EXPECT_EQ(port.BufferSizes().Input, 4096);
    EXPECT_EQ(port.BufferSizes().Output, 2048);
    EXPECT_TRUE(port.SynchronizeEvents());
    Configure(port, pty);
    EXPECT_EQ(port.BufferSizes().Input, 10000);
    port.Open();

    EXPECT_NO_THROW(port.SetDeviceName(pty.Path()));
    EXPECT_NO_THROW(port.SetPriorityClass(pcDefault));
    EXPECT_NO_THROW(port.SetSynchronizeEvents(true));
    for (auto call : std::initializer_list<std::function<void()>>{
             [&] { port.SetDeviceName("COM3"); }, [&] { port.SetPriorityClass(pcRealTime); },
             [&] { port.SetSynchronizeEvents(false); }}) {
        EComError error = ComErrorOf(call);
        EXPECT_EQ(error.Code(), 0);
        EXPECT_STREQ(error.what(), "Can't perform this operation on an open port");
    }
    EXPECT_EQ(port.DeviceName(), pty.Path());
    EXPECT_EQ(port.PriorityClass(), pcDefault);
    EXPECT_TRUE(port.Active());
}

TEST(ComPortRules, FailedOpenLeavesThePortClosedAndThePriorityRestored) {
    ScriptedOs os;
    TestEventContext context;
    TComPort port(context, os);
    ConfigureSpectrometerPort(port);
    port.SetDeviceName("COM3");
    os.failOpen = ENOENT;
    EComError error = ComErrorOf([&] { port.Open(); });
    EXPECT_EQ(error.Code(), ENOENT);
    EXPECT_STREQ(error.what(), "open /dev/ttyS2: No such file or directory");
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(os.niceCalls, (std::vector<int>{-20, 5}));

    // A user outside the port's group learns which group and how to join it.
    os.failOpen = EACCES;
    error = ComErrorOf([&] { port.Open(); });
    EXPECT_EQ(error.Code(), EACCES);
    EXPECT_EQ(std::string(error.what()).rfind("open /dev/ttyS2: Permission denied (", 0), 0u);
    EXPECT_NE(std::string(error.what()).find("adduser $USER dialout"), std::string::npos);
    EXPECT_FALSE(port.Active());
    os.niceCalls.clear();

    Pty pty;
    port.SetDeviceName(pty.Path());
    os.failOpen = 0;
    os.failSetAttr = EIO;
    os.niceCalls.clear();
    error = ComErrorOf([&] { port.Open(); });
    EXPECT_EQ(error.Code(), EIO);
    EXPECT_EQ(std::string(error.what()), "tcsetattr " + pty.Path() + ": Input/output error");
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(os.opens, 1);
    EXPECT_EQ(os.closes, 1);
    EXPECT_EQ(os.niceCalls, (std::vector<int>{-20, 5}));

    os.failSetAttr = 0;
    port.Open();
    EXPECT_TRUE(port.Active());
    port.Close();
    EXPECT_EQ(os.nice, 5);
}

// The real-time priority as an ordinary user: with RLIMIT_NICE 0 nothing is
// permitted, with 25 the nice value may go down to -5.
struct UnprivilegedNice {
    const char* name;
    rlim_t limit;
};

class ComPortPriority : public ::testing::TestWithParam<UnprivilegedNice> {};

// In a child that drops root's privileges (if it has them) and takes the
// limit: "before open closed failed" nice values, or what went wrong.
std::string NiceValuesAsOrdinaryUser(rlim_t limit) {
    int out[2];
    if (::pipe(out) != 0)
        return "pipe";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        auto report = [&](const std::string& text) {
            [[maybe_unused]] ssize_t n = ::write(out[1], text.data(), text.size());
            ::_exit(0);
        };
        rlimit r{limit, limit};
        if (::setrlimit(RLIMIT_NICE, &r) != 0)
            report("skip: RLIMIT_NICE cannot be raised here");
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            report("setuid failed");
        try {
            Pty pty; // opened as the ordinary user
            TestEventContext context;
            TComPort port(context);
            ConfigureSpectrometerPort(port);
            port.SetDeviceName(pty.Path());
            int before = ::getpriority(PRIO_PROCESS, 0);
            port.Open();
            int open = ::getpriority(PRIO_PROCESS, 0);
            port.Close();
            int closed = ::getpriority(PRIO_PROCESS, 0);
            port.SetDeviceName(pty.Path() + "-absent");
            EComError error = ComErrorOf([&] { port.Open(); });
            int failed = ::getpriority(PRIO_PROCESS, 0);
            report(std::to_string(before) + " " + std::to_string(open) + " " +
                   std::to_string(closed) + " " + std::to_string(failed) + " " +
                   std::to_string(error.Code()));
        } catch (const std::exception& e) {
            report(e.what());
        }
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return text;
}

TEST_P(ComPortPriority, IsRaisedOnlyAsFarAsPermittedAndNeverLowered) {
    const std::string text = NiceValuesAsOrdinaryUser(GetParam().limit);
    if (text.rfind("skip:", 0) == 0)
        GTEST_SKIP() << text;
    int before = 0, open = 0, closed = 0, failed = 0, code = 0;
    ASSERT_EQ(std::sscanf(text.c_str(), "%d %d %d %d %d", &before, &open, &closed, &failed, &code),
              5)
        << text;
    const int floor = 20 - static_cast<int>(GetParam().limit);
    EXPECT_EQ(open, std::min(before, floor));
    EXPECT_EQ(closed, before);
    EXPECT_EQ(code, ENOENT);
    EXPECT_EQ(failed, before);
}

INSTANTIATE_TEST_SUITE_P(Limits, ComPortPriority,
                         ::testing::Values(UnprivilegedNice{"NothingPermitted", 0},
                                           UnprivilegedNice{"DownToMinusFive", 25}),
                         [](const auto& info) { return std::string(info.param.name); });

// A line setting the device refuses while open.
struct RefusedSetting {
    const char* name;
    std::function<void(TCustomComPort&)> change;
    std::function<bool(const TCustomComPort&)> keptAsBefore;
};

class ComPortRefusedSetting : public ::testing::TestWithParam<RefusedSetting> {};

bool SameLine(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

TEST_P(ComPortRefusedSetting, IsNotKeptAndTheNextOpenWorks) {
    ScriptedOs os;
    Pty pty;
    TestEventContext context;
    TComPort port(context, os);
    Configure(port, pty);
    port.Open();
    const termios inForce = os.lastAttr;
    os.refuseAttr = [&](const termios& t) { return !SameLine(t, inForce); };
    EComError error = ComErrorOf([&] { GetParam().change(port); });
    EXPECT_EQ(error.Code(), EINVAL) << error.what();
    EXPECT_TRUE(GetParam().keptAsBefore(port));
    port.Close();
    EXPECT_NO_THROW(port.Open());
    EXPECT_TRUE(port.Active());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ComPortRefusedSetting,
    ::testing::Values(
        RefusedSetting{"BaudRate", [](auto& p) { p.SetBaudRate(br9600); },
                       [](const auto& p) { return p.BaudRate() == br19200; }},
        RefusedSetting{"DataBits", [](auto& p) { p.SetDataBits(db7); },
                       [](const auto& p) { return p.DataBits() == db8; }},
        RefusedSetting{"Parity", [](auto& p) { p.SetParity(paEven); },
                       [](const auto& p) { return p.Parity() == paNone; }},
        RefusedSetting{"StopBits", [](auto& p) { p.SetStopBits(sb1); },
                       [](const auto& p) { return p.StopBits() == sb2; }},
        RefusedSetting{"FlowControl",
                       [](auto& p) {
                           p.SetFlowControl({dcDisable, rcDisable, xcInOut});
                       },
                       [](const auto& p) { return p.FlowControl().XOnXOff == xcDefault; }},
        RefusedSetting{"Characters",
                       [](auto& p) {
                           p.SetCharacters({'\r', 1, 19, 0, 0});
                       },
                       [](const auto& p) { return p.Characters().XOn == 17; }},
        RefusedSetting{"Options", [](auto& p) { p.SetOptions(OptionBit(opCheckParity)); },
                       [](const auto& p) { return p.Options() == 0; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComPortRules, ParityAndDataBitsReachTheDevice) {
    // A pseudo-terminal refuses parity, so the settings are read at the seam.
    ScriptedOs os;
    Pty pty;
    TestEventContext context;
    TComPort port(context, os);
    Configure(port, pty);
    port.Open();
    auto cflagAfter = [&](auto change) {
        os.attrsAsked.clear();
        try {
            change();
        } catch (const EComError&) {
            // the pseudo-terminal's refusal; what was asked for is recorded
        }
        return os.attrsAsked.empty() ? tcflag_t{0} : os.attrsAsked.front().c_cflag;
    };
    tcflag_t odd = cflagAfter([&] { port.SetParity(paOdd); });
    EXPECT_EQ(odd & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    tcflag_t even = cflagAfter([&] { port.SetParity(paEven); });
    EXPECT_EQ(even & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB));
    tcflag_t seven = cflagAfter([&] { port.SetDataBits(db7); });
    EXPECT_EQ(seven & CSIZE, static_cast<tcflag_t>(CS7));
    tcflag_t none = cflagAfter([&] { port.SetParity(paNone); });
    EXPECT_EQ(none & (PARENB | PARODD | CMSPAR), 0u);
}

class ComPortModemLines : public ::testing::Test {
protected:
    ComPortModemLines() : port(context, os) {
        os.fakeModem = true;
        os.lines = TIOCM_DTR | TIOCM_RTS;
        Configure(port, pty);
        port.OnCTSChange = [this] { seen.push_back("CTS " + std::to_string(port.ModemStatus())); };
        port.OnDSRChange = [this] { seen.push_back("DSR " + std::to_string(port.ModemStatus())); };
    }
    ScriptedOs os;
    Pty pty;
    TestEventContext context;
    TComPort port;
    std::vector<std::string> seen;
};

TEST_F(ComPortModemLines, DtrAndRtsAreDroppedOnOpen) {
    port.Open();
    auto control = os.ModemControl();
    ASSERT_EQ(control.size(), 2u);
    EXPECT_EQ(control[0], std::make_pair(static_cast<unsigned long>(TIOCMBIC), int{TIOCM_DTR}));
    EXPECT_EQ(control[1], std::make_pair(static_cast<unsigned long>(TIOCMBIC), int{TIOCM_RTS}));
    EXPECT_EQ(os.lines, 0);
}

TEST_F(ComPortModemLines, ChangesAreDeliveredCtsBeforeDsr) {
    port.Open();
    EXPECT_EQ(port.ModemStatus(), 0);
    int before = context.tasksRun;
    os.lines = TIOCM_CTS | TIOCM_DSR;
    ASSERT_TRUE(context.PumpUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"CTS 3", "DSR 3"}));
    EXPECT_EQ(context.tasksRun - before, 1);

    os.lines = TIOCM_DSR;
    ASSERT_TRUE(context.PumpUntil([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen[2], "CTS 2");
    EXPECT_EQ(port.ModemStatus(), ModemBit(msDSR));
}

TEST_F(ComPortModemLines, ThrowingHandlerSkipsTheRestOfItsDelivery) {
    port.OnCTSChange = [this] {
        seen.push_back("CTS");
        throw EComError(0, "CTS handler failed");
    };
    port.Open();
    os.lines = TIOCM_CTS | TIOCM_DSR;
    ASSERT_TRUE(context.PumpUntil([&] { return !context.errors.empty(); }));
    EXPECT_EQ(seen, std::vector<std::string>{"CTS"});

    os.lines = TIOCM_CTS;
    ASSERT_TRUE(context.PumpUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[1], "DSR 1");
    EXPECT_EQ(context.errors.size(), 1u);
}

} // namespace
} // namespace tavi::test
