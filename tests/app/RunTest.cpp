// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunTestSupport.h"
#include "device/UOutMess.h"
#include "platform/Chart.h"
#include "processing/DataFile.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSpinBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <tuple>
#include <limits>

namespace tavi::test {
namespace {

using RunTest = RunFixture;

TEST_F(RunTest, SingleOfThreePassesSumsAveragesAndFinishes) {
    SetPasses(3);
    Start();
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"F0\r"});

    Pass({10, -20, 30, 5});
    EXPECT_EQ(w->PassCounter(), 2);
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"F0\r"});
    Pass({12, -22, 31, 5});
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"F0\r"});
    PassUpToC({14, -24, 35, 6});

    ASSERT_EQ(Entries(), 4u);
    EXPECT_EQ(Entry(0), 36);
    EXPECT_EQ(Entry(1), -66);
    EXPECT_EQ(Entry(2), 96);
    EXPECT_EQ(Entry(3), 16);
    ASSERT_EQ(w->SeriesAcc->Count(), 4);
    EXPECT_DOUBLE_EQ(w->SeriesAcc->Y(0), 12.0);
    EXPECT_DOUBLE_EQ(w->SeriesAcc->Y(3), 16.0 / 3.0);
    EXPECT_EQ(w->SeriesAcc->Colour(0), QColor(Qt::white));
    // X runs over the bottom axis from its minimum to its maximum.
    EXPECT_DOUBLE_EQ(w->SeriesAcc->X(0), w->Fid->BottomAxis().Minimum());
    EXPECT_NEAR(w->SeriesAcc->X(3), w->Fid->BottomAxis().Maximum(), 1e-9);

    port.Feed("D\r");
    EXPECT_TRUE(port.TakeWritten().empty()); // no fourth pass
    EXPECT_EQ(w->RunState(), RunState::Finished);
    EXPECT_EQ(Panel(2), "Spectrometer: end of experiment - ready");
    EXPECT_EQ(Panel(0), "Acc: 3 of 3");
    EXPECT_TRUE(w->MSaveas->isEnabled());
    EXPECT_TRUE(w->StartToolB->isEnabled());
    EXPECT_TRUE(w->VertMTB->isEnabled());
    EXPECT_TRUE(w->HorizMTB->isEnabled());
    EXPECT_TRUE(w->DHToolB->isEnabled());
    EXPECT_FALSE(w->XYST->isHidden());
    EXPECT_TRUE(w->MainMarker.Active);
    EXPECT_EQ(w->MainMarker.PointCount, 4);
    EXPECT_EQ(w->MainMarker.SeriesIndex, w->CurrentPass());
}

TEST_F(RunTest, DuringAPassTheRunControlsAreLocked) {
    Start();
    port.Feed("A0004\r");
    EXPECT_EQ(w->RunState(), RunState::SettingUp);
    EXPECT_EQ(Panel(0), "Acc: 1 of 1");
    EXPECT_EQ(Panel(1), "Last Data Saved In: ");
    EXPECT_EQ(Panel(2), "Spectrometer: Setting an experiment - please wait");
    EXPECT_FALSE(w->StartToolB->isEnabled());
    EXPECT_FALSE(w->MSaveas->isEnabled());
    EXPECT_FALSE(w->DHToolB->isEnabled());
    EXPECT_FALSE(w->VertMTB->isEnabled());
    EXPECT_FALSE(w->HorizMTB->isEnabled());
    EXPECT_TRUE(w->XYST->isHidden());
    EXPECT_TRUE(w->AbortToolB->isEnabled());
    EXPECT_TRUE(w->AccUpDown->isEnabled());
}

