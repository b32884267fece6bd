// SPDX-License-Identifier: GPL-3.0-or-later
// The windows as assistive technology sees them: every control the operator
// can reach has a name, and a button's accessibility action is a click.
#include "RunTestSupport.h"
#include "app/Forms.h"
#include "comparewin/UCompare.h"
#include "dialogs/AudioDlgB.h"
#include "dialogs/DlgBox1.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "platform/Chart.h"
#include "processing/UDataProc.h"
#include "setup/DirDlgB.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <set>

namespace tavi::test {
namespace {

QString AccessibleName(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// What the operator reaches: anything that takes the focus, every button and
// every slider (arrow buttons take no focus but are actionable).
bool Reachable(const QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QAbstractSlider*>(w);
}

// Qt's own parts of composite widgets (a combo box's popup list, a scroll
// area's bars) are named by the widget they belong to.
bool PartOfQtWidget(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w; p && p != window; p = p->parentWidget())
        if (p->objectName().startsWith(QLatin1String("qt_")) ||
            QByteArray(p->metaObject()->className()).startsWith("QComboBox"))
            return true;
    return false;
}

std::vector<std::string> Unnamed(QWidget* window) {
    std::vector<std::string> out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!Reachable(w) || PartOfQtWidget(w, window))
            continue;
        if (AccessibleName(w).trimmed().isEmpty())
            out.push_back(w->metaObject()->className() + std::string(" '") +
                          w->objectName().toStdString() + "' in " +
                          (w->parentWidget() ? w->parentWidget()->objectName().toStdString() : ""));
    }
    return out;
}

void Act(QAbstractButton* button) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(iface, nullptr);
    QAccessibleActionInterface* actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    const QString action = button->isCheckable() ? QAccessibleActionInterface::toggleAction()
                                                 : QAccessibleActionInterface::pressAction();
    ASSERT_TRUE(actions->actionNames().contains(action))
        << button->objectName().toStdString() << ": "
        << actions->actionNames().join(",").toStdString();
    actions->doAction(action);
}

class AccessibilityTest : public ::testing::Test {
protected:
    ScopedFakeDialogs dialogs;
    ScopedSound sound;
    FakeSerialPort port;
    QTemporaryDir exeDir;
};

TEST_F(AccessibilityTest, EveryReachableControlOfEveryWindowHasAName) {
    ASSERT_TRUE(exeDir.isValid());
    TaviForms forms(port, exeDir.path().toStdString());
    // The comment dialog is reached in its form, which showing it lays out.
    QLineEdit comment;
    forms.MDialogBox()->SetCommentTarget(&comment);
    forms.MDialogBox()->show();
    const std::pair<const char*, QWidget*> windows[] = {
        {"main window", forms.FCW()},          {"comment dialog", forms.MDialogBox()},
        {"Preferences", forms.MDirectories()}, {"service window", forms.FService()},
        {"Audio", forms.MAudioDlgBox()},       {"About", forms.MUsersAssist()},
        {"processing window", forms.FDataProc()},
        {"COMPARE", forms.FCompare()},
    };
    for (const auto& [what, window] : windows) {
        const auto unnamed = Unnamed(window);
        EXPECT_TRUE(unnamed.empty()) << what << ": " << ::testing::PrintToString(unnamed);
    }
    forms.MDialogBox()->hide();
    forms.FCW()->SetRunState(RunState::Idle);
}

TEST_F(AccessibilityTest, MainWindowControlsCarryTheirNames) {
    ASSERT_TRUE(exeDir.isValid());
    TFCW w(port, nullptr, exeDir.path().toStdString());
    const std::pair<QObject*, const char*> expected[] = {
        {w.GainScrollBar, "Gain"},
        {w.PhaseScrollBar, "Phase"},
        {w.LevelTB, "DC offset"},
        {w.TuningB0UpDown->UpButton(), "B0 up"},
        {w.TuningB0UpDown->DownButton(), "B0 down"},
        {w.DB0UpDown->UpButton(), "B0 step up"},
        {w.FrequencyUpDown->DownButton(), "F down"},
        {w.SweepTUpDown->UpButton(), "Sweep Time up"},
        {w.AccUpDown->DownButton(), "Acc down"},
        {w.HoldToolB, "Hold"},
        {w.StartToolB, "Start"},
        {w.AccDToolB, "Accumulation Pass"},
        {w.VertMTB, "Vertical marker"},
        {w.FNameEdit, "Store in file"},
        {w.CommentEdit, "Comment"},
        {w.HFRB, "NMR 1H &19F"},
    };
    for (const auto& [object, name] : expected)
        EXPECT_EQ(AccessibleName(object).toStdString(), name) << object->objectName().toStdString();

    // A screen reader tells the nine up-downs' eighteen arrows apart.
    std::set<QString> arrows;
    for (TUpDown* u : w.findChildren<TUpDown*>()) {
        arrows.insert(AccessibleName(u->UpButton()));
        arrows.insert(AccessibleName(u->DownButton()));
    }
    EXPECT_EQ(arrows.size(), 2 * w.findChildren<TUpDown*>().size());
}

