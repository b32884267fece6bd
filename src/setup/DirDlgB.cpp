// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/DirDlgB.h"

#include "platform/Seams.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tavi {

TMDirectories::TMDirectories(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("MDirectories");
    setWindowTitle("Preferences");

    auto* group = new QGroupBox("Directories", this);
    group->setObjectName("GroupBox1");
    auto* grid = new QGridLayout(group);
    auto addRow = [&](int row, const char* labelName, const QString& caption,
                      const char* editName) {
        auto* label = new QLabel(caption, group);
        label->setObjectName(labelName);
        auto* edit = new QLineEdit(group);
        edit->setObjectName(editName);
        edit->setMinimumWidth(320);
        edit->installEventFilter(this);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    setupDirEdit_ = addRow(0, "Label1", "Setup directory:", "SetupDirEdit");
    acqDirEdit_ = addRow(1, "Label2", "Acquisition directory:", "AcqDirEdit");
    dOutDirEdit_ = addRow(2, "Label3", "Data output directory:", "DOutDirEdit");

    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("OkButton");
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton("Cancel", this);
    cancelButton->setObjectName("CancelButton");
    auto* browseButton = new QPushButton("Browse", this);
    browseButton->setObjectName("BrowseButton");
    browseButton->setAutoDefault(false);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(browseButton, &QPushButton::clicked, this, &TMDirectories::BrowseClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    buttons->addWidget(browseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    // A fixed dialog border: the window keeps the size its contents need.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TMDirectories::SetDirectories(const QString& setup, const QString& acq, const QString& out) {
    setupDirEdit_->setText(setup);
    acqDirEdit_->setText(acq);
    dOutDirEdit_->setText(out);
}

QString TMDirectories::SetupDirectory() const {
    return setupDirEdit_->text();
}
QString TMDirectories::AcquisitionDirectory() const {
    return acqDirEdit_->text();
}
QString TMDirectories::OutputDirectory() const {
    return dOutDirEdit_->text();
}

void TMDirectories::BrowseClick() {
    if (!lastFocused_)
        return;
    const QString chosen = Dialogs().ChooseDirectory(this, lastFocused_->text());
    if (!chosen.isEmpty())
        lastFocused_->setText(chosen);
}

void TMDirectories::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

bool TMDirectories::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        for (QLineEdit* edit : {setupDirEdit_, acqDirEdit_, dOutDirEdit_})
            if (watched == edit)
                lastFocused_ = edit;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tavi
