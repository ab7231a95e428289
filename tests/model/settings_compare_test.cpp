// A settings file as the camera's truth: compare, plan and apply against
// the simulated camera, in virtual time.
#include "vexq4/model/settings_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VexQ4Comm.h"
#include "model_access.h"
#include "online_fixture.h"
#include "test_dir.h"
#include "vexq4/platform/ini_file.h"

namespace {

using vexq4::model::ApplyTargets;
using vexq4::model::CompareWithCamera;
using vexq4::model::Difference;
using vexq4::model::FindSetting;
using vexq4::model::ReadSettingsFileTargets;
using vexq4::model::Status;

class SettingsFileTruth : public OnlineModel {
 protected:
  const vexq4::testing::TestDir dir;
  std::string file = (dir / "line.cam").string();

  // The camera's settings saved as a file, the line's log cleared.
  void SaveCamera() {
    ASSERT_EQ(model.ReadAllFromCamera(), 0);
    ASSERT_EQ(model.SaveSettingsFile(file), Status::kOk);
    link.camera().ClearLog();
    model.Clear();
  }
  void SetKey(std::string_view section, std::string_view key, std::string_view value) {
    vexq4::platform::ProfileDocument doc;
    ASSERT_TRUE(doc.Load(file));
    ASSERT_TRUE(doc.Set(section, key, value));
    ASSERT_TRUE(doc.Save(file));
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const std::string& line : Wire())
      if (line.find('?') == std::string::npos) out.push_back(line);
    return out;
  }
  static std::vector<std::string> Names(const std::vector<Difference>& ds) {
    std::vector<std::string> out;
    for (const Difference& d : ds) out.emplace_back(vexq4::model::SettingName(*d.row));
    return out;
  }
};

TEST_F(SettingsFileTruth, SavedThenAppliedSendsNothingInEveryWhiteBalanceMode) {
  link.camera().SetValue("WPR2", 17);
  link.camera().SetValue("WA", 6);
  for (int mode = 0; mode < 5; ++mode) {
    SCOPED_TRACE(mode);
    link.camera().SetValue("WB", mode);
    link.camera().SetValue("GAR", 40 + mode);
    SaveCamera();
    const auto read = ReadSettingsFileTargets(file);
    ASSERT_EQ(read.status, Status::kOk);
    // Every key, the area included; the gain keys only where the mode has gains.
    EXPECT_EQ(read.targets.size(), mode == 1 ? 30u : 32u);
    const auto result = ApplyTargets(model, read.targets);
    EXPECT_TRUE(result.holds());
    EXPECT_FALSE(result.differed);
    EXPECT_TRUE(Commands().empty()) << Commands().front();
    EXPECT_EQ(Wire().size(), read.targets.size());  // one read each, nothing more
    EXPECT_TRUE(CompareWithCamera(model, read.targets).same());
  }
}

TEST_F(SettingsFileTruth, TheGainKeysMeanWhatTheFilesModeSaved) {
  link.camera().SetValue("WB", 3);
  link.camera().SetValue("WPR2", 11);
  link.camera().SetValue("WPB2", -12);
  SaveCamera();
  // The manual gains are not the file's business in 4600 K; the presets are.
  link.camera().SetValue("GAR", 99);
  link.camera().SetValue("WPB2", 5);
  const auto diff = CompareWithCamera(model, ReadSettingsFileTargets(file).targets);
  ASSERT_EQ(diff.differences.size(), 1u);
  EXPECT_EQ(diff.differences[0].row, FindSetting("Blue4600KWBalPreset"));
  EXPECT_EQ(diff.differences[0].camera, 5);
  EXPECT_EQ(diff.differences[0].target, -12);
}

