// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/DirDlgB.h"

#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace tavi {
namespace {

void Focus(QLineEdit* edit) {
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(edit, &in);
}

QPushButton* ButtonWithText(QDialog& d, const QString& text) {
    for (QPushButton* b : d.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override { dialog.SetDirectories("/setup", "/acq", "/out"); }
    QLineEdit* Edit(const char* name) { return dialog.findChild<QLineEdit*>(name); }
    test::ScopedFakeDialogs fakes;
    TMDirectories dialog;
};

TEST_F(PreferencesTest, CaptionsAndFilledEdits) {
    EXPECT_EQ(dialog.windowTitle(), "Preferences");
    ASSERT_NE(dialog.findChild<QGroupBox*>(), nullptr);
    EXPECT_EQ(dialog.findChild<QGroupBox*>()->title(), "Directories");
    QStringList labels;
    for (QLabel* l : dialog.findChildren<QLabel*>())
        labels << l->text();
    EXPECT_TRUE(labels.contains("Setup directory:"));
    EXPECT_TRUE(labels.contains("Acquisition directory:"));
    EXPECT_TRUE(labels.contains("Data output directory:"));
    for (const char* caption : {"OK", "Cancel", "Browse"})
        EXPECT_NE(ButtonWithText(dialog, caption), nullptr) << caption;
    EXPECT_EQ(dialog.SetupDirectory(), "/setup");
    EXPECT_EQ(dialog.AcquisitionDirectory(), "/acq");
    EXPECT_EQ(dialog.OutputDirectory(), "/out");
}

TEST_F(PreferencesTest, BrowseBeforeAnyEditHadFocusDoesNothing) {
    fakes.fake.fileAnswers = {"/chosen"};
    ButtonWithText(dialog, "Browse")->click();
    EXPECT_EQ(fakes.fake.fileAnswers.size(), 1u); // chooser never opened
    EXPECT_EQ(dialog.SetupDirectory(), "/setup");
    EXPECT_EQ(dialog.AcquisitionDirectory(), "/acq");
    EXPECT_EQ(dialog.OutputDirectory(), "/out");
}

TEST_F(PreferencesTest, BrowseActsOnTheLastFocusedEditAcrossOpenings) {
    Focus(Edit("SetupDirEdit"));
    Focus(Edit("AcqDirEdit"));
    fakes.fake.fileAnswers = {"/data/new"};
    fakes.fake.script = [&](QDialog& d) {
        ButtonWithText(d, "Browse")->click();
        ButtonWithText(d, "OK")->click();
        return d.result();
    };
    EXPECT_EQ(Dialogs().Exec(dialog), QDialog::Accepted);
    EXPECT_EQ(dialog.AcquisitionDirectory(), "/data/new");
    EXPECT_EQ(dialog.SetupDirectory(), "/setup");

    // Next opening: still the acquisition edit; a cancelled chooser changes nothing.
    dialog.SetDirectories("/s2", "/a2", "/o2");
    fakes.fake.fileAnswers = {""};
    fakes.fake.script = [&](QDialog& d) {
        ButtonWithText(d, "Browse")->click();
        return int(QDialog::Rejected);
    };
    Dialogs().Exec(dialog);
    EXPECT_EQ(dialog.BrowseTarget(), Edit("AcqDirEdit"));
    EXPECT_EQ(dialog.AcquisitionDirectory(), "/a2");

    Focus(Edit("DOutDirEdit"));
    fakes.fake.fileAnswers = {"/exports"};
    ButtonWithText(dialog, "Browse")->click();
    EXPECT_EQ(dialog.OutputDirectory(), "/exports");
    EXPECT_EQ(dialog.AcquisitionDirectory(), "/a2");
}

} // namespace
} // namespace tavi