TEST_F(RunTest, LoopKeepsOnlyTheLastPassUntilAbort) {
    w->LoopRB->setChecked(true);
    w->SingleRBClick();
    EXPECT_FALSE(w->FNameEdit->isEnabled());
    SetPasses(3);
    Start();
    port.TakeWritten();
    Pass({1, 2, 3});
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"F0\r"});
    Pass({7, 8, 9});
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"F0\r"});
    Pass({4, 5, 6});
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"F0\r"}); // a fourth pass too
    EXPECT_EQ(w->PassCounter(), 1);
    EXPECT_EQ(Entry(0), 4);
    EXPECT_EQ(Entry(2), 6);
    EXPECT_DOUBLE_EQ(w->SeriesAcc->Y(1), 5.0);
    EXPECT_NE(w->RunState(), RunState::Finished);

    w->AbortToolBClick();
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"N\r"});
    port.Feed("F\r");
    EXPECT_EQ(w->RunState(), RunState::Aborting);
    port.Feed("D\r");
    EXPECT_EQ(w->RunState(), RunState::Aborted);
    EXPECT_TRUE(port.TakeWritten().empty());
    EXPECT_TRUE(w->StartToolB->isEnabled());
}

TEST_F(RunTest, RaisingThePassCountDuringARunTakesMorePasses) {
    SetPasses(2);
    Start();
    Pass({1, 1});
    PassUpToC({1, 1});
    SetPasses(4);
    port.Feed("D\r");
    Pass({1, 1});
    Pass({1, 1});
    EXPECT_EQ(w->RunState(), RunState::Finished);
    EXPECT_EQ(Entry(0), 4);
    EXPECT_EQ(Panel(0), "Acc: 4 of 4");
}

TEST_F(RunTest, HoldMakesTheLastPointFollowTheSignal) {
    Start();
    port.Feed("A0003\r");
    port.Feed("B\r");
    port.Feed("H1\r");
    ASSERT_TRUE(w->HoldActive());
    port.Feed(PointLine(10)); // NextPointIndex 0: an ordinary first point
    port.Feed(PointLine(20));
    port.Feed(PointLine(30));
    TChartSeries& s = *w->PassSeries[w->CurrentPass()];
    ASSERT_EQ(s.Count(), 1);
    EXPECT_DOUBLE_EQ(s.Y(0), 30);
    EXPECT_EQ(Entry(0), 10);
    EXPECT_EQ(w->NextPointIndex(), 1);
    port.Feed("H0\r");
    port.Feed(PointLine(40));
    EXPECT_EQ(s.Count(), 2);
    EXPECT_EQ(Entry(1), 40);
}

TEST_F(RunTest, HoldButtonWaitsForTheDevice) {
    Start();
    port.Feed("A0003\r");
    port.Feed("B\r");
    port.TakeWritten();
    w->HoldToolB->click();
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"Q1\r"});
    EXPECT_FALSE(w->HoldToolB->isChecked());
    port.Feed("H1\r");
    w->HoldToolB->click();
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"Q0\r"});
    EXPECT_TRUE(w->HoldToolB->isChecked());
}

TEST_F(RunTest, SixthPassReusesTheFirstSeriesAndOlderPassesAge) {
    SetPasses(6);
    Start();
    Pass({1, 2});
    const int first = w->CurrentPass();
    TChartSeries* firstSeries = w->PassSeries[first];
    EXPECT_EQ(firstSeries->Colour(0), w->PassColours[0]); // yellow while newest
    Pass({1, 2});
    EXPECT_EQ(firstSeries->Colour(0), QColor(0xFF, 0x00, 0xFF)); // previous: fuchsia
    Pass({1, 2});
    EXPECT_EQ(firstSeries->Colour(1), QColor(0x00, 0x00, 0x80));
    Pass({1, 2});
    EXPECT_EQ(firstSeries->Colour(1), QColor(0x80, 0x80, 0x00));
    Pass({1, 2});
    EXPECT_EQ(firstSeries->Colour(0), QColor(0xFF, 0x00, 0x00)); // oldest: red
    port.Feed("A0002\r");
    EXPECT_EQ(w->CurrentPass(), first);
    EXPECT_EQ(firstSeries->Count(), 0);
}

