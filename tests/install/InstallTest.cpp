// SPDX-License-Identifier: GPL-3.0-or-later
// The installation: its files, the installed program started from a
// read-only copy keeping its preferences in the user's folders, and the
// Debian package's contents and dependencies.
#include "app/UCW.h"
#include "install/InstalledProgram.h"
#include "setup/FileTestUtil.h"
#include "setup/USetup.h"
#include "support/FakeDialogs.h"
#include "support/FakeSerialPort.h"

#include <QAction>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sstream>

namespace tavi::test {
namespace {

namespace fs = std::filesystem;

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);)
        out.push_back(!l.empty() && l.back() == '\r' ? l.substr(0, l.size() - 1) : l);
    return out;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// One installation and one read-only copy for the whole suite.
class InstallTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<TempDir> scratch;
    static std::string Prefix() { return scratch->File("prefix"); }
    static std::string Copy() { return scratch->File("copy"); }

    static void SetUpTestSuite() {
        scratch = std::make_unique<TempDir>();
        if (!InstallInto(Prefix()))
            return;
        fs::copy(Prefix(), Copy(), fs::copy_options::recursive);
        MakeReadOnly(Copy());
    }
    static void TearDownTestSuite() {
        MakeWritable(scratch->Path());
        scratch.reset();
    }
    void SetUp() override { ASSERT_TRUE(fs::exists(Prefix() + "/bin/tavi")) << "install failed"; }
};

TEST_F(InstallTest, InstallsProgramsDesktopEntryIconsTypeMetainfoAndManualPages) {
    for (const char* file :
         {"bin/tavi", "bin/tavi-sim", "bin/tavi-dcw", "share/tavi/STANDARD.CFG",
          "share/applications/org.tavi.tavi.desktop", "share/metainfo/org.tavi.tavi.metainfo.xml",
          "share/mime/packages/tavi.xml", "share/icons/hicolor/scalable/apps/tavi.svg",
          "share/icons/hicolor/16x16/apps/tavi.png", "share/icons/hicolor/48x48/apps/tavi.png",
          "share/icons/hicolor/256x256/apps/tavi.png", "share/man/man1/tavi.1.gz",
          "share/man/man1/tavi-sim.1.gz", "share/man/man1/tavi-dcw.1.gz", "etc/tavi/STANDARD.CFG",
          "share/doc/tavi/copyright", "share/doc/tavi/changelog.gz"})
        EXPECT_TRUE(fs::is_regular_file(Prefix() + "/" + file)) << file;
    if (fs::exists(Prefix() + "/bin/tavi-proc")) {
        EXPECT_TRUE(fs::is_regular_file(Prefix() + "/share/man/man1/tavi-proc.1.gz"));
    }

    // The shipped standard setup is the built-in defaults.
    TSetupRecord shipped;
    shipped.Gain = 99;
    ASSERT_TRUE(LoadSetupFile(Prefix() + "/share/tavi/STANDARD.CFG", shipped, nullptr));
    EXPECT_EQ(shipped, DefaultSetup());
    EXPECT_EQ(fs::file_size(Prefix() + "/share/tavi/STANDARD.CFG"), kSetupRecordSize);

    // The desktop entry opens data files, whose type the MIME file declares.
    const std::string desktop =
        Output("cat '" + Prefix() + "/share/applications/org.tavi.tavi.desktop'");
    EXPECT_NE(desktop.find("MimeType=application/x-tavi-dcw;"), std::string::npos);
    EXPECT_NE(desktop.find("Exec=tavi %f"), std::string::npos);
    const std::string mime = Output("cat '" + Prefix() + "/share/mime/packages/tavi.xml'");
    EXPECT_NE(mime.find("type=\"application/x-tavi-dcw\""), std::string::npos);
    EXPECT_NE(mime.find("<glob pattern=\"*.dcw\"/>"), std::string::npos);

    // The manual page is the program's help.
    const std::string man = Output("gzip -dc '" + Prefix() + "/share/man/man1/tavi-dcw.1.gz'");
    EXPECT_NE(man.find(".TH TAVI-DCW 1"), std::string::npos);
    EXPECT_NE(man.find("\\-\\-json"), std::string::npos);
}

