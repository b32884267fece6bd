// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/AudioDlgB.h"

#include "platform/Sound.h"
#include "support/FakeDialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavi {
namespace {

class RecordingSound : public ISoundPlayer {
public:
    std::vector<std::string> once;
    int waits = 0;
    void PlayAndWait(const std::string&) override { ++waits; }
    void PlayOnce(const std::string& file) override { once.push_back(file); }
    void PlayLoop(const std::string&) override { ++waits; }
    void Stop() override {}
};

class AudioDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings[0] = {"start.wav", 0, 1, 0};
        settings[1] = {"end.wav", 1, 1, 0};
        settings[2] = {"acc.wav", 2, 0, 1};
        dialog.SetSettings(settings);
    }
    template <class T> T* Child(const char* name) {
        T* w = dialog.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Copies in, runs the dialog with the script, copies out only on OK.
    int Run(const std::function<int(QDialog&)>& script) {
        fakes.fake.script = script;
        dialog.SetSettings(settings);
        int r = Dialogs().Exec(dialog);
        if (r == QDialog::Accepted)
            settings = dialog.Settings();
        return r;
    }

    test::ScopedFakeDialogs fakes;
    std::array<TSoundSetting, 3> settings;
    TMAudioDlgBox dialog;
};

TEST_F(AudioDialogTest, ControlsCarryTheirCaptions) {
    EXPECT_EQ(Child<QRadioButton>("ExpStartRB")->text(), "Sweep start");
    EXPECT_EQ(Child<QRadioButton>("ExpRunRB")->text(), "Sweep end");
    EXPECT_EQ(Child<QRadioButton>("ExpStopRB")->text(), "accumulation end");
    EXPECT_EQ(Child<QPushButton>("Button1")->text(), "Browse");
    EXPECT_TRUE(Child<QPushButton>("BitBtn1")->text().isEmpty());
    EXPECT_EQ(Child<QCheckBox>("SoundOFF")->text(), "OFF");
    EXPECT_EQ(Child<QCheckBox>("SoundSBeep")->text(), "Single");
    EXPECT_EQ(Child<QPushButton>("OKBtn")->text(), "OK");
    EXPECT_EQ(Child<QPushButton>("CancelBtn")->text(), "Cancel");
    EXPECT_TRUE(Child<QCheckBox>("SoundOFF")->isTristate());
}

TEST_F(AudioDialogTest, ShowingDisplaysSweepStart) {
    dialog.ChangeActSndSet(3); // left over from an earlier opening
    Run([&](QDialog&) {
        EXPECT_EQ(dialog.ShownIndex(), 1);
        EXPECT_TRUE(Child<QRadioButton>("ExpStartRB")->isChecked());
        EXPECT_EQ(Child<QLineEdit>("SoundNameEdit")->text(), "start.wav");
        EXPECT_EQ(Child<QCheckBox>("SoundSBeep")->checkState(), Qt::Checked);
        EXPECT_FALSE(Child<QCheckBox>("SoundSBeep")->isEnabled());
        return int(QDialog::Rejected);
    });
}

TEST_F(AudioDialogTest, CancelAfterSwitchingDiscardsTheEdit) {
    auto old = settings;
    int r = Run([&](QDialog&) {
        Child<QRadioButton>("ExpRunRB")->click();
        Child<QLineEdit>("SoundNameEdit")->setText("new-end.wav");
        Child<QRadioButton>("ExpStopRB")->click();
        Child<QPushButton>("CancelBtn")->click();
        return dialog.result();
    });
    EXPECT_EQ(r, QDialog::Rejected);
    EXPECT_EQ(settings, old);
}

TEST_F(AudioDialogTest, OkKeepsEditsOfEveryEntryVisited) {
    int r = Run([&](QDialog&) {
        Child<QRadioButton>("ExpRunRB")->click();
        Child<QLineEdit>("SoundNameEdit")->setText("new-end.wav");
        Child<QCheckBox>("SoundOFF")->setCheckState(Qt::Unchecked);
        Child<QRadioButton>("ExpStopRB")->click();
        Child<QCheckBox>("SoundSBeep")->setCheckState(Qt::Checked);
        Child<QPushButton>("OKBtn")->click();
        return dialog.result();
    });
    EXPECT_EQ(r, QDialog::Accepted);
    EXPECT_EQ(settings[0], (TSoundSetting{"start.wav", 0, 1, 0}));
    EXPECT_EQ(settings[1], (TSoundSetting{"new-end.wav", 0, 1, 0}));
    EXPECT_EQ(settings[2], (TSoundSetting{"acc.wav", 2, 1, 1}));
}

TEST_F(AudioDialogTest, OkWithoutSwitchingStoresTheShownEntry) {
    Run([&](QDialog&) {
        Child<QLineEdit>("SoundNameEdit")->setText("/snd/begin.wav");
        Child<QPushButton>("OKBtn")->click();
        return dialog.result();
    });
    EXPECT_EQ(settings[0].FileName, "/snd/begin.wav");
}

TEST_F(AudioDialogTest, SingleEnabledFollowsEachEntryAndIsNeverChanged) {
    Run([&](QDialog&) {
        auto* single = Child<QCheckBox>("SoundSBeep");
        EXPECT_FALSE(single->isEnabled());
        Child<QRadioButton>("ExpRunRB")->click();
        EXPECT_FALSE(single->isEnabled());
        Child<QRadioButton>("ExpStopRB")->click();
        EXPECT_TRUE(single->isEnabled());
        EXPECT_EQ(single->checkState(), Qt::Unchecked);
        Child<QRadioButton>("ExpStartRB")->click();
        EXPECT_FALSE(single->isEnabled());
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(settings[0].SingleEnabled, 0);
    EXPECT_EQ(settings[1].SingleEnabled, 0);
    EXPECT_EQ(settings[2].SingleEnabled, 1);
}

TEST_F(AudioDialogTest, GreyedStateSurvivesTheRoundTrip) {
    Run([&](QDialog&) {
        Child<QRadioButton>("ExpStopRB")->click();
        EXPECT_EQ(Child<QCheckBox>("SoundOFF")->checkState(), Qt::PartiallyChecked);
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(settings[2].Off, 2);
    EXPECT_EQ(settings[1].Off, 1);
}

TEST_F(AudioDialogTest, BrowseTakesTheChosenFileAndCancelKeepsTheName) {
    Run([&](QDialog&) {
        fakes.fake.fileAnswers = {"/sounds/ding.wav", ""};
        Child<QPushButton>("Button1")->click();
        EXPECT_EQ(Child<QLineEdit>("SoundNameEdit")->text(), "/sounds/ding.wav");
        Child<QPushButton>("Button1")->click();
        EXPECT_EQ(Child<QLineEdit>("SoundNameEdit")->text(), "/sounds/ding.wav");
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(settings[0].FileName, "/sounds/ding.wav");
}

TEST_F(AudioDialogTest, TestButtonPlaysOnceWithoutAMessage) {
    RecordingSound sound;
    SetSound(&sound);
    Run([&](QDialog&) {
        Child<QLineEdit>("SoundNameEdit")->setText("/no/such/file.wav");
        Child<QPushButton>("BitBtn1")->click();
        return int(QDialog::Rejected);
    });
    SetSound(nullptr);
    EXPECT_EQ(sound.once, std::vector<std::string>{"/no/such/file.wav"});
    EXPECT_EQ(sound.waits, 0);
    EXPECT_TRUE(fakes.fake.messages.empty());
    EXPECT_TRUE(fakes.fake.errors.empty());
}

} // namespace
} // namespace tavi
