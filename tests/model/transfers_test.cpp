// Whole-camera transfers, load and store, and the white balance operations.
#include "model_access.h"
#include "online_fixture.h"

namespace {

using Events = std::vector<std::string>;

Events Queries(std::initializer_list<const char*> mnemonics) {
  Events out;
  for (const char* m : mnemonics) out.push_back(std::string(m) + "?");
  return out;
}

const Events kReadAllWb1 =
    Queries({"SM",  "SH",  "PE",  "PER",  "PEG", "PEB", "TR", "SL",  "LS",  "RF",  "TI", "TP",
             "SC",  "BI",  "BA",  "CBAR", "WB",  "WA",  "GA", "BLG", "BLR", "BLB", "KN", "KSR",
             "KSG", "KSB", "KPR", "KPG",  "KPB", "SDM", "UD", "MD",  "ID",  "EA"});

bool StartsWith(const std::string& s, std::string_view prefix) { return s.starts_with(prefix); }

// A write-all's lines: every setting it writes and the user ID.
std::size_t WriteAllLines() {
  return vexq4::model::TransferOrder(vexq4::model::Transfer::kWriteAll).size() + 1;
}

TEST_F(OnlineModel, ReadAllInContinuousAwbReadsNoGains) {
  link.camera().SetValue("WB", 1);
  link.camera().SetValue("GA", 100);
  std::vector<vexq4::model::ProgressStep> steps;
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) { steps.push_back(s); });
  EXPECT_EQ(model.ReadAllFromCamera(), 0);
  EXPECT_EQ(Wire(), kReadAllWb1);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "MasterGainLevel"), 100);
  EXPECT_EQ(model.ModelName(), vexq4::sim::kDefaultModelName);
  EXPECT_EQ(model.CameraID(), vexq4::sim::kDefaultCameraId);
  EXPECT_EQ(model.IsSynchronized(), 1);
  EXPECT_EQ(model.events.back(), "SynchronizedStatusChanged(1)");
  EXPECT_EQ(model.lines.size(), kReadAllWb1.size());
  // One step before each exchange and one at the end.
  ASSERT_EQ(steps.size(), kReadAllWb1.size() + 1);
  for (std::size_t i = 0; i < kReadAllWb1.size(); ++i) EXPECT_EQ(steps[i].step, int(i));
  EXPECT_EQ(steps.back().step, steps.back().total);
  EXPECT_EQ(steps.back().total, int(kReadAllWb1.size()));
}

TEST_F(OnlineModel, ReadAllAt4600KReadsThePresetsAndLeavesTheGains) {
  link.camera().SetValue("WB", 3);
  link.camera().SetValue("WPR2", 11);
  link.camera().SetValue("WPB2", -12);
  link.camera().SetValue("GAR", 50);
  link.camera().SetValue("GAB", 60);
  EXPECT_EQ(model.ReadAllFromCamera(), 0);
  const Events wire = Wire();
  const auto ga = std::find(wire.begin(), wire.end(), "GA?");
  ASSERT_NE(ga, wire.end());
  EXPECT_EQ(*(ga + 1), "WPR2?");
  EXPECT_EQ(*(ga + 2), "WPB2?");
  EXPECT_EQ(*(ga + 3), "BLG?");
  EXPECT_EQ(vexq4::testing::TextOf(model, "WhiteBalanceStr"), "4600 K");
  EXPECT_EQ(vexq4::testing::ValueOf(model, "Red4600KWBalPreset"), 11);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "Blue4600KWBalPreset"), -12);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "RedGainLevel"), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "BlueGainLevel"), 0);
}

TEST_F(OnlineModel, ReadAllWithOnlyTheAreaQueryFailing) {
  link.camera().SetValue("WB", 1);
  // Cut the camera's answer to EA only; it answers the probe again.
  model.onRecord = [&](const std::string& rec) {
    if (StartsWith(rec, "ID?")) link.camera().faults().truncate = true;
    if (StartsWith(rec, "EA?")) link.camera().faults().truncate = false;
  };
  EXPECT_EQ(model.ReadAllFromCamera(), -6);
  EXPECT_EQ(model.lines.back(), "EA?\r\n" + kTimeout + "\r\n");
  EXPECT_EQ(model.Count("SynchronizedStatusChanged(1)"), 0);
  EXPECT_EQ(model.IsSynchronized(), 0);
  EXPECT_EQ(model.IsOnline(), 1);
}

TEST_F(OnlineModel, ReadAllGoesOnAfterAFailedKneeQueryAndKeepsTheFlag) {
  ASSERT_EQ(model.ReadAllFromCamera(), 0);
  ASSERT_EQ(model.IsSynchronized(), 1);
  model.Clear();
  link.camera().ClearLog();
  model.onRecord = [&](const std::string& rec) {
    if (StartsWith(rec, "BLB?")) link.camera().faults().truncate = true;
    if (StartsWith(rec, "KN?")) link.camera().faults().truncate = false;
  };
  EXPECT_EQ(model.ReadAllFromCamera(), -6);
  const Events wire = Wire();
  const auto kn = std::find(wire.begin(), wire.end(), "KN?");
  ASSERT_NE(kn, wire.end());
  EXPECT_EQ(*(kn + 1), "SH?");  // the probe, answered
  EXPECT_EQ(*(kn + 2), "KSR?");
  EXPECT_EQ(wire.back(), "EA?");
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(model.IsSynchronized(), 1);  // a failed transfer does not clear it
  EXPECT_EQ(model.Count("SynchronizedStatusChanged(1)"), 0);
}

