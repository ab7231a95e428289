#include "device_check.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "vexq4/platform/network_device.h"

namespace vexq4::hosts {
namespace {

constexpr const char* kDialoutHint =
    "; serial devices belong to the group dialout: add the user once with "
    "'sudo usermod -aG dialout \"$USER\"' and log in again";

DeviceDiagnosis Problem(DeviceProblem problem, std::string text) {
  return {problem, std::move(text)};
}

const char* KindOf(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISBLK(mode)) return "a block device";
  return "not a terminal";
}

DeviceDiagnosis FromOpenErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case EIO:
      return Problem(DeviceProblem::kNoDevice, "no such device");
    case EACCES:
    case EPERM:
    case EROFS:
      return Problem(DeviceProblem::kPermission, std::string("permission denied") + kDialoutHint);
    case EBUSY:
      return Problem(DeviceProblem::kBusy,
                     "in use by another program (a terminal program, or ModemManager probing a "
                     "new adapter)");
    default:
      return Problem(DeviceProblem::kNoDevice,
                     std::string("cannot open it: ") + std::strerror(err));
  }
}

// A line on a serial device server: what its last opening in this process
// found (every host links the platform layer its communication library
// opens lines with). Nothing is opened again: a second connection would
// double the wait for a server that cannot be reached, and an opening that
// went well left no problem behind, so the camera did not answer.
DeviceDiagnosis DiagnoseNetworkLine(const std::string& name) {
  const platform::LineProblem problem = platform::LastLineProblem(name);
  switch (problem.error) {
    case platform::OpenError::kNone:
      break;
    case platform::OpenError::kNoDevice:
      return Problem(DeviceProblem::kNoDevice, problem.detail);
    case platform::OpenError::kSettings:
      return Problem(DeviceProblem::kNotSerial, problem.detail);
    default:
      return Problem(DeviceProblem::kNetwork, problem.detail);
  }
  const auto address = platform::ParseNetworkDeviceName(name);
  return Problem(DeviceProblem::kNoAnswer,
                 address && address->scheme == platform::NetworkScheme::kSocket
                     ? "no camera answered (the server took the connection; check that its port "
                       "is set to 9600 baud, 8N1, and the cable and the camera's power)"
                     : "no camera answered (the server set its line to 9600 8N1; check the cable, "
                       "the camera's power and that it is an RX-Q4)");
}

}  // namespace

DeviceDiagnosis DiagnoseDevice(const std::string& path) {
  if (path.empty()) return Problem(DeviceProblem::kNoDevice, "no device is named for this port");
  if (platform::IsNetworkDeviceName(path)) return DiagnoseNetworkLine(path);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return FromOpenErrno(errno);
  if (!S_ISCHR(st.st_mode))
    return Problem(DeviceProblem::kNotSerial,
                   std::string("not a serial device (") + KindOf(st.st_mode) + ")");

  // Non-blocking, so that the open waits for no carrier; nothing is
  // changed on the device.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FromOpenErrno(errno);
  DeviceDiagnosis result = Problem(DeviceProblem::kNoAnswer,
                                   "no camera answered (the device opens as a serial port; check "
                                   "the cable, the camera's power and that it is an RX-Q4)");
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) {
    result = Problem(DeviceProblem::kNotSerial, "not a serial device (not a terminal)");
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) result = FromOpenErrno(EBUSY);
  }
  ::close(fd);  // also drops the lock just taken
  return result;
}

}  // namespace vexq4::hosts
