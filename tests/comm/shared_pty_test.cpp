// The shared library, as integrators link it, against the simulated camera
// on a pseudo-terminal in real time: COM port 7 is pointed at the pty with
// VEXQ4_COM7.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "VexQ4Comm.h"
#include "vexq4/sim/pty_server.h"

namespace vexq4::sim {
namespace {

constexpr unsigned kPort = 7;

class SharedLibraryOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ::setenv("VEXQ4_COM7", server.slavePath().c_str(), 1);
  }
  void TearDown() override {
    VexQ4ExitComm(kPort);
    ::unsetenv("VEXQ4_COM7");
  }
  // Unpaced: a shading frame is then in the terminal whole, so a busy
  // machine that holds up the simulator's thread cannot leave a gap in it
  // longer than the library's 101 ms byte read (a real camera never pauses
  // mid-frame).
  static Config Unpaced() {
    Config config;
    config.paceAt9600 = false;
    return config;
  }
  PtyServer server{Unpaced()};
};

TEST_F(SharedLibraryOnPty, OpenQueryCommandIdentityClose) {
  {
    auto camera = server.camera();
    camera->SetValue("GA", 55);
  }
  ASSERT_EQ(VexQ4InitComm(0, kPort, 0), VEXQ4_OK);
  EXPECT_EQ(VexQ4InitComm(0, kPort, 0), VEXQ4_E_NO_CONNECTION);

  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(kPort, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 55);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(VexQ4SendCameraData(kPort, GA, 60), VEXQ4_OK);
  EXPECT_EQ(VexQ4SendCameraData(kPort, GA, 61), VEXQ4_OK);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
  EXPECT_EQ(server.camera()->Value("GA"), 61);

  char model[10] = {};
  EXPECT_EQ(VexQ4GetModelName(kPort, model), VEXQ4_OK);
  EXPECT_STREQ(model, kDefaultModelName);

  EXPECT_EQ(VexQ4ExitComm(kPort), VEXQ4_OK);
  EXPECT_EQ(VexQ4GetCameraData(kPort, GA, &value), VEXQ4_E_NO_CONNECTION);
  // The port was handed back: it opens again.
  EXPECT_EQ(VexQ4InitComm(0, kPort, 0), VEXQ4_OK);
}

TEST_F(SharedLibraryOnPty, ShadingFrameCrossesTheTerminalUnchanged) {
  // Values made of the bytes a terminal likes to interpret: XON, XOFF, CR,
  // LF, interrupt and end-of-file characters.
  const std::uint8_t special[] = {0x11, 0x13, 0x0D, 0x0A, 0x03, 0x04, 0x1A, 0x7F, 0xFF, 0x00};
  std::vector<int> table(768);
  for (int i = 0; i < 768; ++i) table[i] = (special[i % 10] << 8) | special[(i / 10) % 10];
  ASSERT_EQ(VexQ4InitComm(0, kPort, 0), VEXQ4_OK);
  ASSERT_EQ(VexQ4SendShadingData(kPort, table.data()), VEXQ4_OK);
  std::vector<int> values(1546, -1);
  ASSERT_EQ(VexQ4GetShadingData(kPort, values.data()), VEXQ4_OK);
  EXPECT_EQ(std::vector<int>(values.begin() + 2, values.begin() + 770), table);
}

TEST_F(SharedLibraryOnPty, SilentCameraAndVanishedLine) {
  ASSERT_EQ(VexQ4InitComm(0, kPort, 0), VEXQ4_OK);
  server.camera()->faults().silent = true;
  int value = 9;
  EXPECT_EQ(VexQ4GetCameraData(kPort, SH, &value), VEXQ4_E_TIMEOUT);
  server.Stop();  // the other end of the line goes away
  // The query cannot be written; the drain before it still ends.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(VexQ4GetCameraData(kPort, SH, &value), VEXQ4_E_NOT_ACKNOWLEDGED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(value, 9);
}

}  // namespace
}  // namespace vexq4::sim
