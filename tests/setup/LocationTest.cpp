// SPDX-License-Identifier: GPL-3.0-or-later
// Where the preferences file and the standard setup are found: beside a
// writable executable, in the user's folders for an installed program.
#include "setup/FileTestUtil.h"
#include "setup/USetup.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tavi;
using tavi::test::TempDir;
using tavi::test::UnwritableDir;

namespace {

const UserFolders kUser{"/home/op/.config/tavi/", "/home/op/Documents/"};

void Touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(SaveSetupFile(path, DefaultSetup(), nullptr));
}

} // namespace

TEST(IniLocation, BesideAWritableExecutableEverythingIsTheExecutablesDirectory) {
    const IniLocation loc = ChooseIniLocation("/opt/tavi/bin", true, kUser);
    EXPECT_EQ(loc,
              (IniLocation{"/opt/tavi/bin/TAVI.INI", "/opt/tavi/bin/", "/opt/tavi/bin/", true}));
}

TEST(IniLocation, OtherwiseTheUsersConfigurationAndDocumentsFolders) {
    const IniLocation loc = ChooseIniLocation("/usr/bin/", false, kUser);
    EXPECT_EQ(loc, (IniLocation{"/home/op/.config/tavi/TAVI.INI", "/home/op/.config/tavi/",
                                "/home/op/Documents/", false}));
}

TEST(IniLocation, EmptyLinesTakeTheLocationsDefaults) {
    const IniLocation loc = ChooseIniLocation("/usr/bin/", false, kUser);
    IniSettings s;
    ParseIni("\r\n/data/nmr\r\n\r\nCOM2\r\n", loc, s);
    EXPECT_EQ(s.SetupDir, "/home/op/.config/tavi/");
    EXPECT_EQ(s.AcqDir, "/data/nmr");
    EXPECT_EQ(s.OutDir, "/home/op/Documents/");
    EXPECT_EQ(s.PortName, "COM2");
}

struct ConfigDirCase {
    const char* name;
    const char* xdg;
    const char* home;
    const char* expected;
};

class UserConfigDirTest : public ::testing::TestWithParam<ConfigDirCase> {};

