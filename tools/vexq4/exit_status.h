// Exit statuses of vexq4.
#pragma once

namespace vexq4::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the camera, the port or a file failed
inline constexpr int kExitUsage = 2;    // bad command line or refused value

}  // namespace vexq4::cli