TEST_F(AccessibilityTest, UpDownStepsFromTheKeyboardAsFromItsArrows) {
    ASSERT_TRUE(exeDir.isValid());
    TFCW w(port, nullptr, exeDir.path().toStdString());
    w.SweepTUpDown->SetPosition(3);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(w.SweepTUpDown, &up);
    EXPECT_EQ(w.SweepTUpDown->Position(), 4);
    EXPECT_EQ(w.Params.SweepTime, 4); // the handler ran
    Act(w.SweepTUpDown->DownButton());
    Act(w.SweepTUpDown->DownButton());
    EXPECT_EQ(w.Params.SweepTime, 2);
}

using AccessibleRunTest = RunFixture;

TEST_F(AccessibleRunTest, HoldToggledThroughAccessibilityAsksTheDeviceAndWaitsForIt) {
    Start();
    port.Feed("A0003\r");
    port.Feed("B\r");
    port.TakeWritten();
    Act(w->HoldToolB);
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"Q1\r"});
    EXPECT_FALSE(w->HoldToolB->isChecked()); // not on hold until the device says so
    port.Feed("H1\r");
    EXPECT_TRUE(w->HoldToolB->isChecked());
    Act(w->HoldToolB);
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"Q0\r"});
    EXPECT_TRUE(w->HoldToolB->isChecked());
}

TEST_F(AccessibleRunTest, AccToggledThroughAccessibilityShowsTheAccumulationCurve) {
    Act(w->AccDToolB);
    EXPECT_TRUE(w->AccDToolB->isChecked());
    EXPECT_TRUE(w->MAccDiagram->isChecked());
    EXPECT_TRUE(w->SeriesAcc->Active());
    Act(w->AccDToolB);
    EXPECT_FALSE(w->AccDToolB->isChecked());
    EXPECT_FALSE(w->MAccDiagram->isChecked());
    EXPECT_FALSE(w->SeriesAcc->Active());
}

TEST_F(AccessibleRunTest, AccumulationPassMenuItemThroughAccessibility) {
    QMenu* tools = w->menuBar()->findChild<QMenu*>(QStringLiteral("MTools"));
    ASSERT_NE(tools, nullptr);
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(tools);
    ASSERT_NE(menu, nullptr);
    QAccessibleInterface* item = nullptr;
    for (int i = 0; i < menu->childCount(); ++i)
        if (menu->child(i)->text(QAccessible::Name) == QLatin1String("Accumulation Pass"))
            item = menu->child(i);
    ASSERT_NE(item, nullptr);
    ASSERT_NE(item->actionInterface(), nullptr);
    item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(w->MAccDiagram->isChecked());
    EXPECT_TRUE(w->AccDToolB->isChecked());
    EXPECT_TRUE(w->SeriesAcc->Active());
}

TEST_F(AccessibleRunTest, MarkerButtonsThroughAccessibilitySwitchTheMarker) {
    Start();
    Pass({1, 5, 2});
    ASSERT_TRUE(w->HorizMTB->isEnabled());
    int clicks = 0;
    for (QToolButton* b : {w->VertMTB, w->HorizMTB})
        QObject::connect(b, &QToolButton::clicked, [&clicks] { ++clicks; });
    Act(w->HorizMTB);
    EXPECT_TRUE(w->HorizMTB->isChecked());
    EXPECT_FALSE(w->VertMTB->isChecked());
    Act(w->VertMTB);
    EXPECT_TRUE(w->VertMTB->isChecked());
    EXPECT_EQ(clicks, 2); // each went through the click handler
}

} // namespace
} // namespace tavi::test
