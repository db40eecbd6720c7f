#pragma once

#include "ComPort.h"

#include <string>
#include <vector>

namespace quorvel {

/// EnumComPorts over other roots, so that a fake tree can stand in for the system's:
/// sysClassTty for /sys/class/tty and devRoot for /dev. An entry counts when it has a
/// `device` link, is not a serial-core port of type 0 (a legacy ttyS the kernel lists without
/// a UART behind it) and its node devRoot/<name> exists. Description is the name of a
/// devRoot/serial/by-id link pointing at the node (the first in name order). Numbers: ttySn
/// gets n+1; the others follow the highest of those, in natural name order (ttyUSB2 before
/// ttyUSB10). Only the ttyS numbers map back to a device through TCustomComm::SetPort; the
/// others are for lists, select them by Path. Missing or unreadable roots give an empty list.
std::vector<TComPortInfo> EnumComPorts(const std::string& sysClassTty, const std::string& devRoot);

}  // namespace quorvel
