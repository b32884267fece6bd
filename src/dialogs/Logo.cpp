// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/Logo.h"

#include "dialogs/Pictures.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

namespace tavi {

TMLogo::TMLogo(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("MLogo");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(533, 461);
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 4, 4); // the panel is 527 x 455 at (2, 2)
    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setAutoFillBackground(true);
    QPalette yellow = panel->palette();
    yellow.setColor(QPalette::Window, Qt::yellow);
    yellow.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(yellow);
    outer->addWidget(panel);

    auto* inner = new QVBoxLayout(panel);
    image1_ = new QLabel(panel);
    image1_->setObjectName("Image1");
    image1_->setPixmap(ResonancePicture(QSize(440, 360), true));
    image1_->setAlignment(Qt::AlignCenter);
    image1_->installEventFilter(this);
    inner->addWidget(image1_, 0, Qt::AlignCenter);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(std::chrono::milliseconds(kTimerIntervalMs));
    connect(timer1_, &QTimer::timeout, this, &TMLogo::Timer1Timer);

    // The other windows are still being created: show and paint now.
    CentreOnScreen(*this);
    show();
    repaint();
}

void TMLogo::StartTimer() {
    timer1_->start();
}

void TMLogo::Timer1Timer() {
    timer1_->stop();
    close(); // WA_DeleteOnClose releases it
}

bool TMLogo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == image1_ && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            image1_->rect().contains(mouse->position().toPoint())) {
            Timer1Timer();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tavi
