#include "status.h"

namespace vexq4::cli {

std::string StatusText(int status, std::string_view file) {
  switch (status) {
    case 0:
      return "COMPLETE";
    case -1:
      return "Invalid input parameter";
    case -2:
      return "Unable to open communication port";
    case -3:
    case -4:
      return "Unknown Command";
    case -5:
      return "Operation failed. The Camera is offline";
    case -6:
      return "Timeout waiting for answer";
    case -7:
      return "Error writing to file";
    case -8:
      return "Error reading file";
    case -9:
      return "The file \"" + std::string(file) + "\" is not a valid inifile for RX-Q4";
    // Camera Link serial errors pass through from the grabber's library.
    case -10001:
      return "Camera Link: buffer too small";
    case -10002:
      return "Camera Link: manufacturer does not exist";
    case -10003:
      return "Camera Link: port in use";
    case -10004:
      return "Camera Link: time-out";
    case -10005:
      return "Camera Link: invalid index";
    case -10006:
      return "Camera Link: invalid serial reference";
    case -10007:
      return "Camera Link: error text not found";
    case -10008:
      return "Camera Link: baud rate not supported";
    case -10009:
      return "Camera Link: out of memory";
    case -10098:
      return "Camera Link: unable to load a library";
    case -10099:
      return "Camera Link: function not found";
    default:
      return "error";
  }
}

std::string DescribeStatus(int status, std::string_view file) {
  return "status " + std::to_string(status) + ": " + StatusText(status, file);
}

std::string LinkStatusText(int status) {
  if (status == -8) return "Camera Link library or function missing";
  if (status == -2) return "COM port not openable";
  return StatusText(status);
}

std::string ConnectFailure(std::string_view what, int status, bool cameraLink) {
  // The status with its own text first, then the control's words for a
  // failed connection.
  std::string text = std::string(what) + ": status " + std::to_string(status) + ": " +
                     LinkStatusText(status) + "; ";
  if (cameraLink && status != -5 && status != -6)
    text += "Frame Grabber Manufacturer not found";
  else
    text +=
        "Camera not found or unable to open communication port. Make sure that no other "
        "programs are connected to this port.";
  if (cameraLink) text += " ('vexq4 grabbers' lists the frame grabbers)";
  return text;
}

std::string DeviceConnectFailure(std::string_view what, int status, std::string_view diagnosis) {
  return std::string(what) + ": " + std::string(diagnosis) + " (status " + std::to_string(status) +
         ": " + LinkStatusText(status) + ")";
}

}  // namespace vexq4::cli
