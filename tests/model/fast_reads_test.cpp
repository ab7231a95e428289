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

// The hosts' one rule: the standard reads when the user asks for them,
// whatever the environment says; else VEXQ4_QUERY_DRAIN_MS when the
// library can take it; else 15 ms. Timed by a read-all's 34 drains.
TEST_F(FastReads, HostsReadFastUnlessToldOtherwise) {
  ASSERT_EQ(model.SetComPort(1), 0);
  const auto readAll = [&] { return Took([&] { return model.ReadAllFromCamera(); }); };
  const auto chosen = [&](bool standard, const char* variable) {
    if (variable) {
      setenv("VEXQ4_QUERY_DRAIN_MS", variable, 1);
    } else {
      unsetenv("VEXQ4_QUERY_DRAIN_MS");
    }
    return CVexCamInterface::UseHostReads(standard);
  };
  CVexCamInterface::HostReads reads = chosen(false, nullptr);
  EXPECT_EQ(reads.drainMs, 15);
  EXPECT_FALSE(reads.fromEnvironment);
  const std::uint32_t fast = readAll();
  ExpectCameraValues();

  reads = chosen(true, "20");
  EXPECT_EQ(reads.drainMs, 0);
  const std::uint32_t standard = readAll();
  EXPECT_EQ(standard - fast, 34u * (101 - 15));

  reads = chosen(false, "20");
  EXPECT_EQ(reads.drainMs, 20);
  EXPECT_TRUE(reads.fromEnvironment);
  EXPECT_EQ(readAll(), fast + 34 * 5);
  reads = chosen(false, "0");
  EXPECT_EQ(reads.drainMs, 0);
  EXPECT_TRUE(reads.fromEnvironment);
  EXPECT_EQ(readAll(), standard);

  for (const char* ignored : {"15ms", "101", "-1", " "}) {
    reads = chosen(false, ignored);
    EXPECT_EQ(reads.drainMs, 15) << ignored;
    EXPECT_EQ(reads.ignoredVariable, ignored);
    EXPECT_EQ(readAll(), fast) << ignored;
  }
}

}  // namespace
