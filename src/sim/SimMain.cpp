// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-sim: the spectrometer model behind a pseudo-terminal, so that the
// program (or a test) can open the printed slave path as its serial port.
#include "common/Usr.h"
#include "common/Version.h"
#include "sim/Spectrometer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using tavi::sim::SimClock;
using tavi::sim::SimOptions;
using tavi::sim::Spectrometer;
using tavi::sim::TimePoint;

constexpr const char* kUsage = R"(Usage: tavi-sim [options]
Simulated CW NMR/ESR spectrometer on a pseudo-terminal. The first line printed
on stdout is the slave device path; open it as the serial port. Runs until
SIGINT or SIGTERM.

  --link PATH                    symlink PATH to the slave (removed at exit)
  --points N                     points per pass, 1..65535 (default 1024)
  --speed F                      pass = sweep time / F; 0 = as fast as the line
                                 takes (default 1)
  --firmware V                   control program version, 3 chars (default 2.0;
                                 2.0 scales raw values by 76000, else 13500);
                                 --version V says the same
  --serial S                     unit serial number, 4 chars (default 0042)
  --field-source C               field source code reported after Y (default 1)
  --offsets A,B                  field-zero offsets reported in X (default 0,0)
  --seed N                       noise and garbage seed (default 1)
  --noise SIGMA                  noise in display units at gain 0 (default 1.5)
  --log FILE                     "< cmd" per command received, "> line" per line
                                 sent (CR removed), "# garbage HEX.." per
                                 garbage line (all its bytes, CR included),
                                 "# dropped" at the drop fault; in order,
                                 flushed
  --paced                        pace output at 19200 baud 8N2 (1745.45 chars/s)
  --stop-after-points K          go silent after K points of a pass (once);
                                 N and Q are still answered; F is refused
                                 until N
  --error-after-points K:CODE    send "E"+CODE after K points (once)
  --field-source-after-points K:C
                                 send "M"+hex(C) after K points (once)
  --garbage-every K              after every K lines insert one garbage line:
                                 a first byte from 00 FF 0A 7F 1B 80 '#' '?',
                                 0..15 random bytes other than CR (NUL, FF and
                                 LF frequent), then CR; a reader ignores it
  --drop-after-points K          close the line after K points and exit
  --corrupt-every K              damage every K-th V line from inside, logged as
                                 "# corrupt KIND VERDICT V.. = HEX.." (the line
                                 as it was meant, then the bytes sent): KIND
                                 replace, insert, split, truncate, prefix or
                                 tail; VERDICT reported (a hex field is broken),
                                 ignored (no reply letter first) or intact
  --flood-after-points K:BYTES   after K points send BYTES bytes without CR
                                 (then one CR), logged as "# flood BYTES"
  --help                         this text
  --version                      the version of tavi-sim
)";

int gSignalPipe[2] = {-1, -1};
std::string gLinkMade; // removed on every exit

void OnSignal(int) {
    const char c = 's';
    [[maybe_unused]] auto n = write(gSignalPipe[1], &c, 1);
}

[[noreturn]] void Fail(const std::string& what) {
    std::cerr << "tavi-sim: " << what << "\n";
    if (!gLinkMade.empty())
        unlink(gLinkMade.c_str());
    std::exit(2);
}

long ToLong(const std::string& text, const std::string& option) {
    try {
        std::size_t used = 0;
        long v = std::stol(text, &used, 10);
        if (used == text.size())
            return v;
    } catch (const std::exception&) {
    }
    Fail("bad number '" + text + "' for " + option);
}

// "K:REST" → K and REST.
std::pair<int, std::string> CountAndValue(const std::string& text, const std::string& option) {
    auto colon = text.find(':');
    if (colon == std::string::npos)
        Fail(option + " expects K:VALUE");
    return {static_cast<int>(ToLong(text.substr(0, colon), option)), text.substr(colon + 1)};
}

struct Args {
    SimOptions sim;
    std::string link;
    std::string log;
    bool paced = false;
};

