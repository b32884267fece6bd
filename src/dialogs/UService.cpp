// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/UService.h"

#include "common/Cp1252.h"
#include "device/UOutMess.h"
#include "params/Freq.h"
#include "params/UTextTbl.h"
#include "platform/Controls.h"
#include "platform/Seams.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <exception>

namespace tavi {

namespace {

TUpDown* MakeUpDown(QWidget* parent, const char* name, int min, int max, int position) {
    auto* upDown = new TUpDown(parent);
    upDown->setObjectName(name);
    upDown->SetRange(min, max);
    upDown->SetPosition(position);
    return upDown;
}

TValueText* MakeValueText(QWidget* parent, const char* name, int width, const QString& text) {
    auto* value = new TValueText(parent);
    value->setObjectName(name);
    value->setFixedWidth(width);
    value->setText(text);
    return value;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// Strips the line end for display only; the entry keeps the line as received.
QString DisplayText(const QString& line) {
    QString shown = line;
    while (shown.endsWith('\r') || shown.endsWith('\n'))
        shown.chop(1);
    return shown;
}

} // namespace

TFService::TFService(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("FService");
    setWindowTitle("Service");
    setFixedSize(402, 331);

    srvTuningB0Val_ = MakeValueText(this, "SrvTuningB0Val", 73, "0");
    srvTuningB0UpDown_ = MakeUpDown(this, "SrvTuningB0UpDown", -2000, 2000, 0);
    b0IncStaticText_ = MakeValueText(this, "B0IncStaticText", 41, "1");
    b0IncUpDown_ = MakeUpDown(this, "B0IncUpDown", 1, 100, 1);
    srvModAmpVal_ = MakeValueText(this, "SrvModAmpVal", 51, "0");
    srvModAmpUpDown_ = MakeUpDown(this, "SrvModAmpUpDown", 0, 255, 0);
    maIncStaticText_ = MakeValueText(this, "MAIncStaticText", 41, "1");
    maIncUpDown_ = MakeUpDown(this, "MAIncUpDown", 1, 100, 1);
    f2ModVal_ = MakeValueText(this, "F2ModVal", 60, "255");
    f2ModUpDown_ = MakeUpDown(this, "F2ModUpDown", 0, 255, 128);

    auto* settings = new QGridLayout;
    settings->setHorizontalSpacing(4);
    settings->addWidget(MakeLabel(this, "TuningB0Lab", "B0"), 0, 0);
    settings->addWidget(srvTuningB0Val_, 0, 1, Qt::AlignRight);
    settings->addWidget(srvTuningB0UpDown_, 0, 2);
    settings->addWidget(b0IncStaticText_, 0, 4);
    settings->addWidget(b0IncUpDown_, 0, 5);
    settings->addWidget(MakeLabel(this, "ModAmp", "Mod Amp"), 1, 0);
    settings->addWidget(srvModAmpVal_, 1, 1, Qt::AlignRight);
    settings->addWidget(srvModAmpUpDown_, 1, 2);
    settings->addWidget(maIncStaticText_, 1, 4);
    settings->addWidget(maIncUpDown_, 1, 5);
    settings->addWidget(MakeLabel(this, "F2ModLab", "F2Mod"), 2, 0);
    settings->addWidget(f2ModVal_, 2, 1, Qt::AlignRight);
    settings->addWidget(f2ModUpDown_, 2, 2);
    settings->setColumnMinimumWidth(3, 16);
    settings->setColumnStretch(6, 1);
    srvTuningB0UpDown_->SetAccessibleNames(QStringLiteral("B0"));
    b0IncUpDown_->SetAccessibleNames(QStringLiteral("B0 increment"));
    srvModAmpUpDown_->SetAccessibleNames(QStringLiteral("Mod Amp"));
    maIncUpDown_->SetAccessibleNames(QStringLiteral("Mod Amp increment"));
    f2ModUpDown_->SetAccessibleNames(QStringLiteral("F2Mod"));

    calModeCB_ = new QCheckBox("Calibration mode", this);
    calModeCB_->setObjectName("CalModeCB");
    freqRngCB_ = new QCheckBox("Freq range", this);
    freqRngCB_->setObjectName("FreqRngCB");
    dir1RB_ = new QRadioButton("Dir-1", this);
    dir1RB_->setObjectName("Dir1RB");
    dir2RB_ = new QRadioButton("Dir-2", this);
    dir2RB_->setObjectName("Dir2RB");
    auto* options = new QVBoxLayout;
    options->setSpacing(2);
    options->addWidget(calModeCB_);
    options->addWidget(freqRngCB_);
    options->addWidget(dir1RB_);
    options->addWidget(dir2RB_);
    options->addStretch();

    auto* groupBox1 = new QGroupBox("Monitor", this);
    groupBox1->setObjectName("GroupBox1");
    msgMemo_ = new QListWidget(groupBox1);
    msgMemo_->setObjectName("MsgMemo");
    msgMemo_->setSelectionMode(QAbstractItemView::NoSelection);
    msgMemo_->setFocusPolicy(Qt::NoFocus);
    msgMemo_->setFixedWidth(185);
    msgMemo_->viewport()->installEventFilter(this);
    msgEdit_ = new QLineEdit("MsgEdit", groupBox1);
    msgEdit_->setObjectName("MsgEdit");
    sendButton_ = new QPushButton("Send", groupBox1);
    sendButton_->setObjectName("SendButton");
    sendButton_->setFixedWidth(41);
    sendButton_->setAutoDefault(false);
    nAnalMessCB_ = new QCheckBox("! Anal. Rec. Messages", groupBox1);
    nAnalMessCB_->setObjectName("NAnalMessCB");
    button1_ = new QPushButton("Send (X2) - Continue msr", groupBox1);
    button1_->setObjectName("Button1");
    button1_->setAutoDefault(false);

    auto* sendRow = new QHBoxLayout;
    sendRow->addWidget(msgEdit_, 1);
    sendRow->addWidget(sendButton_);
    auto* monitorLeft = new QVBoxLayout;
    monitorLeft->addWidget(msgMemo_, 1);
    monitorLeft->addLayout(sendRow);
    auto* monitorRight = new QVBoxLayout;
    monitorRight->addWidget(nAnalMessCB_);
    monitorRight->addWidget(button1_);
    monitorRight->addStretch();
    auto* monitor = new QHBoxLayout(groupBox1);
    monitor->addLayout(monitorLeft);
    monitor->addSpacing(6);
    monitor->addLayout(monitorRight, 1);

    auto* top = new QHBoxLayout;
    top->addLayout(settings, 1);
    top->addLayout(options);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(groupBox1, 1);

    srvTuningB0UpDown_->OnClick = [this] { SrvTuningB0UpDownClick(); };
    b0IncUpDown_->OnClick = [this] { B0IncUpDownClick(); };
    srvModAmpUpDown_->OnClick = [this] { SrvModAmpUpDownClick(); };
    maIncUpDown_->OnClick = [this] { MAIncUpDownClick(); };
    f2ModUpDown_->OnClick = [this] { F2ModUpDownClick(); };
    // Checking a radio button runs its handler; both share one.
    connect(dir1RB_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Dir1RBClick();
    });
    connect(dir2RB_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Dir1RBClick();
    });
    connect(calModeCB_, &QCheckBox::toggled, this, &TFService::CalModeCBClick);
    connect(freqRngCB_, &QCheckBox::toggled, this, &TFService::FreqRngCBClick);
    connect(button1_, &QPushButton::clicked, this, &TFService::Button1Click);
    connect(sendButton_, &QPushButton::clicked, this, &TFService::SendButtonClick);

