// SPDX-License-Identifier: GPL-3.0-or-later
// The "About" dialog: program lines and, once the device has identified
// itself, the version of its internal control program.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

namespace tavi {

class TMUsersAssist : public QDialog {
    Q_OBJECT
public:
    explicit TMUsersAssist(QWidget* parent = nullptr);

    // Set by the reply parser from the identify reply.
    void SetDeviceVersion(const QString& version);
    // Consulted at every showing; the version line shows only while it is true.
    std::function<bool()> DeviceReady;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* devicePrgVerLab_;
};

} // namespace tavi
