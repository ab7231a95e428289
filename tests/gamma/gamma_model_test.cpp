// The example setting of docs/adding-a-setting.md, "Gamma", in a build that
// has it: the table, the camera transfers, the settings file and the
// report take it from its row alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file_formats.h"
#include "online_model.h"
#include "test_dir.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/ini_file.h"

namespace {

using vexq4::model::SettingRow;
using vexq4::model::Transfer;
using vexq4::testing::OnlineModel;
using vexq4::testing::ReadFile;
using vexq4::testing::TestDir;

const SettingRow& Gamma() {
  const SettingRow* row = vexq4::model::FindSetting("Gamma");
  EXPECT_NE(row, nullptr) << "the build has no Gamma row";
  return row ? *row : vexq4::model::Settings().front();
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

TEST(GammaSetting, TheRowTakesItsPlaceInEveryTransfer) {
  const SettingRow& gamma = Gamma();
  EXPECT_EQ(gamma.mnemonic, "GM");
  EXPECT_EQ(vexq4::model::FindSetting("GM"), &gamma);
  EXPECT_EQ(gamma.min, 0);
  EXPECT_EQ(gamma.max, 2);
  EXPECT_TRUE(gamma.checked);
  for (Transfer t : {Transfer::kReadAll, Transfer::kSettingsFile, Transfer::kWriteAll,
                     Transfer::kOfflineRefresh, Transfer::kReportRows, Transfer::kReportReads}) {
    const auto order = vexq4::model::TransferOrder(t);
    EXPECT_EQ(std::count(order.begin(), order.end(), &gamma), 1) << static_cast<int>(t);
  }
  const auto* notification = vexq4::model::FindNotification("GammaChanged");
  ASSERT_NE(notification, nullptr);
  EXPECT_EQ(notification->setting, &gamma);
}

TEST(GammaSetting, TheSettingsFileKeepsIt) {
  TestDir dir;
  const auto path = (dir / "gamma.cam").string();
  CVexCamInterface model;
  for (const char* slope : {"KSR", "KSG", "KSB"})  // 0 is no knee slope
    model.SetSetting(*vexq4::model::FindSetting(slope), 1);
  EXPECT_EQ(model.SetGamma(2), -5);  // off-line: kept, not sent
  ASSERT_EQ(model.WriteAllToFile(path), 0);
  const std::string text = ReadFile(path);
  // In the Gain section, after the last key that was there before.
  EXPECT_NE(text.find("Shading Mode=0\r\nGamma=2\r\n"), std::string::npos) << text;

  CVexCamInterface loaded;
  EXPECT_EQ(loaded.ReadAllFromFile(path), 0);
  EXPECT_EQ(loaded.Value(Gamma()), 2);

  // Its range is checked like every other's.
  vexq4::platform::WriteProfileString(path, "Gain", "Gamma", "3");
  CVexCamInterface refused;
  EXPECT_EQ(refused.ReadAllFromFile(path), -9);
  EXPECT_EQ(refused.Value(Gamma()), 0);
}

TEST(GammaSetting, TheCameraTransfersAndTheReportTakeIt) {
  vexq4::sim::Config config;
  config.values["GM"] = 2;
  config.areas[0]["GM"] = 1;
  config.areas[1]["GM"] = 0;
  OnlineModel online(config);
  auto& model = online.model;

  ASSERT_EQ(model.ReadAllFromCamera(), 0);
  EXPECT_EQ(Count(online.Received(), "GM?"), 1);
  EXPECT_EQ(model.Value(Gamma()), 2);
  online.camera().ClearLog();

  ASSERT_EQ(model.SetGamma(1), 0);
  EXPECT_EQ(online.camera().Value("GM"), 1);
  online.camera().ClearLog();
  ASSERT_EQ(model.WriteAllToCamera(), 0);
  EXPECT_EQ(Count(online.Received(), "GM=1"), 1);

  TestDir dir;
  const auto path = (dir / "report.txt").string();
  ASSERT_EQ(model.WriteCameraDataToFile(path), 0);
  // Current settings, factory settings, then the three user areas.
  std::string row = vexq4::model::Pad("Gamma");
  for (const char* cell : {"1", "1", "0", "1", "1"}) row += "," + vexq4::model::Pad(cell);
  EXPECT_NE(ReadFile(path).find(row + "\r\n"), std::string::npos) << ReadFile(path);
}

}  // namespace
