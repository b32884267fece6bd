// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SafeFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tavi;

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

TEST_F(SafeFileTest, WritesDevicesInPlaceInsteadOfReplacingTheNode) {
    const std::string null = dir + "/null";
    const std::string full = dir + "/full";
    if (!MakeDevice(null, 3) || !MakeDevice(full, 7))
        GTEST_SKIP() << "cannot create device nodes here";
    EXPECT_TRUE(Write(null, "anything"));
    EXPECT_TRUE(fs::is_character_file(null));

    WriteFailure failure = WriteFailure::None;
    std::string cause;
    EXPECT_FALSE(Write(full, "anything", &failure, &cause));
    EXPECT_EQ(failure, WriteFailure::Write);
    EXPECT_EQ(cause, "No space left on device");
    EXPECT_TRUE(fs::is_character_file(full));
}

TEST_F(SafeFileTest, ReportsWhyAFileCannotBeCreated) {
    WriteFailure failure = WriteFailure::None;
    std::string cause;
    EXPECT_FALSE(Write(dir + "/missing/a.dcw", "x", &failure, &cause));
    EXPECT_EQ(failure, WriteFailure::Create);
    EXPECT_EQ(cause, "No such file or directory");
}

} // namespace
