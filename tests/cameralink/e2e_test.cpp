// The whole Camera Link path in real time: libVexQ4Comm.so loads
// liblinkport.so from its own folder, linkport finds the simulated grabber
// (libclsersim.so) through VEXQ4_SYSTEM_DIR, and the grabber's port is the
// camera simulator's pseudo-terminal. The linkport drain costs two 600 ms
// reads per transaction, so these tests keep to a few exchanges.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <chrono>
#include <string>

#include "VexQ4Comm.h"
#include "vexq4/sim/pty_server.h"

namespace {

using vexq4::sim::PtyServer;

constexpr int kPort = 2;

class SimulatedGrabber : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start(&error)) << error;
    setenv("VEXQ4_SYSTEM_DIR", GRABBER_DIR, 1);
    setenv("VEXQ4_CLSERSIM_DEVICE", server_.slavePath().c_str(), 1);
    setenv("VEXQ4_CLALLSERIAL_DEVICE0", server_.slavePath().c_str(), 1);
  }
  void TearDown() override { VexQ4ExitComm(kPort); }

  // Opens the simulated grabber's entry in the manufacturer list.
  void OpenThroughLinkport() {
    unsigned count = 0;
    ASSERT_EQ(VexQ4CLSerialGetNumManufacturers(&count), VEXQ4_OK);
    ASSERT_EQ(count, 2u);
    char name[VEXQ4_CL_NAME_SIZE] = {};
    unsigned size = 0;
    unsigned version = 0;
    ASSERT_EQ(VexQ4CLSerialGetManufacturer(1, name, &size, &version), VEXQ4_OK);
    EXPECT_STREQ(name, "RX-Q4 Simulated Grabber");
    EXPECT_EQ(version, 4u);
    ASSERT_EQ(VexQ4InitComm(1, kPort, 0), VEXQ4_OK);
  }

  PtyServer server_;
};

TEST_F(SimulatedGrabber, ProbeQueryCommandIdentityAndClose) {
  server_.camera()->SetValue("GA", 42);
  OpenThroughLinkport();
  EXPECT_EQ(server_.camera()->log().front().text, "SH?");

  int gain = 0;
  EXPECT_EQ(VexQ4GetCameraData(kPort, GA, &gain), VEXQ4_OK);
  EXPECT_EQ(gain, 42);
  EXPECT_EQ(VexQ4SendCameraData(kPort, GA, -132), VEXQ4_OK);
  EXPECT_EQ(server_.camera()->Value("GA"), -132);

  char model[VEXQ4_MODEL_NAME_SIZE] = {};
  EXPECT_EQ(VexQ4GetModelName(kPort, model), VEXQ4_OK);
  EXPECT_STREQ(model, vexq4::sim::kDefaultModelName);

  EXPECT_EQ(VexQ4ExitComm(kPort), VEXQ4_OK);
  EXPECT_EQ(VexQ4GetCameraData(kPort, GA, &gain), VEXQ4_E_NO_CONNECTION);
  // The grabber let the port go: it can be opened again.
  ASSERT_EQ(VexQ4InitComm(1, kPort, 0), VEXQ4_OK);
}

TEST_F(SimulatedGrabber, ShadingRoundTrip) {
  {
    auto camera = server_.camera();
    for (int i = 0; i < vexq4::sim::kShadingValues; ++i) {
      camera->shadingTable()[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i * 85 + 7);
    }
  }
  OpenThroughLinkport();
  std::array<int, VEXQ4_SHADING_READ_INTS> read{};
  ASSERT_EQ(VexQ4GetShadingData(kPort, read.data()), VEXQ4_OK);
  EXPECT_EQ(read[0], 1024);
  EXPECT_EQ(read[1], 768);
  EXPECT_EQ(read[2 + 100], 100 * 85 + 7);

  std::array<int, VEXQ4_SHADING_SEND_INTS> send{};
  for (int i = 0; i < VEXQ4_SHADING_SEND_INTS; ++i)
    send[static_cast<std::size_t>(i)] = read[2 + i] ^ 0x0101;
  ASSERT_EQ(VexQ4SendShadingData(kPort, send.data()), VEXQ4_OK);
  auto camera = server_.camera();
  EXPECT_EQ(camera->shadingTable()[100], (100 * 85 + 7) ^ 0x0101);
  EXPECT_EQ(camera->shadingTable()[767], (767 * 85 + 7) ^ 0x0101);
}

TEST_F(SimulatedGrabber, ClAllSerialPort) {
  unsigned count = 0;
  ASSERT_EQ(VexQ4CLAllSerialGetNumPorts(&count), VEXQ4_OK);
  EXPECT_EQ(count, 1u);
  char manufacturer[VEXQ4_CL_NAME_SIZE] = {};
  char id[VEXQ4_CL_NAME_SIZE] = {};
  unsigned manufacturerSize = 0, idSize = 0, version = 0;
  ASSERT_EQ(VexQ4CLAllSerialGetPortInfo(0, manufacturer, &manufacturerSize, id, &idSize, &version),
            VEXQ4_OK);
  EXPECT_STREQ(manufacturer, "RX-Q4 Simulated Grabber");
  EXPECT_EQ(std::string(id), "sim0 " + server_.slavePath());

  ASSERT_EQ(VexQ4InitComm(0, kPort, 1), VEXQ4_OK);
  char cameraId[VEXQ4_CAMERA_ID_SIZE] = {};
  EXPECT_EQ(VexQ4GetCameraID(kPort, cameraId), VEXQ4_OK);
  EXPECT_STREQ(cameraId, vexq4::sim::kDefaultCameraId);
  unsigned rates = 0;
  EXPECT_EQ(VexQ4CLAllSerialGetSupportedBaudRates(&rates), VEXQ4_OK);
  EXPECT_EQ(rates & 0x1, 0x1u);
  EXPECT_EQ(VexQ4CLAllSerialGetNumBytesAvail(&count), VEXQ4_OK);
  EXPECT_EQ(VexQ4CLAllSerialSetBaudRate(0x3), -10008);  // one rate bit at a time
  EXPECT_EQ(VexQ4CLAllSerialSetBaudRate(0x1), VEXQ4_OK);
}

TEST_F(SimulatedGrabber, ShortQueryDrainEndsLinkportsDrainReadsEarly) {
  server_.camera()->SetValue("GA", 42);
  OpenThroughLinkport();
  ASSERT_EQ(VexQ4SetQueryDrainTime(15), VEXQ4_OK);
  struct Restore {
    ~Restore() { VexQ4SetQueryDrainTime(-1); }
  } restore;
  // The standard drain alone takes two 600 ms reads per query.
  int gain = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(VexQ4GetCameraData(kPort, GA, &gain), VEXQ4_OK);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(gain, 42);
  EXPECT_LT(took, std::chrono::milliseconds(1200));
}

TEST_F(SimulatedGrabber, SilentCameraFailsTheProbe) {
  server_.camera()->faults().silent = true;
  EXPECT_EQ(VexQ4InitComm(0, kPort, 1), VEXQ4_E_TIMEOUT);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(kPort, SH, &value), VEXQ4_E_NO_CONNECTION);
}

}  // namespace
