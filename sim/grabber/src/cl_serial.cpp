// The standard serial functions that both simulated libraries export in the
// same form; each library links its own copy and so its own table of lines.
#include <cstdint>

#include "cl_line.h"

using namespace vexq4::grabber;

namespace vexq4::grabber {

LineTable& Lines() {
  static LineTable table;
  return table;
}

std::int32_t InitLine(const std::string& path, void** serialRefPtr) {
  if (!serialRefPtr) return kInvalidReference;
  std::unique_ptr<Line> line;
  if (const std::int32_t result = Line::Open(path, line); result != kOk) return result;
  void* ref = Lines().Add(std::move(line));
  if (!ref) return kPortInUse;
  *serialRefPtr = ref;
  return kOk;
}

}  // namespace vexq4::grabber

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
