// SPDX-License-Identifier: GPL-3.0-or-later
// The "Preferences" dialog: the setup, acquisition and data output directories.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tavi {

class TMDirectories : public QDialog {
    Q_OBJECT
public:
    explicit TMDirectories(QWidget* parent = nullptr);

    void SetDirectories(const QString& setup, const QString& acq, const QString& out);
    QString SetupDirectory() const;
    QString AcquisitionDirectory() const;
    QString OutputDirectory() const;

    // Chooses a directory for the edit that last had the input focus.
    void BrowseClick();
    // That edit, or nullptr while none has had the focus yet.
    QLineEdit* BrowseTarget() const { return lastFocused_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* setupDirEdit_;
    QLineEdit* acqDirEdit_;
    QLineEdit* dOutDirEdit_;
    QLineEdit* lastFocused_ = nullptr;
};

} // namespace tavi
