// libclsersim.so: a frame grabber vendor's Camera Link serial library, made
// for trying the system without a grabber. Its one serial port (index 0) is
// the device named by VEXQ4_CLSERSIM_DEVICE, usually the pseudo-terminal of
// the camera simulator (bin/vexq4-sim).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cl_line.h"

#define CL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vexq4::grabber;

namespace {

LineTable& Lines() {
  static LineTable table;
  return table;
}

std::string DevicePath() {
  const char* path = std::getenv("VEXQ4_CLSERSIM_DEVICE");
  return path ? path : "";
}

}  // namespace

CL_EXPORT int32_t clGetManufacturerInfo(char* manufacturerName, uint32_t* bufferSize,
                                        uint32_t* version) {
  if (!version) return kBufferTooSmall;
  const std::int32_t result = CopyOut(kManufacturerName, manufacturerName, bufferSize);
  *version = kVersion2_0;
  return result;
}

CL_EXPORT int32_t clGetNumSerialPorts(uint32_t* numSerialPorts) {
  if (!numSerialPorts) return kBufferTooSmall;
  *numSerialPorts = 1;
  return kOk;
}

CL_EXPORT int32_t clGetSerialPortIdentifier(uint32_t serialIndex, char* type, uint32_t* bufferSize) {
  if (serialIndex != 0) return kInvalidIndex;
  const std::string device = DevicePath();
  return CopyOut(device.empty() ? "sim0" : "sim0 " + device, type, bufferSize);
}

CL_EXPORT int32_t clSerialInit(uint32_t serialIndex, void** serialRefPtr) {
  if (serialIndex != 0) return kInvalidIndex;
  if (!serialRefPtr) return kInvalidReference;
  std::unique_ptr<Line> line;
  if (const std::int32_t result = Line::Open(DevicePath(), line); result != kOk) return result;
  void* ref = Lines().Add(std::move(line));
  if (!ref) return kPortInUse;
  *serialRefPtr = ref;
  return kOk;
}

CL_EXPORT int32_t clSerialRead(void* serialRef, char* buffer, uint32_t* bufferSize,
                               uint32_t serialTimeout) {
  Line* line = Lines().Find(serialRef);
  return line ? line->Read(buffer, bufferSize, serialTimeout) : kInvalidReference;
}

CL_EXPORT int32_t clSerialWrite(void* serialRef, char* buffer, uint32_t* bufferSize,
                                uint32_t serialTimeout) {
  Line* line = Lines().Find(serialRef);
  return line ? line->Write(buffer, bufferSize, serialTimeout) : kInvalidReference;
}

CL_EXPORT void clSerialClose(void* serialRef) { Lines().Remove(serialRef); }

CL_EXPORT int32_t clGetSupportedBaudRates(void* serialRef, uint32_t* baudRates) {
  if (!Lines().Find(serialRef)) return kInvalidReference;
  if (!baudRates) return kBufferTooSmall;
  *baudRates = kSupportedBaudRates;
  return kOk;
}

CL_EXPORT int32_t clSetBaudRate(void* serialRef, uint32_t baudRate) {
  Line* line = Lines().Find(serialRef);
  return line ? line->SetBaudRate(baudRate) : kInvalidReference;
}

CL_EXPORT int32_t clGetErrorText(int32_t errorCode, char* errorText, uint32_t* errorTextSize) {
  return ErrorText(errorCode, errorText, errorTextSize);
}
