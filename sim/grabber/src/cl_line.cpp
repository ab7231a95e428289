#include "cl_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace vexq4::grabber {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A hung-up line (the other end of a pseudo-terminal closed) reads like a
// silent one: the caller waits its time-out instead of spinning.
void SleepUntil(Clock::time_point deadline) {
  while (RemainingMs(deadline) > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(RemainingMs(deadline), 10)));
  }
}

bool SpeedOf(std::uint32_t rateBit, speed_t& speed) {
  switch (rateBit) {
    case 0x1:
      speed = B9600;
      return true;
    case 0x2:
      speed = B19200;
      return true;
    case 0x4:
      speed = B38400;
      return true;
    case 0x8:
      speed = B57600;
      return true;
    case 0x10:
      speed = B115200;
      return true;
    default:
      return false;
  }
}

}  // namespace

std::int32_t Line::Open(const std::string& path, std::unique_ptr<Line>& out) {
  if (path.empty()) return kInvalidIndex;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == EBUSY ? kPortInUse : kInvalidIndex;
  auto line = std::make_unique<Line>(Key{}, fd, path);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return kPortInUse;
  line->locked_ = true;
  if (isatty(fd) && tcgetattr(fd, &line->original_) == 0) {
    termios raw = line->original_;
    cfmakeraw(&raw);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE);
    raw.c_cflag |= CS8 | CLOCAL | CREAD;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    if (tcsetattr(fd, TCSANOW, &raw) == 0) line->restore_ = true;
    line->exclusive_ = ioctl(fd, TIOCEXCL) == 0;
  }
  out = std::move(line);
  return kOk;
}

Line::~Line() {
  if (restore_) tcsetattr(fd_, TCSANOW, &original_);
  if (exclusive_) ioctl(fd_, TIOCNXCL);
  if (locked_) flock(fd_, LOCK_UN);
  ::close(fd_);
}

std::int32_t Line::Read(char* buffer, std::uint32_t* size, std::uint32_t timeoutMs) {
  if (!buffer || !size) return kBufferTooSmall;
  std::lock_guard lock(mutex_);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::uint32_t got = 0;
  while (got < *size) {
    const ssize_t n = ::read(fd_, buffer + got, *size - got);
    if (n > 0) {
      got += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const int left = RemainingMs(deadline);
    if (left == 0) break;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {  // EIO: hung up
      SleepUntil(deadline);
      break;
    }
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, left);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0 && (p.revents & POLLIN) == 0) {  // POLLHUP or POLLERR only
      SleepUntil(deadline);
      break;
    }
  }
  const bool complete = got == *size;
  *size = got;
  return complete ? kOk : kTimeout;
}

std::int32_t Line::Write(const char* buffer, std::uint32_t* size, std::uint32_t timeoutMs) {
  if (!buffer || !size) return kBufferTooSmall;
  std::lock_guard lock(mutex_);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::uint32_t done = 0;
  while (done < *size) {
    const ssize_t n = ::write(fd_, buffer + done, *size - done);
    if (n > 0) {
      done += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    const int left = RemainingMs(deadline);
    if (left == 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, left) < 0 && errno != EINTR) break;
  }
  const bool complete = done == *size;
  *size = done;
  return complete ? kOk : kTimeout;
}

void Line::FlushInput() {
  std::lock_guard lock(mutex_);
  if (isatty(fd_)) tcflush(fd_, TCIFLUSH);
  // Whatever is still readable goes too (bounded: the line is slow).
  char scratch[256];
  for (int i = 0; i < 64 && ::read(fd_, scratch, sizeof scratch) > 0; ++i) {
  }
}

std::uint32_t Line::BytesAvailable() {
  std::lock_guard lock(mutex_);
  int n = 0;
  if (ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<std::uint32_t>(n);
}

std::int32_t Line::SetBaudRate(std::uint32_t rateBit) {
  speed_t speed{};
  if (!SpeedOf(rateBit, speed)) return kBaudRateNotSupported;
  std::lock_guard lock(mutex_);
  if (!isatty(fd_)) return kOk;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return kBaudRateNotSupported;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return tcsetattr(fd_, TCSANOW, &t) == 0 ? kOk : kBaudRateNotSupported;
}

std::int32_t CopyOut(const std::string& text, char* buffer, std::uint32_t* size) {
  if (!size) return kBufferTooSmall;
  const auto needed = static_cast<std::uint32_t>(text.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    return kBufferTooSmall;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *size = needed;
  return kOk;
}

std::int32_t ErrorText(std::int32_t code, char* text, std::uint32_t* size) {
  static constexpr struct {
    std::int32_t code;
    const char* text;
  } kTexts[] = {
      {0, "No error"},
      {-10001, "Buffer too small"},
      {-10002, "Manufacturer does not exist"},
      {-10003, "Port in use"},
      {-10004, "Time-out"},
      {-10005, "Invalid index"},
      {-10006, "Invalid serial reference"},
      {-10007, "Error text not found"},
      {-10008, "Baud rate not supported"},
      {-10009, "Out of memory"},
      {-10098, "Unable to load library"},
      {-10099, "Function not found"},
  };
  for (const auto& entry : kTexts) {
    if (entry.code == code) return CopyOut(entry.text, text, size);
  }
  return kErrorNotFound;
}

void* LineTable::Add(std::unique_ptr<Line> line) {
  std::lock_guard lock(mutex_);
  for (auto& slot : lines_) {
    if (!slot) {
      slot = std::move(line);
      return slot.get();
    }
  }
  return nullptr;
}

Line* LineTable::Find(void* ref) {
  if (!ref) return nullptr;
  std::lock_guard lock(mutex_);
  for (auto& slot : lines_) {
    if (slot.get() == ref) return slot.get();
  }
  return nullptr;
}

void LineTable::Remove(void* ref) {
  std::unique_ptr<Line> closing;
  {
    std::lock_guard lock(mutex_);
    for (auto& slot : lines_) {
      if (slot && slot.get() == ref) closing = std::move(slot);
    }
  }
}

}  // namespace vexq4::grabber
