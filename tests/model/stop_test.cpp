// Stopping a model's long operation at its next exchange, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "online_fixture.h"
#include "test_dir.h"

namespace {

using Lines = std::vector<std::string>;

// The mnemonics of the commands among the lines ("GA=5" -> "GA").
Lines Commands(const Lines& wire) {
  Lines out;
  for (const std::string& line : wire)
    if (const auto equals = line.find('='); equals != std::string::npos)
      out.push_back(line.substr(0, equals));
  return out;
}

class StoppedModel : public OnlineModel {
 protected:
  std::vector<vexq4::model::ProgressStep> steps;
  // Asks for the stop when the operation announces step `at`, as a host's
  // handler does on Ctrl-C; the line must see nothing more.
  void StopAt(int at) {
    model.SetProgressHandler([this, at](const vexq4::model::ProgressStep& s) {
      steps.push_back(s);
      if (s.step == at) {
        model.RequestStop();
        wireAtStop = Wire().size();
      }
    });
  }
  void SyncFirst() {
    ASSERT_EQ(model.ReadAllFromCamera(), 0);
    ASSERT_EQ(model.isSynchronized, 1);
    link.camera().ClearLog();
    model.Clear();
  }
  std::size_t wireAtStop = 0;
};

TEST_F(StoppedModel, AWriteAllSendsNothingAfterTheStepThatStoppedIt) {
  SyncFirst();
  StopAt(4);
  EXPECT_EQ(model.WriteAllToCamera(), CVexCamInterface::kStopped);
  EXPECT_EQ(Commands(Wire()), (Lines{"SM", "SH", "PE", "PER"}));
  EXPECT_EQ(Wire().size(), wireAtStop);
  EXPECT_EQ(steps.back().step, 4);  // no end announced
  // Whatever the cache held, the camera no longer holds all of it.
  EXPECT_EQ(model.isSynchronized, 0);
  EXPECT_EQ(model.events.back(), "SynchronizedStatusChanged(0)");
  EXPECT_EQ(model.isOnline, 1);

  // Until cleared, every long operation stops at its first step.
  EXPECT_EQ(model.ReadAllFromCamera(), CVexCamInterface::kStopped);
  EXPECT_EQ(Wire().size(), wireAtStop);
  model.ClearStop();
  model.SetProgressHandler(nullptr);
  EXPECT_EQ(model.WriteAllToCamera(), 0);
  EXPECT_EQ(model.isSynchronized, 1);
}

TEST_F(StoppedModel, AStoppedReadLeavesTheFlagAsItWas) {
  SyncFirst();
  StopAt(3);
  EXPECT_EQ(model.ReadAllFromCamera(), CVexCamInterface::kStopped);
  EXPECT_EQ(Wire().size(), 3u);
  EXPECT_EQ(model.isSynchronized, 1);  // reading changes no camera
}

TEST_F(StoppedModel, AnAreaLoadedButNotReadIsNotSynchronized) {
  SyncFirst();
  link.camera().SetValue("GA", 50);
  ASSERT_EQ(model.StoreSettings(2), 0);
  StopAt(3);
  EXPECT_EQ(model.LoadSettings(2), CVexCamInterface::kStopped);
  EXPECT_EQ(Wire().size(), wireAtStop);
  EXPECT_EQ(model.isSynchronized, 0);
}

TEST_F(StoppedModel, AStoppedReportWritesNoFileAndLeavesTheAreaItLoaded) {
  const vexq4::testing::TestDir dir;
  const auto report = dir / "camera.txt";
  link.camera().SetValue("GA", 77);
  SyncFirst();
  ASSERT_EQ(link.camera().Value("GA"), 77);
  // Half way: the factory area and more are loaded.
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) {
    if (s.operation == "WriteCameraDataToFile" && s.step == s.total / 2) model.RequestStop();
  });
  EXPECT_EQ(model.WriteCameraDataToFile(report.string()), CVexCamInterface::kStopped);
  EXPECT_FALSE(std::filesystem::exists(report));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // nor a temporary one
  const Lines wire = Wire();
  EXPECT_EQ(std::count(wire.begin(), wire.end(), std::string("LD=0")), 1);
  EXPECT_EQ(std::count(wire.begin(), wire.end(), std::string("GA=77")), 0);
  EXPECT_NE(link.camera().Value("GA"), 77);
  EXPECT_EQ(model.isSynchronized, 0);
}

}  // namespace
