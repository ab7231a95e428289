// The machine's serial ports as the kernel describes them: every tty that
// sysfs backs with a device (USB adapters, ACM devices, UARTs that exist in
// hardware), its stable names under /dev/serial, its driver and USB
// identity, whether this user may open it and which processes hold it.
//
// Everything is read below a root folder: "/" on a real machine, a fake
// tree in tests (sys/class/tty, sys/devices, dev, dev/serial, proc, etc).
// Nothing is opened or changed; only files are read and links followed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vexq4::cli {

struct PortHolder {
  int pid = 0;
  std::string name;  // the process's command name (/proc/PID/comm)
};

struct PortAccess {
  bool mayOpen = false;
  std::string why;  // when not: the device's owner, group and mode
};

// What --probe found on a port.
struct PortProbe {
  bool probed = false;  // false: the port was not asked (see notProbed)
  std::string notProbed;
  bool found = false;
  std::string why;  // no camera: what the device check says
  std::string cameraId, modelName;
};

struct SerialPort {
  std::string name;      // "ttyUSB0"
  std::string device;    // "/dev/ttyUSB0", as the machine names it
  std::string openPath;  // where this program opens it (below the root)
  bool nodeExists = false;
  std::vector<std::string> byId, byPath;  // /dev/serial/by-id/..., by-path/...
  std::string driver;                     // empty when sysfs names none
  // From the USB device above the port, where there is one.
  std::string vendorId, productId;  // four hex digits each
  std::string serialNumber, manufacturer, product;
  bool console = false;  // the kernel writes its console messages here
  PortAccess access;
  std::vector<PortHolder> holders;
  std::vector<std::string> hints;  // what to do about a port this user cannot use
  PortProbe probe;
};

struct PortScan {
  std::vector<SerialPort> ports;   // in natural order of names (ttyS2 before ttyS10)
  std::vector<std::string> hints;  // programs known to take serial ports
};

// The root the scan reads: $VEXQ4_SYSFS_ROOT when set (a test seam), else "/".
std::filesystem::path SystemRoot();

PortScan ScanSerialPorts(const std::filesystem::path& root);

// One line for `vexq4 ports`: the device, then key=value fields (texts in
// double quotes where they need them).
std::string FormatPortLine(const SerialPort& port, bool withProbe);

// The whole scan as one JSON document (--format json).
std::string FormatPortsJson(const PortScan& scan, bool withProbe);

// Natural order of tty names: "ttyS2" < "ttyS10" < "ttyUSB0".
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace vexq4::cli