    msgMemo_->clear();
}

void TFService::Bind(TUpDown* acquisitionTuningB0, TUpDown* acquisitionFrequency) {
    acqTuningB0_ = acquisitionTuningB0;
    acqFrequency_ = acquisitionFrequency;
}

bool TFService::AnalysisBlocked() const {
    return nAnalMessCB_->isChecked();
}

void TFService::AppendMonitorLine(const QString& lineWithCR) {
    auto* item = new QListWidgetItem(DisplayText(lineWithCR));
    item->setData(Qt::UserRole, lineWithCR);
    msgMemo_->addItem(item);
    msgMemo_->scrollToBottom();
}

QStringList TFService::MonitorLines() const {
    QStringList lines;
    lines.reserve(msgMemo_->count());
    for (int i = 0; i < msgMemo_->count(); ++i)
        lines << msgMemo_->item(i)->data(Qt::UserRole).toString();
    return lines;
}

int TFService::TuningB0Position() const {
    return srvTuningB0UpDown_->Position();
}

// The up-downs' texts follow their positions, as associated texts do.
void TFService::ShowPositions() {
    srvTuningB0Val_->setText(QString::number(srvTuningB0UpDown_->Position()));
    b0IncStaticText_->setText(QString::number(b0IncUpDown_->Position()));
    srvModAmpVal_->setText(QString::number(srvModAmpUpDown_->Position()));
    maIncStaticText_->setText(QString::number(maIncUpDown_->Position()));
}

