// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/Logo.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

namespace tavi {
namespace {

void Click(QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    const QPointF global = w->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

void ProcessDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(SplashTest, ShowsAtOnceWithTheTimerIdle) {
    QPointer<TMLogo> splash = new TMLogo;
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->size(), QSize(533, 461));
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(splash->Timer1()->isActive());
    EXPECT_EQ(splash->Timer1()->interval(), 8000);
    splash->StartTimer();
    EXPECT_TRUE(splash->Timer1()->isActive());
    splash->Timer1Timer();
    ProcessDeletes();
    EXPECT_TRUE(splash.isNull());
}

TEST(SplashTest, ClickOnThePictureClosesItAtOnce) {
    QPointer<TMLogo> splash = new TMLogo;
    splash->StartTimer();
    auto* image = splash->findChild<QLabel*>("Image1");
    ASSERT_NE(image, nullptr);
    Click(image);
    EXPECT_FALSE(splash->isVisible());
    ProcessDeletes();
    EXPECT_TRUE(splash.isNull());
}

} // namespace
} // namespace tavi
