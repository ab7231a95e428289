// Why a serial device gave no connection, found by looking at the device
// itself after the model's failed connect (whose -5 says only "offline").
#pragma once

#include <string>

namespace vexq4::hosts {

enum class DeviceProblem {
  kNoDevice,    // no such device (or no device named for the port)
  kPermission,  // not allowed to open it
  kBusy,        // another program holds it
  kNotSerial,   // a regular file, a folder, a FIFO, a device that is no terminal
  kNoAnswer,    // it opens as a serial device: no camera answered there
  kNetwork,     // a serial device server: not reached, or the connection lost
};

struct DeviceDiagnosis {
  DeviceProblem problem;
  std::string text;  // what to tell the user, hints included
};

// Looks at `path` without changing it (no settings are written and no lock
// is kept). A line on a serial device server (rfc2217://, socket://) is
// explained from what its last opening in this process found; it is not
// opened again.
DeviceDiagnosis DiagnoseDevice(const std::string& path);

}  // namespace vexq4::hosts