Args Parse(int argc, char** argv) {
    Args a;
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        std::optional<std::string> inlineValue;
        if (auto eq = opt.find('='); opt.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = opt.substr(eq + 1);
            opt.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= argc)
                Fail(opt + " needs a value");
            return argv[++i];
        };
        if (opt == "--help" || opt == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (opt == "--link") {
            a.link = value();
        } else if (opt == "--points") {
            long n = ToLong(value(), opt);
            if (n < 1 || n > 65535)
                Fail("--points must be 1..65535");
            a.sim.points = static_cast<int>(n);
        } else if (opt == "--speed") {
            std::string v = value();
            char* end = nullptr;
            double f = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(f >= 0.0))
                Fail("bad --speed '" + v + "'");
            a.sim.speed = f;
        } else if (opt == "--noise") {
            std::string v = value();
            char* end = nullptr;
            double f = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(f >= 0.0))
                Fail("bad --noise '" + v + "'");
            a.sim.noise = f;
        } else if (opt == "--version" && !inlineValue &&
                   (i + 1 >= argc || std::string_view(argv[i + 1]).starts_with("--"))) {
            std::cout << tavi::VersionLine("tavi-sim");
            std::exit(0);
        } else if (opt == "--firmware" || opt == "--version") {
            a.sim.version = value();
        } else if (opt == "--serial") {
            a.sim.serial = value();
        } else if (opt == "--field-source") {
            a.sim.fieldSource = static_cast<int>(ToLong(value(), opt)) & 0xFF;
        } else if (opt == "--seed") {
            a.sim.seed = static_cast<std::uint32_t>(ToLong(value(), opt));
        } else if (opt == "--log") {
            a.log = value();
        } else if (opt == "--paced") {
            a.paced = true;
        } else if (opt == "--offsets") {
            std::string v = value();
            auto comma = v.find(',');
            if (comma == std::string::npos)
                Fail("--offsets expects A,B");
            a.sim.firstOffset = static_cast<int>(ToLong(v.substr(0, comma), opt));
            a.sim.secondOffset = static_cast<int>(ToLong(v.substr(comma + 1), opt));
        } else if (opt == "--stop-after-points") {
            a.sim.stopAfter.afterPoints = static_cast<int>(ToLong(value(), opt));
        } else if (opt == "--drop-after-points") {
            a.sim.dropAfter.afterPoints = static_cast<int>(ToLong(value(), opt));
        } else if (opt == "--error-after-points") {
            auto [k, code] = CountAndValue(value(), opt);
            if (code.find_first_of("\r\n") != std::string::npos)
                Fail("--error-after-points: CODE must not contain CR or LF");
            a.sim.errorAfter.afterPoints = k;
            a.sim.errorCode = code;
        } else if (opt == "--field-source-after-points") {
            auto [k, code] = CountAndValue(value(), opt);
            a.sim.fieldSourceAfter.afterPoints = k;
            a.sim.laterFieldSource = static_cast<int>(ToLong(code, opt)) & 0xFF;
        } else if (opt == "--corrupt-every") {
            a.sim.corruptEvery = static_cast<int>(ToLong(value(), opt));
        } else if (opt == "--flood-after-points") {
            auto [k, bytes] = CountAndValue(value(), opt);
            const long n = ToLong(bytes, opt);
            if (n < 0 || n > (1L << 30))
                Fail("--flood-after-points: BYTES must be 0..2^30");
            a.sim.floodAfter.afterPoints = k;
            a.sim.floodBytes = static_cast<std::size_t>(n);
        } else if (opt == "--garbage-every") {
            a.sim.garbageEvery = static_cast<int>(ToLong(value(), opt));
        } else {
            Fail("unknown option '" + opt + "' (see --help)");
        }
    }
    return a;
}

class Log {
public:
    explicit Log(const std::string& path) {
        if (path.empty())
            return;
        out_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!out_)
            Fail("cannot create log file " + path + ": " + std::strerror(errno));
    }
    void Line(std::string_view prefix, std::string_view text) {
        if (!out_.is_open())
            return;
        out_ << prefix << text << '\n';
        out_.flush();
    }

private:
    std::ofstream out_;
};

std::string WithoutCR(std::string_view line) {
    return std::string(line.substr(0, line.find('\r')));
}

std::string HexBytes(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += tavi::HexDigits(static_cast<unsigned char>(c), 2);
    }
    return out;
}

void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        Fail(std::string("tcgetattr: ") + std::strerror(errno));
    cfmakeraw(&t);
    t.c_cflag |= CSTOPB | CLOCAL | CREAD;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        Fail(std::string("tcsetattr: ") + std::strerror(errno));
}

// ppoll's time-out for waking at `wake`; null = no time-out.
const timespec* PollTimeout(std::optional<TimePoint> wake, TimePoint now, timespec& storage) {
    if (!wake)
        return nullptr;
    storage = {};
    if (*wake <= now) // also guards the subtraction against a far-past wake
        return &storage;
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*wake - now);
    left = std::clamp<std::chrono::nanoseconds>(left, std::chrono::nanoseconds::zero(),
                                                std::chrono::seconds(60));
    storage.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
    storage.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
    return &storage;
}

} // namespace

