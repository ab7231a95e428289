// A real serial device under termios: raw 9600 8N1, exclusive use, and reads
// and writes that always end within a bounded time.
#include "vexq4/platform/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <utility>

#include "line_problems.h"
#include "release.h"
#include "vexq4/platform/abandon.h"
#include "vexq4/platform/file_descriptor.h"
#include "vexq4/platform/network_device.h"
#include "wait.h"

namespace vexq4::platform {
namespace {

using detail::SteadyClock;
using Ms = std::chrono::milliseconds;

// An empty single-byte read returns after this long, like the COM read
// time-outs the camera protocol was tuned for (2 ms + 1 ms + 100 ms).
constexpr Ms kReadTimeout{101};
// A stuck line (hardware flow control held off, say) fails a write or a
// drain after this long instead of blocking the caller.
constexpr Ms kWriteBaseTimeout{1000};
constexpr Ms kDrainTimeout{2000};
// One byte on the line at 9600 baud (10 bits), rounded up.
constexpr std::chrono::microseconds kByteTime{1042};

std::string ErrorText(std::string_view what, const std::string& path, int err) {
  std::string text(path);
  text += ": ";
  text += what;
  text += ": ";
  text += std::strerror(err);
  return text;
}

OpenError KindOfOpenErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
      return OpenError::kNoDevice;
    case EACCES:
    case EPERM:
    case EROFS:
      return OpenError::kPermission;
    case EBUSY:
      return OpenError::kBusy;
    default:
      return OpenError::kOther;
  }
}

class TermiosDevice;

// Every open device, so that a program that must end at once can still
// hand its ports back (ReleaseForExit).
std::mutex g_openDevicesMutex;
std::set<TermiosDevice*> g_openDevices;

class TermiosDevice final : public SerialDevice {
 public:
  TermiosDevice(int fd, const termios& original, bool exclusive)
      : fd_(fd), original_(original), exclusive_(exclusive) {
    std::lock_guard lock(g_openDevicesMutex);
    g_openDevices.insert(this);
  }

  ~TermiosDevice() override {
    {
      std::lock_guard lock(g_openDevicesMutex);
      g_openDevices.erase(this);
    }
    Release();
    ::close(fd_);
  }

  // Hands the port back as we found it.
  void Release() {
    ::tcsetattr(fd_, TCSANOW, &original_);
    if (exclusive_) ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
  }

  TermiosDevice(const TermiosDevice&) = delete;
  TermiosDevice& operator=(const TermiosDevice&) = delete;

  bool Write(std::span<const std::uint8_t> bytes) override {
    if (AbandonRequested()) return false;
    // At 9600 baud a byte takes about 1 ms; allow twice that on top of a
    // fixed margin before calling the line stuck.
    const auto deadline = SteadyClock::now() + kWriteBaseTimeout + Ms(2 * bytes.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      short revents = 0;
      if (detail::WaitForDescriptor(fd_, POLLOUT, deadline, &revents) != detail::Wait::kReady)
        return false;
      if (revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    }
    return true;
  }

  bool ReadByte(std::uint8_t& out) override {
    return ReadByteWithin(out, static_cast<std::uint32_t>(kReadTimeout.count()));
  }

  bool ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) override {
    // One wait in poll() with the time left against one deadline: the
    // process sleeps until a byte comes, the deadline passes or it is
    // asked to stop (then nothing more is read and the exchange ends).
    const auto deadline = SteadyClock::now() + Ms(timeoutMs);
    for (;;) {
      short revents = 0;
      const detail::Wait waited = detail::WaitForDescriptor(fd_, POLLIN, deadline, &revents);
      if (waited == detail::Wait::kTimedOut || waited == detail::Wait::kAbandoned) return false;
      if (waited == detail::Wait::kReady && (revents & POLLIN)) {
        std::uint8_t byte = 0;
        const ssize_t n = ::read(fd_, &byte, 1);
        if (n == 1) {
          out = byte;
          return true;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        // End of file or EIO: the device went away (a pseudo-terminal whose
        // other end closed reads EIO). Fall through to the hang-up wait.
      }
      // Hang-up or error: nothing will come, but the caller still gets its
      // bounded wait so that its polling loop does not spin.
      detail::SleepUntil(deadline);
      return false;
    }
  }

  bool Drain() override {
    // tcdrain() may block without limit when flow control holds the line;
    // wait for the output queue to empty with a deadline first, sleeping
    // for as long as the queued bytes take at 9600 baud.
    const auto deadline = SteadyClock::now() + kDrainTimeout;
    int queued = 0;
    while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
      if (SteadyClock::now() >= deadline || AbandonRequested()) return false;
      detail::SleepUntil(std::min(deadline, SteadyClock::now() + queued * kByteTime));
    }
    while (::tcdrain(fd_) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }

 private:
  int fd_;
  termios original_;
  bool exclusive_;
};

OpenResult Failure(OpenError kind, std::string detail) {
  OpenResult result;
  result.error = kind;
  result.detail = std::move(detail);
  return result;
}

// Raw mode at 9600 8N1. Hardware flow control (CRTSCTS) and the sending of
// XON/XOFF when our input fills (IXOFF) stay as the port had them; IXON
// does not: with it the terminal layer swallows every received 0x11 and
// 0x13, and the binary shading frame carries those bytes as data.
termios RawSettings(const termios& original) {
  termios t = original;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  return t;
}

std::mutex g_openerMutex;
SerialOpener g_opener;

std::mutex g_problemsMutex;
std::map<std::string, LineProblem> g_problems;  // by device name
constexpr std::size_t kMaxProblems = 256;       // names a process may try

OpenResult OpenDevicePath(const std::string& path);

}  // namespace