TEST_F(SettingsFileTruth, ApplySendsTheDifferencesInOrderAndReadsThemBack) {
  link.camera().SetValue("WB", 1);
  SaveCamera();
  SetKey("Gain", "White Balance", "3200 K");
  SetKey("Gain", "Gain Level for red", "10");
  SetKey("Gain", "Gain Level for Blue", "95");  // the camera's preset already
  SetKey("Gain", "Auto White Area", "Midle Right");
  SetKey("Gain", "Master Gain Level", "100");
  SetKey("Shutter", "Shutter Speed", "1/250");
  std::vector<vexq4::model::ProgressStep> steps;
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) { steps.push_back(s); });
  std::vector<std::string> acknowledged;
  const auto result = ApplyTargets(
      model, ReadSettingsFileTargets(file).targets,
      [&](const Difference& d) { acknowledged.emplace_back(vexq4::model::SettingName(*d.row)); });
  EXPECT_TRUE(result.holds());
  // The write-all's order; the area and the mode's preset after the mode.
  EXPECT_EQ(Commands(), (std::vector<std::string>{"SH=4", "GA=100", "WB=2", "WA=6", "WPR1=10"}));
  EXPECT_EQ(acknowledged,
            (std::vector<std::string>{"ShutterSpeedStr", "MasterGainLevel", "WhiteBalanceStr",
                                      "AutoWhiteAreaStr", "Red3200KWBalPreset"}));
  EXPECT_EQ(Names(result.changes), acknowledged);
  EXPECT_EQ(result.changes[1].camera, 0);
  EXPECT_EQ(result.changes[1].target, 100);
  // Read back: each setting sent, and the new mode's blue preset.
  const std::vector<std::string> wire = Wire();
  const auto lastCommand = std::find(wire.begin(), wire.end(), "WPR1=10");
  EXPECT_EQ(std::vector<std::string>(lastCommand + 1, wire.end()),
            (std::vector<std::string>{"SH?", "GA?", "WB?", "WA?", "WPR1?", "WPB1?"}));
  EXPECT_EQ(link.camera().Value("WPR1"), 10);
  // One step an exchange of the apply's own, counting on; one end.
  ASSERT_FALSE(steps.empty());
  for (std::size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i].step, int(i));
  EXPECT_EQ(steps.back().step, steps.back().total);
  EXPECT_EQ(steps.back().total, 32 + 5 + 6);  // reads, commands, read-back
  model.SetProgressHandler(nullptr);
  EXPECT_TRUE(CompareWithCamera(model, ReadSettingsFileTargets(file).targets).same());
}

TEST_F(SettingsFileTruth, AValueTheCameraRefusesIsNamedAndTheOthersApplied) {
  SaveCamera();
  SetKey("Shutter", "Shutter Speed", "1/250");
  SetKey("Gain", "Master Gain Level", "100");
  SetKey("Gain", "Knee Select", "0");
  // The camera refuses GA alone.
  model.onRecord = [&](const std::string& line) {
    if (line.starts_with("SH=")) link.camera().faults().rejectCommands = true;
    if (line.starts_with("GA=")) link.camera().faults().rejectCommands = false;
  };
  const auto result = ApplyTargets(model, ReadSettingsFileTargets(file).targets);
  EXPECT_EQ(result.status, Status::kOk);
  EXPECT_FALSE(result.holds());
  EXPECT_EQ(Names(result.changes), (std::vector<std::string>{"ShutterSpeedStr", "KneeSelect"}));
  ASSERT_EQ(result.failed.size(), 1u);
  EXPECT_EQ(result.failed[0].row, FindSetting("MasterGainLevel"));
  EXPECT_EQ(result.failed[0].camera, link.camera().Value("GA"));  // read back
  EXPECT_EQ(result.failed[0].target, 100);
  EXPECT_EQ(link.camera().Value("KN"), 0);
}