TEST_F(OnlineModel, CameraGoneMidReadAllReportsEveryLaterQueryOffline) {
  link.camera().SetValue("WB", 1);
  model.onRecord = [&](const std::string& rec) {
    if (StartsWith(rec, "SH?\r\nSH=")) link.SetUnplugged(true);
  };
  EXPECT_EQ(model.ReadAllFromCamera(), -5);
  EXPECT_EQ(model.IsOnline(), 0);
  EXPECT_EQ(model.Count("OnlineStatusChanged(0)"), 1);
  ASSERT_EQ(model.lines.size(), 33u);  // EA is not sent off-line
  EXPECT_TRUE(StartsWith(model.lines[2], "PE?\r\n"));
  for (std::size_t i = 3; i < model.lines.size(); ++i) {
    SCOPED_TRACE(model.lines[i]);
    EXPECT_TRUE(model.lines[i].ends_with("?\r\n" + kOffline + "\r\n"));
  }
}

TEST_F(OnlineModel, WriteAllWithEmptyUserIdEndsSynchronized) {
  const Events expected = {"SM=0",  "SH=0",  "PE=0",  "PER=0", "PEG=0", "PEB=0", "TR=0",  "SL=0",
                           "LS=0",  "RF=0",  "TI=0",  "TP=0",  "SC=0",  "BI=0",  "BA=0",  "CBAR=0",
                           "GA=0",  "GAR=0", "GAB=0", "WB=1",  "BLG=0", "BLR=0", "BLB=0", "KN=0",
                           "KSR=1", "KSG=1", "KSB=1", "KPR=0", "KPG=0", "KPB=0", "SDM=0"};
  for (const char* slope : {"KSR", "KSG", "KSB"}) vexq4::model::TestAccess::Preset(model, slope, 1);
  EXPECT_EQ(model.WriteAllToCamera(), 0);
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(model.lines.size(), WriteAllLines());
  EXPECT_EQ(model.lines.back(), "UD=\r\nCOMPLETE\r\n");
  EXPECT_EQ(model.IsSynchronized(), 1);
  EXPECT_EQ(model.events.back(), "SynchronizedStatusChanged(1)");
}

TEST_F(OnlineModel, WriteAllKeepsTheCommandGap) {
  vexq4::model::TestAccess::PresetUserID(model, "LINE7");
  for (const char* slope : {"KSR", "KSG", "KSB"}) vexq4::model::TestAccess::Preset(model, slope, 1);
  const std::uint32_t start = link.clock().now();
  EXPECT_EQ(model.WriteAllToCamera(), 0);
  const std::uint32_t elapsed = link.clock().now() - start;
  const auto& log = link.camera().log();
  ASSERT_EQ(log.size(), WriteAllLines());
  EXPECT_EQ(log.back().text, "UD=LINE7");
  for (std::size_t i = 1; i < log.size(); ++i)
    EXPECT_GE(log[i].timeMs - log[i - 1].timeMs, 600u) << log[i].text;
  EXPECT_GE(elapsed, (WriteAllLines() - 1) * 600u);
  EXPECT_LT(elapsed, WriteAllLines() * 750u);
}

TEST_F(OnlineModel, WriteAllReturnsTheUserIdCodeElseTheLastFailedCommand) {
  for (const char* slope : {"KSR", "KSG", "KSB"}) vexq4::model::TestAccess::Preset(model, slope, 1);
  vexq4::model::TestAccess::PresetUserID(model, "LINE7");
  model.SynchronizedStatusChanged(0);
  // The camera cuts its answer to SH and refuses KN; it answers the probes.
  auto& faults = link.camera().faults();
  model.onRecord = [&](const std::string& rec) {
    if (rec == "ShutterSpeedChanged") faults.truncate = true;
    if (rec.starts_with("SH=")) faults.truncate = false;
    if (rec == "KneeSelectChanged") faults.rejectCommands = true;
    if (rec.starts_with("KN=")) faults.rejectCommands = false;
  };
  EXPECT_EQ(model.WriteAllToCamera(), -3);
  EXPECT_EQ(model.lines[1], "SH=0\r\n" + kTimeout + "\r\n");
  EXPECT_EQ(model.lines.back(), "UD=LINE7\r\nCOMPLETE\r\n");
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(model.Count("SynchronizedStatusChanged(1)"), 0);
  // A user ID the library refuses decides the result even when all else worked.
  model.onRecord = nullptr;
  model.Clear();
  vexq4::model::TestAccess::PresetUserID(model, "ABCDEFGHIJKLMNOPQ");
  EXPECT_EQ(model.WriteAllToCamera(), -1);
  EXPECT_EQ(model.Count("SynchronizedStatusChanged(1)"), 0);
  EXPECT_EQ(model.IsSynchronized(), 0);
}