void TFService::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (acqTuningB0_)
        srvTuningB0UpDown_->SetPosition(acqTuningB0_->Position());
    ShowPositions();
    SrvTuningB0UpDownClick();
}

const CommandSender& TFService::Commands() const {
    static const CommandSender none(nullptr, nullptr);
    return commands_ ? *commands_ : none;
}

void TFService::SrvTuningB0UpDownClick() {
    ShowPositions();
    Commands().Send(lines::FieldTuning(static_cast<std::int16_t>(srvTuningB0UpDown_->Position())));
}

void TFService::B0IncUpDownClick() {
    ShowPositions();
    srvTuningB0UpDown_->SetIncrement(b0IncUpDown_->Position());
}

void TFService::SrvModAmpUpDownClick() {
    ShowPositions();
    Commands().Send(lines::ModAmpRaw(static_cast<std::int16_t>(srvModAmpUpDown_->Position())));
}

void TFService::MAIncUpDownClick() {
    ShowPositions();
    srvModAmpUpDown_->SetIncrement(maIncUpDown_->Position());
}

void TFService::F2ModUpDownClick() {
    const int position = f2ModUpDown_->Position();
    f2ModVal_->setText(QString::fromStdString(FormatModFrequency(position)));
    Commands().Send(lines::ModFrequency(static_cast<std::int16_t>(ModFrequencyValue(position))));
}

void TFService::Dir1RBClick() {
    Commands().Send(lines::CurrentDirection(dir1RB_->isChecked()));
}

void TFService::CalModeCBClick() {
    switch (calModeCB_->checkState()) {
    case Qt::Checked:
        Commands().Send(lines::ControlMode(1));
        break;
    case Qt::PartiallyChecked:
        Commands().Send(lines::ControlMode(2));
        break;
    default:
        Commands().Send(lines::ControlMode(0));
        break;
    }
}

void TFService::Button1Click() {
    Commands().Send(lines::ControlMode(2));
}

void TFService::FreqRngCBClick() {
    if (!acqFrequency_)
        return;
    if (freqRngCB_->isChecked())
        acqFrequency_->SetRange(-20000, 20000);
    else
        acqFrequency_->SetRange(-2000, 2000);
}

void TFService::SendButtonClick() {
    try {
        Commands().SendRaw(Utf8ToCp1252(msgEdit_->text().toStdString()));
    } catch (const std::exception& error) {
        Dialogs().ShowError(this, QString::fromStdString(error.what()));
    }
}

void TFService::MsgMemoDblClick() {
    msgMemo_->clear();
}

bool TFService::eventFilter(QObject* watched, QEvent* event) {
    if (watched == msgMemo_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        MsgMemoDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tavi
