// How the hosts report the outcomes of the library and the model, in the
// words of their one description (vexq4/model/status.h).
#pragma once

#include <string>
#include <string_view>

#include "vexq4/model/status.h"

namespace vexq4::hosts {

// The outcome in words ("Timeout waiting for answer", ...). `file` fills
// the invalid-settings-file text.
std::string StatusText(model::Status status, std::string_view file = {});

// "status -6: Timeout waiting for answer": the code and the words.
std::string DescribeStatus(model::Status status, std::string_view file = {});

// Why a connection could not be made, in the control's words; `status` is
// the library's code.
std::string ConnectFailure(std::string_view what, int status, bool cameraLink);

// Why a connection to a serial device could not be made: what is wrong
// with the device (no such device, permission denied, ...), then the status.
std::string DeviceConnectFailure(std::string_view what, int status, std::string_view diagnosis);

}  // namespace vexq4::hosts