TEST_P(UserConfigDirTest, FollowsTheXdgBaseDirectoryRules) {
    EXPECT_EQ(UserConfigDir(GetParam().xdg, GetParam().home), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ini, UserConfigDirTest,
    ::testing::Values(
        ConfigDirCase{"XdgConfigHomeHonoured", "/srv/cfg", "/home/a", "/srv/cfg/tavi/"},
        ConfigDirCase{"TrailingSlashKeptSingle", "/srv/cfg/", "/home/a", "/srv/cfg/tavi/"},
        ConfigDirCase{"UnsetMeansHomeConfig", "", "/home/a", "/home/a/.config/tavi/"},
        ConfigDirCase{"RelativeIsIgnored", "cfg", "/home/b/", "/home/b/.config/tavi/"},
        ConfigDirCase{"TwoUsersTwoFolders", "", "/home/b", "/home/b/.config/tavi/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniLocation, WritableDirectoryKeepsTheIniAndAReadOnlyOneDoesNot) {
    TempDir exe;
    EXPECT_TRUE(DirectoryWritable(exe.Path()));
    EXPECT_TRUE(ExecutableDirKeepsIni(exe.Path()));
    EXPECT_FALSE(DirectoryWritable(exe.File("missing")));
    UnwritableDir readOnly(exe.Path());
    if (!readOnly.Active())
        GTEST_SKIP() << "cannot make a directory read-only here";
    EXPECT_FALSE(DirectoryWritable(exe.Path()));
    EXPECT_FALSE(ExecutableDirKeepsIni(exe.Path()));
}

TEST(IniLocation, ModeBitsRuleEvenWhereTheSystemWouldLetUsWrite) {
    TempDir exe;
    ASSERT_EQ(::chmod(exe.Path().c_str(), 0555), 0);
    EXPECT_FALSE(DirectoryWritable(exe.Path()));
    ::chmod(exe.Path().c_str(), 0755);
}

TEST(IniLocation, TheBinaryFolderOfAnInstallationNeverKeepsTheIni) {
    TempDir prefix;
    std::filesystem::create_directories(prefix.File("bin"));
    EXPECT_TRUE(ExecutableDirKeepsIni(prefix.File("bin")));
    Touch(InstalledDataDir(prefix.File("bin")) + "STANDARD.CFG");
    EXPECT_TRUE(DirectoryWritable(prefix.File("bin")));
    EXPECT_FALSE(ExecutableDirKeepsIni(prefix.File("bin")));
}

TEST(IniLocation, InstalledDataFolderLiesBesideTheBinaryFolder) {
    EXPECT_EQ(InstalledDataDir("/usr/bin/"), "/usr/bin/../share/tavi/");
    EXPECT_EQ(InstalledDataDir("/opt/x/bin"), "/opt/x/bin/../share/tavi/");
}

TEST(IniLocation, WritingCreatesAPrivateConfigurationFolderAndNothingBesideTheExecutable) {
    TempDir exe;
    TempDir home;
    const UserFolders user{home.File("cfg/tavi/"), home.Path()};
    const IniLocation loc = ChooseIniLocation(exe.Path(), false, user);
    IniSettings s;
    s.PortName = "COM3";
    ASSERT_TRUE(WriteIni(loc, s));
    struct stat st {};
    ASSERT_EQ(::stat(home.File("cfg/tavi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(exe.Entries().empty());

    IniSettings back;
    ASSERT_TRUE(ReadIni(loc, back));
    EXPECT_EQ(back.PortName, "COM3");
    EXPECT_EQ(back.SetupDir, home.File("cfg/tavi/"));
    EXPECT_EQ(back.AcqDir, home.Path() + "/");
}

TEST(IniLocation, AnUnwritableConfigurationFolderFailsWithoutWritingElsewhere) {
    TempDir exe;
    TempDir home;
    UnwritableDir readOnly(home.Path());
    if (!readOnly.Active())
        GTEST_SKIP() << "cannot make a directory read-only here";
    const IniLocation loc = ChooseIniLocation(exe.Path(), false, {home.File("cfg/tavi/"), "/"});
    EXPECT_FALSE(WriteIni(loc, IniSettings{}));
    EXPECT_TRUE(exe.Entries().empty());
}

TEST(StandardSetupLookup, SetupDirectoryFirstThenTheShippedOne) {
    TempDir setups;
    TempDir data;
    const std::string own = StandardSetupPath(setups.Path());
    const std::string shipped = data.File("STANDARD.CFG");
    // Neither: the setup directory's path, which then fails to load.
    EXPECT_EQ(FindStandardSetup(setups.Path(), data.Path()), own);
    Touch(shipped);
    EXPECT_EQ(FindStandardSetup(setups.Path(), data.Path()), shipped);
    EXPECT_EQ(FindStandardSetup(setups.Path(), ""), own);
    Touch(own);
    EXPECT_EQ(FindStandardSetup(setups.Path(), data.Path()), own);
}

TEST(StandardSetupLookup, TheLaboratorysDefaultComesBeforeTheShippedOne) {
    TempDir setups;
    TempDir site;
    TempDir data;
    Touch(data.File("STANDARD.CFG"));
    EXPECT_EQ(FindStandardSetup(setups.Path(), site.Path(), data.Path()),
              data.File("STANDARD.CFG"));
    Touch(site.File("STANDARD.CFG"));
    EXPECT_EQ(FindStandardSetup(setups.Path(), site.Path(), data.Path()),
              site.File("STANDARD.CFG"));
    Touch(StandardSetupPath(setups.Path()));
    EXPECT_EQ(FindStandardSetup(setups.Path(), site.Path(), data.Path()),
              StandardSetupPath(setups.Path()));
}

TEST(StandardSetupLookup, SiteFolderIsEtcForUsrAndBelowThePrefixOtherwise) {
    EXPECT_EQ(SiteConfigDir("/usr/bin"), "/etc/tavi/");
    EXPECT_EQ(SiteConfigDir("/usr/bin/"), "/etc/tavi/");
    EXPECT_EQ(SiteConfigDir("/usr/local/bin"), "/usr/local/etc/tavi/");
    EXPECT_EQ(SiteConfigDir("/opt/tavi/bin"), "/opt/tavi/etc/tavi/");
    // A package unpacked below a folder keeps its layout there.
    EXPECT_EQ(SiteConfigDir("/tmp/root/usr/bin"), "/tmp/root/etc/tavi/");
}
