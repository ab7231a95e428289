#include "host_status.h"

namespace vexq4::hosts {

using model::Status;

std::string StatusText(Status status, std::string_view file) {
  std::string words(model::Describe(status).words);
  if (status == Status::kInvalidSettingsFile) {
    const auto at = words.find("%s");
    if (at != std::string::npos) words.replace(at, 2, file);
  }
  return words;
}

std::string DescribeStatus(Status status, std::string_view file) {
  return "status " + std::to_string(model::CodeOf(status)) + ": " + StatusText(status, file);
}

std::string ConnectFailure(std::string_view what, int status, bool cameraLink) {
  // The status with its own text first, then the control's words for a
  // failed connection.
  std::string text = std::string(what) + ": status " + std::to_string(status) + ": " +
                     StatusText(model::LibraryStatus(status)) + "; ";
  if (cameraLink && status != model::CodeOf(Status::kOffline) &&
      status != model::CodeOf(Status::kTimeout))
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
         ": " + StatusText(model::LibraryStatus(status)) + ")";
}

}  // namespace vexq4::hosts
