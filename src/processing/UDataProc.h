// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window. For now it only keeps the initial directories of its
// open and save dialogs, which the main window hands over.
#pragma once

#include <QMainWindow>
#include <QString>

namespace tavi {

class TFDataProc : public QMainWindow {
    Q_OBJECT
public:
    explicit TFDataProc(QWidget* parent = nullptr);

    void SetAcquisitionDirectory(const QString& dir) { acquisitionDir_ = dir; }
    QString AcquisitionDirectory() const { return acquisitionDir_; }
    void SetOutputDirectory(const QString& dir) { outputDir_ = dir; }
    QString OutputDirectory() const { return outputDir_; }

private:
    QString acquisitionDir_;
    QString outputDir_;
};

} // namespace tavi
