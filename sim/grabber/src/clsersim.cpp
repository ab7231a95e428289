// libclsersim.so: a frame grabber vendor's Camera Link serial library, made
// for trying the system without a grabber. Its one serial port (index 0) is
// the device named by VEXQ4_CLSERSIM_DEVICE, usually the pseudo-terminal of
// the camera simulator (bin/vexq4-sim). Built twice: as Camera Link 2.0
// (with clFlushPort and clGetNumBytesAvail, cl_flush.cpp) and, with
// VEXQ4_GRABBER_CL_1_0, as a Camera Link 1.0 library without them.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cl_line.h"

using namespace vexq4::grabber;

namespace {

std::string DevicePath() {
  const char* path = std::getenv("VEXQ4_CLSERSIM_DEVICE");
  return path ? path : "";
}

}  // namespace

#ifdef VEXQ4_GRABBER_CL_1_0
constexpr char kName[] = "RX-Q4 Simulated Grabber (Camera Link 1.0)";
constexpr std::uint32_t kVersion = kVersion1_0;
#else
constexpr const char* kName = kManufacturerName;
constexpr std::uint32_t kVersion = kVersion2_0;
#endif

CL_EXPORT int32_t clGetManufacturerInfo(char* manufacturerName, uint32_t* bufferSize,
                                        uint32_t* version) {
  if (!version) return kBufferTooSmall;
  const std::int32_t result = CopyOut(kName, manufacturerName, bufferSize);
  *version = kVersion;
  return result;
}

CL_EXPORT int32_t clGetNumSerialPorts(uint32_t* numSerialPorts) {
  if (!numSerialPorts) return kBufferTooSmall;
  *numSerialPorts = 1;
  return kOk;
}

CL_EXPORT int32_t clGetSerialPortIdentifier(uint32_t serialIndex, char* type,
                                            uint32_t* bufferSize) {
  if (serialIndex != 0) return kInvalidIndex;
  const std::string device = DevicePath();
  return CopyOut(device.empty() ? "sim0" : "sim0 " + device, type, bufferSize);
}

CL_EXPORT int32_t clSerialInit(uint32_t serialIndex, void** serialRefPtr) {
  if (serialIndex != 0) return kInvalidIndex;
  return InitLine(DevicePath(), serialRefPtr);
}
