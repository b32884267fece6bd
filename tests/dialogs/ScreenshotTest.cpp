// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a picture of every dialog for the documentation. Disabled by default;
// run with --gtest_also_run_disabled_tests --gtest_filter='*Screenshot*'.
#include "dialogs/AudioDlgB.h"
#include "dialogs/DlgBox1.h"
#include "dialogs/Logo.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "platform/Controls.h"
#include "setup/DirDlgB.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <cstdlib>
#include <gtest/gtest.h>

namespace tavi {
namespace {

QString ShotDir() {
    const char* dir = std::getenv("TAVI_SCREENSHOT_DIR");
    return dir ? QString::fromLocal8Bit(dir) : QStringLiteral("doc/screenshots");
}

void Save(QWidget& w, const char* name) {
    w.show();
    QCoreApplication::processEvents();
    QDir().mkpath(ShotDir());
    const QString path = ShotDir() + "/" + name + ".png";
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
    w.hide();
}

TEST(DISABLED_Screenshot, AllDialogs) {
    TMAudioDlgBox audio;
    auto sounds = DefaultSoundSettings();
    sounds[0].FileName = "/usr/share/sounds/start.wav";
    audio.SetSettings(sounds);
    Save(audio, "audio");

    QLineEdit comment("Sample 12, 295 K, degassed");
    TMDialogBox commentDlg;
    commentDlg.SetCommentTarget(&comment);
    Save(commentDlg, "comment");

    TMUsersAssist about;
    about.SetDeviceVersion("2.0");
    about.DeviceReady = [] { return true; };
    Save(about, "about");

    QPointer<TMLogo> splash = new TMLogo;
    Save(*splash, "splash");
    delete splash.data();

    TFService service;
    service.AppendMonitorLine("Z00422.0\r");
    service.AppendMonitorLine("X00000000\r");
    service.AppendMonitorLine("M1\r");
    service.findChild<TUpDown*>("F2ModUpDown")->ClickUp();
    Save(service, "service");

    TMDirectories prefs;
    prefs.SetDirectories("/home/nmr/setups/", "/home/nmr/data", "/home/nmr/export");
    Save(prefs, "preferences");
}

} // namespace
} // namespace tavi
