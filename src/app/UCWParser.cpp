// SPDX-License-Identifier: GPL-3.0-or-later
// What the link's replies do to the window: the pass replies of the window's
// run, the identity, the hold, the field source and readiness on the controls.
#include "app/UCW.h"
#include "common/Usr.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "params/NumFormat.h"
#include "params/UTextTbl.h"
#include "platform/Controls.h"
#include "platform/Seams.h"
#include "platform/Sound.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

namespace tavi {

void TFCW::ShowRunState(tavi::RunState state) {
    switch (state) {
    case tavi::RunState::Running:
        SetPanelValue(2, QStringLiteral("Experiment in progress - please wait"));
        HoldToolB->setEnabled(true);
        break;
    case tavi::RunState::PassEnded:
        SetPanelValue(2, QStringLiteral("End of experiment - please wait"));
        HoldToolB->setEnabled(false);
        break;
    case tavi::RunState::Aborting:
        SetPanelValue(2, QStringLiteral("Experiment aborted - please wait"));
        HoldToolB->setEnabled(false);
        break;
    default: // the others come with their own reports
        break;
    }
}

void TFCW::ShowIdleReply() {
    SetHoldState(false);
    // What follows (the next pass, the end) reads the controls as they are now.
    SyncRun();
    if (RunState() == tavi::RunState::PassEnded) {
        const TSoundSetting& sweepEnd = SoundSettings[SweepEndSound];
        if (sweepEnd.Off == 0)
            Sound().PlayAndWait(sweepEnd.FileName);
    }
}

void TFCW::ShowIdleHandled() {
    SetPanelValue(0, QString::fromStdString(
                         Format("%d of %d", {Arg(PassCounter()), Arg(AccUpDown->Position())})));
}

void TFCW::ShowOutOfRange(int count) {
    if (!OutOfRangeLab)
        return;
    OutOfRangeLab->show();
    OutOfRangeLab->setText(QString::fromStdString(Format(" Out of range: %d ", {Arg(count)})));
    OutOfRangeLab->adjustSize();
}

void TFCW::ShowIdentity() {
    if (DeviceVersion() == "2.0") {
        ModAmpUpDown->SetMax(kModAmpMaxIndex);
        CurrentDirectionAvailable = true;
    } else {
        CurrentDirectionAvailable = false;
    }
    if (AboutDlg)
        AboutDlg->SetDeviceVersion(QString::fromLatin1(DeviceVersion()));
    // The caption shows the serial only once connected; before that the
    // connection check owns the caption.
    if (DeviceReady())
        RefreshCaption();
}

void TFCW::SetHoldState(bool hold) {
    HoldToolB->setChecked(hold);
    HoldToolB->setText(hold ? QStringLiteral("Continue") : QStringLiteral("Hold"));
    if (hold)
        SetPanelValue(2, QStringLiteral("Experiment on Hold"));
    else if (RunState() == tavi::RunState::Running)
        SetPanelValue(2, QStringLiteral("Experiment in progress - please wait"));
    else
        SetPanelValue(2, QString());
    if (HoldList.size() != 21)
        return;
    for (int i = 0; i <= 6; ++i)
        HoldList[i]->setEnabled(hold);
    const int first = FieldSwRngRB->isChecked() ? 8 : 14;
    for (int i = first; i < first + 7; ++i)
        HoldList[i]->setEnabled(hold);
}

void TFCW::ShowFieldSource(int code) {
    if (code < 0 || code > 5)
        return; // no text and no meaning: left as it was
    SetPanelValue(3, QString::fromStdString(FieldSourceName(code)));
    const int all = (code == 0 || code == 1 || code == 4) ? 1 : 0;
    ModeAvailable.fill(all);
    if (code == 1)
        ModeAvailable[rmESR] = 0;
    if (code == 2)
        ModeAvailable[rmESR] = 1;
    if (code == 3 || code == 5) {
        SetControlsEnabled(false);
        EnableChildren(AcquisitionBox, false);
    } else {
        SetControlsEnabled(true);
        EnableChildren(AcquisitionBox, true);
        HoldToolB->setEnabled(false);
    }
    if (code == 1 || code == 2 || code == 4)
        ApplyParameters();
}

void TFCW::SetControlsEnabled(bool on) {
    EnableChildren(ResonanceBox, on);
    EnableChildren(ReceiverBox, on);
    EnableChildren(FModulatorBox, on);
    StartToolB->setEnabled(on);
    MOpensetup->setEnabled(on);
    MSavesetupas->setEnabled(on);
    MSavesetup->setEnabled(on && CurrentSetup.SaveEnabled);
    MCDirFWD->setEnabled(on);
    MCDirREV->setEnabled(on);
    if (!on)
        return;
    const bool freqSweepPossible = CurrentMode != rmESR;
    FreqSwRngRB->setEnabled(freqSweepPossible);
    FreqSwRngVal->setEnabled(freqSweepPossible);
    FreqSwRngUpDown->setEnabled(freqSweepPossible);
    for (int m = 0; m < kModeCount; ++m)
        ModeRB[m]->setEnabled(ModeAvailable[m] == 1);
}

void TFCW::SetPanelValue(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(Panels.size()))
        return;
    QLabel* p = Panels[panel];
    p->setText(QString::fromStdString(PanelValueText(p->text().toStdString(), text.toStdString())));
}

void TFCW::ShowDeviceReady(bool ready) {
    RefreshCaption();
    if (!ready) {
        for (QAction* a : MSpcCOMItems)
            a->setEnabled(true);
        MLink->setEnabled(true);
        Run().SetState(tavi::RunState::Idle);
        ShowFieldSource(0);
        SetPanelValue(2, QStringLiteral("disconnected"));
    } else {
        SetPanelValue(2, QString());
    }
}

} // namespace tavi
