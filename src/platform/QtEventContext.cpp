// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtEventContext.h"

#include "platform/Seams.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QWidget>

namespace tavi {

QtEventContext::QtEventContext(QWidget* errorParent)
    : receiver_(std::make_unique<QObject>()), errorParent_(errorParent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        receiver_->moveToThread(app->thread());
}

QtEventContext::~QtEventContext() = default;

void QtEventContext::Post(std::function<void()> task) {
    if (!task)
        return;
    QMetaObject::invokeMethod(
        receiver_.get(),
        [this, task = std::move(task)] {
            try {
                task();
            } catch (...) {
                ShowError(std::current_exception());
            }
        },
        Qt::QueuedConnection);
}

void QtEventContext::ShowError(std::exception_ptr error) {
    ShowException(errorParent_, error);
}

} // namespace tavi