TEST_F(RunTest, PassDisplayChoosesHowManyPassesShow) {
    SetPasses(5);
    Start();
    for (int i = 0; i < 5; ++i)
        Pass({1, 2});
    auto shown = [&] {
        int n = 0;
        for (auto* s : w->PassSeries)
            n += s->Active();
        return n;
    };
    w->CurrDiagramCBox->setCurrentIndex(5);
    w->CurrDiagramCBoxChange();
    EXPECT_EQ(shown(), 0);
    w->CurrDiagramCBox->setCurrentIndex(1);
    w->CurrDiagramCBoxChange();
    EXPECT_EQ(shown(), 2);
    EXPECT_TRUE(w->PassSeries[w->CurrentPass()]->Active());
    EXPECT_TRUE(w->PassSeries[(w->CurrentPass() + 4) % 5]->Active());
    w->CurrDiagramCBox->setCurrentIndex(4);
    w->CurrDiagramCBoxChange();
    EXPECT_EQ(shown(), 5);
}

TEST_F(RunTest, AccButtonTogglesTheAverage) {
    EXPECT_FALSE(w->SeriesAcc->Active());
    w->AccDToolBClick();
    EXPECT_TRUE(w->SeriesAcc->Active());
    EXPECT_TRUE(w->MAccDiagram->isChecked());
    EXPECT_TRUE(w->AccDToolB->isChecked());
    w->AccDToolBClick();
    EXPECT_FALSE(w->SeriesAcc->Active());
    EXPECT_FALSE(w->MAccDiagram->isChecked());
    EXPECT_FALSE(w->AccDToolB->isChecked());
}

TEST_F(RunTest, LegendShowsTheAgeColours) {
    ASSERT_NE(w->LegendPanel, nullptr);
    for (int i = 0; i < 5; ++i) {
        ASSERT_NE(w->Legends[i], nullptr);
        EXPECT_EQ(w->Legends[i]->objectName(), QString("S%1Legend").arg(i + 1));
        EXPECT_EQ(w->Legends[i]->text(), QString::number(i + 1));
    }
    EXPECT_EQ(w->PassColours[0], QColor(0xFF, 0xFF, 0x00));
    EXPECT_EQ(w->PassColours[4], QColor(0xFF, 0x00, 0x00));
    // Navy and olive carry white text, the others black.
    EXPECT_TRUE(w->Legends[2]->styleSheet().contains("color: #ffffff"));
    EXPECT_TRUE(w->Legends[3]->styleSheet().contains("color: #ffffff"));
    EXPECT_TRUE(w->Legends[0]->styleSheet().contains("color: #000000"));
    EXPECT_TRUE(w->Legends[4]->styleSheet().contains("color: #000000"));
}

TEST_F(RunTest, DBMeasuresTheDistanceBetweenTheExtremes) {
    w->Fid->BottomAxis().SetMinMax(-5.0, 5.0);
    Start();
    // 21 points 0.5 Gs apart: minimum at X = -3.0 (index 4), maximum at X = 2.5 (15).
    std::vector<int> values(21, 0);
    values[4] = -100;
    values[15] = 120;
    Pass(values);
    ASSERT_EQ(w->RunState(), RunState::Finished);
    w->DHToolBClick();
    EXPECT_EQ(Panel(4), "DB:   5.50 Gs");
    EXPECT_EQ(w->DBST->text(), " DB:   5.50 Gs");
    EXPECT_FALSE(w->DBST->isHidden());
}

TEST_F(RunTest, DBShowsNothingWhenNoPointBeatsTheBounds) {
    Start();
    Pass({600, 700, 800});
    w->DHToolBClick();
    EXPECT_EQ(Panel(4), "DB: ");
    EXPECT_TRUE(w->DBST->isHidden());
}