namespace detail {

void RecordLineProblem(const std::string& name, OpenError error, std::string detail) {
  std::lock_guard lock(g_problemsMutex);
  if (error == OpenError::kNone) {
    g_problems.erase(name);
    return;
  }
  if (g_problems.size() >= kMaxProblems && !g_problems.contains(name)) g_problems.clear();
  g_problems[name] = {error, std::move(detail)};
}

void ReleaseSerialDevices() {
  std::lock_guard lock(g_openDevicesMutex);
  for (TermiosDevice* device : g_openDevices) device->Release();
}

}  // namespace detail

std::string ComPortDevicePath(unsigned comPort) {
  const std::string variable = "VEXQ4_COM" + std::to_string(comPort);
  if (const char* value = std::getenv(variable.c_str()); value && *value) return value;
  if (comPort == 0) return {};
  return "/dev/ttyS" + std::to_string(comPort - 1);
}

LineProblem LastLineProblem(const std::string& name) {
  std::lock_guard lock(g_problemsMutex);
  const auto it = g_problems.find(name);
  return it == g_problems.end() ? LineProblem{} : it->second;
}

OpenResult OpenSerialDevice(const std::string& path) {
  OpenResult result = IsNetworkDeviceName(path) ? OpenNetworkDevice(path) : OpenDevicePath(path);
  detail::RecordLineProblem(path, result.error, result.detail);
  return result;
}

namespace {

OpenResult OpenDevicePath(const std::string& path) {
  if (path.empty()) return Failure(OpenError::kNoDevice, "no device path for this port");

  // Non-blocking so that the open does not wait for carrier; every later
  // read and write waits through poll() with a deadline instead.
  FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    const int err = errno;
    return Failure(KindOfOpenErrno(err), ErrorText("open", path, err));
  }

  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    const OpenError kind = (err == EWOULDBLOCK || err == EAGAIN || err == EBUSY)
                               ? OpenError::kBusy
                               : OpenError::kOther;
    return Failure(kind, ErrorText("exclusive use", path, err));
  }

  termios original{};
  if (::tcgetattr(fd.get(), &original) != 0) {
    const int err = errno;
    return Failure(OpenError::kSettings, ErrorText("read settings", path, err));
  }

  // Keeps other programs (not root) from opening the port while we hold it.
  // Some devices do not support it; flock() above still guards us.
  const bool exclusive = ::ioctl(fd.get(), TIOCEXCL) == 0;

  const termios wanted = RawSettings(original);
  termios applied{};
  if (::tcsetattr(fd.get(), TCSANOW, &wanted) != 0 || ::tcgetattr(fd.get(), &applied) != 0) {
    const int err = errno;
    ::tcsetattr(fd.get(), TCSANOW, &original);
    if (exclusive) ::ioctl(fd.get(), TIOCNXCL);
    return Failure(OpenError::kSettings, ErrorText("write settings", path, err));
  }
  // tcsetattr() succeeds when any part of the change took; check the parts
  // the camera depends on.
  if ((applied.c_cflag & CSIZE) != CS8 || (applied.c_cflag & (PARENB | CSTOPB)) != 0 ||
      cfgetospeed(&applied) != B9600 || (applied.c_lflag & ICANON) != 0) {
    ::tcsetattr(fd.get(), TCSANOW, &original);
    if (exclusive) ::ioctl(fd.get(), TIOCNXCL);
    return Failure(OpenError::kSettings, path + ": the port refused 9600 8N1 raw mode");
  }

  OpenResult result;
  result.device = std::make_unique<TermiosDevice>(fd.release(), original, exclusive);
  return result;
}

}  // namespace

OpenResult OpenComPort(unsigned comPort) {
  SerialOpener opener;
  {
    std::lock_guard lock(g_openerMutex);
    opener = g_opener;
  }
  if (opener) return opener(comPort);
  return OpenSerialDevice(ComPortDevicePath(comPort));
}

void SetSerialOpener(SerialOpener opener) {
  std::lock_guard lock(g_openerMutex);
  g_opener = std::move(opener);
}

}  // namespace vexq4::platform
