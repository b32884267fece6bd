// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Controls.h"
#include "platform/Seams.h"

#include "params/Freq.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

namespace tavi {

void EnableChildren(QWidget* container, bool on) {
    if (!container)
        return;
    for (QWidget* w : container->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        w->setEnabled(on);
}

double DisplayScaleFor(int screenWidth) {
    const long double ratio = static_cast<long double>(screenWidth) * 0.00125L;
    if (ratio > 1)
        return static_cast<double>(RoundToReal48(ratio * 1.09L));
    return 1.0;
}

double LayoutScaleFor(int screenWidth, int screenHeight) {
    return screenWidth >= 800 ? std::min(screenWidth / 800.0, std::max(1.0, screenHeight / 600.0))
                              : 1.0;
}

namespace {

constexpr const char* kClickProperty = "taviActivateLikeClick";

// The accessible side of a button marked by ActivateLikeClick: the name,
// role and state Qt's own button interface gives, with actions that click.
class ClickingButtonAccessible : public QAccessibleWidget {
public:
    explicit ClickingButtonAccessible(QAbstractButton* button)
        : QAccessibleWidget(button, RoleOf(button)) {}

    QString text(QAccessible::Text t) const override {
        // The caption names a button before any neighbouring label does.
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty() &&
            !Button()->text().isEmpty()) {
            QString s = Button()->text();
            // A mnemonic's "&" is not read out; "&&" is a literal one.
            s.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
            s.remove(QLatin1Char('&'));
            s.replace(QStringLiteral("\x01"), QStringLiteral("&"));
            return s;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        if (Button()->isCheckable()) {
            st.checkable = true;
            st.checked = Button()->isChecked();
        }
        st.pressed = Button()->isDown();
        return st;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled())
            names << (Button()->isCheckable() ? toggleAction() : pressAction());
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        if (!widget()->isEnabled())
            return;
        if (name == toggleAction() || name == pressAction()) {
            Button()->click();
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(object()); }

    static QAccessible::Role RoleOf(QAbstractButton* button) {
        if (qobject_cast<QRadioButton*>(button))
            return QAccessible::RadioButton;
        if (qobject_cast<QCheckBox*>(button) || button->isCheckable())
            return QAccessible::CheckBox;
        return QAccessible::Button;
    }
};

QAccessibleInterface* ClickingButtonFactory(const QString&, QObject* object) {
    auto* button = qobject_cast<QAbstractButton*>(object);
    if (button && button->property(kClickProperty).toBool())
        return new ClickingButtonAccessible(button);
    return nullptr;
}

} // namespace

void ActivateLikeClick(QAbstractButton* button) {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(&ClickingButtonFactory); });
    button->setProperty(kClickProperty, true);
    // An interface made earlier (setting a caption may make one) is replaced
    // by ours.
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
    if (iface && !dynamic_cast<ClickingButtonAccessible*>(iface))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

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
    up_->setAccessibleName(QStringLiteral("up"));
    down_->setAccessibleName(QStringLiteral("down"));
    connect(up_, &QToolButton::clicked, this, &TUpDown::ClickUp);
    connect(down_, &QToolButton::clicked, this, &TUpDown::ClickDown);
    // A click on an arrow gives the control the keys, so typing afterwards
    // steps it rather than editing the last text field.
    for (QToolButton* b : {up_, down_})
        connect(b, &QToolButton::pressed, this, [this] { setFocus(Qt::MouseFocusReason); });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The arrows take no focus; the control does, and shows it.
    setFocusPolicy(Qt::StrongFocus);
    ShowFocusRing(this);
}

void TUpDown::SetAccessibleNames(const QString& control) {
    setAccessibleName(control);
    up_->setAccessibleName(control + QStringLiteral(" up"));
    down_->setAccessibleName(control + QStringLiteral(" down"));
}

void TUpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        ClickUp();
        return;
    }
    if (event->key() == Qt::Key_Down) {
        ClickDown();
        return;
    }
    QFrame::keyPressEvent(event);
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

void TValueText::mousePressEvent(QMouseEvent* event) {
    if (buddy() && buddy()->isEnabled())
        buddy()->setFocus(Qt::MouseFocusReason);
    QLabel::mousePressEvent(event);
}

void TValueText::mouseDoubleClickEvent(QMouseEvent* event) {
    if (OnDoubleClick && isEnabled()) {
        OnDoubleClick();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}

TGroupBox::TGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

void TGroupBox::paintEvent(QPaintEvent* event) {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const Key key{option.rect.size(),
                  static_cast<int>(option.state),
                  static_cast<int>(option.subControls),
                  static_cast<int>(option.activeSubControls),
                  static_cast<int>(option.features),
                  static_cast<int>(option.textAlignment),
                  title(),
                  devicePixelRatioF()};
    if (key != key_ || picture_.isNull()) {
        picture_ = QPixmap((QSizeF(option.rect.size()) * key.ratio).toSize());
        picture_.setDevicePixelRatio(key.ratio);
        picture_.fill(Qt::transparent);
        QStylePainter painter(&picture_, this);
        // What a painter on the widget itself starts with.
        painter.setPen(QPen(palette().brush(foregroundRole()), 1));
        painter.setBackground(palette().brush(backgroundRole()));
        painter.setFont(font());
        painter.setLayoutDirection(layoutDirection());
        painter.drawComplexControl(QStyle::CC_GroupBox, option);
        key_ = key;
    }
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawPixmap(r, picture_,
                           QRectF(QPointF(r.topLeft()) * key.ratio, QSizeF(r.size()) * key.ratio));
}

void TGroupBox::changeEvent(QEvent* event) {
    picture_ = QPixmap();
    QGroupBox::changeEvent(event);
}

namespace {

class FocusRing : public QWidget {
public:
    explicit FocusRing(QWidget* target) : QWidget(target), target_(target) {
        setObjectName(QStringLiteral("FocusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == target_) {
            switch (event->type()) {
            case QEvent::FocusIn:
                setGeometry(target_->rect());
                raise();
                show();
                break;
            case QEvent::FocusOut:
                hide();
                break;
            case QEvent::Resize:
                setGeometry(target_->rect());
                break;
            default:
                break;
            }
        }
        return QWidget::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }

private:
    QWidget* target_;
};

} // namespace

void ShowFocusRing(QWidget* widget) {
    if (widget &&
        !widget->findChild<QWidget*>(QStringLiteral("FocusRing"), Qt::FindDirectChildrenOnly))
        new FocusRing(widget);
}

std::optional<int> AskNumber(QWidget* parent, const QString& title, const QString& caption,
                             int value, int min, int max) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("AskNumberDlg"));
    dialog.setWindowTitle(title);
    auto* layout = new QFormLayout(&dialog);
    auto* edit = new QSpinBox(&dialog);
    edit->setObjectName(QStringLiteral("NumberEdit"));
    edit->setRange(min, max);
    edit->setValue(value);
    edit->selectAll();
    layout->addRow(caption, edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (Dialogs().Exec(dialog) != QDialog::Accepted)
        return std::nullopt;
    edit->interpretText();
    return edit->value();
}

std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& caption,
                               const QString& value) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("AskTextDlg"));
    dialog.setWindowTitle(title);
    auto* layout = new QFormLayout(&dialog);
    auto* edit = new QLineEdit(value, &dialog);
    edit->setObjectName(QStringLiteral("TextEdit"));
    edit->setMinimumWidth(320);
    layout->addRow(caption, edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (Dialogs().Exec(dialog) != QDialog::Accepted || edit->text().trimmed().isEmpty())
        return std::nullopt;
    return edit->text().trimmed();
}

} // namespace tavi
