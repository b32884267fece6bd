// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Seams.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <stdexcept>

namespace tavi {

namespace {

QString ApplicationTitle() {
    QString title = QGuiApplication::applicationDisplayName();
    return title.isEmpty() ? QStringLiteral("TAVI") : title;
}

class QtDialogs : public IUserDialogs {
public:
    MsgResult Message(QWidget* parent, const QString& text, MsgIcon icon,
                      MsgButtons buttons) override {
        QMessageBox box(parent);
        box.setWindowTitle(ApplicationTitle());
        box.setText(text);
        switch (icon) {
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        }
        switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case MsgButtons::RetryIgnore:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Ignore);
            box.setDefaultButton(QMessageBox::Retry);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Ok:
            return MsgResult::Ok;
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        case QMessageBox::Retry:
            return MsgResult::Retry;
        case QMessageBox::Ignore:
            return MsgResult::Ignore;
        default:
            return MsgResult::Cancel;
        }
    }

    void ShowError(QWidget* parent, const QString& text) override {
        QMessageBox::critical(parent, ApplicationTitle(), text);
    }

    QString OpenFile(QWidget* parent, const QString& title, const QString& dir,
                     const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, title, dir, filter);
    }

    QString SaveFile(QWidget* parent, const QString& title, const QString& dir,
                     const QString& filter, const QString& defaultSuffix) override {
        QFileDialog dialog(parent, title, QString(), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(defaultSuffix);
        QFileInfo start(dir);
        if (!dir.isEmpty() && !start.isDir()) {
            dialog.setDirectory(start.absolutePath());
            dialog.selectFile(start.fileName());
        } else if (!dir.isEmpty()) {
            dialog.setDirectory(dir);
        }
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return dialog.selectedFiles().value(0);
    }

    QString ChooseDirectory(QWidget* parent, const QString& start) override {
        return QFileDialog::getExistingDirectory(parent, QString(), start);
    }

    int Exec(QDialog& dialog) override { return dialog.exec(); }
};

QtDialogs& RealDialogs() {
    static QtDialogs dialogs;
    return dialogs;
}

IUserDialogs* installed = nullptr;

} // namespace

IUserDialogs& Dialogs() {
    return installed ? *installed : RealDialogs();
}

void SetDialogs(IUserDialogs* dialogs) {
    installed = dialogs;
}

QString ExceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ShowException(QWidget* parent, std::exception_ptr error) {
    if (!error)
        return;
    Dialogs().ShowError(parent, ExceptionText(error));
}

} // namespace tavi
