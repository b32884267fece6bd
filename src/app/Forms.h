// SPDX-License-Identifier: GPL-3.0-or-later
// The program's windows, created once in their fixed order and kept until the end.
#pragma once

#include "device/SerialPort.h"

#include <memory>
#include <string>

namespace tavi {

class TFCW;
class TMDialogBox;
class TMDirectories;
class TFDataProc;
class TFService;
class TMAudioDlgBox;
class TMUsersAssist;
class TFCompare;

class TaviForms {
public:
    // exeDir: where TAVI.INI lives (empty: the executable's directory).
    explicit TaviForms(ISerialPort& port, std::string exeDir = {});
    ~TaviForms();
    TaviForms(const TaviForms&) = delete;
    TaviForms& operator=(const TaviForms&) = delete;

    TFCW* FCW() const { return fcw_.get(); }
    TMDialogBox* MDialogBox() const { return dialogBox_.get(); }
    TMDirectories* MDirectories() const { return directories_.get(); }
    TFDataProc* FDataProc() const { return dataProc_.get(); }
    TFService* FService() const { return service_.get(); }
    TMAudioDlgBox* MAudioDlgBox() const { return audio_.get(); }
    TMUsersAssist* MUsersAssist() const { return about_.get(); }
    TFCompare* FCompare() const { return compare_.get(); }

private:
    std::unique_ptr<TFCW> fcw_;
    std::unique_ptr<TMDialogBox> dialogBox_;
    std::unique_ptr<TMDirectories> directories_;
    std::unique_ptr<TFDataProc> dataProc_;
    std::unique_ptr<TFService> service_;
    std::unique_ptr<TMAudioDlgBox> audio_;
    std::unique_ptr<TMUsersAssist> about_;
    std::unique_ptr<TFCompare> compare_;
};

} // namespace tavi