TEST_F(RunTest, SoundsOfARun) {
    auto& s = w->SoundSettings;
    s[0] = {"start.wav", 0, 1, 0};
    s[1] = {"end.wav", 0, 1, 0};
    s[2] = {"acc.wav", 0, 0, 1};
    SetPasses(2);
    Start();
    Pass({1});
    Pass({1});
    EXPECT_EQ(sound.sound.calls, (std::vector<std::string>{"wait:start.wav", "wait:end.wav",
                                                           "wait:end.wav", "loop:acc.wav"}));
    EXPECT_TRUE(w->AlarmLooping);
    w->FidClick();
    EXPECT_FALSE(w->AlarmLooping);
    EXPECT_EQ(sound.sound.calls.back(), "stop");
    w->FidClick(); // nothing left to stop
    EXPECT_EQ(Count(sound.sound.calls, "stop"), 1);

    s[2].Single = 1;
    sound.sound.calls.clear();
    SetPasses(1);
    Start();
    Pass({1});
    EXPECT_EQ(sound.sound.calls.back(), "once:acc.wav");
    EXPECT_FALSE(w->AlarmLooping);
}

TEST_F(RunTest, StartWithTheStartSoundOffStopsALoopingAlarm) {
    w->SoundSettings[2] = {"acc.wav", 0, 0, 1};
    Start();
    Pass({1});
    ASSERT_TRUE(w->AlarmLooping);
    Start();
    EXPECT_FALSE(w->AlarmLooping);
    EXPECT_EQ(sound.sound.calls.back(), "stop");
}

TEST_F(RunTest, StartWithoutDeviceSendsNothing) {
    port.Vanish();
    port.TakeWritten();
    dialogs.fake.messages.clear();
    w->StartToolBClick();
    EXPECT_TRUE(dialogs.fake.Said("Device not connected !"));
    EXPECT_EQ(dialogs.fake.messages.back().icon, MsgIcon::Error);
    EXPECT_TRUE(port.TakeWritten().empty());
}

TEST_F(RunTest, ClosingDuringAMeasurementIsRefused) {
    Start();
    port.Feed("A0002\r");
    EXPECT_FALSE(w->CloseQueryAllowed());
    EXPECT_TRUE(dialogs.fake.Said("Measure in progress"));
    EXPECT_EQ(dialogs.fake.messages.back().icon, MsgIcon::Warning);
    port.Feed("B\r");
    port.Feed(PointLine(1));
    port.Feed(PointLine(1));
    port.Feed("C\r");
    EXPECT_FALSE(w->CloseQueryAllowed());
    port.Feed("D\r");
    EXPECT_TRUE(w->CloseQueryAllowed());
}

TEST_F(RunTest, MarkerButtonsSwitchBetweenCursorAndLevelLine) {
    w->resize(1024, 700);
    w->show();
    Start();
    Pass({10, 20, 30, 40, 50});
    ASSERT_TRUE(w->MainMarker.Active);
    w->Fid->RepaintNow();
    EXPECT_TRUE(w->XYST->text().startsWith(" B: ")) << w->XYST->text().toStdString();
    w->HorizMTB->click();
    EXPECT_TRUE(w->HorizMTB->isChecked());
    w->Fid->RepaintNow();
    EXPECT_TRUE(w->XYST->text().startsWith(" A: ")) << w->XYST->text().toStdString();

    // The next experiment starts detached and comes back as a level line.
    Start();
    PassUpToC({1, 2, 3});
    EXPECT_FALSE(w->MainMarker.Active);
    EXPECT_TRUE(w->XYST->isHidden());
    port.Feed("D\r");
    EXPECT_TRUE(w->MainMarker.Active);
    w->XYST->clear();
    w->Fid->RepaintNow();
    EXPECT_TRUE(w->XYST->text().startsWith(" A: ")) << w->XYST->text().toStdString();
}

