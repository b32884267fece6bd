// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Forms.h"

#include "app/UCW.h"
#include "comparewin/UCompare.h"
#include "dialogs/AudioDlgB.h"
#include "dialogs/DlgBox1.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "processing/UDataProc.h"
#include "setup/DirDlgB.h"

#include <QAction>

namespace tavi {

TaviForms::TaviForms(ISerialPort& port, std::string exeDir) {
    // The order is the program's: the main window first (it reads the
    // preferences the later windows are given).
    fcw_ = std::make_unique<TFCW>(port, nullptr, std::move(exeDir));
    dialogBox_ = std::make_unique<TMDialogBox>();
    directories_ = std::make_unique<TMDirectories>();
    dataProc_ = std::make_unique<TFDataProc>();
    service_ = std::make_unique<TFService>();
    audio_ = std::make_unique<TMAudioDlgBox>();
    about_ = std::make_unique<TMUsersAssist>();
    fcw_->AttachForms(dialogBox_.get(), directories_.get(), dataProc_.get(), service_.get(),
                      audio_.get(), about_.get());
    // Created last: no window of the program's own order depends on it.
    compare_ = std::make_unique<TFCompare>();
    auto showCompare = [this] {
        compare_->SetDataDirectory(dataProc_->AcquisitionDirectory());
        compare_->ShowWindow();
    };
    QObject::connect(fcw_->MCompareFiles, &QAction::triggered, compare_.get(), showCompare);
    QObject::connect(dataProc_->MCompareFiles, &QAction::triggered, compare_.get(), showCompare);
}

TaviForms::~TaviForms() {
    fcw_->AttachForms(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    compare_.reset();
    about_.reset();
    audio_.reset();
    service_.reset();
    dataProc_.reset();
    directories_.reset();
    dialogBox_.reset();
    fcw_.reset();
}

} // namespace tavi
