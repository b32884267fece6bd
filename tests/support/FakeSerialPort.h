// SPDX-License-Identifier: GPL-3.0-or-later
// An ISerialPort for window tests: records every line written and lets the
// test feed reply bytes and toggle modem lines, all on the calling thread.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "device/SerialPort.h"

namespace tavi::test {

class FakeSerialPort : public ISerialPort {
public:
    void Open() override {
        if (active_)
            return;
        if (!openError.empty())
            throw EComError(2, openError);
        active_ = true;
        ++opens;
    }
    void Close() override { active_ = false; }
    bool Active() const override { return active_; }
    void WriteText(std::string_view text) override {
        if (!active_)
            throw EComError(0, "Can't perform this operation on a closed port");
        if (text.empty())
            return;
        written.emplace_back(text);
    }
    char ReadChar() override {
        if (!active_)
            throw EComError(0, "Can't perform this operation on a closed port");
        if (input_.empty())
            throw EComError(0, "Timeout");
        char c = input_.front();
        input_.pop_front();
        return c;
    }
    int WaitingCount() override { return active_ ? static_cast<int>(input_.size()) : 0; }
    TModemStatus ModemStatus() override {
        if (!active_)
            throw EComError(0, "Can't perform this operation on a closed port");
        return modem_;
    }
    void PurgeIn() override {
        if (active_)
            input_.clear();
    }
    void PurgeOut() override {}
    std::string DeviceName() const override { return name_; }
    void SetDeviceName(const std::string& name) override {
        if (active_ && name != name_)
            throw EComError(0, "Can't perform this operation on an open port");
        name_ = name;
    }

    // Queues bytes and raises the line event when they contain a CR.
    void Feed(std::string_view bytes) {
        input_.insert(input_.end(), bytes.begin(), bytes.end());
        if (bytes.find('\r') != std::string_view::npos && OnRxFlag)
            OnRxFlag();
    }
    // Sets the modem lines and raises the DSR and CTS change events that apply.
    void SetModem(TModemStatus status) {
        TModemStatus changed = modem_ ^ status;
        modem_ = status;
        if ((changed & ModemBit(msCTS)) && OnCTSChange)
            OnCTSChange();
        if ((changed & ModemBit(msDSR)) && OnDSRChange)
            OnDSRChange();
    }
    void Vanish(const std::string& why = "Input/output error") {
        if (OnDeviceLost)
            OnDeviceLost(EComError(5, why));
    }
    // Lines written, each with its CR.
    std::vector<std::string> written;
    std::string openError;
    int opens = 0;
    std::vector<std::string> TakeWritten() {
        std::vector<std::string> out;
        out.swap(written);
        return out;
    }

private:
    bool active_ = false;
    std::string name_ = "COM1";
    std::deque<char> input_;
    TModemStatus modem_ = 0;
};

} // namespace tavi::test
