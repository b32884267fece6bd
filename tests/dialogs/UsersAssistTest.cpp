// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/UsersAssist.h"

#include "support/FakeDialogs.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace tavi {
namespace {

int VisibleLines(QDialog& d) {
    int n = 0;
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "DevicePrgVerLab"})
        if (d.findChild<QLabel*>(name)->isVisible())
            ++n;
    return n;
}

TEST(AboutDialogTest, VersionLineOnlyOnceTheDeviceIsReady) {
    test::ScopedFakeDialogs fakes;
    bool ready = false;
    TMUsersAssist about;
    about.DeviceReady = [&] { return ready; };
    EXPECT_EQ(about.findChild<QLabel*>("Label1")->text(), "TAVI");
    EXPECT_EQ(about.findChild<QLabel*>("Label2")->text(),
              "program for CW NMR and ESR spectrometer");
    EXPECT_EQ(about.findChild<QLabel*>("Label3")->text(),
              "control, data acquisition and processing");
    EXPECT_EQ(about.findChild<QLabel*>("Label4")->text(), "v.2.04 created September 2022");
    EXPECT_EQ(about.findChild<QPushButton*>("OkButton")->text(), "OK");

    int lines = -1;
    fakes.fake.script = [&](QDialog& d) {
        lines = VisibleLines(d);
        return int(QDialog::Accepted);
    };
    Dialogs().Exec(about);
    EXPECT_EQ(lines, 4);

    about.SetDeviceVersion("2.0");
    ready = true;
    Dialogs().Exec(about);
    EXPECT_EQ(lines, 5);
    EXPECT_EQ(about.findChild<QLabel*>("DevicePrgVerLab")->text(),
              "device internal control program v.2.0");

    // A device that drops out hides the line again; the text is kept.
    ready = false;
    Dialogs().Exec(about);
    EXPECT_EQ(lines, 4);
    EXPECT_EQ(about.findChild<QLabel*>("DevicePrgVerLab")->text(),
              "device internal control program v.2.0");
}

TEST(AboutDialogTest, VersionTextIsCutTo37Characters) {
    TMUsersAssist about;
    about.SetDeviceVersion("12345");
    EXPECT_EQ(about.findChild<QLabel*>("DevicePrgVerLab")->text(),
              "device internal control program v.123");
}

TEST(AboutDialogTest, NoReadinessSourceMeansNotReady) {
    test::ScopedFakeDialogs fakes;
    TMUsersAssist about;
    int lines = -1;
    fakes.fake.script = [&](QDialog& d) {
        lines = VisibleLines(d);
        return int(QDialog::Accepted);
    };
    Dialogs().Exec(about);
    EXPECT_EQ(lines, 4);
}

} // namespace
} // namespace tavi
