// The library against the simulated camera in virtual time.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "VexQ4Comm.h"
#include "vexq4/platform/abandon.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::sim {
namespace {

// Drain() that waits for written bytes to cross the line, as tcdrain does
// on a real port (the simulated device's own Drain returns at once, which
// lets a byte-by-byte upload finish in no time and then wait too little for
// the camera's answer).
class LineTimedDrain final : public platform::SerialDevice {
 public:
  LineTimedDrain(std::unique_ptr<platform::SerialDevice> inner, VirtualClock& clock)
      : inner_(std::move(inner)), clock_(clock) {}
  bool Write(std::span<const std::uint8_t> bytes) override {
    owedUs_ += bytes.size() * 10'000'000 / 9600;
    return inner_->Write(bytes);
  }
  bool ReadByte(std::uint8_t& out) override { return inner_->ReadByte(out); }
  bool ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) override {
    return inner_->ReadByteWithin(out, timeoutMs);
  }
  bool Drain() override {
    clock_.Advance(static_cast<std::uint32_t>((owedUs_ + 999) / 1000));
    owedUs_ = 0;
    return inner_->Drain();
  }

 private:
  std::unique_ptr<platform::SerialDevice> inner_;
  VirtualClock& clock_;
  std::uint64_t owedUs_ = 0;
};

// Hands out the link's device wrapped in LineTimedDrain.
void UseLineTimedDrain(VirtualLink& link) {
  auto device = std::make_shared<std::unique_ptr<platform::SerialDevice>>(
      platform::OpenComPort(link.comPort()).device);
  platform::SetSerialOpener([device, &link](unsigned) {
    platform::OpenResult result;
    if (*device) result.device = std::make_unique<LineTimedDrain>(std::move(*device), link.clock());
    return result;
  });
}

class SimLinkTest : public ::testing::Test {
 protected:
  void TearDown() override { VexQ4ExitComm(1); }
};

TEST_F(SimLinkTest, OpenQuerySetAndClose) {
  VirtualLink link;
  link.camera().SetValue("GA", 120);
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
  ASSERT_FALSE(link.camera().log().empty());
  EXPECT_EQ(link.camera().log().front().text, "SH?");

  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 120);
  EXPECT_EQ(VexQ4SendCameraData(1, GA, -132), VEXQ4_OK);
  EXPECT_EQ(link.camera().Value("GA"), -132);
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, -132);

  EXPECT_EQ(VexQ4ExitComm(1), VEXQ4_OK);
  EXPECT_FALSE(link.isOpen());
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_NO_CONNECTION);
}

TEST_F(SimLinkTest, EchoingCameraAndEchoedQueries) {
  Config config;
  config.shape = ReplyShape::kEchoThenComplete;
  config.faults.echoQuery = true;
  VirtualLink link(config);
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
  EXPECT_EQ(VexQ4SendCameraData(1, SH, 4), VEXQ4_OK);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 4);
  // Commands stay 600 ms apart on the camera's side too.
  EXPECT_EQ(VexQ4SendCameraData(1, SH, 5), VEXQ4_OK);
  const auto& log = link.camera().log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.back().text, "SH=5");
  EXPECT_GE(log.back().timeMs - log[log.size() - 3].timeMs, 600u);
}

// A camera that echoes each query line before its answer: every query code
// reads as it does without the echo, whatever the length of its mnemonic
// ("SH?", "KSR?", "CBAR?", "WPR1?", "AWRS?"), and so do the identity texts.
TEST_F(SimLinkTest, EveryQueryCodeThroughAnEchoingCamera) {
  auto readAll = [](bool echo) {
    Config config;
    config.faults.echoQuery = echo;
    VirtualLink link(config);
    int n = 0;
    for (const char* mnemonic :
         {"SC",  "TR",  "SH",   "TP",   "SL",   "RF",   "CBAR", "KN",  "GA",  "SM",
          "PE",  "TI",  "LS",   "BA",   "BI",   "GAB",  "BLB",  "PER", "PEG", "PEB",
          "KPB", "KSR", "GAR",  "BLR",  "KPG",  "KPR",  "WB",   "KSG", "KSB", "BLG",
          "SDM", "WA",  "WPR1", "WPB1", "WPR2", "WPB2", "WPR3", "WPB3"}) {
      link.camera().SetValue(mnemonic, 100 + n++);  // tells each answer from the others
    }
    link.camera().identity().userId = "LINE 7";
    std::vector<std::string> results;
    EXPECT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
    for (unsigned code = 0; code < 56; ++code) {
      int value = -1;
      const int rc = VexQ4GetCameraData(1, code, &value);
      results.push_back(std::to_string(code) + ":" + std::to_string(rc) + ":" +
                        std::to_string(value));
    }
    char id[VEXQ4_CAMERA_ID_SIZE] = {}, model[VEXQ4_MODEL_NAME_SIZE] = {},
         user[VEXQ4_USER_ID_SIZE] = {};
    results.push_back(std::to_string(VexQ4GetCameraID(1, id)) + id);
    results.push_back(std::to_string(VexQ4GetModelName(1, model)) + model);
    results.push_back(std::to_string(VexQ4GetUserID(1, user)) + user);
    VexQ4ExitComm(1);
    return results;
  };
  const auto plain = readAll(false);
  const auto echoed = readAll(true);
  EXPECT_EQ(echoed, plain);
  // The long mnemonics were answered, not refused as malformed.
  EXPECT_EQ(plain[29], "29:0:121");  // KSR
  EXPECT_EQ(plain[8], "8:0:106");    // CBAR
  EXPECT_EQ(plain[49], "49:0:132");  // WPR1
  EXPECT_EQ(plain[45], "45:0:0");    // AWRS
  EXPECT_EQ(plain.back(), "0LINE 7");
}

