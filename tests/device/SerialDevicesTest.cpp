// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/SerialDevices.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

// ttyS1 has no UART (type 0) and ttyS2 no class entry; ttyUSB10 sorts after ttyUSB9.
TEST(SerialDevices, ListsPresentPortsOnlyInKindOrder) {
    const fs::path root = fs::temp_directory_path() / ("tavi-ports-" + std::to_string(::getpid()));
    const std::string d = (root / "dev").string(), sys = (root / "sys").string();
    fs::create_directories(d + "/serial/by-id");
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB10", "ttyUSB9", "ttyACM0", "tty1"})
        std::ofstream(d + "/" + name);
    const std::pair<const char*, const char*> types[] = {{"ttyS0", "4"}, {"ttyS1", "0"}, {"ttyS10", "16"}};
    for (const auto& [name, type] : types) {
        fs::create_directories(sys + "/" + name);
        std::ofstream(sys + "/" + name + "/type") << type << '\n';
    }
    fs::create_symlink("../../ttyUSB9", d + "/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(tavi::ListSerialDevices(d, sys),
              (std::vector<std::string>{d + "/ttyS0", d + "/ttyS10", d + "/ttyUSB9", d + "/ttyUSB10",
                                        d + "/ttyACM0", d + "/serial/by-id/usb-FTDI-if00"}));
    fs::remove_all(root);
}
