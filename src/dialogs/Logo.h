// SPDX-License-Identifier: GPL-3.0-or-later
// The splash window: shown while the program starts, gone for good after its
// timer runs out or a click on the picture.
#pragma once

#include <QWidget>

class QLabel;
class QTimer;

namespace tavi {

class TMLogo : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimerIntervalMs = 8000;

    // Shows and paints itself at once; it deletes itself when it closes.
    explicit TMLogo(QWidget* parent = nullptr);

    // Started by the main window at the end of its creation.
    void StartTimer();
    QTimer* Timer1() const { return timer1_; }

    // The timer's handler, also run by a click on the picture.
    void Timer1Timer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer* timer1_;
    QLabel* image1_;
};

} // namespace tavi
