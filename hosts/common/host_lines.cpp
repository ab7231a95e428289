#include "host_lines.h"

#include <cstdlib>

#include "host_properties.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/network_device.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::hosts {

std::string NumberRange::Text() const {
  return std::to_string(first) + ".." + std::to_string(last);
}

std::string LineName(LineKind kind, int number, std::string_view device) {
  switch (kind) {
    case LineKind::kCom:
      // The device too: COM numbers map to paths only in this system.
      return "COM" + std::to_string(number) + " (" +
             platform::ComPortDevicePath(static_cast<unsigned>(number)) + ")";
    case LineKind::kDevice:
      return std::string(device);
    case LineKind::kGrabber:
      return "frame grabber " + std::to_string(number);
    case LineKind::kAllSerial:
      break;
  }
  return "clallserial port " + std::to_string(number);
}

std::string DeviceNameProblem(std::string_view name) {
  if (name.empty()) return "an empty name names no device";
  if (!platform::IsNetworkDeviceName(name)) return {};
  std::string why;
  if (platform::ParseNetworkDeviceName(name, &why)) return {};
  return std::string(name) + ": " + why;
}

namespace {

std::string Variable(int port) { return "VEXQ4_COM" + std::to_string(port); }

}  // namespace

int ComPortFor(const std::string& device, const std::function<bool(int)>& taken) {
  for (int port = kComPorts.first; port <= kComPorts.last; ++port) {
    if (taken && taken(port)) continue;
    const char* value = std::getenv(Variable(port).c_str());
    if (value == nullptr || device == value) return port;
  }
  return 0;
}

void MapComPort(int port, const std::string& device) {
  ::setenv(Variable(port).c_str(), device.c_str(), 1);
}

ConnectionNumbers NumbersOf(const CVexCamInterface& model) {
  return {.port = std::get<int>(ValueOf(model, PortProperty())),
          .grabber = std::get<int>(ValueOf(model, GrabberProperty()))};
}

int Connect(CVexCamInterface& model, LineKind kind, int number) {
  switch (kind) {
    case LineKind::kGrabber:
      return model.ClSerialSetFrameGrabberIndex(number);
    case LineKind::kAllSerial:
      return model.ClAllSerialSetFrameGrabberIndex(number);
    case LineKind::kCom:
    case LineKind::kDevice:
      break;
  }
  // Setting the port opens it: as a COM port, the frame grabber index being
  // 0 on every host's model.
  return (model.*(PortProperty().notification->open))(number);
}

}  // namespace vexq4::hosts