TEST_F(RunTest, PointsBeyondTheChartAreFlaggedForTheRunWhileTheSumsKeepThem) {
    SetPasses(2);
    Start();
    Pass({10, 500, -500}); // at the edges, not beyond
    EXPECT_TRUE(w->ClippedLab->isHidden());
    Pass({501, 0, -1833});
    EXPECT_TRUE(w->ClippedLab->isVisibleTo(w.get()));
    EXPECT_TRUE(w->ClippedLab->text().contains("Clipped: 2 points"));
    EXPECT_EQ(Entry(2), -500 - 1833);
    Start();
    Pass({1, 2, 3});
    EXPECT_TRUE(w->ClippedLab->isHidden());
}

// A change of sweep kind, range or mode clears the last run from the chart;
// one that keeps the axis does not. The sums stay savable.
TEST_F(RunTest, AChangedSweepAxisClearsTheLastRunFromTheChart) {
    const std::pair<std::function<void()>, bool> changes[] = {
        {[this] { w->FieldSwRngRBClick(); }, false},
        {[this] { w->FreqSwRngRB->click(); }, true},
        {[this] { w->FieldSwRngUpDown->ClickUp(); }, true},
        {[this] { port.Feed("M02\r"); }, true}, // reconnected to an ESR unit
    };
    for (const auto& [change, clears] : changes) {
        w->FieldSwRngUpDown->SetPosition(2);
        w->FieldSwRngUpDownClick();
        SetPasses(2);
        Start();
        Pass({1, 2, 3});
        Pass({4, 5, 6});
        SetPasses(1);
        change();
        EXPECT_EQ(w->SeriesAcc->Count(), clears ? 0 : 3);
        EXPECT_EQ(w->MainMarker.Active, !clears);
        EXPECT_EQ(Panel(0), clears ? "Acc: 0 of 1" : "Acc: 2 of 1");
        EXPECT_EQ(Entries(), 3u);
    }
}

// Keys typed after a click on a value field or an arrow reach its control.
TEST_F(RunTest, ClickedSteppingControlsTakeTheKeysFromTheComment) {
    w->show();
    w->GainScrollBar->setValue(100);
    const std::tuple<QWidget*, QWidget*, int, int> cases[] = {
        {w->AccUpDown->UpButton(), w->AccUpDown, Qt::Key_Up, 1},
        {w->TuningB0Val, w->TuningB0UpDown, Qt::Key_Up, w->TuningB0UpDown->Increment()},
        {w->GainVal, w->GainScrollBar, Qt::Key_PageUp, 10},
    };
    for (const auto& [clicked, control, key, step] : cases) {
        w->CommentEdit->setText("gain 0");
        w->CommentEdit->setFocus();
        const QPointF at(2, 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, {}, {});
        QApplication::sendEvent(clicked, &press);
        QApplication::sendEvent(clicked, &release);
        ASSERT_EQ(w->focusWidget(), control);
        const auto value = [c = control] {
            auto* bar = qobject_cast<QScrollBar*>(c);
            return bar ? bar->value() : static_cast<TUpDown*>(c)->Position();
        };
        const int before = value();
        const std::pair<int, QString> keys[] = {{Qt::Key_4, "4"}, {key, {}}};
        for (const auto& [k, text] : keys) {
            QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier, text);
            QApplication::sendEvent(w->focusWidget(), &e);
        }
        EXPECT_EQ(w->CommentEdit->text(), "gain 0");
        EXPECT_EQ(value(), before + step);
    }
    // A double click on the gain types it; its handler sends it.
    dialogs.fake.script = [](QDialog& d) {
        d.findChild<QSpinBox*>("NumberEdit")->setValue(20);
        return int(QDialog::Accepted);
    };
    port.TakeWritten();
    QMouseEvent dbl(QEvent::MouseButtonDblClick, {2, 2}, {2, 2}, Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(w->GainVal, &dbl);
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{lines::Gain(20)});
}

