// VexQ4Comm where neither liblinkport.so nor libclallserial.so can be found:
// only the virtual "COM-ports" manufacturer is there.
#include <gtest/gtest.h>

#include <cstring>

#include "VexQ4Comm.h"
#include "transport.h"

namespace {

using vexq4::comm::Transport;

class BareCameraLink : public ::testing::Test {
 protected:
  void TearDown() override { VexQ4ExitComm(0); }
};

TEST_F(BareCameraLink, OnlyComPortsIsListed) {
  unsigned count = 0;
  EXPECT_EQ(VexQ4CLSerialGetNumManufacturers(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(count, 1u);
  count = 0;
  EXPECT_EQ(VexQ4CLSerialGetNumManufacturers(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(count, 1u);

  char name[VEXQ4_CL_NAME_SIZE];
  std::memset(name, '#', sizeof name);
  unsigned size = 0;
  unsigned version = 0;
  EXPECT_EQ(VexQ4CLSerialGetManufacturer(0, name, &size, &version), VEXQ4_OK);
  EXPECT_STREQ(name, "COM-ports");
  EXPECT_EQ(name[10], '#');
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(version, 1u);

  EXPECT_EQ(VexQ4CLSerialGetManufacturer(1, name, &size, &version), VEXQ4_E_CAMERA_LINK);
  EXPECT_STREQ(name, "COM-ports");
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("Alpha Grabbers"), VEXQ4_E_CAMERA_LINK);
}

TEST_F(BareCameraLink, SelectingComPortsNeedsNoLibrary) {
  unsigned count = 0;
  EXPECT_EQ(VexQ4CLSerialGetNumSerialPorts(&count), VEXQ4_E_CAMERA_LINK);  // grabberIndex -1
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("COM-ports"), VEXQ4_OK);
  EXPECT_EQ(Transport().grabberIndex, 0);
  EXPECT_EQ(VexQ4CLSerialGetNumSerialPorts(&count), VEXQ4_OK);
  EXPECT_EQ(count, 17u);
  VexQ4ExitComm(0);
  EXPECT_EQ(Transport().grabberIndex, -1);
}

TEST_F(BareCameraLink, NullOutputsAreRefusedAndNothingIsTouched) {
  unsigned value = 5;
  char name[VEXQ4_CL_NAME_SIZE] = "unchanged";
  EXPECT_EQ(VexQ4CLSerialGetNumManufacturers(nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLSerialGetManufacturer(0, nullptr, &value, &value), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLSerialGetManufacturer(0, name, nullptr, &value), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLSerialGetManufacturer(0, name, &value, nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_STREQ(name, "unchanged");
  EXPECT_EQ(value, 5u);
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer(nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLSerialGetNumSerialPorts(nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLAllSerialGetNumPorts(nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLAllSerialGetPortInfo(0, name, &value, nullptr, &value, &value),
            VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLAllSerialGetNumBytesAvail(nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4CLAllSerialGetSupportedBaudRates(nullptr), VEXQ4_E_ARGUMENT);
}

TEST_F(BareCameraLink, ClAllSerialMissing) {
  unsigned count = 7;
  char manufacturer[VEXQ4_CL_NAME_SIZE] = {};
  char id[VEXQ4_CL_NAME_SIZE] = {};
  unsigned a = 0, b = 0, c = 0;
  EXPECT_EQ(VexQ4CLAllSerialGetNumPorts(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(VexQ4CLAllSerialGetPortInfo(0, manufacturer, &a, id, &b, &c), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(VexQ4CLAllSerialGetNumBytesAvail(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(VexQ4CLAllSerialGetSupportedBaudRates(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(VexQ4CLAllSerialSetBaudRate(1), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(count, 7u);
}

TEST_F(BareCameraLink, OpeningWithoutTheLibraryLeavesThePortClosed) {
  EXPECT_EQ(VexQ4InitComm(1, 4, 0), VEXQ4_E_CAMERA_LINK);
  // Not claimed: a second opening does not answer "already open" (-5).
  EXPECT_EQ(VexQ4InitComm(1, 4, 0), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(VexQ4InitComm(0, 4, 1), VEXQ4_E_CAMERA_LINK);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(4, SH, &value), VEXQ4_E_NO_CONNECTION);
  VexQ4ExitComm(4);
}

}  // namespace
