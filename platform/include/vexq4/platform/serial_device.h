// A serial line to the camera, as a replaceable seam.
//
// COM port n is a device name (VEXQ4_COM<n>, else /dev/ttyS<n-1>): a device
// path, opened raw at 9600 8N1 with exclusive use, or a line on a serial
// device server (rfc2217://HOST:PORT, socket://HOST:PORT). Tests install
// an opener that hands out a simulated camera instead, in virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace vexq4::platform {

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // Writes every byte (partial writes and EINTR retried). False on failure.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Reads at most one byte: returns true with the byte as soon as one is
  // there, or false after about 101 ms without one (also on hang-up).
  virtual bool ReadByte(std::uint8_t& out) = 0;
  // The same with a wait of its own: false after `timeoutMs` without a
  // byte. Lets a drain end on a shorter quiet time than a plain read.
  virtual bool ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) = 0;
  // Waits until everything written has left the port (tcdrain).
  virtual bool Drain() = 0;
  // True once the line is gone for good (a network connection closed by
  // the other end): reads and writes then fail at once. A serial device
  // that hangs up is not "lost": it may come back, and its reads keep
  // their bounded wait.
  virtual bool Lost() const { return false; }
  // Discards what the far end holds for us where it can (an RFC 2217
  // server purges its buffer); the caller's drain reads on as always.
  virtual void DiscardInput() {}
};

// Why an open failed, for messages a user can act on.
enum class OpenError {
  kNone,
  kNoDevice,    // no device path for the port, or the path does not exist
  kPermission,  // e.g. not in the dialout group
  kBusy,        // another program holds the port
  kSettings,    // the line settings could not be read, written or confirmed
  kNetwork,     // a serial device server could not be reached
  kOther,
};

struct OpenResult {
  std::unique_ptr<SerialDevice> device;  // null on failure
  OpenError error = OpenError::kNone;
  std::string detail;  // device path and system error text
};

// Device path of COM port `comPort`: $VEXQ4_COM<n>, else /dev/ttyS<n-1> for
// n >= 1; empty for port 0 without a variable.
std::string ComPortDevicePath(unsigned comPort);

// Opens a device by name: a device path (raw, 9600 8N1, CLOCAL|CREAD,
// exclusive), or rfc2217://HOST:PORT or socket://HOST:PORT for a line on a
// serial device server (network_device.h). Every host opens its devices
// through this one function.
OpenResult OpenSerialDevice(const std::string& path);

// What last went wrong with the line named `name` in this process: the
// failure of its last opening, or, after a good one, the loss of its
// connection (a network line whose server went away); kNone when nothing
// did. For hosts that explain a failed connection to the user.
struct LineProblem {
  OpenError error = OpenError::kNone;
  std::string detail;
};
LineProblem LastLineProblem(const std::string& name);

using SerialOpener = std::function<OpenResult(unsigned comPort)>;

// Opens COM port `comPort` through the installed opener (by default the
// device path above and OpenSerialDevice).
OpenResult OpenComPort(unsigned comPort);

// Installs an opener for all later OpenComPort calls; an empty function
// restores the default.
void SetSerialOpener(SerialOpener opener);

}  // namespace vexq4::platform
