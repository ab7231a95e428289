// VexQ4Comm with liblinkport.so and a fake libclallserial.so beside it, and
// the fake vendor libraries of systems/main behind linkport:
//   entry 1 "Alpha Grabbers" (2 ports), 2 "Beta Vision" (reports 0 ports),
//   3 "clserv1x.so" (version 1), 4 "Missing Parts" (lacks a function).
// The fakes answer "XX?" with "XX=0" and log their calls.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "VexQ4Comm.h"
#include "cameralink.h"
#include "cl_test_support.h"
#include "transport.h"

namespace vexq4::cltest {
namespace {

using vexq4::comm::Transport;

class CameraLinkComm : public ::testing::Test {
 protected:
  void SetUp() override { setenv("VEXQ4_SYSTEM_DIR", CL_SYSTEMS "/main", 1); }
  void TearDown() override {
    for (int port : {0, 3, 5, 7}) VexQ4ExitComm(port);
    unsetenv("VEXQ4_SYSTEM_DIR");
  }
  CallLog log_;
};

TEST_F(CameraLinkComm, ListsComPortsThenLinkportsManufacturers) {
  unsigned count = 0;
  EXPECT_EQ(VexQ4CLSerialGetNumManufacturers(&count), VEXQ4_OK);
  EXPECT_EQ(count, 5u);

  char name[VEXQ4_CL_NAME_SIZE] = {};
  unsigned size = 0;
  unsigned version = 0;
  EXPECT_EQ(VexQ4CLSerialGetManufacturer(1, name, &size, &version), VEXQ4_OK);
  EXPECT_STREQ(name, "Alpha Grabbers");
  EXPECT_EQ(size, 15u);  // linkport counts the NUL
  EXPECT_EQ(version, 3u);
  EXPECT_EQ(VexQ4CLSerialGetManufacturer(3, name, &size, &version), VEXQ4_OK);
  EXPECT_STREQ(name, "clserv1x.so");
  EXPECT_EQ(version, 1u);

  std::strcpy(name, "unchanged");
  size = version = 99;
  EXPECT_EQ(VexQ4CLSerialGetManufacturer(5, name, &size, &version), -10005);
  EXPECT_STREQ(name, "unchanged");
  EXPECT_EQ(size, 99u);
  EXPECT_EQ(version, 99u);
}

TEST_F(CameraLinkComm, SelectionAndPortCounts) {
  unsigned count = 0;
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("Nobody"), -10002);
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("Alpha Grabbers"), VEXQ4_OK);
  EXPECT_EQ(VexQ4CLSerialGetNumSerialPorts(&count), VEXQ4_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("clserbet.so"), VEXQ4_OK);
  EXPECT_EQ(VexQ4CLSerialGetNumSerialPorts(&count), VEXQ4_OK);
  EXPECT_EQ(count, 1u);  // the vendor said 0
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("clserv1x.so"), VEXQ4_OK);
  count = 8;
  EXPECT_EQ(VexQ4CLSerialGetNumSerialPorts(&count), -10099);
  EXPECT_EQ(count, 8u);
}

TEST_F(CameraLinkComm, ComPortsCountNeedsNoLibrary) {
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("COM-ports"), VEXQ4_OK);
  unsigned count = 0;
  EXPECT_EQ(VexQ4CLSerialGetNumSerialPorts(&count), VEXQ4_OK);
  EXPECT_EQ(count, 17u);
  EXPECT_TRUE(log_.Lines().empty());  // linkport never ran its discovery
}

