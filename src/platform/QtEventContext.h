// SPDX-License-Identifier: GPL-3.0-or-later
// The serial layer's way to the UI thread: tasks posted from any thread run in
// the Qt event loop; errors reach the application's general error display.
#pragma once

#include "device/SerialPort.h"

#include <QPointer>
#include <exception>
#include <functional>
#include <memory>

class QObject;
class QWidget;

namespace tavi {

class QtEventContext : public IEventContext {
public:
    // Create it on the UI thread; errors are shown over errorParent.
    explicit QtEventContext(QWidget* errorParent = nullptr);
    ~QtEventContext() override;
    QtEventContext(const QtEventContext&) = delete;
    QtEventContext& operator=(const QtEventContext&) = delete;

    // Safe from any thread. Tasks still queued when the context goes are dropped.
    // An exception escaping a task is shown, never thrown into the event loop.
    void Post(std::function<void()> task) override;
    void ShowError(std::exception_ptr error) override;

private:
    std::unique_ptr<QObject> receiver_;
    QPointer<QWidget> errorParent_;
};

} // namespace tavi
