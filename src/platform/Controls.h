// SPDX-License-Identifier: GPL-3.0-or-later
// Controls the windows need that Qt has no exact match for.
#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QAbstractButton;
class QToolButton;
class QMouseEvent;

namespace tavi {

// A control with its object name, by which tests and assistive technology
// find it.
template <class W> W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Every control directly inside a container (none: nothing happens).
void EnableChildren(QWidget* container, bool on);

// The windows' scales for a screen: the display scale of the chart markers
// (width / 800, times 1.09 when above 1, in 6-byte real precision, else 1),
// and the layout scale, by the width, limited by the height on a screen
// wider than 4:3 (the layouts were drawn for 800 x 600).
double DisplayScaleFor(int screenWidth);
double LayoutScaleFor(int screenWidth, int screenHeight);

// Makes every way of activating a button one click: the accessibility
// interface's "Toggle" (and "Press") run QAbstractButton::click(), so the
// button's clicked handler runs exactly as for the mouse and the keyboard.
// Qt's own "Toggle" only flips the check state and emits no clicked signal,
// which would leave a handler that owns the state (one that undoes the
// toolkit's toggle, as "Hold" does) unaware of the operator's action.
void ActivateLikeClick(QAbstractButton* button);

// An up-down: a pair of arrow buttons stepping an integer position between
// Min and Max by Increment, stopping at the bounds. Putting a position runs no
// handler; an arrow click moves the position and then runs OnClick. With the
// focus, the Up and Down keys act as the arrows.
class TUpDown : public QFrame {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Position() const { return position_; }
    void SetPosition(int position); // clamped, no handler
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetMin(int min);           // the position is clamped into the new range
    void SetMax(int max);
    void SetRange(int min, int max);
    int Increment() const { return increment_; }
    void SetIncrement(int increment) { increment_ = increment; }

    // Simulates an arrow click (true: up), as the operator's click does.
    void ClickUp();
    void ClickDown();

    std::function<void()> OnClick;
    // Free for the window's use (the pass counter lives in the passes up-down's tag).
    int Tag = 0;

    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

    // Names the control for assistive technology; its arrows become
    // "<control> up" and "<control> down".
    void SetAccessibleNames(const QString& control);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Step(int direction);
    QToolButton* up_;
    QToolButton* down_;
    int position_ = 0;
    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
};

// A sunken, centred static text that only the formatters write. It looks
// like a field, so a click on it hands the keyboard to its buddy (the control
// that sets it) instead of leaving keys with the last text field.
class TValueText : public QLabel {
    Q_OBJECT
public:
    explicit TValueText(QWidget* parent = nullptr);
    // A double click: a way to type the value (null: nothing happens).
    std::function<void()> OnDoubleClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A group box that keeps its drawn frame and caption. A changing value label
// inside it repaints the box under the label; the style draws the whole box
// for that (its frame picture and the caption's layout), several times the
// label's own cost. The kept picture is drawn again while what the style
// draws from stays as it was: size, state and caption are compared, and a
// change of palette, font or style arrives as a change event.
class TGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TGroupBox(const QString& title, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Palette, font, style (a style sheet's rules among them): drawn afresh.
    void changeEvent(QEvent* event) override;

private:
    struct Key {
        QSize size;
        int state = 0, subControls = 0, active = 0, features = 0, alignment = 0;
        QString title;
        double ratio = 0;
        bool operator==(const Key&) const = default;
    };
    Key key_;
    QPixmap picture_;
};

// Draws a highlight frame over a widget while it has the keyboard focus, for
// controls whose style shows none (scroll bars, up-downs).
void ShowFocusRing(QWidget* widget);

// A small modal dialog to type a whole number in [min, max], run through the
// dialog seam; nothing when cancelled.
std::optional<int> AskNumber(QWidget* parent, const QString& title, const QString& caption,
                             int value, int min, int max);
// The same for a line of text (empty text counts as cancelled).
std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& caption,
                               const QString& value);

} // namespace tavi
