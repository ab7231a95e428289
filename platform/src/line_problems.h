// The record behind LastLineProblem (serial_device.h).
#pragma once

#include <string>

#include "vexq4/platform/serial_device.h"

namespace vexq4::platform::detail {

void RecordLineProblem(const std::string& name, OpenError error, std::string detail);

}  // namespace vexq4::platform::detail
