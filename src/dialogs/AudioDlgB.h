// SPDX-License-Identifier: GPL-3.0-or-later
// The "Audio" dialog: the sound of each experiment event. It edits its own
// copy of the three entries; the caller takes the copy back only on OK.
#pragma once

#include "setup/USetup.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavi {

class TMAudioDlgBox : public QDialog {
    Q_OBJECT
public:
    explicit TMAudioDlgBox(QWidget* parent = nullptr);

    void SetSettings(const std::array<TSoundSetting, 3>& settings);
    std::array<TSoundSetting, 3> Settings() const { return sounds_; }
    // The entry the controls show, 1 to 3 (0 before the first showing).
    int ShownIndex() const { return shown_; }

    // Stores the controls into the shown entry (if any), then shows entry index (1..3).
    void ChangeActSndSet(int index);
    void ExpStartRBClick() { ChangeActSndSet(1); }
    void ExpRunRBClick() { ChangeActSndSet(2); }
    void ExpStopRBClick() { ChangeActSndSet(3); }
    void Button1Click();
    void BitBtn1Click();

    // Closing, however it happens, stores the entry being shown.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::array<TSoundSetting, 3> sounds_;
    int shown_ = 0;
    QRadioButton* expStartRB_;
    QRadioButton* expRunRB_;
    QRadioButton* expStopRB_;
    QLineEdit* soundNameEdit_;
    QPushButton* button1_;
    QPushButton* bitBtn1_;
    QCheckBox* soundOFF_;
    QCheckBox* soundSBeep_;
    QPushButton* okBtn_;
    QPushButton* cancelBtn_;
};

} // namespace tavi
