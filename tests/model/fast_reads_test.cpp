// Fast reads: whole-camera reads with a short drain before each query,
// against the simulated camera at 9600 baud in virtual time.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>

#include "model_access.h"
#include "table_counts.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/clock.h"
#include "vexq4/sim/virtual_link.h"

namespace {

class FastReads : public ::testing::Test {
 protected:
  void SetUp() override {
    // Values that differ from the model's initial ones, so a read shows.
    link.camera().SetValue("GA", 123);
    link.camera().SetValue("BLR", 40);
    link.camera().SetValue("KPG", 700);
    link.camera().SetValue("SH", 4);
  }
  void TearDown() override {
    CVexCamInterface::SetQueryDrainTime(-1);
    unsetenv("VEXQ4_QUERY_DRAIN_MS");
  }

  // Virtual milliseconds `operation` took; it must succeed.
  template <typename F>
  std::uint32_t Took(F operation) {
    const std::uint32_t start = vexq4::platform::TickCount();
    EXPECT_EQ(operation(), 0);
    return vexq4::platform::TickCount() - start;
  }

  void ExpectCameraValues() const {
    EXPECT_EQ(vexq4::testing::ValueOf(model, "MasterGainLevel"), 123);
    EXPECT_EQ(vexq4::testing::ValueOf(model, "RedBlackLevel"), 40);
    EXPECT_EQ(vexq4::testing::ValueOf(model, "GreenKneePoint"), 700);
    EXPECT_EQ(vexq4::testing::TextOf(model, "ShutterSpeedStr"), "1/250");
    EXPECT_EQ(model.IsSynchronized(), 1);
  }

  vexq4::sim::VirtualLink link{vexq4::sim::Config{}, 1};  // outlives the model
  CVexCamInterface model;
};

TEST_F(FastReads, ReadAllTakesAboutASecondInsteadOfFour) {
  ASSERT_EQ(model.SetComPort(1), 0);
  const std::uint32_t standard = Took([&] { return model.ReadAllFromCamera(); });
  ExpectCameraValues();
  // 34 queries, each after an empty read of 101 ms. The virtual line also
  // carries the queries' own bytes (about 0.2 s in all), as a real line
  // does and a pseudo-terminal does not.
  EXPECT_GE(standard, 3900u);
  EXPECT_LE(standard, 4200u);

  setenv("VEXQ4_QUERY_DRAIN_MS", "15", 1);
  EXPECT_EQ(Took([&] { return model.ReadAllFromCamera(); }), standard)
      << "the variable counts only from the next opening";
  ASSERT_EQ(model.SetComPort(1), 0);
  vexq4::model::TestAccess::Preset(model, "MasterGainLevel", 0);
  const std::uint32_t fast = Took([&] { return model.ReadAllFromCamera(); });
  ExpectCameraValues();
  // Only the drains got shorter; the rest is the line's own time (the
  // bytes both ways at 9600 baud and the camera's latency, about 0.67 s).
  EXPECT_EQ(standard - fast,
            vexq4::testing::ReadAllExchanges(vexq4::model::kContinuousWhiteBalance) * (101 - 15));
  EXPECT_LT(fast, 1200u);
}

TEST_F(FastReads, TheModelsSetterTakesEffectWithoutReconnecting) {
  ASSERT_EQ(model.SetComPort(1), 0);
  ASSERT_EQ(CVexCamInterface::SetQueryDrainTime(15), 0);
  EXPECT_LT(Took([&] { return model.ReadAllFromCamera(); }), 1200u);
  ExpectCameraValues();
  // A load from a user area is a command (with its standard drain) and a
  // read-all.
  link.camera().SetAreaValue(1, "GA", 55);
  EXPECT_LT(Took([&] { return model.LoadSettings(1); }), 1400u);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "MasterGainLevel"), 55);

  EXPECT_EQ(CVexCamInterface::SetQueryDrainTime(101), -1);
  ASSERT_EQ(CVexCamInterface::SetQueryDrainTime(0), 0);
  EXPECT_GE(Took([&] { return model.ReadAllFromCamera(); }), 3800u);
}

}  // namespace
