// The tests' name for the simulator's sysfs tree of USB cameras.
#pragma once

#include "sim/UsbTree.h"

namespace quorix::test {

using SysfsTree = sim::UsbTree;
using sim::UdevEvent;

}  // namespace quorix::test
