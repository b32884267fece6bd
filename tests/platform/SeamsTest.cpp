// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Seams.h"

#include "common/Usr.h"
#include "device/SerialPort.h"
#include "platform/QtEventContext.h"
#include "support/FakeDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace tavi {
namespace {

template <typename F> void WaitFor(F done) {
    QElapsedTimer safety;
    safety.start();
    while (!done() && safety.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(Seams, InstalledDialogsAnswerUntilRemoved) {
    IUserDialogs* real = &Dialogs();
    {
        test::ScopedFakeDialogs fake;
        EXPECT_EQ(&Dialogs(), &fake.fake);
    }
    EXPECT_EQ(&Dialogs(), real);
}

TEST(Seams, ShowExceptionShowsTheMessageOfEachErrorKind) {
    test::ScopedFakeDialogs fake;
    ShowException(nullptr, std::make_exception_ptr(EComError(5, "Input/output error")));
    ShowException(nullptr,
                  std::make_exception_ptr(EConvertError("'1x' is not a valid integer value")));
    ShowException(nullptr, std::make_exception_ptr(std::runtime_error("Stream read error")));
    ShowException(nullptr, std::make_exception_ptr(42));
    ShowException(nullptr, nullptr);
    EXPECT_EQ(fake.fake.errors,
              (std::vector<QString>{"Input/output error", "'1x' is not a valid integer value",
                                    "Stream read error", "Unknown error"}));
}

TEST(Seams, ATypedNameTakesTheEndingOfTheChosenFilter) {
    EXPECT_EQ(FilterSuffix("JCAMP-DX (*.jdx *.dx)", "csv"), "jdx");
    EXPECT_EQ(FilterSuffix("SVG drawing (*.svg)", "png"), "svg");
    EXPECT_EQ(FilterSuffix("CSV (*.csv)", "jdx"), "csv");
    EXPECT_EQ(FilterSuffix("All files (*)", "dcw"), "dcw");
}

TEST(QtEventContextTest, PostedTasksRunOnTheUiThreadInOrder) {
    QtEventContext context;
    std::vector<int> order;
    std::vector<bool> onUi;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            context.Post([&, i] {
                order.push_back(i);
                onUi.push_back(QThread::currentThread() == qApp->thread());
            });
    });
    worker.join();
    EXPECT_TRUE(order.empty()); // queued, not run on the poster's thread
    WaitFor([&] { return order.size() == 3; });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(onUi, (std::vector<bool>{true, true, true}));
}

TEST(QtEventContextTest, AnEscapingExceptionIsShownNotThrown) {
    test::ScopedFakeDialogs fake;
    QtEventContext context;
    bool after = false;
    context.Post([] { throw EComError(0, "Timeout"); });
    context.Post([&] { after = true; });
    WaitFor([&] { return after; });
    EXPECT_TRUE(after);
    EXPECT_EQ(fake.fake.errors, (std::vector<QString>{"Timeout"}));
    context.ShowError(std::make_exception_ptr(std::runtime_error("Cannot create file x")));
    EXPECT_EQ(fake.fake.errors.back(), "Cannot create file x");
}

TEST(QtEventContextTest, TasksOfAGoneContextAreDropped) {
    bool ran = false;
    {
        QtEventContext context;
        context.Post([&] { ran = true; });
    }
    QApplication::processEvents();
    EXPECT_FALSE(ran);
}

} // namespace
} // namespace tavi
