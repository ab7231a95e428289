// Stopping a model's long operation at its next exchange, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "online_fixture.h"
#include "test_dir.h"

namespace {

class StoppedModel : public OnlineModel {
 protected:
  // Asks for the stop when `operation` announces step `at`, as a host's
  // handler does on Ctrl-C; the line must see nothing more.
  void StopAt(std::string_view operation, int at) {
    model.SetProgressHandler([this, operation, at](const vexq4::model::ProgressStep& s) {
      last = s.step;
      if (s.operation != operation || s.step != at) return;
      model.RequestStop();
      wireAtStop = Wire().size();
    });
  }
  void SyncFirst() {
    ASSERT_EQ(model.ReadAllFromCamera(), 0);
    link.camera().ClearLog();
    model.Clear();
  }
  int last = -1;
  std::size_t wireAtStop = 0;
};

TEST_F(StoppedModel, AWriteAllSendsNothingAfterTheStepThatStoppedIt) {
  SyncFirst();
  StopAt("WriteAllToCamera", 4);
  EXPECT_EQ(model.WriteAllToCamera(), CVexCamInterface::kStopped);
  EXPECT_EQ(Wire(), (std::vector<std::string>{"SM=0", "SH=0", "PE=395", "PER=395"}));
  EXPECT_EQ(last, 4);  // no end announced
  // Whatever the cache held, the camera no longer holds all of it.
  EXPECT_EQ(model.events.back(), "SynchronizedStatusChanged(0)");
  EXPECT_EQ(model.IsOnline(), 1);

  // Until cleared, every long operation stops at its first step; a
  // stopped read leaves the flag as it was (it changes no camera).
  EXPECT_EQ(model.ReadAllFromCamera(), CVexCamInterface::kStopped);
  EXPECT_EQ(Wire().size(), 4u);
  model.ClearStop();
  model.SetProgressHandler(nullptr);
  EXPECT_EQ(model.WriteAllToCamera(), 0);
  EXPECT_EQ(model.IsSynchronized(), 1);
  StopAt("ReadAllFromCamera", 3);
  EXPECT_EQ(model.ReadAllFromCamera(), CVexCamInterface::kStopped);
  EXPECT_EQ(model.IsSynchronized(), 1);
}

TEST_F(StoppedModel, AnAreaLoadedAndNotReadBackIsNotSynchronized) {
  const vexq4::testing::TestDir dir;
  link.camera().SetValue("GA", 77);
  SyncFirst();
  // The report loads the areas, then gives the camera the model's settings
  // back; stopped half way, it writes no file and sends nothing more.
  StopAt("WriteCameraDataToFile", 80);
  EXPECT_EQ(model.WriteCameraDataToFile((dir / "camera.txt").string()), CVexCamInterface::kStopped);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // nor a temporary file
  EXPECT_EQ(Wire().size(), wireAtStop);
  EXPECT_EQ(link.camera().Value("GA"), 0);  // an area's
  EXPECT_EQ(model.IsSynchronized(), 0);

  model.ClearStop();
  ASSERT_EQ(model.ReadAllFromCamera(), 0);
  StopAt("LoadSettings", 3);
  EXPECT_EQ(model.LoadSettings(1), CVexCamInterface::kStopped);
  EXPECT_EQ(Wire().size(), wireAtStop);
  EXPECT_EQ(model.IsSynchronized(), 0);
}

}  // namespace
