// SPDX-License-Identifier: GPL-3.0-or-later
// The window side of the reply lines: assembling, the monitor, the gate, and
// what each reply does to the device state and the controls.
#include "app/UCW.h"
#include "common/Usr.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "params/NumFormat.h"
#include "params/UTextTbl.h"
#include "platform/Controls.h"
#include "platform/Seams.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

namespace tavi {

void TFCW::ComPort1RxFlag() {
    NoteDeviceActivity();
    try {
        while (port_.WaitingCount() > 0) {
            bool complete = false;
            do {
                complete = RxLine.Push(port_.ReadChar());
                // Too long for the parser, but the monitor lists every line.
                if (RxLine.CutLineEnded() && Service && Service->isVisible())
                    Service->AppendMonitorLine(QString::fromLatin1(RxLine.CutLine()));
            } while (!complete && port_.WaitingCount() > 0);
            if (!complete)
                return; // the rest of the line comes with a later event
            // Taken out before acting, so a handler that waits in a nested
            // event loop cannot see or damage it.
            const std::string line = RxLine.Line();
            RxLine.Clear();
            if (Service && Service->isVisible())
                Service->AppendMonitorLine(QString::fromLatin1(line.data(), line.size()));
            const bool blocked = Service && Service->AnalysisBlocked();
            if (blocked || !(DeviceReady || line[0] == 'X' || line[0] == 'Z'))
                continue;
            try {
                DispatchReply(DecodeReply(line));
            } catch (const EConvertError& e) {
                // Only the first pass reads the count: a later pass begins
                // whatever the field holds, or its points would all be dropped
                // while the pass is still counted. Other lines are dropped.
                if (line[0] == 'A' && PassCounter != 1)
                    BeginPass(0);
                Dialogs().ShowError(this, QString::fromUtf8(e.what()));
            }
        }
    } catch (const std::exception& e) {
        Dialogs().ShowError(this, QString::fromLocal8Bit(e.what()));
    }
}

void TFCW::DispatchReply(const Reply& reply) {
    switch (reply.kind) {
    case Reply::A:
        BeginPass(reply.points);
        break;
    case Reply::B:
        SetPanelValue(2, QStringLiteral("Experiment in progress - please wait"));
        RunState = tavi::RunState::Running;
        HoldToolB->setEnabled(true);
        break;
    case Reply::C:
        SetPanelValue(2, QStringLiteral("End of experiment - please wait"));
        RunState = tavi::RunState::PassEnded;
        HoldToolB->setEnabled(false);
        EndPass();
        break;
    case Reply::D:
        SetHoldState(false);
        if (RunState == tavi::RunState::PassEnded) {
            PassFinished();
        } else if (RunState == tavi::RunState::Aborting) {
            SetPanelValue(2, QStringLiteral("Experiment aborted - ready"));
            StartToolB->setEnabled(true);
            SetControlsEnabled(true);
            RunState = tavi::RunState::Aborted;
            RunAborted();
        }
        SetPanelValue(0, QString::fromStdString(Format(
                             "%d of %d", {Arg(PassCounter), Arg(AccUpDown->Position())})));
        break;
    case Reply::E:
        Panels[4]->setText(QStringLiteral("Error: ") + QString::fromLatin1(reply.errorText));
        break;
    case Reply::F:
        SetPanelValue(2, QStringLiteral("Experiment aborted - please wait"));
        RunState = tavi::RunState::Aborting;
        HoldToolB->setEnabled(false);
        break;
    case Reply::H:
        SetHoldState(reply.hold);
        break;
    case Reply::M:
        SetFieldSource(reply.fieldSource);
        break;
    case Reply::V: {
        if (SignalDivisor == 0)
            break; // no "Z" yet: the point cannot be scaled
        if (reply.outOfRange) {
            OutOfRangeLab->show();
            ++OutOfRangeCount;
            OutOfRangeLab->setText(
                QString::fromStdString(Format(" Out of range: %d ", {Arg(OutOfRangeCount)})));
            OutOfRangeLab->adjustSize();
        }
        const int value = reply.raw / SignalDivisor - LevelTB->value();
        StorePoint(value);
        break;
    }
    case Reply::X:
        FieldZeroOffsets[rmH1] = reply.firstOffset;
        FieldZeroOffsets[rmF19] = reply.firstOffset;
        FieldZeroOffsets[rmESR] = reply.secondOffset;
        SetDeviceReady(true);
        break;
    case Reply::Z:
        UnitSerial = reply.serial.substr(0, 4);
        DeviceVersion = reply.version.substr(0, 3);
        if (DeviceVersion == "2.0") {
            ModAmpUpDown->SetMax(kModAmpMaxIndex);
            CurrentDirectionAvailable = true;
            SignalDivisor = 76000;
        } else {
            CurrentDirectionAvailable = false;
            SignalDivisor = 13500;
        }
        if (AboutDlg)
            AboutDlg->SetDeviceVersion(QString::fromLatin1(DeviceVersion));
        // The caption shows the serial only once connected; before that the
        // connection check owns the caption.
        if (DeviceReady)
            RefreshCaption();
        break;
    case Reply::Ignored:
        break;
    }
}

void TFCW::SetHoldState(bool hold) {
    HoldActive = hold;
    HoldToolB->setChecked(hold);
    HoldToolB->setText(hold ? QStringLiteral("Continue") : QStringLiteral("Hold"));
    if (hold)
        SetPanelValue(2, QStringLiteral("Experiment on Hold"));
    else if (RunState == tavi::RunState::Running)
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

void TFCW::SetFieldSource(int code) {
    if (code < 0 || code > 5)
        return; // no text and no meaning: left as it was
    if (code == FieldSource)
        return;
    FieldSource = static_cast<std::uint8_t>(code);
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

void TFCW::SetDeviceReady(bool ready) {
    DeviceReady = ready;
    RefreshCaption();
    if (!ready) {
        for (QAction* a : MSpcCOMItems)
            a->setEnabled(true);
        MLink->setEnabled(true);
        RunState = tavi::RunState::Idle;
        SetFieldSource(0);
        SetPanelValue(2, QStringLiteral("disconnected"));
    } else {
        SetPanelValue(2, QString());
    }
}

} // namespace tavi
