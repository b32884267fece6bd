// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/AudioDlgB.h"

#include "dialogs/Pictures.h"
#include "platform/Seams.h"
#include "platform/Sound.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tavi {

namespace {

// Stored states: 0 unchecked, 1 checked, 2 greyed (Qt numbers them differently).
Qt::CheckState ToCheckState(int state) {
    switch (state) {
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

int FromCheckState(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

} // namespace

TMAudioDlgBox::TMAudioDlgBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      sounds_(DefaultSoundSettings()) {
    setObjectName("MAudioDlgBox");
    setWindowTitle("Audio");
    setFixedSize(498, 176);

    auto* groupBox1 = new QGroupBox("Event", this);
    groupBox1->setObjectName("GroupBox1");
    // Never narrower than its captions need.
    groupBox1->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    expStartRB_ = new QRadioButton("Sweep start", groupBox1);
    expStartRB_->setObjectName("ExpStartRB");
    expStartRB_->setChecked(true);
    expRunRB_ = new QRadioButton("Sweep end", groupBox1);
    expRunRB_->setObjectName("ExpRunRB");
    expStopRB_ = new QRadioButton("accumulation end", groupBox1);
    expStopRB_->setObjectName("ExpStopRB");
    auto* events = new QVBoxLayout(groupBox1);
    events->addWidget(expStartRB_);
    events->addWidget(expRunRB_);
    events->addWidget(expStopRB_);

    auto* groupBox2 = new QGroupBox("Sound", this);
    groupBox2->setObjectName("GroupBox2");
    auto* label1 = new QLabel("Name:", groupBox2);
    label1->setObjectName("Label1");
    soundNameEdit_ = new QLineEdit(groupBox2);
    soundNameEdit_->setObjectName("SoundNameEdit");
    soundNameEdit_->setMinimumWidth(200);
    button1_ = new QPushButton("Browse", groupBox2);
    button1_->setObjectName("Button1");
    bitBtn1_ = new QPushButton(groupBox2);
    bitBtn1_->setObjectName("BitBtn1");
    bitBtn1_->setIcon(SpeakerIcon());
    bitBtn1_->setIconSize(QSize(24, 24));
    bitBtn1_->setToolTip("Play the sound once");
    soundOFF_ = new QCheckBox("OFF", groupBox2);
    soundOFF_->setObjectName("SoundOFF");
    soundOFF_->setTristate(true);
    soundSBeep_ = new QCheckBox("Single", groupBox2);
    soundSBeep_->setObjectName("SoundSBeep");
    soundSBeep_->setTristate(true);
    auto* sound = new QGridLayout(groupBox2);
    sound->addWidget(label1, 0, 0);
    sound->addWidget(soundNameEdit_, 0, 1, 1, 4);
    auto* soundButtons = new QHBoxLayout;
    soundButtons->addWidget(button1_);
    soundButtons->addWidget(bitBtn1_);
    soundButtons->addSpacing(12);
    soundButtons->addWidget(soundOFF_);
    soundButtons->addWidget(soundSBeep_);
    soundButtons->addStretch();
    sound->addLayout(soundButtons, 1, 1, 1, 4);

    okBtn_ = new QPushButton("OK", this);
    okBtn_->setObjectName("OKBtn");
    okBtn_->setDefault(true);
    cancelBtn_ = new QPushButton("Cancel", this);
    cancelBtn_->setObjectName("CancelBtn");

    auto* groups = new QHBoxLayout;
    groups->addWidget(groupBox1);
    groups->addWidget(groupBox2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(okBtn_);
    buttons->addStretch();
    buttons->addWidget(cancelBtn_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addStretch();
    layout->addLayout(buttons);

    // Checking an event runs its handler, also when done from code.
    connect(expStartRB_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ExpStartRBClick();
    });
    connect(expRunRB_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ExpRunRBClick();
    });
    connect(expStopRB_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            ExpStopRBClick();
    });
    connect(button1_, &QPushButton::clicked, this, &TMAudioDlgBox::Button1Click);
    connect(bitBtn1_, &QPushButton::clicked, this, &TMAudioDlgBox::BitBtn1Click);
    connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
}

void TMAudioDlgBox::SetSettings(const std::array<TSoundSetting, 3>& settings) {
    sounds_ = settings;
}

void TMAudioDlgBox::ChangeActSndSet(int index) {
    if (index < 1 || index > 3)
        return;
    if (shown_ != 0) {
        TSoundSetting& left = sounds_[shown_ - 1];
        left.FileName = soundNameEdit_->text().toStdString();
        left.Off = FromCheckState(soundOFF_->checkState());
        left.Single = FromCheckState(soundSBeep_->checkState());
        left.SingleEnabled = soundSBeep_->isEnabled() ? 1 : 0;
    }
    const TSoundSetting& shown = sounds_[index - 1];
    soundNameEdit_->setText(QString::fromStdString(shown.FileName));
    soundOFF_->setCheckState(ToCheckState(shown.Off));
    soundSBeep_->setCheckState(ToCheckState(shown.Single));
    soundSBeep_->setEnabled(shown.SingleEnabled != 0);
    shown_ = index;
}

void TMAudioDlgBox::Button1Click() {
    const QString current = soundNameEdit_->text();
    const QString dir = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString chosen = Dialogs().OpenFile(this, "Select sound file", dir, "Sound (*.wav)");
    if (!chosen.isEmpty())
        soundNameEdit_->setText(chosen);
}

void TMAudioDlgBox::BitBtn1Click() {
    Sound().PlayOnce(QFile::encodeName(soundNameEdit_->text()).toStdString());
}

void TMAudioDlgBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    shown_ = 0;
    ChangeActSndSet(1);
    expStartRB_->setChecked(true);
    CentreOnScreen(*this);
}

void TMAudioDlgBox::done(int result) {
    ChangeActSndSet(1);
    QDialog::done(result);
}

} // namespace tavi
