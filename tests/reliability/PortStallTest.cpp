// SPDX-License-Identifier: GPL-3.0-or-later
// The real port on a bare pseudo-terminal, read only from its line event as
// the main window does: a run of bytes without CR longer than the input
// buffer must not stop the line.
#include "ReliabilitySupport.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tavi::test {
namespace {

class Master {
public:
    Master() {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0 && ::grantpt(fd_) == 0 && ::unlockpt(fd_) == 0)
            path_ = ::ptsname(fd_);
    }
    ~Master() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    const std::string& Path() const { return path_; }
    // Writes what the line takes now; false once everything is written.
    bool WriteSome(std::string& pending) {
        if (pending.empty())
            return false;
        const ssize_t n = ::write(fd_, pending.data(), std::min<std::size_t>(pending.size(), 4096));
        if (n > 0)
            pending.erase(0, static_cast<std::size_t>(n));
        return !pending.empty();
    }

private:
    int fd_ = -1;
    std::string path_;
};

TEST(PortStall, AJunkRunLongerThanTheInputBufferDoesNotStopTheLine) {
    Master master;
    ASSERT_FALSE(master.Path().empty());
    QtEventContext context;
    TComPort port(context);
    ConfigureSpectrometerPort(port);
    port.SetPriorityClass(pcDefault);
    port.SetDeviceName(master.Path());

    // The window's loop: read while bytes wait, keep an unfinished line.
    LineAssembler assembler;
    std::vector<std::string> lines;
    int events = 0;
    port.OnRxFlag = [&] {
        ++events;
        while (port.WaitingCount() > 0) {
            bool complete = false;
            do {
                complete = assembler.Push(port.ReadChar());
            } while (!complete && port.WaitingCount() > 0);
            if (!complete)
                return;
            lines.push_back(assembler.Line());
        }
    };
    port.Open();

    // More junk than the 10000-byte input buffer, then a reply.
    std::string pending(3 * 10000, 'j');
    pending += "\rB\r";
    const bool done = PumpUntil(
        [&] {
            master.WriteSome(pending);
            return !lines.empty() && lines.back() == "B\r";
        },
        std::chrono::seconds(60));
    port.Close();
    ASSERT_TRUE(done) << "queued " << port.QueuedCount() << ", " << events << " line events";
    EXPECT_EQ(lines, std::vector<std::string>{"B\r"});
    EXPECT_EQ(assembler.DiscardedRuns(), 1u);
}

} // namespace
} // namespace tavi::test
