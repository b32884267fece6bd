// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SafeFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <csignal>
#include <gmock/gmock.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tavi;
using ::testing::HasSubstr;

namespace {

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tavi-safefile-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    bool Write(const std::string& path, const std::string& text, WriteFailure* failure = nullptr,
               std::string* cause = nullptr) {
        std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size());
        return WriteFileSafely(path, {bytes.first(text.size() / 2), bytes.subspan(text.size() / 2)},
                               failure, cause);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int EntryCount() const {
        return static_cast<int>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    // A device node of our own, so a faulty writer could only ever replace that.
    bool MakeDevice(const std::string& path, unsigned minor) {
        return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0;
    }

    std::string dir;
};

constexpr uid_t kNobody = 65534;

// Root passes every permission check, so the permission cases run as an
// ordinary user: as "nobody" in a child process when the tests run as root
// (dir is handed to it). The body returns what went wrong, or nothing.
std::string AsUnprivileged(const std::string& dir, const std::function<std::string()>& body) {
    if (::geteuid() != 0)
        return body();
    if (::chown(dir.c_str(), kNobody, kNobody) != 0)
        return "cannot hand the directory over";
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "no fork";
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string problem;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
            ::geteuid() == 0)
            problem = "cannot become an ordinary user";
        else
            problem = body();
        (void)!::write(pipeFds[1], problem.data(), problem.size());
        ::_exit(problem.empty() ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string problem;
    char buf[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        problem.append(buf, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return "the ordinary user's process died";
    if (WEXITSTATUS(status) != 0 && problem.empty())
        return "the ordinary user's process failed";
    return problem;
}

std::string Check(bool ok, const std::string& what) {
    return ok ? std::string() : what + "; ";
}

TEST_F(SafeFileTest, WritesNewAndReplacesExistingFilesLeavingNoTemporary) {
    const std::string path = dir + "/a.dcw";
    ASSERT_TRUE(Write(path, "first"));
    EXPECT_EQ(Read(path), "first");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(Write(path, "second, longer"));
    EXPECT_EQ(Read(path), "second, longer");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(SafeFileTest, FollowsSymbolicLinksAndKeepsThem) {
    const std::string target = dir + "/target.cfg";
    const std::string link = dir + "/link.cfg";
    ASSERT_TRUE(Write(target, "old"));
    fs::create_symlink(target, link);
    ASSERT_TRUE(Write(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(EntryCount(), 2);
}

TEST_F(SafeFileTest, RefusesDevicesAndPipesAndKeepsTheNode) {
    const std::string fifo = dir + "/fifo";
    const std::string link = dir + "/link";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::create_symlink(fifo, link);
    std::vector<std::string> targets{fifo, link};
    if (MakeDevice(dir + "/full", 7))
        targets.push_back(dir + "/full");
    for (const std::string& path : targets) {
        SCOPED_TRACE(path);
        WriteFailure failure = WriteFailure::None;
        std::string cause;
        EXPECT_FALSE(Write(path, "anything", &failure, &cause));
        EXPECT_EQ(failure, WriteFailure::NotRegular);
        EXPECT_THAT(WriteFailureText(path, failure, cause), HasSubstr("not a regular file"));
        EXPECT_FALSE(fs::is_regular_file(path));
    }
    EXPECT_EQ(EntryCount(), static_cast<int>(targets.size()));
}

// A rewrite in place (the folder refuses new names) that a size limit stops
// part way: the old content comes back when it could be read first, and
// otherwise the failure says the file is damaged.
TEST_F(SafeFileTest, ARewriteStoppedPartWayRestoresOrReportsTheDamage) {
    const std::string locked = dir + "/locked";
    const std::string problem = AsUnprivileged(dir, [&] {
        std::string p;
        if (::mkdir(locked.c_str(), 0755) != 0)
            return std::string("no folder");
        const std::string kept = locked + "/kept.dcw", blind = locked + "/blind.dcw";
        const std::string old(100, 'o');
        { std::ofstream(kept) << old; }
        { std::ofstream(blind) << old; }
        ::chmod(blind.c_str(), 0200); // writable, not readable
        ::chmod(locked.c_str(), 0555);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 150;
        ::setrlimit(RLIMIT_FSIZE, &small);
        WriteFailure failure = WriteFailure::None, blindFailure = WriteFailure::None;
        std::string cause, blindCause;
        const bool keptWritten = Write(kept, std::string(300, 'n'), &failure, &cause);
        const std::string keptAfter = Read(kept);
        const bool blindWritten = Write(blind, std::string(300, 'n'), &blindFailure, &blindCause);
        const bool replaced = Write(kept, "x");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        ::chmod(blind.c_str(), 0600);
        p += Check(!keptWritten && keptAfter == old, "old content not put back: " + cause);
        p += Check(!blindWritten && blindFailure == WriteFailure::Damaged,
                   "damage not reported: " + blindCause);
        p += Check(WriteFailureText(blind, blindFailure, blindCause).find("is damaged") !=
                       std::string::npos,
                   "text: " + WriteFailureText(blind, blindFailure, blindCause));
        p += Check(replaced && Read(kept) == "x", "small rewrite failed");
        // The recovery writer's mode keeps the file rather than rewrite it.
        const bool replaceOnly = Write(kept, "y", nullptr, nullptr) &&
                                 !WriteFileSafely(kept, {}, &failure, &cause, WriteMode::ReplaceOnly);
        p += Check(replaceOnly && Read(kept) == "y" && failure == WriteFailure::Create,
                   "replace-only rewrote in place");
        return p;
    });
    EXPECT_EQ(problem, "");
}

TEST_F(SafeFileTest, ReportsWhyAFileCannotBeCreated) {
    WriteFailure failure = WriteFailure::None;
    std::string cause;
    EXPECT_FALSE(Write(dir + "/missing/a.dcw", "x", &failure, &cause));
    EXPECT_EQ(failure, WriteFailure::Create);
    EXPECT_EQ(cause, "No such file or directory");
}

TEST_F(SafeFileTest, AFileTheUserMayNotWriteStaysAsItIs) {
    const std::string path = dir + "/ro.cfg";
    const std::string problem = AsUnprivileged(dir, [&] {
        std::string p;
        { std::ofstream(path) << "old"; }
        ::chmod(path.c_str(), 0444);
        // Proves the check is not bypassed as root's would be.
        const int probe = ::open(path.c_str(), O_WRONLY);
        if (probe >= 0) {
            ::close(probe);
            return std::string("a read-only file opened for writing");
        }
        WriteFailure failure = WriteFailure::None;
        std::string cause;
        p += Check(!Write(path, "new", &failure, &cause), "the write succeeded");
        p += Check(failure == WriteFailure::Create, "not a create failure");
        p += Check(WriteFailureText(path, failure, cause) ==
                       "Cannot create file " + path + ": Permission denied",
                   "text: " + WriteFailureText(path, failure, cause));
        return p;
    });
    EXPECT_EQ(problem, "");
    EXPECT_EQ(Read(path), "old");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(SafeFileTest, AWritableFileInAFolderThatRefusesNewFilesIsWrittenInPlace) {
    const std::string locked = dir + "/locked";
    const std::string path = locked + "/a.dcw";
    const std::string problem = AsUnprivileged(dir, [&] {
        std::string p;
        if (::mkdir(locked.c_str(), 0755) != 0)
            return std::string("no folder");
        { std::ofstream(path) << "old contents, longer than the new"; }
        struct stat st {};
        ::stat(path.c_str(), &st);
        const ino_t before = st.st_ino;
        ::chmod(locked.c_str(), 0555);
        const int probe = ::open((locked + "/probe").c_str(), O_WRONLY | O_CREAT, 0666);
        if (probe >= 0) {
            ::close(probe);
            return std::string("a read-only folder took a new file");
        }
        p += Check(Write(path, "new"), "the rewrite failed");
        p += Check(::stat(path.c_str(), &st) == 0 && st.st_ino == before, "file replaced");
        WriteFailure failure = WriteFailure::None;
        std::string cause;
        p += Check(!Write(locked + "/b.dcw", "x", &failure, &cause), "a new file was created");
        p += Check(failure == WriteFailure::Create && cause == "Permission denied",
                   "new file: " + cause);
        return p;
    });
    EXPECT_EQ(problem, "");
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(fs::directory_iterator(locked)->path().filename(), "a.dcw");
    EXPECT_EQ(std::distance(fs::directory_iterator(locked), fs::directory_iterator()), 1);
}

TEST_F(SafeFileTest, AnotherUsersWritableFileInASharedFolderIsWrittenInPlace) {
    // In a sticky folder like /tmp the rename over another user's file is refused.
    const std::string shared = dir + "/shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string path = shared + "/theirs.cfg";
    { std::ofstream(path) << "theirs"; }
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs a second user";
    const std::string problem =
        AsUnprivileged(dir, [&] { return Check(Write(path, "mine"), "the rewrite failed"); });
    EXPECT_EQ(problem, "");
    EXPECT_EQ(Read(path), "mine");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(shared), fs::directory_iterator()), 1);
}

TEST_F(SafeFileTest, NamesUpToTheFileSystemsLimitWork) {
    for (std::size_t length : {254u, 255u}) {
        SCOPED_TRACE(length);
        const std::string path = dir + "/" + std::string(length - 4, 'n') + ".dcw";
        ASSERT_TRUE(Write(path, "first"));
        ASSERT_TRUE(Write(path, "second"));
        EXPECT_EQ(Read(path), "second");
        EXPECT_EQ(EntryCount(), 1);
        fs::remove(path);
    }
}

} // namespace