// A program asked to stop does not wait out the reply time-out, not even
// the 10 s of auto shading.
TEST_F(SimLinkTest, AbandonedLineEndsTheExchangeAtOnce) {
  Config config;
  config.autoShadingMs = 9000;
  VirtualLink link(config);
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
  platform::RequestAbandon();
  const std::uint32_t start = link.clock().now();
  EXPECT_NE(VexQ4SendCameraData(1, 48, 0), VEXQ4_OK);
  int value = 0;
  EXPECT_NE(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_LT(link.clock().now() - start, 1500u);
  platform::ClearAbandon();
  link.clock().Advance(10000);  // the camera finishes its table
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
}

TEST_F(SimLinkTest, FaultyRepliesGiveTheirCodes) {
  VirtualLink link;
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
  int value = 77;
  link.camera().faults().overlongLine = true;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  link.camera().faults().overlongLine = false;
  link.camera().faults().silent = true;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  link.camera().faults().silent = false;
  link.camera().faults().rejectCommands = true;
  EXPECT_EQ(VexQ4SendCameraData(1, SH, 2), VEXQ4_E_NOT_ACKNOWLEDGED);
  link.camera().faults().rejectCommands = false;
  EXPECT_EQ(value, 77);
  link.SetUnplugged(true);
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_NOT_ACKNOWLEDGED);
  link.SetUnplugged(false);
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
}

TEST_F(SimLinkTest, IdentityAndUserId) {
  VirtualLink link;
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
  char id[10] = {};
  char model[10] = {};
  char user[20] = "old";
  EXPECT_EQ(VexQ4GetCameraID(1, id), VEXQ4_OK);
  EXPECT_STREQ(id, kDefaultCameraId);
  EXPECT_EQ(VexQ4GetModelName(1, model), VEXQ4_OK);
  EXPECT_STREQ(model, kDefaultModelName);
  EXPECT_EQ(VexQ4SetUserID(1, "Line 7"), VEXQ4_OK);
  EXPECT_EQ(link.camera().identity().userId, "Line 7");
  EXPECT_EQ(VexQ4GetUserID(1, user), VEXQ4_OK);
  EXPECT_STREQ(user, "Line 7");
  EXPECT_EQ(VexQ4SetUserID(1, "seventeen chars!!"), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(link.camera().identity().userId, "Line 7");
}

TEST_F(SimLinkTest, ShadingRoundTrip) {
  VirtualLink link;
  auto& table = link.camera().shadingTable();
  for (int i = 0; i < kShadingValues; ++i) table[i] = static_cast<std::uint16_t>(i * 85 + 0x1113);
  UseLineTimedDrain(link);
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);

  std::vector<int> values(1546, -1);
  ASSERT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_OK);
  EXPECT_EQ(values[0], 1024);
  EXPECT_EQ(values[1], 768);
  for (int i = 0; i < kShadingValues; ++i) ASSERT_EQ(values[2 + i], table[i]) << i;

  std::vector<int> changed(values.begin() + 2, values.begin() + 2 + kShadingValues);
  for (int& v : changed) v = (v + 1) & 0xFFFF;
  ASSERT_EQ(VexQ4SendShadingData(1, changed.data()), VEXQ4_OK);
  for (int i = 0; i < kShadingValues; ++i) ASSERT_EQ(table[i], changed[i]) << i;

  link.camera().faults().corruptShading = true;
  std::vector<int> untouched(1546, -1);
  EXPECT_EQ(VexQ4GetShadingData(1, untouched.data()), VEXQ4_E_NOT_ACKNOWLEDGED);
  EXPECT_EQ(untouched, std::vector<int>(1546, -1));
}

}  // namespace
}  // namespace vexq4::sim
