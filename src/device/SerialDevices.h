// SPDX-License-Identifier: GPL-3.0-or-later
// The serial devices present on this machine, for the port menu.
#pragma once

#include <string>
#include <vector>

namespace tavi {

// Paths of the serial devices present, sorted within each kind: the on-board
// ports /dev/ttyS* whose UART the kernel found (a node exists for every
// possible port, so the node alone proves nothing), then /dev/ttyUSB*,
// /dev/ttyACM* and the stable names in /dev/serial/by-id. The roots are
// parameters so that tests can lay out their own.
// The device file a port name stands for: "COM1".."COM4" are /dev/ttyS0..3,
// anything else is a path already.
std::string SerialDevicePath(const std::string& portName);

std::vector<std::string> ListSerialDevices(const std::string& devDir = "/dev",
                                           const std::string& sysTtyDir = "/sys/class/tty");

} // namespace tavi
