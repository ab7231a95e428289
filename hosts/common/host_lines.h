// The lines a camera is reached on, as every host names and opens them: a
// COM port, a serial device (or a line on a serial device server), a
// Camera Link frame grabber or a clallserial port.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "VexQ4Comm.h"
#include "vexq4/model/settings.h"

class CVexCamInterface;

namespace vexq4::hosts {

enum class LineKind { kCom, kDevice, kGrabber, kAllSerial };

// The numbers a kind of line takes, both ends included.
struct NumberRange {
  int first;
  int last;
  constexpr bool Contains(long long n) const { return n >= first && n <= last; }
  std::string Text() const;  // "1..254"
};
// COM port numbers, as a host gives them out: the library's connections
// but 0, which names the Camera Link line.
inline constexpr NumberRange kComPorts{1, VEXQ4_MAX_PORT};
// The COM ports a search tries when none are named, and the frame
// grabbers' manufacturer entries: those the control offers.
inline constexpr NumberRange kSearchedComPorts{model::kFirstComPort, model::kLastComPort};
inline constexpr NumberRange kGrabbers{model::kFirstGrabber, model::kLastGrabber};
// clallserial's ports: any the control's 16-bit index can name.
inline constexpr NumberRange kAllSerialPorts{0, model::kShortMax};

// How messages name a line: "COM3 (/dev/ttyS2)", the device itself,
// "frame grabber 1", "clallserial port 0". `number` is the COM port, the
// frame grabber entry or the clallserial port; `device` a device's name.
std::string LineName(LineKind kind, int number, std::string_view device = {});

// Why `name` names no serial device at once (empty; a network line written
// wrongly), or empty: a path is looked at only when it is opened.
std::string DeviceNameProblem(std::string_view name);

// The COM port number a device is reached through in this process: the
// first of kComPorts whose VEXQ4_COM<n> is not set or already names
// `device`, leaving out those `taken` holds; 0 when there is none.
int ComPortFor(const std::string& device, const std::function<bool(int)>& taken = {});
// Points COM port `port` of this process at `device` (VEXQ4_COM<port>).
void MapComPort(int port, const std::string& device);

// The numbers the model keeps of its connection, read through their rows:
// the COM port (a Camera Link line's too: it names the library's
// connection; 0 before a line was opened) and the frame grabber index the
// control was given (0: a COM port).
struct ConnectionNumbers {
  int port = 0;
  int grabber = 0;
};
ConnectionNumbers NumbersOf(const CVexCamInterface& model);

// Opens the model's one connection on a line: a COM port or a device by the
// COM port number that names it in this process (for a device, the number
// whose VEXQ4_COM<n> points at it), a frame grabber entry or a clallserial
// port by its number. The camera is probed; 0, or the model's status with
// the model off-line.
int Connect(CVexCamInterface& model, LineKind kind, int number);

}  // namespace vexq4::hosts
