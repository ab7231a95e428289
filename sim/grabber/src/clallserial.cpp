// libclallserial.so: the manufacturer-independent Camera Link serial
// library, simulated. Its ports 0, 1, ... are the devices named by
// VEXQ4_CLALLSERIAL_DEVICE0, VEXQ4_CLALLSERIAL_DEVICE1, ... (counted up to
// the first variable that is not set, 16 at most).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cl_line.h"

using namespace vexq4::grabber;

namespace {

constexpr std::uint32_t kMaxPorts = 16;

std::string DevicePath(std::uint32_t index) {
  const std::string name = "VEXQ4_CLALLSERIAL_DEVICE" + std::to_string(index);
  const char* path = std::getenv(name.c_str());
  return path ? path : "";
}

std::uint32_t PortCount() {
  std::uint32_t n = 0;
  while (n < kMaxPorts && !DevicePath(n).empty()) ++n;
  return n;
}

}  // namespace

CL_EXPORT int32_t clGetNumPorts(uint32_t* numPorts) {
  if (!numPorts) return kBufferTooSmall;
  *numPorts = PortCount();
  return kOk;
}

CL_EXPORT int32_t clGetPortInfo(uint32_t serialIndex, char* manufacturerName, uint32_t* nameBytes,
                                char* portID, uint32_t* IDBytes, uint32_t* version) {
  if (serialIndex >= PortCount()) return kInvalidIndex;
  if (!nameBytes || !IDBytes || !version) return kBufferTooSmall;
  const std::string name = kManufacturerName;
  const std::string id = "sim" + std::to_string(serialIndex) + " " + DevicePath(serialIndex);
  const auto nameNeeded = static_cast<uint32_t>(name.size() + 1);
  const auto idNeeded = static_cast<uint32_t>(id.size() + 1);
  if (!manufacturerName || !portID || *nameBytes < nameNeeded || *IDBytes < idNeeded) {
    *nameBytes = nameNeeded;
    *IDBytes = idNeeded;
    return kBufferTooSmall;
  }
  CopyOut(name, manufacturerName, nameBytes);
  CopyOut(id, portID, IDBytes);
  *version = kVersion2_0;
  return kOk;
}

CL_EXPORT int32_t clSerialInit(uint32_t serialIndex, void** serialRefPtr) {
  if (serialIndex >= PortCount()) return kInvalidIndex;
  return InitLine(DevicePath(serialIndex), serialRefPtr);
}