TEST_F(CameraLinkComm, GrabberIndexTwoOpensEntryOneOnSerialIndexZero) {
  ASSERT_EQ(VexQ4InitComm(2, 7, 0), VEXQ4_OK);
  EXPECT_EQ(log_.Count("bet clSerialInit 0"), 1);
  EXPECT_EQ(log_.Count("bet clSerialInit"), 1);
  EXPECT_NE(Transport().linkportRef, nullptr);

  int value = -1;
  EXPECT_EQ(VexQ4GetCameraData(7, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(VexQ4SendCameraData(7, GA, 5), VEXQ4_OK);
  EXPECT_GE(log_.Count("bet clSerialWrite"), 3);  // probe, query, command

  EXPECT_EQ(VexQ4ExitComm(7), VEXQ4_OK);
  EXPECT_EQ(log_.Count("bet clSerialClose 1"), 1);
  EXPECT_EQ(Transport().linkportRef, nullptr);
  EXPECT_EQ(Transport().grabberIndex, -1);
  // linkport, and with it the vendor library, is gone.
  EXPECT_EQ(log_.Lines().back(), "bet unload 0");
  EXPECT_EQ(VexQ4GetCameraData(7, GA, &value), VEXQ4_E_NO_CONNECTION);
}

// Without a flush in the vendor libraries, input is drained in pairs of
// single-byte reads until a pair repeats its byte or its second read is empty.
TEST_F(CameraLinkComm, LinkportDrainStopsAtARepeatedPairOrSilence) {
  ASSERT_EQ(VexQ4InitComm(1, 3, 0), VEXQ4_OK);
  vexq4::comm::ByteTransport& link = vexq4::comm::cameralink::LinkportTransport();
  const auto pending = [&](std::string_view query) {
    EXPECT_TRUE(link.WriteBlock(
        std::span(reinterpret_cast<const std::uint8_t*>(query.data()), query.size())));
    link.DrainInput(vexq4::comm::kStandardDrain);
    std::string rest;
    std::uint8_t byte = 0;
    for (int i = 0; i < 16 && link.ReadByte(byte, 0); ++i) rest += static_cast<char>(byte);
    return rest;
  };
  EXPECT_EQ(pending("XX?\r\n"), "=0\r\n");  // the fake answers "XX=0\r\n"
  EXPECT_EQ(pending("SH?\r\n"), "");        // "SH=0\r\n" has no repeated pair
  EXPECT_EQ(pending("ABC?\r\n"), "");       // ends on a pair with an empty second read
}

TEST_F(CameraLinkComm, ClosingAfterSelectingComPortsStillReleasesTheGrabber) {
  ASSERT_EQ(VexQ4InitComm(1, 3, 0), VEXQ4_OK);
  ASSERT_EQ(VexQ4CLSerialSelectManufacturer("COM-ports"), VEXQ4_OK);
  EXPECT_EQ(VexQ4ExitComm(3), VEXQ4_OK);
  EXPECT_EQ(log_.Count("alp clSerialClose 1"), 1);
  EXPECT_EQ(Transport().linkportRef, nullptr);
}

TEST_F(CameraLinkComm, RefusedStartPassesTheCodeOnAndResetsTheTable) {
  ASSERT_EQ(VexQ4InitComm(1, 3, 0), VEXQ4_OK);
  EXPECT_EQ(VexQ4InitComm(4, 5, 0), -10099);  // "Missing Parts" cannot be selected
  EXPECT_EQ(Transport().linkportRef, nullptr);
  // The earlier connection went with the table; its reference was closed.
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(3, SH, &value), VEXQ4_E_NO_CONNECTION);
  EXPECT_EQ(log_.Count("alp clSerialClose 1"), 1);
  EXPECT_EQ(VexQ4InitComm(9, 5, 0), -10005);  // no such entry
  EXPECT_EQ(VexQ4InitComm(-3, 5, 0), -10005);
}

TEST_F(CameraLinkComm, ClAllSerialListsOpensAndForwards) {
  unsigned count = 0;
  EXPECT_EQ(VexQ4CLAllSerialGetNumPorts(&count), VEXQ4_OK);
  EXPECT_EQ(count, 2u);
  char manufacturer[VEXQ4_CL_NAME_SIZE] = {};
  char id[VEXQ4_CL_NAME_SIZE] = {};
  unsigned manufacturerSize = 0, idSize = 0, version = 0;
  EXPECT_EQ(VexQ4CLAllSerialGetPortInfo(1, manufacturer, &manufacturerSize, id, &idSize, &version),
            VEXQ4_OK);
  EXPECT_STREQ(manufacturer, "Any Serial");
  EXPECT_STREQ(id, "port1");
  EXPECT_EQ(manufacturerSize, 11u);
  EXPECT_EQ(idSize, 6u);
  EXPECT_EQ(version, 4u);
  EXPECT_EQ(VexQ4CLAllSerialGetPortInfo(2, manufacturer, &manufacturerSize, id, &idSize, &version),
            -10005);

  // Loaded, but no connection yet: the calls still reach the library, and
  // its own answer for the missing reference comes back.
  EXPECT_EQ(VexQ4CLAllSerialGetNumBytesAvail(&count), -10006);
  EXPECT_EQ(VexQ4CLAllSerialSetBaudRate(0x4), VEXQ4_OK);
  EXPECT_EQ(log_.Count("all clSetBaudRate 4"), 1);

  ASSERT_EQ(VexQ4InitComm(1, 5, 1), VEXQ4_OK);
  EXPECT_EQ(log_.Count("all clSerialInit 1"), 1);
  EXPECT_GE(log_.Count("all clFlushPort 1"), 1);  // the drain before the probe
  EXPECT_EQ(VexQ4CLAllSerialGetNumBytesAvail(&count), VEXQ4_OK);
  EXPECT_EQ(count, 0u);
  unsigned rates = 0;
  EXPECT_EQ(VexQ4CLAllSerialGetSupportedBaudRates(&rates), VEXQ4_OK);
  EXPECT_EQ(rates, 1u);
  EXPECT_EQ(VexQ4CLAllSerialSetBaudRate(0x2), VEXQ4_OK);
  EXPECT_EQ(log_.Count("all clSetBaudRate 2"), 1);

  EXPECT_EQ(VexQ4ExitComm(5), VEXQ4_OK);
  EXPECT_EQ(log_.Count("all clSerialClose 1"), 1);
  EXPECT_EQ(VexQ4CLAllSerialGetNumBytesAvail(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(VexQ4CLAllSerialSetBaudRate(0x2), VEXQ4_E_CAMERA_LINK);
}

TEST_F(CameraLinkComm, ClAllSerialRefusedStart) {
  EXPECT_EQ(VexQ4InitComm(2, 5, 1), -10005);
  EXPECT_EQ(Transport().allSerialRef, nullptr);
  EXPECT_EQ(log_.Count("all clSerialInit 2"), 1);
}

}  // namespace
}  // namespace vexq4::cltest
