// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's view of its spectrometer link: the reports of the link and
// of its run handed to the window's effects (private to the window's files).
#pragma once

#include "app/UCW.h"
#include "dialogs/UService.h"
#include "platform/Seams.h"

#include <QLabel>
#include <QString>
#include <QTimer>
#include <string>

namespace tavi {

class TFCW::LinkView final : public IAcquisitionObserver {
public:
    explicit LinkView(TFCW& w) : w_(w) {}

    // ---- reports ----
    void LineReceived(const std::string& line) override {
        w_.NoteDeviceActivity();
        // Overlong lines too: the monitor lists every line.
        if (w_.Service && w_.Service->isVisible())
            w_.Service->AppendMonitorLine(QString::fromLatin1(line.data(), Size(line)));
    }
    void ConnectionChanged(ConnectionState state) override {
        if (state != ConnectionState::Connected)
            return;
        w_.Timer1->stop();
        w_.RefreshCaption();
        w_.setEnabled(true);
    }
    void ConnectionCheckFailed() override { w_.ConnectionCheckFailed(); }
    void IdentityChanged() override { w_.ShowIdentity(); }
    void DeviceReadySet(bool ready) override { w_.ShowDeviceReady(ready); }
    void FieldSourceChanged(int code) override { w_.ShowFieldSource(code); }
    void PowerChanged(bool on) override {
        Dialogs().Message(&w_, on ? QStringLiteral("Spectrometer is ON")
                                  : QStringLiteral("Spectrometer is OFF"),
                          MsgIcon::Warning, MsgButtons::Ok);
    }
    void DeviceLost(const std::string& message) override {
        w_.Timer1->stop();
        w_.setEnabled(true);
        Dialogs().Message(&w_,
                          QString::fromLocal8Bit(message) +
                              QStringLiteral(" Check the cable, then choose Connect again."),
                          MsgIcon::Error, MsgButtons::Ok);
    }
    void DeviceError(const std::string& code) override {
        w_.Panels[4]->setText(QStringLiteral("Error: ") + QString::fromLatin1(code));
    }
    void HoldChanged(bool hold) override { w_.SetHoldState(hold); }
    void Problem(const std::string& message) override {
        Dialogs().ShowError(&w_, QString::fromLocal8Bit(message));
    }

    void OutOfRangeCounted(int count) override { w_.ShowOutOfRange(count); }

    // ---- the run ----
    void RunStateChanged(tavi::RunState state) override { w_.ShowRunState(state); }
    void PassBegun(int pass, int /*points*/) override { w_.ShowPassBegun(pass); }
    void PointStored(int index, int value) override { w_.ShowPoint(index, value); }
    void HeldPointChanged(int index, int value) override { w_.ShowHeldPoint(index, value); }
    void PassEnded(int /*pass*/) override { w_.ShowAverage(); }
    void IdleReplyArrived() override { w_.ShowIdleReply(); }
    void IdleReplyHandled() override { w_.ShowIdleHandled(); }
    void ExperimentFinished() override { w_.ShowExperimentFinished(); }
    void RunAborted() override { w_.RunAborted(); }
    void RunCutShort(tavi::RunState before) override { w_.EndRunOnDisconnect(before); }
    void RecoveryFailed(const std::string& message) override {
        Dialogs().Message(&w_, QString::fromLocal8Bit(message), MsgIcon::Warning, MsgButtons::Ok);
    }

private:
    static qsizetype Size(const std::string& s) { return static_cast<qsizetype>(s.size()); }
    TFCW& w_;
};

} // namespace tavi
