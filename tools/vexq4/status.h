// Status codes of the model and the library, and how the host reports them.
#pragma once

#include <string>
#include <string_view>

namespace vexq4::cli {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the camera, the port or a file failed
inline constexpr int kExitUsage = 2;    // bad command line or refused value

// The model's text for a status ("Timeout waiting for answer", ...). `file`
// fills the invalid-settings-file text.
std::string StatusText(int status, std::string_view file = {});

// "status -6: Timeout waiting for answer".
std::string DescribeStatus(int status, std::string_view file = {});

// A status of the communication library outside the model's file
// operations: -8 there means a Camera Link library is missing.
std::string LinkStatusText(int status);

// Why a connection could not be made, in the control's words.
std::string ConnectFailure(std::string_view what, int status, bool cameraLink);

// Why a connection to a serial device could not be made: what is wrong
// with the device (no such device, permission denied, ...), then the status.
std::string DeviceConnectFailure(std::string_view what, int status, std::string_view diagnosis);

}  // namespace vexq4::cli
