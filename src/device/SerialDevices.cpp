// SPDX-License-Identifier: GPL-3.0-or-later
// Listing the serial devices present from /dev and the kernel's tty classes.
#include "device/SerialDevices.h"

#include "device/ComPort.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tavi {

namespace {

namespace fs = std::filesystem;

// Names in dir that start with prefix, sorted so that ttyUSB10 follows ttyUSB9.
std::vector<std::string> Matching(const fs::path& dir, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

// The kernel reports port type 0 (unknown) for a ttyS without a UART.
bool UartPresent(const fs::path& sysTtyDir, const std::string& name) {
    std::ifstream type(sysTtyDir / name / "type");
    int code = 0;
    return type >> code && code != 0;
}

} // namespace

std::string SerialDevicePath(const std::string& portName) {
    return TCustomComPort::DevicePath(portName);
}

std::vector<std::string> ListSerialDevices(const std::string& devDir,
                                           const std::string& sysTtyDir) {
    const fs::path dev(devDir);
    std::vector<std::string> out;
    for (const std::string& name : Matching(dev, "ttyS"))
        if (UartPresent(sysTtyDir, name))
            out.push_back((dev / name).string());
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const std::string& name : Matching(dev, prefix))
            out.push_back((dev / name).string());
    const fs::path byId = dev / "serial" / "by-id";
    for (const std::string& name : Matching(byId, ""))
        out.push_back((byId / name).string());
    return out;
}

} // namespace tavi
