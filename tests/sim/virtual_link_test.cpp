// The virtual-time link: the opener seam, line timing in both directions,
// the read time-out and a pulled plug.
#include "vexq4/sim/virtual_link.h"

#include <gtest/gtest.h>

#include <string>

#include "vexq4/platform/clock.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::sim {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string ReadLine(platform::SerialDevice& dev) {
  std::string s;
  std::uint8_t b = 0;
  for (int i = 0; i < 200 && !s.ends_with("\r\n"); ++i) {
    if (dev.ReadByte(b)) s.push_back(static_cast<char>(b));
  }
  return s;
}

TEST(VirtualLink, OpensOnlyItsPortAndOnlyOnceAtATime) {
  VirtualLink link({}, 3);
  EXPECT_EQ(&platform::CurrentClock(), &link.clock());
  EXPECT_EQ(platform::OpenComPort(2).error, platform::OpenError::kNoDevice);
  {
    auto first = platform::OpenComPort(3);
    ASSERT_TRUE(first.device);
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(platform::OpenComPort(3).error, platform::OpenError::kBusy);
  }
  EXPECT_FALSE(link.isOpen());
  EXPECT_TRUE(platform::OpenComPort(3).device);
  EXPECT_EQ(link.opens(), 2);
}

TEST(VirtualLink, RestoresTheSystemClockAndADeviceMayOutliveIt) {
  std::unique_ptr<platform::SerialDevice> dev;
  {
    VirtualLink link;
    dev = platform::OpenComPort(1).device;
    ASSERT_TRUE(dev);
  }
  EXPECT_EQ(dynamic_cast<VirtualClock*>(&platform::CurrentClock()), nullptr);
  EXPECT_TRUE(dev->Write(Bytes("SH?\r\n")));
  EXPECT_EQ(ReadLine(*dev), "SH=0\r\n");
}

TEST(VirtualLink, LineTimesFollowTheBaudRateBothWays) {
  VirtualLink link;
  auto dev = platform::OpenComPort(1).device;
  ASSERT_TRUE(dev);
  const std::uint32_t t0 = link.clock().now();
  ASSERT_TRUE(dev->Write(Bytes("SH?\r\n")));
  EXPECT_EQ(link.clock().now(), t0);  // the write returns at once
  // The line is at the camera after 5 bytes (5.2 ms, counted as 6), the
  // answer starts 5 ms later and its first byte takes 1.04 ms.
  std::uint8_t b = 0;
  ASSERT_TRUE(dev->ReadByte(b));
  EXPECT_EQ(b, 'S');
  EXPECT_EQ(link.clock().now(), t0 + 13);
  EXPECT_EQ(link.camera().log().at(0).timeMs, t0 + 6);
  EXPECT_EQ(ReadLine(*dev), "H=0\r\n");
  EXPECT_EQ(link.clock().now(), t0 + 18);  // 6 + 5 + 6.25

  // Nothing more: a read waits out the 101 ms COM time-out.
  EXPECT_FALSE(dev->ReadByte(b));
  EXPECT_EQ(link.clock().now(), t0 + 119);
}

TEST(VirtualLink, ReadWithinAShorterTimeOutMovesTheClockOnlyThatFar) {
  VirtualLink link;
  auto dev = platform::OpenComPort(1).device;
  const std::uint32_t t0 = link.clock().now();
  std::uint8_t b = 0;
  EXPECT_FALSE(dev->ReadByteWithin(b, 15));
  EXPECT_EQ(link.clock().now(), t0 + 15);

  // The answer's first byte is due 13 ms after the query: a 10 ms read
  // misses it, the next one takes it when it arrives.
  ASSERT_TRUE(dev->Write(Bytes("SH?\r\n")));
  EXPECT_FALSE(dev->ReadByteWithin(b, 10));
  EXPECT_EQ(link.clock().now(), t0 + 25);
  ASSERT_TRUE(dev->ReadByteWithin(b, 10));
  EXPECT_EQ(b, 'S');
  EXPECT_EQ(link.clock().now(), t0 + 15 + 13);

  link.SetUnplugged(true);
  EXPECT_FALSE(dev->ReadByteWithin(b, 15));
  EXPECT_EQ(link.clock().now(), t0 + 28 + 15);
}

TEST(VirtualLink, BytesWrittenBackToBackQueueOnTheLine) {
  VirtualLink link;
  auto dev = platform::OpenComPort(1).device;
  const std::uint32_t t0 = link.clock().now();
  // 96 single-byte writes at the same instant reach the camera over 100 ms.
  for (int i = 0; i < 48; ++i) ASSERT_TRUE(dev->Write(Bytes("\r\n")));
  ASSERT_EQ(link.camera().log().size(), 48u);
  EXPECT_EQ(link.camera().log().back().timeMs, t0 + 100);
}

TEST(VirtualLink, DrainWaitsUntilTheBytesHaveCrossed) {
  VirtualLink link;
  auto dev = platform::OpenComPort(1).device;
  const std::uint32_t t0 = link.clock().now();
  // A shading upload: single bytes, each drained, as a careful host sends it.
  std::vector<std::uint8_t> frame = {'S', 'H', 'D', '=', 4, 0, 3, 0};
  frame.resize(kShadingFrameBytes, 0);  // all-zero values: checksum 0
  for (std::uint8_t b : frame) {
    ASSERT_TRUE(dev->Write(std::span(&b, 1)));
    ASSERT_TRUE(dev->Drain());
  }
  // 1546 bytes at 1.0417 ms each, without drift.
  EXPECT_GE(link.clock().now() - t0, 1610u);
  EXPECT_LE(link.clock().now() - t0, 1611u);
  EXPECT_EQ(ReadLine(*dev), "COMPLETE\r\n");
}

TEST(VirtualLink, AnUnpluggedCameraTakesNothingAndSendsNothing) {
  VirtualLink link;
  auto dev = platform::OpenComPort(1).device;
  link.SetUnplugged(true);
  const std::uint32_t t0 = link.clock().now();
  EXPECT_FALSE(dev->Write(Bytes("SH?\r\n")));
  std::uint8_t b = 0;
  EXPECT_FALSE(dev->ReadByte(b));
  EXPECT_EQ(link.clock().now(), t0 + 101);
  EXPECT_TRUE(link.camera().log().empty());
  link.SetUnplugged(false);
  EXPECT_TRUE(dev->Write(Bytes("SH?\r\n")));
  EXPECT_EQ(ReadLine(*dev), "SH=0\r\n");
}

TEST(VirtualLink, AutoShadingReplyComesAfterItsDelay) {
  Config config;
  config.autoShadingMs = 9000;
  VirtualLink link(config);
  auto dev = platform::OpenComPort(1).device;
  const std::uint32_t t0 = link.clock().now();
  ASSERT_TRUE(dev->Write(Bytes("ATSH=0\r\n")));
  std::string reply;
  for (int i = 0; i < 200 && !reply.ends_with("\r\n"); ++i) {
    std::uint8_t b = 0;
    if (dev->ReadByte(b)) reply.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(reply, "COMPLETE\r\n");
  EXPECT_GE(link.clock().now() - t0, 9000u);
  EXPECT_LT(link.clock().now() - t0, 9030u);
}

}  // namespace
}  // namespace vexq4::sim
