// SPDX-License-Identifier: GPL-3.0-or-later
// The service window: raw device settings, a wider frequency range for the
// acquisition window, and a monitor of the received lines with a raw sender.
#pragma once

#include "device/UOutMess.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tavi {

class TUpDown;
class TValueText;

class TFService : public QDialog {
    Q_OBJECT
public:
    explicit TFService(QWidget* parent = nullptr);

    // The acquisition window's up-downs: the field tuning taken over at every
    // showing, and the frequency whose range "Freq range" widens.
    void Bind(TUpDown* acquisitionTuningB0, TUpDown* acquisitionFrequency);
    // Where its commands go: the acquisition window's port. Without one the
    // settings are dropped and a raw line reports that no port is open.
    void SetCommands(const CommandSender* commands) { commands_ = commands; }

    // "! Anal. Rec. Messages": received lines are listed but not analysed.
    bool AnalysisBlocked() const;
    // One received line, with its CR, as one monitor entry.
    void AppendMonitorLine(const QString& lineWithCR);
    // The monitor's entries as received (each with its CR).
    QStringList MonitorLines() const;
    int TuningB0Position() const;

    void SrvTuningB0UpDownClick();
    void B0IncUpDownClick();
    void SrvModAmpUpDownClick();
    void MAIncUpDownClick();
    void F2ModUpDownClick();
    void Dir1RBClick();
    void CalModeCBClick();
    void Button1Click();
    void FreqRngCBClick();
    void SendButtonClick();
    void MsgMemoDblClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowPositions();
    const CommandSender& Commands() const;

    TUpDown* acqTuningB0_ = nullptr;
    TUpDown* acqFrequency_ = nullptr;
    const CommandSender* commands_ = nullptr;

    TValueText* srvTuningB0Val_;
    TUpDown* srvTuningB0UpDown_;
    TValueText* b0IncStaticText_;
    TUpDown* b0IncUpDown_;
    TValueText* srvModAmpVal_;
    TUpDown* srvModAmpUpDown_;
    TValueText* maIncStaticText_;
    TUpDown* maIncUpDown_;
    TValueText* f2ModVal_;
    TUpDown* f2ModUpDown_;
    QCheckBox* calModeCB_;
    QCheckBox* freqRngCB_;
    QRadioButton* dir1RB_;
    QRadioButton* dir2RB_;
    QListWidget* msgMemo_;
    QLineEdit* msgEdit_;
    QPushButton* sendButton_;
    QCheckBox* nAnalMessCB_;
    QPushButton* button1_;
};

} // namespace tavi