TEST_F(RunTest, SumsWrapAroundAs32BitIntegers) {
    SetPasses(2);
    Start();
    // 2^31 - 1 + 1 wraps to -2^31, as the stored 32-bit sums do.
    w->Run().ClearSums();
    port.Feed("A0001\r");
    w->StorePoint(2147483647);
    port.Feed("C\r");
    port.Feed("D\r");
    port.Feed("A0001\r");
    w->StorePoint(1);
    EXPECT_EQ(Entry(0), std::numeric_limits<std::int32_t>::min());
}

// ---- faults ----

TEST_F(RunTest, PassesOfOneOrNoPointDoNotBreakTheRun) {
    Start();
    Pass({42}, 1);
    ASSERT_EQ(Entries(), 1u);
    EXPECT_EQ(Entry(0), 42);
    EXPECT_DOUBLE_EQ(w->PointStep(), 0.0);
    ASSERT_EQ(w->SeriesAcc->Count(), 1);
    EXPECT_TRUE(std::isfinite(w->SeriesAcc->X(0)));
    EXPECT_EQ(w->RunState(), RunState::Finished);

    Start();
    Pass({5, 6}, 0);
    EXPECT_EQ(Entries(), 0u);
    EXPECT_EQ(w->SeriesAcc->Count(), 0);
    EXPECT_EQ(w->RunState(), RunState::Finished);
}

TEST_F(RunTest, PointsBeyondTheAnnouncedCountAreDropped) {
    Start();
    Pass({1, 2, 3, 4, 5}, 3);
    ASSERT_EQ(Entries(), 3u);
    EXPECT_EQ(Entry(2), 3);
    EXPECT_EQ(w->PassSeries[w->CurrentPass()]->Count(), 3);
}

TEST_F(RunTest, AShortPassLeavesTheRemainingSums) {
    SetPasses(2);
    Start();
    Pass({1, 2, 3, 4});
    Pass({10, 20}, 4);
    EXPECT_EQ(Entry(0), 11);
    EXPECT_EQ(Entry(1), 22);
    EXPECT_EQ(Entry(2), 3);
    EXPECT_EQ(Entry(3), 4);
}

TEST_F(RunTest, ANewExperimentKeepsLowerEntriesAndZeroesNewOnes) {
    Start();
    Pass({1, 2});
    Start();
    Pass({7}, 4); // first pass: entries are set, not summed
    ASSERT_EQ(Entries(), 4u);
    EXPECT_EQ(Entry(0), 7);
    EXPECT_EQ(Entry(1), 2); // not written this time
    EXPECT_EQ(Entry(2), 0);
    EXPECT_EQ(Entry(3), 0);
}

TEST_F(RunTest, AbortStillWorksWhenTheDeviceStopsSendingPoints) {
    Start();
    port.Feed("A0400\r");
    port.Feed("B\r");
    port.Feed(PointLine(3));
    EXPECT_FALSE(w->CloseQueryAllowed());
    port.TakeWritten();
    w->AbortToolBClick();
    EXPECT_EQ(port.TakeWritten(), std::vector<std::string>{"N\r"});
    port.Feed("F\r");
    port.Feed("D\r");
    EXPECT_EQ(w->RunState(), RunState::Aborted);
    EXPECT_EQ(Panel(2), "Spectrometer: Experiment aborted - ready");
    EXPECT_TRUE(w->StartToolB->isEnabled());
    EXPECT_TRUE(w->CloseQueryAllowed());
}

