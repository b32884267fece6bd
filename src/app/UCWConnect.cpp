// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a view of the spectrometer link: the connection check's
// dialogs, and the link's reports turned into captions, panels and boxes.
#include "app/UCW.h"
#include "app/UCWLinkView.h"
#include "device/SerialDevices.h"
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

void TFCW::CreateLink() {
    view_ = std::make_unique<LinkView>(*this);
    link_ = std::make_unique<SpectrometerLink>(port_, *view_);
    link_->SetRepliesBlocked([this] { return Service && Service->AnalysisBlocked(); });
}

TFCW::~TFCW() {
    Timer1->stop();
    link_.reset(); // gives the port's handlers back before the view goes
}

void TFCW::MLinkClick() {
    setWindowTitle(QStringLiteral("CW NMR/ESR Spectrometer- Checking device ready"));
    for (QAction* a : MSpcCOMItems)
        a->setEnabled(false);
    MLink->setEnabled(false);
    try {
        link_->Connect();
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
    Timer1->start();
}

void TFCW::Timer1Timer() {
    link_->ConnectionTick();
}

void TFCW::ConnectionCheckFailed() {
    Timer1->stop();
    const MsgResult answer =
        Dialogs().Message(this, NotReadyText(), MsgIcon::Error, MsgButtons::RetryIgnore);
    if (answer == MsgResult::Retry) {
        link_->RetryConnection();
        Timer1->start();
        return;
    }
    link_->Disconnect();
    setEnabled(true);
}

QString TFCW::NotReadyText() const {
    const std::string name = port_.DeviceName();
    const std::string path = SerialDevicePath(name);
    const QString port = path == name ? Q(name) : QStringLiteral("%1 (%2)").arg(Q(name), Q(path));
    QString cause;
    if (!UnitSerial().empty())
        cause = QStringLiteral("The spectrometer (unit #%1) answered but never sent its field "
                               "offsets; switch it off and on, then Retry.")
                    .arg(Q(UnitSerial()));
    else if (!SpectrometerOn())
        cause = QStringLiteral("No answer, and the port shows no power from the spectrometer "
                               "(DSR off): is it switched on and its cable on this port?");
    else
        cause = QStringLiteral("No answer to the identify command although the spectrometer's "
                               "power line is on: is this its port?");
    return QStringLiteral("Device not ready\n\nPort: %1\n%2").arg(port, cause);
}

} // namespace tavi
