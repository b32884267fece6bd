// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/UsersAssist.h"

#include "dialogs/Pictures.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tavi {

namespace {
const QString kVersionPrefix = QStringLiteral("device internal control program v.");
constexpr int kVersionTextCapacity = 37;
} // namespace

TMUsersAssist::TMUsersAssist(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("MUsersAssist");
    setWindowTitle("About");
    setFixedSize(402, 176);

    auto* group = new QGroupBox(this);
    group->setObjectName("GroupBox3");
    auto* lines = new QVBoxLayout(group);
    auto addLine = [&](const char* name, const QString& text) {
        auto* label = new QLabel(text, group);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignCenter);
        lines->addWidget(label);
        return label;
    };
    QLabel* title = addLine("Label1", "TAVI");
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    title->setFont(bold);
    addLine("Label2", "program for CW NMR and ESR spectrometer");
    addLine("Label3", "control, data acquisition and processing");
    addLine("Label4", "v.2.04 created September 2022");
    devicePrgVerLab_ = addLine("DevicePrgVerLab", kVersionPrefix);

    auto* image1 = new QLabel(this);
    image1->setObjectName("Image1");
    image1->setPixmap(ResonancePicture(QSize(72, 72), false));
    image1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("OkButton");
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(image1, 0, Qt::AlignTop);
    top->addWidget(group, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(okButton);
    bottom->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
}

void TMUsersAssist::SetDeviceVersion(const QString& version) {
    devicePrgVerLab_->setText((kVersionPrefix + version).left(kVersionTextCapacity));
}

void TMUsersAssist::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen(*this);
    devicePrgVerLab_->setVisible(DeviceReady && DeviceReady());
}

} // namespace tavi
