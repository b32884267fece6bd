// SPDX-License-Identifier: GPL-3.0-or-later
// Every modal interaction goes through here, so tests can answer it instead of
// a person and no test ever blocks on a window.
#pragma once

#include <QString>
#include <exception>

class QDialog;
class QWidget;

namespace tavi {

enum class MsgIcon { Error, Warning, Information };
enum class MsgButtons { Ok, YesNo, RetryIgnore, YesNoCancel };
enum class MsgResult { Ok, Yes, No, Retry, Ignore, Cancel };

class IUserDialogs {
public:
    virtual ~IUserDialogs() = default;
    virtual MsgResult Message(QWidget* parent, const QString& text, MsgIcon icon,
                              MsgButtons buttons) = 0;
    // The application's general error display (errors of the port layer,
    // conversions, streams).
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // filter in Qt form, e.g. "TAVI data file (*.dcw)"; empty result = cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& title, const QString& dir,
                             const QString& filter) = 0;
    virtual QString SaveFile(QWidget* parent, const QString& title, const QString& dir,
                             const QString& filter, const QString& defaultSuffix) = 0;
    virtual QString ChooseDirectory(QWidget* parent, const QString& start) = 0;
    // Runs a modal dialog; returns QDialog::Accepted or Rejected.
    virtual int Exec(QDialog& dialog) = 0;
};

// The dialogs in use: the real ones unless a test installed its own.
IUserDialogs& Dialogs();
void SetDialogs(IUserDialogs* dialogs); // nullptr restores the real ones

// The operator's text of an error: the message of a port, conversion or stream
// error (any std::exception), "Unknown error" for anything else.
QString ExceptionText(std::exception_ptr error);
// The application's general error display: the error's text through
// Dialogs().ShowError. Nothing for a null pointer.
void ShowException(QWidget* parent, std::exception_ptr error);

} // namespace tavi
