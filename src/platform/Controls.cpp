// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Controls.h"

#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tavi {

TUpDown::TUpDown(QWidget* parent) : QFrame(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, &TUpDown::ClickUp);
    connect(down_, &QToolButton::clicked, this, &TUpDown::ClickDown);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TUpDown::SetPosition(int position) { position_ = std::clamp(position, min_, std::max(min_, max_)); }

void TUpDown::SetMin(int min) {
    min_ = min;
    SetPosition(position_);
}

void TUpDown::SetMax(int max) {
    max_ = max;
    SetPosition(position_);
}

void TUpDown::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    SetPosition(position_);
}

void TUpDown::ClickUp() { Step(+1); }
void TUpDown::ClickDown() { Step(-1); }

void TUpDown::Step(int direction) {
    if (!isEnabled())
        return;
    long long next = static_cast<long long>(position_) + static_cast<long long>(direction) * increment_;
    next = std::clamp<long long>(next, min_, std::max(min_, max_));
    position_ = static_cast<int>(next);
    if (OnClick)
        OnClick();
}

TValueText::TValueText(QWidget* parent) : QLabel(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAlignment(Qt::AlignCenter);
}

} // namespace tavi
