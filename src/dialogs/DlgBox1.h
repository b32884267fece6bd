// SPDX-License-Identifier: GPL-3.0-or-later
// The comment dialog: edits the main window's comment in a wider box.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavi {

class TMDialogBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int kCommentMaxLength = 250;

    explicit TMDialogBox(QWidget* parent = nullptr);

    // Marks the dialog for comment use: the edit it fills from and writes to.
    void SetCommentTarget(QLineEdit* commentEdit);

    void DlgBoxOKClick();
    void DlgBoxCancelClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ApplyCommentLayout();
    void KeepLongerTextEditable();

    QLineEdit* target_ = nullptr;
    QGroupBox* groupBox_;
    QLabel* dlgBoxLabel_;
    QLineEdit* dlgBoxEdit_;
    QPushButton* dlgBoxOK_;
    QPushButton* dlgBoxCancel_;
};

} // namespace tavi