TEST_F(SettingsFileTruth, AStopEndsTheApplyAtTheNextExchange) {
  SaveCamera();
  SetKey("Shutter", "Shutter Speed", "1/250");
  SetKey("Gain", "Master Gain Level", "100");
  SetKey("Gain", "Knee Select", "0");
  const auto targets = ReadSettingsFileTargets(file).targets;
  std::vector<std::string> acknowledged;
  // A Ctrl-C right after the first command was acknowledged.
  std::size_t wireAtStop = 0;
  const auto result = ApplyTargets(model, targets, [&](const Difference& d) {
    acknowledged.emplace_back(vexq4::model::SettingName(*d.row));
    model.RequestStop();
    wireAtStop = Wire().size();
  });
  EXPECT_TRUE(result.stopped);
  EXPECT_FALSE(result.holds());
  EXPECT_EQ(acknowledged, (std::vector<std::string>{"ShutterSpeedStr"}));
  EXPECT_EQ(Wire().size(), wireAtStop);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"SH=4"}));
  model.ClearStop();
}

TEST_F(SettingsFileTruth, AFileThatIsNoSettingsFileIsRefusedWholeWithItsKey) {
  SaveCamera();
  SetKey("Gain", "Master Gain Level", "430");
  auto read = ReadSettingsFileTargets(file);
  EXPECT_EQ(read.status, Status::kInvalidSettingsFile);
  EXPECT_EQ(read.problem, "\"Master Gain Level=430\" is outside -132..429");
  EXPECT_TRUE(read.targets.empty());

  SaveCamera();
  SetKey("Shutter", "Shutter Speed", "1/7");
  EXPECT_EQ(ReadSettingsFileTargets(file).problem,
            "\"Shutter Speed=1/7\" is not one of its texts (letter case counts)");
  // A number the load takes unchecked, but no register holds.
  SaveCamera();
  SetKey("Shutter", "Smearless", "70000");
  EXPECT_EQ(ReadSettingsFileTargets(file).status, Status::kInvalidSettingsFile);
  SaveCamera();
  SetKey("Main", "Camera Type", "RX-Q5");
  read = ReadSettingsFileTargets(file);
  EXPECT_EQ(read.status, Status::kInvalidSettingsFile);
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(ReadSettingsFileTargets((dir / "missing.cam").string()).status,
            Status::kInvalidSettingsFile);
  EXPECT_EQ(ReadSettingsFileTargets(dir.path().string()).status, Status::kFileNotReadable);
  EXPECT_TRUE(Wire().empty());
}

TEST(ApplyPlan, GainsBeforeTheModeAndPresetsAfterItWithTheNewModesGainsReadBack) {
  const auto row = [](std::string_view name) { return FindSetting(name); };
  const std::vector<Difference> differences = {
      {row("Red5600KWBalPreset"), 0, 1}, {row("AutoWhiteAreaIndex"), 0, 2},
      {row("WhiteBalanceIndex"), 1, 4},  {row("RedGainLevel"), 0, 3},
      {row("ShadingMode"), 0, 1},        {row("ShutterMode"), 0, 1}};
  const auto plan = vexq4::model::PlanApply(differences);
  std::vector<std::string> sends, reads;
  for (const Difference& d : plan.sends) sends.emplace_back(d.row->mnemonic);
  for (const auto* r : plan.readBack) reads.emplace_back(r->mnemonic);
  EXPECT_EQ(sends, (std::vector<std::string>{"SM", "GAR", "WB", "WA", "WPR3", "SDM"}));
  EXPECT_EQ(reads, (std::vector<std::string>{"SM", "GAR", "WB", "WA", "WPR3", "SDM", "WPB3"}));
}

TEST(WriteAllTargets, TheGainsOnlyInManualMode) {
  CVexCamInterface model;
  vexq4::model::TestAccess::Preset(model, "WhiteBalanceIndex", 2);
  auto targets = vexq4::model::WriteAllTargets(model);
  EXPECT_EQ(targets.size(), vexq4::model::WriteAllOrder().size() - 2);
  vexq4::model::TestAccess::Preset(model, "WhiteBalanceIndex", 0);
  targets = vexq4::model::WriteAllTargets(model);
  EXPECT_EQ(targets.size(), vexq4::model::WriteAllOrder().size());
}

}  // namespace
