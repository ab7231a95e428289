// Opening and closing COM-port connections: the probe, the slot rules and
// what closing releases.
#include "comm_fixture.h"

namespace vexq4::test {
namespace {

using PortsTest = CommTest;

TEST_F(PortsTest, OpeningProbesWithShutterQuery) {
  EXPECT_EQ(VexQ4InitComm(0, 3, 0), VEXQ4_OK);
  ASSERT_EQ(openedPorts, std::vector<unsigned>{3});
  FakeLine& line = *lines.at(3);
  ASSERT_EQ(line.writes.size(), 1u);
  EXPECT_EQ(line.writes[0].bytes, "SH?\r\n");
}

TEST_F(PortsTest, SilentFirstProbeIsRepeatedOnce) {
  int probes = 0;
  configure = [&](FakeLine& line) {
    line.onLine = [&line, &probes](std::string_view text) {
      if (++probes > 1) line.Answer(text);
    };
  };
  EXPECT_EQ(VexQ4InitComm(0, 3, 0), VEXQ4_OK);
  FakeLine& line = *lines.at(3);
  ASSERT_EQ(line.writes.size(), 2u);
  EXPECT_EQ(line.writes[1].bytes, "SH?\r\n");
  EXPECT_GE(line.writes[1].timeMs - line.writes[0].timeMs, 600u);
}

TEST_F(PortsTest, CameraThatNeverAnswersClosesThePortAgain) {
  configure = [](FakeLine& line) { line.silent = true; };
  EXPECT_EQ(VexQ4InitComm(0, 3, 0), VEXQ4_E_TIMEOUT);
  FakeLine& line = *lines.at(3);
  EXPECT_EQ(line.writes.size(), 2u);
  EXPECT_TRUE(line.closed);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(3, SH, &value), VEXQ4_E_NO_CONNECTION);
  // The slot is free again: a later camera can be opened there.
  configure = nullptr;
  EXPECT_EQ(VexQ4InitComm(0, 3, 0), VEXQ4_OK);
}

TEST_F(PortsTest, CameraThatAnswersGarbageGivesTheSecondProbesCode) {
  configure = [](FakeLine& line) {
    line.onLine = [&line](std::string_view) { line.Send("NAK\r\n"); };
  };
  EXPECT_EQ(VexQ4InitComm(0, 4, 0), VEXQ4_E_MALFORMED);
  EXPECT_TRUE(lines.at(4)->closed);
}

TEST_F(PortsTest, SlotNumbersAndDoubleOpening) {
  EXPECT_EQ(VexQ4InitComm(0, 255, 0), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4InitComm(0, 0xFFFFFFFFu, 0), VEXQ4_E_ARGUMENT);
  EXPECT_TRUE(openedPorts.empty());
  EXPECT_EQ(VexQ4InitComm(0, 254, 0), VEXQ4_OK);
  EXPECT_EQ(VexQ4InitComm(0, 254, 0), VEXQ4_E_NO_CONNECTION);
  EXPECT_EQ(openedPorts.size(), 1u);
  EXPECT_FALSE(lines.at(254)->closed);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(254, SH, &value), VEXQ4_OK);
}

TEST_F(PortsTest, RefusedNumberKeepsTheSelectionButAnOpenPortDoesNot) {
  FakeLine& line = Open(1);
  // Port 255 is refused before the library-wide selection is replaced: port
  // 1 still talks over its COM port.
  EXPECT_EQ(VexQ4InitComm(2, 255, 0), VEXQ4_E_ARGUMENT);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(line.writes.size(), 1u);

  // An open port is refused only after the selection was replaced: port 1
  // is now routed to a Camera Link library that is not there.
  line.writes.clear();
  EXPECT_EQ(VexQ4InitComm(2, 1, 0), VEXQ4_E_NO_CONNECTION);
  EXPECT_NE(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_TRUE(line.writes.empty());
}

TEST_F(PortsTest, PortThatCannotBeOpenedGivesMinusTwo) {
  refuseOpen = true;
  EXPECT_EQ(VexQ4InitComm(0, 5, 0), VEXQ4_E_PORT_OPEN);
  refuseOpen = false;
  EXPECT_EQ(VexQ4InitComm(0, 5, 0), VEXQ4_OK);  // the slot was freed
}

TEST_F(PortsTest, ClosingReleasesThePortAndAlwaysReturnsZero) {
  FakeLine& line = Open(2);
  EXPECT_EQ(VexQ4ExitComm(2), VEXQ4_OK);
  EXPECT_TRUE(line.closed);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(2, SH, &value), VEXQ4_E_NO_CONNECTION);
  EXPECT_EQ(VexQ4ExitComm(2), VEXQ4_OK);
  EXPECT_EQ(VexQ4ExitComm(7), VEXQ4_OK);
  EXPECT_EQ(VexQ4InitComm(0, 2, 0), VEXQ4_OK);
}

TEST_F(PortsTest, ClosingNumbersOutsideTheTableTouchesNoSlot) {
  FakeLine& line = Open(1);
  EXPECT_EQ(VexQ4ExitComm(255), VEXQ4_OK);
  EXPECT_EQ(VexQ4ExitComm(100000), VEXQ4_OK);
  EXPECT_EQ(VexQ4ExitComm(-1), VEXQ4_OK);
  EXPECT_FALSE(line.closed);
}

TEST_F(PortsTest, ClosingReleasesTheComPortAfterTheSelectionChanged) {
  FakeLine& line = Open(1);
  // A second opening of the same port with another transport is refused but
  // still switches the library-wide selection to Camera Link.
  EXPECT_EQ(VexQ4InitComm(2, 1, 0), VEXQ4_E_NO_CONNECTION);
  EXPECT_EQ(VexQ4ExitComm(1), VEXQ4_OK);
  EXPECT_TRUE(line.closed);
  EXPECT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
}

TEST_F(PortsTest, PortsAreIndependentConnections) {
  FakeLine& one = Open(1);
  FakeLine& two = Open(2);
  two.values["GA"] = "77";
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(2, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 77);
  EXPECT_TRUE(one.writes.empty());
}

TEST_F(PortsTest, ClosingOneComPortLeavesTheOthersWorking) {
  Open(1);
  FakeLine& two = Open(2);
  two.values["GA"] = "77";
  EXPECT_EQ(VexQ4ExitComm(1), VEXQ4_OK);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(2, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 77);
  EXPECT_EQ(VexQ4SendCameraData(2, GA, 5), VEXQ4_OK);
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_NO_CONNECTION);
}

}  // namespace
}  // namespace vexq4::test