TEST_F(OnlineModel, LoadSettingsRefreshesFromTheArea) {
  link.camera().SetAreaValue(2, "GA", 77);
  link.camera().SetAreaValue(2, "WB", 1);
  EXPECT_EQ(model.LoadSettings(2), 0);
  EXPECT_EQ(Wire().front(), "LD=2");
  EXPECT_EQ(model.lines.front(), "LD=2\r\nCOMPLETE\r\n");
  EXPECT_EQ(vexq4::testing::ValueOf(model, "MasterGainLevel"), 77);
  EXPECT_EQ(model.EEPROMCurrentAreaNo(), 2);
  EXPECT_EQ(model.IsSynchronized(), 1);
}

TEST_F(OnlineModel, ManualWhiteBalanceReReadsAreaAndGains) {
  EXPECT_EQ(model.SetWhiteBalanceIndex(0), 0);
  EXPECT_EQ(Wire(), (Events{"WB=0", "WA?", "GAR?", "GAB?"}));
  ASSERT_EQ(model.lines.size(), 4u);
  EXPECT_EQ(model.lines[0], "WB=0\r\nCOMPLETE\r\n");
  model.Clear();
  link.camera().ClearLog();
  EXPECT_EQ(model.SetWhiteBalanceIndex(1), 0);
  EXPECT_EQ(Wire(), Events{"WB=1"});
}

TEST_F(OnlineModel, PresetWhiteBalanceReReadsItsPresetsEvenWhenRefused) {
  link.camera().SetValue("WPR3", 21);
  link.camera().SetValue("WPB3", -22);
  EXPECT_EQ(model.SetWhiteBalanceIndex(4), 0);
  EXPECT_EQ(Wire(), (Events{"WB=4", "WPR3?", "WPB3?"}));
  EXPECT_EQ(vexq4::testing::TextOf(model, "WhiteBalanceStr"), "5600 K");
  EXPECT_EQ(vexq4::testing::ValueOf(model, "Red5600KWBalPreset"), 21);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "Blue5600KWBalPreset"), -22);
  EXPECT_EQ(model.events, (Events{"WhiteBalanceChanged", "ReceiveFromCamStatusChanged(1)",
                                  "ReceiveFromCamStatusChanged(0)", "Red5600KWBalPresetChanged",
                                  "ReceiveFromCamStatusChanged(1)",
                                  "ReceiveFromCamStatusChanged(0)", "Blue5600KWBalPresetChanged"}));
  // A refused mode is reported and probed; the re-reads run all the same and
  // the command's code is returned.
  model.Clear();
  link.camera().ClearLog();
  link.camera().faults().rejectCommands = true;
  EXPECT_EQ(model.SetWhiteBalanceIndex(2), -3);
  EXPECT_EQ(Wire(), (Events{"WB=2", "SH?", "WPR1?", "WPB1?"}));
  ASSERT_EQ(model.lines.size(), 3u);
  EXPECT_EQ(model.lines[0], "WB=2\r\n" + kUnknown + "\r\n");
  EXPECT_EQ(vexq4::testing::TextOf(model, "WhiteBalanceStr"), "3200 K");
  EXPECT_EQ(model.IsOnline(), 1);
}

TEST_F(OnlineModel, OnePushResultOutsideItsListIsAFailedReadAndTheGainsFollow) {
  vexq4::model::TestAccess::PresetOnePushResult(model, 1);
  link.camera().config().onePushResult = 9;
  EXPECT_EQ(model.GetOnePushResult(), -4);
  EXPECT_EQ(model.OnePushResult(), 1);
  EXPECT_EQ(Wire(), (Events{"AWRS?", "SH?", "GAR?", "GAB?"}));
  EXPECT_EQ(model.lines.front(), "AWRS?\r\n" + kUnknown + "\r\n");
  EXPECT_EQ(model.Count("OnePushResultChanged"), 0);
  // Neither AWRS nor GAB raises isReceiving; GAR does.
  EXPECT_EQ(model.Count("ReceiveFromCamStatusChanged(1)"), 1);
  EXPECT_EQ(model.IsOnline(), 1);
}

TEST_F(OnlineModel, OnePushResultThenTheGains) {
  link.camera().config().onePushResult = 2;
  EXPECT_EQ(model.SetOnePushMode(), 0);
  EXPECT_EQ(model.GetOnePushResult(), 0);
  EXPECT_EQ(Wire(), (Events{"AW=0", "AWRS?", "GAR?", "GAB?"}));
  EXPECT_EQ(model.OnePushResult(), 2);
  EXPECT_EQ(vexq4::model::kOnePushResultList[2], "Too Dark");
  EXPECT_EQ(model.lines[1], "AWRS?\r\nAWRS=2\r\n");
  const auto result = std::find(model.events.begin(), model.events.end(), "OnePushResultChanged");
  const auto red = std::find(model.events.begin(), model.events.end(), "RedGainLevelChanged");
  EXPECT_LT(result, red);
}

}  // namespace