// Every installed program answers --version and --help with status 0, without
// a display, and its page names the others but not itself.
TEST_F(InstallTest, EveryProgramReportsItsVersionAndHelpAndHasAPage) {
    int programs = 0;
    for (const auto& entry : fs::directory_iterator(Copy() + "/bin")) {
        const std::string name = entry.path().filename().string();
        const std::string run =
            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + entry.path().string() + "'";
        ++programs;
        EXPECT_EQ(Output(run + " --version; echo $?"), name + " " + TAVI_VERSION + "\n0\n");
        EXPECT_EQ(RunCommand(run + " --help >/dev/null"), 0) << name;
        const std::string page =
            Output("gzip -dc '" + Prefix() + "/share/man/man1/" + name + ".1.gz'");
        EXPECT_NE(page.find(std::string("\"tavi ") + TAVI_VERSION + "\""), std::string::npos)
            << name;
        EXPECT_NE(page.find(".SH SYNOPSIS"), std::string::npos) << name;
        const std::string seeAlso = page.substr(page.find(".SH SEE ALSO"));
        for (const auto& other : fs::directory_iterator(Copy() + "/bin")) {
            std::string ref = other.path().filename().string();
            for (std::size_t at = 0; (at = ref.find('-', at)) != std::string::npos; at += 2)
                ref.replace(at, 1, "\\-");
            EXPECT_EQ(seeAlso.find(".BR " + ref + " (1)") != std::string::npos,
                      other.path() != entry.path())
                << name << " / " << ref;
        }
    }
    EXPECT_GE(programs, 4);
}

TEST_F(InstallTest, ReadOnlyInstallationKeepsPreferencesInTheUsersFolders) {
    TempDir user;
    const std::string config = user.File("config");
    const std::string home = user.File("home");
    fs::create_directories(home + "/Documents");
    const std::string ini = config + "/tavi/TAVI.INI";

    // First start: no preferences yet; data go to the user's documents from
    // the outset (not to the read-only bin folder), and the exit writes them.
    ProgramExit first = RunAndClose(Copy() + "/bin/tavi", config, home);
    ASSERT_EQ(first.status, 0);
    auto lines = Lines(ini);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1], home + "/Documents/");
    EXPECT_EQ(lines[3], "COM1");
    // Nothing lands beside the installed programs.
    EXPECT_FALSE(fs::exists(Copy() + "/bin/TAVI.INI"));
    EXPECT_FALSE(fs::exists(Prefix() + "/bin/TAVI.INI"));

    // The next start reads them back: its own port and sound are kept, and
    // empty directories become the configuration and documents folders.
    lines[0] = lines[1] = lines[2] = "";
    lines[3] = "COM3";
    lines[4] = "/sounds/start.wav";
    {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        for (const auto& l : lines)
            out << l << "\r\n";
    }
    ProgramExit second = RunAndClose(Copy() + "/bin/tavi", config, home);
    ASSERT_EQ(second.status, 0);
    lines = Lines(ini);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], config + "/tavi/");
    EXPECT_EQ(lines[1], home + "/Documents/");
    EXPECT_EQ(lines[2], home + "/Documents/");
    EXPECT_EQ(lines[3], "COM3");
    EXPECT_EQ(lines[4], "/sounds/start.wav");

    // --port chooses a device path as the port menu does, kept for the next start.
    ASSERT_EQ(
        RunAndClose(Copy() + "/bin/tavi", config, home, {"--port", "/tmp/tavi-sim-port"}).status,
        0);
    EXPECT_EQ(Lines(ini).at(3), "/tmp/tavi-sim-port");
    {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        for (const auto& l : lines) // as before, port COM3
            out << l << "\r\n";
    }

    // A second user keeps a file of their own.
    TempDir other;
    fs::create_directories(other.File("home"));
    ASSERT_EQ(RunAndClose(Copy() + "/bin/tavi", other.File("config"), other.File("home")).status,
              0);
    EXPECT_EQ(Lines(other.File("config/tavi/TAVI.INI")).at(3), "COM1");
    EXPECT_EQ(Lines(ini).at(3), "COM3");
}