TEST_F(RunTest, AVanishedDeviceEndsTheWaitingRun) {
    SetPasses(3);
    Start();
    Pass({5, 6});
    port.Feed("A0002\r");
    port.Feed("B\r");
    port.Feed(PointLine(7));
    ASSERT_FALSE(w->StartToolB->isEnabled());
    port.Vanish();
    EXPECT_EQ(w->RunState(), RunState::Idle);
    EXPECT_FALSE(w->DeviceReady());
    EXPECT_TRUE(w->StartToolB->isEnabled());
    EXPECT_TRUE(w->GainScrollBar->isEnabled());
    EXPECT_TRUE(w->MSaveas->isEnabled());
    EXPECT_TRUE(w->CloseQueryAllowed());

    // The finished pass can still be saved, counted as one; the cut one is not in it.
    dialogs.fake.fileAnswers.push_back(DataPath("partial.dcw"));
    w->MSaveasClick();
    EXPECT_EQ(QFileInfo(DataPath("partial.dcw")).size(), 425 + 8);
    EXPECT_EQ(Panel(1), "Last Data Saved In: partial.dcw");
    LoadedDataFile saved;
    std::string error;
    ASSERT_TRUE(ReadDataFile(DataPath("partial.dcw").toStdString(), saved, &error)) << error;
    EXPECT_EQ(saved.Settings.AccText, "1");
    EXPECT_EQ(saved.Y, (std::vector<double>{5, 6}));
}

TEST_F(RunTest, SpectrometerSwitchedOffEndsTheWaitingRun) {
    ReconnectWatchingPower();
    Start();
    port.Feed("A0004\r");
    port.Feed("B\r");
    port.Feed(PointLine(7));
    port.SetModem(0);
    EXPECT_TRUE(dialogs.fake.Said("Spectrometer is OFF"));
    EXPECT_EQ(w->RunState(), RunState::Idle);
    EXPECT_TRUE(w->StartToolB->isEnabled());
    EXPECT_TRUE(w->MSaveas->isEnabled());
    EXPECT_TRUE(w->CloseQueryAllowed());
}

// A later pass whose "A" line has no readable count still begins: its points
// are summed, so the file's accumulation count matches its sums.
class DamagedCountTest : public RunFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedCountTest, ALaterPassBeginsWithoutItsCount) {
    SetPasses(2);
    w->FNameEdit->setText("run2");
    Start();
    Pass({10, -20, 30});
    port.Feed(GetParam());
    ASSERT_EQ(dialogs.fake.errors.size(), 1u); // the damaged field is reported
    EXPECT_EQ(w->RunState(), RunState::SettingUp);
    port.Feed("B\r");
    for (int v : {12, -22, 34})
        port.Feed(PointLine(v));
    port.Feed("C\r");
    port.Feed("D\r");
    EXPECT_EQ(w->RunState(), RunState::Finished);
    EXPECT_EQ(Panel(0), "Acc: 2 of 2");
    ASSERT_EQ(Entries(), 3u);
    EXPECT_EQ(Entry(0), 22);
    EXPECT_EQ(Entry(1), -42);
    EXPECT_EQ(Entry(2), 64);

    LoadedDataFile loaded;
    std::string error;
    ASSERT_TRUE(ReadDataFile(DataPath("run2.dcw").toStdString(), loaded, &error)) << error;
    EXPECT_EQ(loaded.Settings.AccText, "2");
    EXPECT_EQ(loaded.Y, (std::vector<double>{11, -21, 32}));
}

INSTANTIATE_TEST_SUITE_P(Replies, DamagedCountTest, ::testing::Values("A\r", "A00G3\r"),
                         [](const auto& info) {
                             return info.index == 0 ? std::string("NoCount")
                                                    : std::string("BadHexDigit");
                         });

TEST_F(RunTest, AFolderWithTheChosenNameIsReportedWithoutTheOverwriteQuestion) {
    ASSERT_TRUE(QDir(dataDir.path()).mkdir("run1.dcw"));
    w->FNameEdit->setText("run1");
    Start();
    Pass({1, 2});
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(dialogs.fake.messages[0].text,
              "Cannot create file " + DataPath("run1.dcw") + ": Is a directory");
    EXPECT_EQ(Panel(1), "Last Data Saved In: ");
    EXPECT_TRUE(QFileInfo(DataPath("run1.dcw")).isDir());
}

} // namespace
} // namespace tavi::test
