// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the spectrometer on the port and watching its power line.
#include "app/UCW.h"
#include "acquisition/SpectrometerLink.h"
#include "device/SerialDevices.h"
#include "device/UOutMess.h"
#include "platform/Seams.h"

#include <QAction>
#include <QTimer>

namespace tavi {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
QString ErrorText(const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
}
} // namespace

void TFCW::ConnectPortEvents() {
    port_.OnRxFlag = [this] { ComPort1RxFlag(); };
    port_.OnDSRChange = [this] { ComPort1DSRChange(); };
    port_.OnCTSChange = [this] { ComPort1DSRChange(); };
    port_.OnDeviceLost = [this](const EComError& e) { ComPort1DeviceLost(e); };
}

void TFCW::MLinkClick() {
    setWindowTitle(QStringLiteral("CW NMR/ESR Spectrometer- Checking device ready"));
    for (QAction* a : MSpcCOMItems)
        a->setEnabled(false);
    MLink->setEnabled(false);
    UnitSerial.clear(); // so "Device not ready" tells whether this attempt got an answer
    try {
        port_.PurgeIn();
        port_.PurgeOut();
        port_.Open();
        SpectrometerOn = port_.ModemStatus() == ModemBit(msDSR);
    } catch (const std::exception& e) {
        Dialogs().ShowError(this, ErrorText(e));
        // Back to "not connected" so the operator can pick another port.
        if (port_.Active()) {
            try {
                port_.Close();
            } catch (const std::exception&) {
            }
        }
        for (QAction* a : MSpcCOMItems)
            a->setEnabled(true);
        MLink->setEnabled(true);
        RefreshCaption();
        return;
    }
    setEnabled(false);
    SetFieldSource(3);
    CheckAttempt = SpectrometerLink::kCheckStarted;
    Timer1->start();
}

void TFCW::Timer1Timer() {
    if (CheckAttempt < SpectrometerLink::kCheckStarted || CheckAttempt > 200)
        return;
    try {
        if (DeviceReady) {
            Timer1->stop();
            RefreshCaption();
            setEnabled(true);
            port_.PurgeIn();
            port_.PurgeOut();
            commands_.Send(lines::ReadyAck());
            return;
        }
        ++CheckAttempt;
        if (CheckAttempt < SpectrometerLink::kCheckGivenUp)
            commands_.SendIdentify();
    } catch (const std::exception& e) {
        Dialogs().ShowError(this, ErrorText(e));
    }
    if (CheckAttempt < SpectrometerLink::kCheckGivenUp)
        return;
    Timer1->stop();
    CheckAttempt = 0;
    const MsgResult answer =
        Dialogs().Message(this, NotReadyText(), MsgIcon::Error, MsgButtons::RetryIgnore);
    if (answer == MsgResult::Retry) {
        CheckAttempt = SpectrometerLink::kCheckStarted;
        Timer1->start();
        return;
    }
    SetDeviceReady(false);
    try {
        port_.Close();
    } catch (const std::exception& e) {
        Dialogs().ShowError(this, ErrorText(e));
    }
    setEnabled(true);
}

QString TFCW::NotReadyText() const {
    const std::string name = port_.DeviceName();
    const std::string path = SerialDevicePath(name);
    const QString port = path == name ? Q(name) : QStringLiteral("%1 (%2)").arg(Q(name), Q(path));
    QString cause;
    if (!UnitSerial.empty())
        cause = QStringLiteral("The spectrometer (unit #%1) answered but never sent its field "
                               "offsets; switch it off and on, then Retry.")
                    .arg(Q(UnitSerial));
    else if (!SpectrometerOn)
        cause = QStringLiteral("No answer, and the port shows no power from the spectrometer "
                               "(DSR off): is it switched on and its cable on this port?");
    else
        cause = QStringLiteral("No answer to the identify command although the spectrometer's "
                               "power line is on: is this its port?");
    return QStringLiteral("Device not ready\n\nPort: %1\n%2").arg(port, cause);
}

void TFCW::ComPort1DSRChange() {
    bool on = false;
    try {
        on = port_.ModemStatus() == ModemBit(msDSR);
    } catch (const std::exception& e) {
        Dialogs().ShowError(this, ErrorText(e));
        return;
    }
    if (on == SpectrometerOn)
        return;
    SpectrometerOn = on;
    if (on) {
        Dialogs().Message(this, QStringLiteral("Spectrometer is ON"), MsgIcon::Warning,
                          MsgButtons::Ok);
        return;
    }
    EndRunOnDisconnect();
    SetDeviceReady(false);
    Dialogs().Message(this, QStringLiteral("Spectrometer is OFF"), MsgIcon::Warning,
                      MsgButtons::Ok);
}

void TFCW::DropConnection() {
    Timer1->stop();
    CheckAttempt = 0;
    EndRunOnDisconnect();
    SetDeviceReady(false);
    SpectrometerOn = false;
    RxLine.Clear();
    if (port_.Active()) {
        try {
            port_.Close();
        } catch (const std::exception&) {
            // The device is gone already; nothing more to release.
        }
    }
    setEnabled(true);
}

void TFCW::ComPort1DeviceLost(const EComError& error) {
    const QString port = QString::fromStdString(port_.DeviceName());
    DropConnection();
    Dialogs().Message(this,
                      QStringLiteral("The connection to the spectrometer on %1 was lost (%2). "
                                     "Check the cable, then choose Connect again.")
                          .arg(port, QString::fromLocal8Bit(error.what())),
                      MsgIcon::Error, MsgButtons::Ok);
}

} // namespace tavi