TEST_F(InstallTest, TheCopyFindsItsSiteWideStandardSetup) {
    const std::string bin = Copy() + "/bin";
    EXPECT_FALSE(ExecutableDirKeepsIni(bin));
    TempDir user;
    ScopedEnv config("XDG_CONFIG_HOME", user.File("config"));
    ScopedFakeDialogs dialogs;
    FakeSerialPort port;
    TFCW w(port, nullptr, bin);
    EXPECT_EQ(w.CurrentSetup.SetupPath, Copy() + "/etc/tavi/STANDARD.CFG");
    EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral("Setup: STANDARD.CFG")));
    EXPECT_FALSE(w.MSavesetup->isEnabled());
    EXPECT_EQ(w.IniPlace.Path, user.File("config/tavi/TAVI.INI"));
}

TEST_F(InstallTest, DebianPackageHoldsTheInstallationAndDeclaresItsLibraries) {
    if (RunCommand("command -v dpkg-deb && command -v dpkg-shlibdeps") != 0)
        GTEST_SKIP() << "dpkg-deb or dpkg-shlibdeps missing (dpkg-dev)";
    TempDir out;
    ASSERT_EQ(RunCommand("cd '" + out.Path() +
                         "' && '" TAVI_CPACK_COMMAND "' -G DEB --config '" TAVI_BUILD_DIR
                         "/CPackConfig.cmake' -B '" +
                         out.Path() + "'"),
              0);
    std::string deb;
    for (const auto& e : fs::directory_iterator(out.Path()))
        if (e.path().extension() == ".deb")
            deb = e.path().string();
    ASSERT_FALSE(deb.empty());
    EXPECT_EQ(Output("dpkg-deb -f '" + deb + "' Package"), "tavi\n");
    const std::string depends = Output("dpkg-deb -f '" + deb + "' Depends");
    for (const char* lib : {"libqt6widgets6", "libqt6printsupport6", "libqcustomplot",
                            "libsndfile1", "libasound2", "libc6"})
        EXPECT_NE(depends.find(lib), std::string::npos) << lib << " in: " << depends;
    const std::string files = Output("dpkg-deb -c '" + deb + "'");
    for (const char* file :
         {"./usr/bin/tavi", "./usr/bin/tavi-sim", "./usr/bin/tavi-dcw",
          "./usr/share/tavi/STANDARD.CFG", "./usr/share/applications/org.tavi.tavi.desktop",
          "./usr/share/metainfo/org.tavi.tavi.metainfo.xml", "./usr/share/mime/packages/tavi.xml",
          "./usr/share/icons/hicolor/scalable/apps/tavi.svg", "./usr/share/man/man1/tavi-dcw.1.gz"})
        EXPECT_NE(files.find(std::string(file) + "\n"), std::string::npos) << file;
    // The laboratory's default survives upgrades.
    EXPECT_EQ(Output("dpkg-deb -I '" + deb + "' conffiles"), "/etc/tavi/STANDARD.CFG\n");
    EXPECT_NE(files.find("./etc/tavi/STANDARD.CFG\n"), std::string::npos);
    // Nothing of the build (tests, benchmarks, static libraries) is shipped.
    EXPECT_EQ(files.find("test_"), std::string::npos);
    EXPECT_EQ(files.find(".a\n"), std::string::npos);
}

} // namespace
} // namespace tavi::test
