// The termios serial device on a pseudo-terminal: settings, exclusive use,
// bounded reads (also after a hang-up) and the COM port naming.
#include "vexq4/platform/serial_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "vexq4/platform/abandon.h"
#include "vexq4/platform/clock.h"

namespace vexq4::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A pseudo-terminal pair; the slave plays the serial port.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      path_ = ::ptsname(master_);
    }
  }
  ~Pty() { CloseMaster(); }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  // Reads what arrived at the master within `ms`.
  std::string ReadMaster(int ms = 200) {
    std::string out;
    pollfd pfd{master_, POLLIN, 0};
    while (::poll(&pfd, 1, ms) > 0) {
      char buffer[512];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
      ms = 20;
    }
    return out;
  }

 private:
  int master_ = -1;
  std::string path_;
};

termios SettingsOf(int fd) {
  termios t{};
  ::tcgetattr(fd, &t);
  return t;
}

long ElapsedMs(steady_clock::time_point since) {
  return std::chrono::duration_cast<milliseconds>(steady_clock::now() - since).count();
}

TEST(SerialDevice, OpensRaw9600AndRestoresTheOriginalSettings) {
  Pty pty;
  ASSERT_FALSE(pty.path().empty());
  // Keep the slave open so its settings persist between our opens, and give
  // it canonical mode plus software flow control beforehand.
  const int keep = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(keep, 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(keep, &before), 0);
  before.c_iflag |= ICRNL | IXON | IXOFF;
  before.c_lflag |= ICANON | ECHO;
  before.c_oflag |= OPOST;
  cfsetospeed(&before, B38400);
  cfsetispeed(&before, B38400);
  ASSERT_EQ(::tcsetattr(keep, TCSANOW, &before), 0);

  {
    OpenResult opened = OpenSerialDevice(pty.path());
    ASSERT_TRUE(opened.device) << opened.detail;
    const termios t = SettingsOf(keep);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    // Received XON/XOFF bytes are data (the shading frame is binary); our
    // own input flow control stays as the port had it.
    EXPECT_EQ(t.c_iflag & IXON, 0u);
    EXPECT_NE(t.c_iflag & IXOFF, 0u);
  }
  const termios after = SettingsOf(keep);
  EXPECT_EQ(cfgetospeed(&after), B38400);
  EXPECT_NE(after.c_lflag & ICANON, 0u);
  EXPECT_NE(after.c_iflag & ICRNL, 0u);
  EXPECT_NE(after.c_iflag & IXON, 0u);
  ::close(keep);
}

TEST(SerialDevice, EveryByteValuePassesBothWays) {
  Pty pty;
  OpenResult opened = OpenSerialDevice(pty.path());
  ASSERT_TRUE(opened.device) << opened.detail;
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);

  ASSERT_TRUE(opened.device->Write(all));
  EXPECT_TRUE(opened.device->Drain());
  const std::string atMaster = pty.ReadMaster();
  EXPECT_EQ(atMaster, std::string(all.begin(), all.end()));

  ASSERT_EQ(::write(pty.master(), all.data(), all.size()), 256);
  std::vector<std::uint8_t> got;
  std::uint8_t byte = 0;
  while (got.size() < 256 && opened.device->ReadByte(byte)) got.push_back(byte);
  EXPECT_EQ(got, all);
}

TEST(SerialDevice, ReadsWaitAboutOneHundredMillisecondsAlsoAfterHangUp) {
  Pty pty;
  OpenResult opened = OpenSerialDevice(pty.path());
  ASSERT_TRUE(opened.device) << opened.detail;
  std::uint8_t byte = 0;
  auto start = steady_clock::now();
  EXPECT_FALSE(opened.device->ReadByte(byte));
  EXPECT_GE(ElapsedMs(start), 95);
  EXPECT_LT(ElapsedMs(start), 400);

  pty.CloseMaster();
  start = steady_clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(opened.device->ReadByte(byte));
  EXPECT_GE(ElapsedMs(start), 3 * 95);
  EXPECT_FALSE(opened.device->Write(std::vector<std::uint8_t>{'x'}));
}

TEST(SerialDevice, ReadWithinItsOwnTimeOutEndsSoonerAndStillTakesAByteThatIsThere) {
  Pty pty;
  OpenResult opened = OpenSerialDevice(pty.path());
  ASSERT_TRUE(opened.device) << opened.detail;
  std::uint8_t byte = 0;
  auto start = steady_clock::now();
  EXPECT_FALSE(opened.device->ReadByteWithin(byte, 15));
  EXPECT_GE(ElapsedMs(start), 13);
  EXPECT_LT(ElapsedMs(start), 80);

  ASSERT_EQ(::write(pty.master(), "Q", 1), 1);
  EXPECT_TRUE(opened.device->ReadByteWithin(byte, 15));
  EXPECT_EQ(byte, 'Q');

  // A hang-up still costs the caller its (short) wait, not a spin.
  pty.CloseMaster();
  start = steady_clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(opened.device->ReadByteWithin(byte, 15));
  EXPECT_GE(ElapsedMs(start), 3 * 13);
}

TEST(SerialDevice, PortIsUsedExclusively) {
  Pty pty;
  OpenResult first = OpenSerialDevice(pty.path());
  ASSERT_TRUE(first.device) << first.detail;
  OpenResult second = OpenSerialDevice(pty.path());
  EXPECT_FALSE(second.device);
  EXPECT_EQ(second.error, OpenError::kBusy) << second.detail;
  first.device.reset();
  OpenResult third = OpenSerialDevice(pty.path());
  EXPECT_TRUE(third.device) << third.detail;
}

