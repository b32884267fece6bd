// SPDX-License-Identifier: GPL-3.0-or-later
// Scripted answers for every modal interaction, so no test blocks on a window.
#pragma once

#include <QDialog>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Seams.h"

namespace tavi::test {

class FakeDialogs : public IUserDialogs {
public:
    struct Shown {
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
    };
    // Messages shown, in order; errors of the general error display too.
    std::vector<Shown> messages;
    std::vector<QString> errors;
    // Answers to questions, taken in order; when none is queued the first
    // button's answer is given (Ok, Yes, Retry).
    std::deque<MsgResult> answers;
    std::deque<QString> fileAnswers; // open/save/directory results; "" = cancel
    // Runs a modal dialog: the dialog is shown (its show logic runs), the
    // script acts on it and returns the result, then the dialog is closed with it.
    std::function<int(QDialog&)> script = [](QDialog&) { return int(QDialog::Rejected); };
    int execs = 0;

    MsgResult Message(QWidget*, const QString& text, MsgIcon icon, MsgButtons buttons) override {
        messages.push_back({text, icon, buttons});
        if (!answers.empty()) {
            MsgResult r = answers.front();
            answers.pop_front();
            return r;
        }
        switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgResult::Yes;
        case MsgButtons::RetryIgnore:
            return MsgResult::Retry;
        default:
            return MsgResult::Ok;
        }
    }
    void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
    QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return Next(); }
    std::vector<QString> saveStarts; // where each save dialog started (folder or file)
    QString SaveFile(QWidget*, const QString&, const QString& start, const QString&,
                     const QString&) override {
        saveStarts.push_back(start);
        return Next();
    }
    QString ChooseDirectory(QWidget*, const QString&) override { return Next(); }
    int Exec(QDialog& dialog) override {
        ++execs;
        dialog.show();
        int r = script(dialog);
        dialog.done(r);
        return r;
    }
    bool Said(const QString& text) const {
        for (const auto& m : messages)
            if (m.text == text)
                return true;
        return false;
    }

private:
    QString Next() {
        if (fileAnswers.empty())
            return {};
        QString s = fileAnswers.front();
        fileAnswers.pop_front();
        return s;
    }
};

// Installs a FakeDialogs for the lifetime of a test.
struct ScopedFakeDialogs {
    FakeDialogs fake;
    ScopedFakeDialogs() { SetDialogs(&fake); }
    ~ScopedFakeDialogs() { SetDialogs(nullptr); }
};

} // namespace tavi::test
