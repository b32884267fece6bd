// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/DlgBox1.h"

#include "dialogs/Pictures.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

namespace tavi {

TMDialogBox::TMDialogBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("MDialogBox");

    groupBox_ = new QGroupBox(this);
    groupBox_->setObjectName("GroupBox");
    groupBox_->setMinimumWidth(425);
    dlgBoxLabel_ = new QLabel(groupBox_);
    dlgBoxLabel_->setObjectName("DlgBoxLabel");
    dlgBoxEdit_ = new QLineEdit(groupBox_);
    dlgBoxEdit_->setObjectName("DlgBoxEdit");
    // The label names the edit for assistive technology, in either form.
    dlgBoxLabel_->setBuddy(dlgBoxEdit_);
    auto* row = new QHBoxLayout(groupBox_);
    row->setContentsMargins(8, 6, 8, 6);
    row->addWidget(dlgBoxLabel_);
    row->addWidget(dlgBoxEdit_, 1);

    dlgBoxOK_ = new QPushButton("OK", this);
    dlgBoxOK_->setObjectName("DlgBoxOK");
    dlgBoxOK_->setDefault(true);
    dlgBoxCancel_ = new QPushButton("Cancel", this);
    dlgBoxCancel_->setObjectName("DlgBoxCancel");
    connect(dlgBoxOK_, &QPushButton::clicked, this, &TMDialogBox::DlgBoxOKClick);
    connect(dlgBoxCancel_, &QPushButton::clicked, this, &TMDialogBox::DlgBoxCancelClick);
    connect(dlgBoxEdit_, &QLineEdit::textChanged, this, &TMDialogBox::KeepLongerTextEditable);

    auto* buttons = new QHBoxLayout;
    buttons->addSpacing(16);
    buttons->addWidget(dlgBoxOK_);
    buttons->addStretch();
    buttons->addWidget(dlgBoxCancel_);
    buttons->addSpacing(16);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(groupBox_);
    layout->addLayout(buttons);
}

void TMDialogBox::SetCommentTarget(QLineEdit* commentEdit) {
    target_ = commentEdit;
}

void TMDialogBox::ApplyCommentLayout() {
    setWindowTitle("Comment");
    setFixedSize(465, 108);
    dlgBoxLabel_->setText("Enter comment:");
    dlgBoxEdit_->setFixedWidth(313);
}

// Typing is limited to 250 characters, but a longer comment set from the main
// window must survive whole: the limit never goes below the text's length,
// so such a text can only shrink.
void TMDialogBox::KeepLongerTextEditable() {
    dlgBoxEdit_->setMaxLength(std::max<int>(kCommentMaxLength, dlgBoxEdit_->text().size()));
}

void TMDialogBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    ApplyCommentLayout();
    const QString text = target_ ? target_->text() : QString();
    // Raise the limit first: setText cuts a text longer than the limit.
    dlgBoxEdit_->setMaxLength(std::max<int>(kCommentMaxLength, text.size()));
    dlgBoxEdit_->setText(text);
    KeepLongerTextEditable();
    CentreOnScreen(*this);
}

void TMDialogBox::DlgBoxOKClick() {
    if (target_)
        target_->setText(dlgBoxEdit_->text());
    accept();
}

void TMDialogBox::DlgBoxCancelClick() {
    reject();
}

} // namespace tavi