int main(int argc, char** argv) {
    Args args = Parse(argc, argv);
    Log log(args.log);

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        Fail(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    const char* name = ptsname(master);
    if (name == nullptr)
        Fail(std::string("ptsname: ") + std::strerror(errno));
    const std::string slavePath = name;
    // Holding the slave open ourselves keeps the master usable (no EIO, no
    // hang-up) while no program has the port open.
    int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0)
        Fail("cannot open " + slavePath + ": " + std::strerror(errno));
    MakeRaw(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    if (pipe(gSignalPipe) != 0)
        Fail(std::string("pipe: ") + std::strerror(errno));
    fcntl(gSignalPipe[1], F_SETFL, fcntl(gSignalPipe[1], F_GETFL) | O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!args.link.empty()) {
        struct stat st {};
        if (lstat(args.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                Fail(args.link + " exists and is not a symbolic link");
            unlink(args.link.c_str());
        }
        if (symlink(slavePath.c_str(), args.link.c_str()) != 0)
            Fail("cannot link " + args.link + ": " + std::strerror(errno));
        gLinkMade = args.link;
    }

    std::cout << slavePath << std::endl;

    Spectrometer sim(args.sim);
    // 19200 baud, 1 start + 8 data + 2 stop bits per character.
    const auto charTime = std::chrono::duration_cast<SimClock::duration>(
        std::chrono::duration<double>(11.0 / 19200.0));
    TimePoint txFreeAt = SimClock::now();
    std::string out;      // bytes of the line being written
    bool dropNow = false; // the drop fault fires once `out` is written
    std::string command;  // command bytes received so far
    bool running = true;

    while (running) {
        TimePoint now = SimClock::now();
        if (out.empty() && !dropNow && (!args.paced || now >= txFreeAt)) {
            if (auto line = sim.Take(now)) {
                if (line->garbage)
                    log.Line("# garbage ", HexBytes(line->bytes));
                else if (!line->note.empty())
                    log.Line("# ", line->note);
                else
                    log.Line("> ", WithoutCR(line->bytes));
                out = std::move(line->bytes);
                dropNow = sim.DropRequested();
            }
        }
        if (!out.empty()) {
            ssize_t n = write(master, out.data(), out.size());
            if (n > 0) {
                out.erase(0, static_cast<std::size_t>(n));
                if (args.paced) {
                    // Keep the average rate when we wake a little late; start
                    // afresh after the line was idle.
                    if (now - txFreeAt > std::chrono::milliseconds(20))
                        txFreeAt = now;
                    txFreeAt += charTime * n;
                }
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                Fail(std::string("write to the pseudo-terminal: ") + std::strerror(errno));
            }
        }
        if (out.empty() && dropNow) {
            // Let the reader take what was sent (a hang-up discards unread
            // input), but never wait long for a reader that is not there.
            // The pause first lets the written bytes reach the slave's queue.
            usleep(20000);
            for (int i = 0; i < 400; ++i) {
                int pending = 0;
                if (ioctl(slave, FIONREAD, &pending) != 0 || pending == 0)
                    break;
                usleep(5000);
            }
            // The device vanishes: the program's port sees the hang-up.
            log.Line("# ", "dropped");
            close(master);
            close(slave);
            master = slave = -1;
            break;
        }

        timespec storage{};
        const timespec* timeout = nullptr; // with a line pending: until it can take more
        if (out.empty()) {
            std::optional<TimePoint> wake = sim.NextDue();
            if (wake && args.paced)
                wake = std::max(*wake, txFreeAt);
            timeout = PollTimeout(wake, now, storage);
        }
        pollfd fds[2] = {{master, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0},
                         {gSignalPipe[0], POLLIN, 0}};
        if (ppoll(fds, 2, timeout, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            Fail(std::string("poll: ") + std::strerror(errno));
        }
        if (fds[1].revents & POLLIN)
            running = false;
        if (fds[0].revents & POLLIN) {
            char buf[512];
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) {
                now = SimClock::now();
                for (ssize_t i = 0; i < n; ++i) {
                    const char c = buf[i];
                    if (c == '\r' || c == '\n') {
                        // LF too, in case the port translates CR on output.
                        if (!command.empty()) {
                            log.Line("< ", command);
                            sim.Receive(command, now);
                        }
                        command.clear();
                    } else if (command.size() < 4096) {
                        command += c;
                    }
                }
            } else if (n < 0 && errno == EIO) {
                // Cannot happen while we hold the slave; never spin on it.
                poll(fds + 1, 1, 100);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            poll(fds + 1, 1, 100);
        }
    }

    if (!gLinkMade.empty())
        unlink(gLinkMade.c_str());
    if (master >= 0)
        close(master);
    if (slave >= 0)
        close(slave);
    return 0;
}
