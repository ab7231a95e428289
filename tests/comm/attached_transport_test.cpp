// A port on a byte transport of the caller's (vexq4/comm/byte_transport.h):
// the protocol runs over it unchanged, no COM device is opened for it, and
// the other ports keep their own lines.
#include <array>

#include "comm_fixture.h"
#include "vexq4/comm/byte_transport.h"

namespace vexq4::test {
namespace {

// The caller's line: a FakeLine read and written directly.
class LineTransport final : public comm::ByteTransport {
 public:
  explicit LineTransport(FakeLine& line) : line_(line) {}
  bool WriteBlock(std::span<const std::uint8_t> bytes) override { return line_.Write(bytes); }
  bool ReadByte(std::uint8_t& out, std::uint32_t timeoutMs) override {
    return line_.ReadByte(out, timeoutMs);
  }
  void DrainInput(std::uint32_t quietMs) override {
    std::uint8_t byte = 0;
    while (line_.ReadByte(byte, quietMs == comm::kStandardDrain ? 101 : quietMs)) {
    }
  }
  bool WriteSingleByte(std::uint8_t byte) override { return line_.Write(std::span(&byte, 1)); }

 private:
  FakeLine& line_;
};

// Detaches whatever happens: a transport left attached would outlive the
// test that owns it.
struct Detach {
  int port;
  ~Detach() {
    VexQ4ExitComm(port);
    comm::DetachTransport(port);
  }
};

using AttachedTransport = CommTest;

TEST_F(AttachedTransport, ThePortRunsTheProtocolOverItWithoutACom) {
  FakeLine line(clock);
  line.values["MD"] = "RX-Q4CL";
  LineTransport transport(line);
  const Detach detach{9};
  ASSERT_EQ(comm::AttachTransport(9, &transport), VEXQ4_OK);

  ASSERT_EQ(VexQ4InitComm(0, 9, 0), VEXQ4_OK);
  EXPECT_TRUE(openedPorts.empty());
  EXPECT_EQ(line.AllWritten(), "SH?\r\n");  // the probe, over our line
  ASSERT_EQ(VexQ4SendCameraData(9, GA, 5), VEXQ4_OK);
  EXPECT_EQ(line.writes.back().bytes, "GA=5\r\n");
  // The command gap: the next command may go 601 ms after the acknowledgement.
  EXPECT_EQ(comm::CommandGapLeftMs(9), 601u);
  clock.now += 600;
  EXPECT_EQ(comm::CommandGapLeftMs(9), 1u);
  clock.now += 1;
  EXPECT_EQ(comm::CommandGapLeftMs(9), 0u);

  std::array<char, 10> text{};
  ASSERT_EQ(comm::QueryValueText(9, "MD", text), VEXQ4_OK);
  EXPECT_STREQ(text.data(), "RX-Q4CL");
  EXPECT_EQ(comm::QueryValueText(9, "md", text), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(comm::QueryValueText(9, "MDXYZ", text), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(comm::QueryValueText(8, "MD", text), VEXQ4_E_NO_CONNECTION);

  // A COM port beside it keeps its own device.
  FakeLine& com = Open(1);
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 7), VEXQ4_OK);
  EXPECT_EQ(com.AllWritten(), "GA=7\r\n");
  EXPECT_EQ(line.writes.back().bytes, "MD?\r\n");

  // Closed and detached, the number is a COM port again.
  VexQ4ExitComm(9);
  comm::DetachTransport(9);
  ASSERT_EQ(VexQ4InitComm(0, 9, 0), VEXQ4_OK);
  EXPECT_EQ(openedPorts.back(), 9u);
}

TEST_F(AttachedTransport, OnlyRealPortsAndTransportsAttach) {
  FakeLine line(clock);
  LineTransport transport(line);
  EXPECT_EQ(comm::AttachTransport(0, &transport), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(comm::AttachTransport(255, &transport), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(comm::AttachTransport(3, nullptr), VEXQ4_E_ARGUMENT);
  comm::DetachTransport(-1);  // nothing to do, nothing touched
}

}  // namespace
}  // namespace vexq4::test