// The open flags of this process's descriptor of `path`, or -1.
long OpenFlagsOf(const std::string& path) {
  for (int fd = 0; fd < 1024; ++fd) {
    char target[256] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0 || path != target) continue;
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    for (std::string word; info >> word;) {
      if (word == "flags:") {
        std::string octal;
        info >> octal;
        return std::stol(octal, nullptr, 8);
      }
    }
  }
  return -1;
}

TEST(SerialDevice, PortIsOpenForReadAndWriteAndNotInheritedByChildren) {
  Pty pty;
  OpenResult opened = OpenSerialDevice(pty.path());
  ASSERT_TRUE(opened.device) << opened.detail;
  const long flags = OpenFlagsOf(pty.path());
  ASSERT_GE(flags, 0);
  EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
  EXPECT_NE(flags & O_CLOEXEC, 0);
}

// A program asked to stop: reads and writes fail at once instead of
// waiting, and a last-resort release hands the port back while the device
// is still open.
TEST(SerialDevice, AbandonEndsEveryWaitAndReleaseRestoresThePort) {
  Pty pty;
  const int keep = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(keep, 0);
  const termios before = SettingsOf(keep);
  OpenResult opened = OpenSerialDevice(pty.path());
  ASSERT_TRUE(opened.device) << opened.detail;

  RequestAbandon();
  std::uint8_t byte = 0;
  // A read with nothing there would wait its 10 s; abandoned, it returns
  // at once (the bound leaves room for a machine under load).
  auto start = steady_clock::now();
  EXPECT_FALSE(opened.device->ReadByteWithin(byte, 10000));
  EXPECT_LT(ElapsedMs(start), 2000);
  ASSERT_EQ(::write(pty.master(), "x", 1), 1);  // even a byte that is there
  EXPECT_FALSE(opened.device->ReadByte(byte));
  EXPECT_FALSE(opened.device->Write(std::vector<std::uint8_t>{'y'}));
  ClearAbandon();
  EXPECT_TRUE(opened.device->ReadByte(byte));
  EXPECT_EQ(byte, 'x');

  const termios raw = SettingsOf(keep);
  EXPECT_EQ(cfgetospeed(&raw), B9600);
  ReleaseForExit();
  const termios released = SettingsOf(keep);
  EXPECT_EQ(cfgetospeed(&released), cfgetospeed(&before));
  EXPECT_EQ(released.c_lflag, before.c_lflag);
  EXPECT_EQ(released.c_iflag, before.c_iflag);
  int exclusive = 1;
  ASSERT_EQ(::ioctl(keep, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  opened.device.reset();
  ::close(keep);
}

// A stop asked for on one thread wakes the waits of every other thread at
// once (a camera per thread, the signal on the main one), whether they
// wait for a byte or sleep through a pause.
TEST(SerialDevice, AbandonWakesWaitsOnOtherThreads) {
  Pty pty;
  OpenResult opened = OpenSerialDevice(pty.path());
  ASSERT_TRUE(opened.device) << opened.detail;
  long readMs = -1;
  long sleptMs = -1;
  std::thread reader([&] {
    std::uint8_t byte = 0;
    const auto start = steady_clock::now();
    EXPECT_FALSE(opened.device->ReadByteWithin(byte, 10000));
    readMs = ElapsedMs(start);
  });
  std::thread sleeper([&] {
    const auto start = steady_clock::now();
    SleepMs(10000);
    sleptMs = ElapsedMs(start);
  });
  std::this_thread::sleep_for(milliseconds(100));
  RequestAbandon();
  reader.join();
  sleeper.join();
  ClearAbandon();
  EXPECT_LT(readMs, 3000);
  EXPECT_LT(sleptMs, 3000);
}

TEST(SerialDevice, OpenFailuresAreClassified) {
  EXPECT_EQ(OpenSerialDevice("/dev/does-not-exist-vexq4").error, OpenError::kNoDevice);
  EXPECT_EQ(OpenSerialDevice("").error, OpenError::kNoDevice);
  const OpenResult notATerminal = OpenSerialDevice("/dev/null");
  EXPECT_FALSE(notATerminal.device);
  EXPECT_EQ(notATerminal.error, OpenError::kSettings);
}

TEST(SerialDevice, ComPortNumbersNameDevices) {
  ::unsetenv("VEXQ4_COM3");
  EXPECT_EQ(ComPortDevicePath(3), "/dev/ttyS2");
  EXPECT_EQ(ComPortDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(ComPortDevicePath(0), "");
  ::setenv("VEXQ4_COM3", "/dev/ttyUSB0", 1);
  EXPECT_EQ(ComPortDevicePath(3), "/dev/ttyUSB0");
  ::unsetenv("VEXQ4_COM3");

  unsigned asked = 0;
  SetSerialOpener([&](unsigned port) {
    asked = port;
    OpenResult result;
    result.error = OpenError::kPermission;
    return result;
  });
  EXPECT_EQ(OpenComPort(12).error, OpenError::kPermission);
  EXPECT_EQ(asked, 12u);
  SetSerialOpener({});
  ::setenv("VEXQ4_COM12", "/dev/does-not-exist-vexq4", 1);
  EXPECT_EQ(OpenComPort(12).error, OpenError::kNoDevice);
  ::unsetenv("VEXQ4_COM12");
}

}  // namespace
}  // namespace vexq4::platform
