// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/SerialDevices.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavi {
namespace {

namespace fs = std::filesystem;

TEST(SerialDevices, ListsPresentPortsOnlyInKindOrder) {
    const fs::path root = fs::temp_directory_path() / ("tavi-ports-" + std::to_string(::getpid()));
    const fs::path dev = root / "dev", sys = root / "sys";
    fs::create_directories(dev / "serial" / "by-id");
    const auto touch = [](const fs::path& p, const std::string& text = {}) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    };
    // ttyS1 has no UART (type 0), ttyS2 no class entry; ttyS10 sorts after ttyS3.
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS10", "ttyUSB10", "ttyUSB9",
                             "ttyACM0", "tty1", "null"})
        touch(dev / name);
    touch(sys / "ttyS0" / "type", "4\n");
    touch(sys / "ttyS1" / "type", "0\n");
    touch(sys / "ttyS3" / "type", "4\n");
    touch(sys / "ttyS10" / "type", "16\n");
    fs::create_symlink("../../ttyUSB9", dev / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0");

    const std::string d = dev.string();
    EXPECT_EQ(ListSerialDevices(d, sys.string()),
              (std::vector<std::string>{d + "/ttyS0", d + "/ttyS3", d + "/ttyS10",
                                        d + "/ttyUSB9", d + "/ttyUSB10", d + "/ttyACM0",
                                        d + "/serial/by-id/usb-FTDI_FT232R-if00-port0"}));
    // Missing folders are no error: nothing is present.
    EXPECT_TRUE(ListSerialDevices((root / "none").string(), (root / "none").string()).empty());
    fs::remove_all(root);
}

} // namespace
} // namespace tavi
