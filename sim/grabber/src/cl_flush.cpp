// clFlushPort and clGetNumBytesAvail (Camera Link 1.1): in
// libclallserial.so and libclsersim.so, not in the Camera Link 1.0 variant
// of the vendor library, which the line must then be drained without.
#include <cstdint>

#include "cl_line.h"

using namespace vexq4::grabber;

CL_EXPORT int32_t clFlushPort(void* serialRef) {
  Line* line = Lines().Find(serialRef);
  if (!line) return kInvalidReference;
  line->FlushInput();
  return kOk;
}

CL_EXPORT int32_t clGetNumBytesAvail(void* serialRef, uint32_t* numBytes) {
  Line* line = Lines().Find(serialRef);
  if (!line) return kInvalidReference;
  if (!numBytes) return kBufferTooSmall;
  *numBytes = line->BytesAvailable();
  return kOk;
}
