// A few short real-time checks of the camera on a pseudo-terminal, opened
// the way a serial-port client would open it.
#include "vexq4/sim/pty_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>

#include "vexq4/platform/serial_device.h"

namespace vexq4::sim {
namespace {

class Client {
 public:
  explicit Client(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  bool Write(std::string_view s) {
    return write(fd_, s.data(), s.size()) == static_cast<ssize_t>(s.size());
  }
  // Reads until `count` bytes came or `ms` passed.
  std::string Read(std::size_t count, int ms) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[2048];
      const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_ = -1;
};

TEST(PtyServer, AnswersAQueryAndServesTheNextClientToo) {
  PtyServer server;
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  ASSERT_FALSE(server.slavePath().empty());
  {
    Client c(server.slavePath());
    ASSERT_TRUE(c.ok());
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.Write("SH?\r\n"));
    EXPECT_EQ(c.Read(6, 2000), "SH=0\r\n");
    // 5 bytes in, 5 ms latency, 6 bytes out: at least ~15 ms at 9600 baud.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(10));
  }
  server.camera()->SetValue("GA", 42);
  Client again(server.slavePath());
  ASSERT_TRUE(again.ok());
  ASSERT_TRUE(again.Write("GA?\r\n"));
  EXPECT_EQ(again.Read(7, 2000), "GA=42\r\n");
  EXPECT_EQ(server.linesReceived(), 2u);
}

TEST(PtyServer, BinaryShadingFramePassesUnchangedBothWays) {
  Config config;
  config.paceAt9600 = false;  // keep the test short
  PtyServer server(config);
  ASSERT_TRUE(server.Start());
  // Values whose bytes a cooked terminal would eat or translate.
  std::array<std::uint16_t, kShadingValues> table{};
  const std::uint16_t tricky[] = {0x0D0A, 0x1113, 0x0304, 0x7F1A, 0x0A0D, 0xFF00};
  for (int i = 0; i < kShadingValues; ++i) table[i] = tricky[i % 6];

  std::string frame = "SHD=";
  frame += std::string("\x04\x00\x03\x00", 4);
  for (auto v : table) {
    frame.push_back(static_cast<char>(v >> 8));
    frame.push_back(static_cast<char>(v & 0xFF));
  }
  const auto sum =
      ShadingChecksum(std::span(reinterpret_cast<const std::uint8_t*>(frame.data()) + 8, 1536));
  frame.push_back(static_cast<char>(sum >> 8));
  frame.push_back(static_cast<char>(sum & 0xFF));

  Client c(server.slavePath());
  ASSERT_TRUE(c.ok());
  ASSERT_TRUE(c.Write(frame));
  EXPECT_EQ(c.Read(10, 2000), "COMPLETE\r\n");
  EXPECT_EQ(server.camera()->shadingTable(), table);

  ASSERT_TRUE(c.Write("SHD?1024,768\r\n"));
  EXPECT_EQ(c.Read(frame.size(), 3000), frame);
}

TEST(PtyServer, ServesThePlatformSerialDeviceAcrossReopens) {
  PtyServer server;
  ASSERT_TRUE(server.Start());
  for (int round = 0; round < 2; ++round) {
    auto opened = platform::OpenSerialDevice(server.slavePath());
    ASSERT_TRUE(opened.device) << opened.detail;
    const std::string q = "EA?\r\n";
    ASSERT_TRUE(
        opened.device->Write(std::span(reinterpret_cast<const std::uint8_t*>(q.data()), q.size())));
    std::string got;
    std::uint8_t b = 0;
    for (int i = 0; i < 30 && !got.ends_with("\r\n"); ++i) {
      if (opened.device->ReadByte(b)) got.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(got, "EA=0\r\n") << "round " << round;
  }
}

#ifdef VEXQ4_SIM_EXE
TEST(VexQ4SimExecutable, PrintsItsDeviceAndServesIt) {
  FILE* proc = popen(VEXQ4_SIM_EXE " --set SH=7 --exit-after-lines 1", "r");
  ASSERT_NE(proc, nullptr);
  char line[256] = {};
  ASSERT_NE(fgets(line, sizeof line, proc), nullptr);
  std::string path(line);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  {
    Client c(path);
    ASSERT_TRUE(c.ok()) << path;
    ASSERT_TRUE(c.Write("SH?\r\n"));
    EXPECT_EQ(c.Read(6, 2000), "SH=7\r\n");
  }
  EXPECT_EQ(pclose(proc), 0);
}
#endif

}  // namespace
}  // namespace vexq4::sim
