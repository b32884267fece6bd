// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/DlgBox1.h"

#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace tavi {
namespace {

void Type(QLineEdit* edit, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(edit, &press);
    }
}

class CommentDialogTest : public ::testing::Test {
protected:
    void SetUp() override { dialog.SetCommentTarget(&comment); }
    QLineEdit* Edit() { return dialog.findChild<QLineEdit*>("DlgBoxEdit"); }
    QPushButton* Button(const char* name) { return dialog.findChild<QPushButton*>(name); }

    test::ScopedFakeDialogs fakes;
    QLineEdit comment; // the main window's CommentEdit, no limit
    TMDialogBox dialog;
};

TEST_F(CommentDialogTest, ShowingAppliesTheCommentLayout) {
    comment.setText("sample A");
    fakes.fake.script = [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Comment");
        EXPECT_EQ(d.width(), 465);
        EXPECT_EQ(d.findChild<QLabel*>("DlgBoxLabel")->text(), "Enter comment:");
        EXPECT_EQ(Edit()->width(), 313);
        EXPECT_EQ(Edit()->text(), "sample A");
        EXPECT_EQ(Button("DlgBoxOK")->text(), "OK");
        EXPECT_EQ(Button("DlgBoxCancel")->text(), "Cancel");
        EXPECT_NE(d.findChild<QGroupBox*>("GroupBox"), nullptr);
        return int(QDialog::Rejected);
    };
    Dialogs().Exec(dialog);
}

TEST_F(CommentDialogTest, OkWritesTheEditedTextBack) {
    comment.setText("old");
    fakes.fake.script = [&](QDialog& d) {
        Edit()->setText("new comment");
        Button("DlgBoxOK")->click();
        return d.result();
    };
    EXPECT_EQ(Dialogs().Exec(dialog), QDialog::Accepted);
    EXPECT_EQ(comment.text(), "new comment");
}

TEST_F(CommentDialogTest, CancelLeavesTheCommentAsItWas) {
    comment.setText("keep me");
    fakes.fake.script = [&](QDialog& d) {
        Edit()->setText("edited");
        Button("DlgBoxCancel")->click();
        return d.result();
    };
    EXPECT_EQ(Dialogs().Exec(dialog), QDialog::Rejected);
    EXPECT_EQ(comment.text(), "keep me");
}

TEST_F(CommentDialogTest, TypingStopsAt250Characters) {
    comment.setText(QString(245, 'a'));
    fakes.fake.script = [&](QDialog& d) {
        Edit()->end(false);
        Type(Edit(), "0123456789");
        EXPECT_EQ(Edit()->text().size(), 250);
        Button("DlgBoxOK")->click();
        return d.result();
    };
    Dialogs().Exec(dialog);
    EXPECT_EQ(comment.text(), QString(245, 'a') + "01234");
}

TEST_F(CommentDialogTest, LongerExistingCommentSurvivesWhole) {
    const QString longText = QString(300, 'x') + "end";
    comment.setText(longText);
    fakes.fake.script = [&](QDialog& d) {
        EXPECT_EQ(Edit()->text(), longText);
        Edit()->end(false);
        Type(Edit(), "more"); // no room to type
        EXPECT_EQ(Edit()->text(), longText);
        Button("DlgBoxOK")->click();
        return d.result();
    };
    Dialogs().Exec(dialog);
    EXPECT_EQ(comment.text(), longText);

    // A later short comment gets the normal limit again.
    comment.setText("short");
    fakes.fake.script = [&](QDialog& d) {
        Edit()->end(false);
        Type(Edit(), QString(300, 'y'));
        EXPECT_EQ(Edit()->text().size(), 250);
        return int(d.result());
    };
    Dialogs().Exec(dialog);
}

} // namespace
} // namespace tavi
