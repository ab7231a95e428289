// The get and set shapes of single settings against the simulated camera.
#include <set>

#include "model_access.h"
#include "online_fixture.h"

namespace {

using Events = std::vector<std::string>;

TEST_F(OnlineModel, GetStoresValueAndTextAndReportsTheQuery) {
  link.camera().SetValue("SH", 4);
  EXPECT_EQ(model.GetShutterSpeedIndex(), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "ShutterSpeedIndex"), 4);
  EXPECT_EQ(vexq4::testing::TextOf(model, "ShutterSpeedStr"), "1/250");
  EXPECT_EQ(model.events, (Events{"ReceiveFromCamStatusChanged(1)",
                                  "ReceiveFromCamStatusChanged(0)", "ShutterSpeedChanged"}));
  EXPECT_EQ(model.lines, Events{"SH?\r\nSH=4\r\n"});
  EXPECT_EQ(model.IsReceiving(), 0);
}

TEST_F(OnlineModel, SomeGetsRaiseNoReceiveNotifications) {
  link.camera().SetValue("GAB", -30);
  EXPECT_EQ(model.GetBlueGainLevel(), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "BlueGainLevel"), -30);
  EXPECT_EQ(model.events, Events{"BlueGainLevelChanged"});
  model.Clear();
  EXPECT_EQ(model.GetRedGainLevel(), 0);
  EXPECT_EQ(model.Count("ReceiveFromCamStatusChanged(1)"), 1);
  EXPECT_EQ(model.Count("ReceiveFromCamStatusChanged(0)"), 1);
}

TEST_F(OnlineModel, OnlineSetSendsReportsAndKeepsSynchronized) {
  model.SynchronizedStatusChanged(1);
  model.Clear();
  EXPECT_EQ(model.SetMasterGainLevel(-20), 0);
  EXPECT_EQ(Wire(), Events{"GA=-20"});
  EXPECT_EQ(link.camera().Value("GA"), -20);
  EXPECT_EQ(model.lines, Events{"GA=-20\r\nCOMPLETE\r\n"});
  EXPECT_EQ(model.events, Events{"MasterGainLevelChanged"});
  EXPECT_EQ(model.IsSynchronized(), 1);
}

TEST_F(OnlineModel, ValueOutsideTheListIsAMalformedAnswer) {
  // A failed get keeps the cache, reports the status and probes once; the
  // camera still answers, so the model stays on-line and synchronized.
  model.SynchronizedStatusChanged(1);
  ASSERT_EQ(model.SetShutterSpeedIndex(3), 0);
  link.camera().SetValue("SH", 12);
  model.Clear();
  link.camera().ClearLog();
  EXPECT_EQ(model.GetShutterSpeedIndex(), -4);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "ShutterSpeedIndex"), 3);
  EXPECT_EQ(vexq4::testing::TextOf(model, "ShutterSpeedStr"), "1/120");
  EXPECT_EQ(model.lines, Events{"SH?\r\n" + kUnknown + "\r\n"});
  EXPECT_EQ(Wire(), (Events{"SH?", "SH?"}));  // the query, then one probe
  EXPECT_EQ(model.events,
            (Events{"ReceiveFromCamStatusChanged(1)", "ReceiveFromCamStatusChanged(0)",
                    "SendingToCamStatusChanged(1)", "SendingToCamStatusChanged(0)"}));
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(model.IsSynchronized(), 1);
}

TEST_F(OnlineModel, UnpluggedCameraTakesTheModelOfflineThroughTheProbe) {
  link.SetUnplugged(true);
  EXPECT_NE(model.GetMasterGainLevel(), 0);
  EXPECT_EQ(model.IsOnline(), 0);
  EXPECT_EQ(model.IsSynchronized(), 0);
  ASSERT_GE(model.events.size(), 2u);
  EXPECT_EQ(model.events[model.events.size() - 2], "SynchronizedStatusChanged(0)");
  EXPECT_EQ(model.events.back(), "OnlineStatusChanged(0)");
  EXPECT_EQ(model.Count("OnlineStatusChanged(0)"), 1);
  EXPECT_FALSE(link.isOpen());
  // Off-line now: a set changes the cache only.
  model.Clear();
  EXPECT_EQ(model.SetMasterGainLevel(5), -5);
  EXPECT_TRUE(model.lines.empty());
}

TEST_F(OnlineModel, FailedExposureGreenClosesWithoutProbing) {
  link.camera().faults().rejectCommands = true;
  EXPECT_EQ(model.SetProgrammableExposureGreen(100), -3);
  EXPECT_EQ(Wire(), Events{"PEG=100"});
  EXPECT_EQ(model.lines, Events{"PEG=100\r\n" + kUnknown + "\r\n"});
  EXPECT_EQ(model.events, (Events{"ProgrammableExposureGreenChanged",
                                  "SynchronizedStatusChanged(0)", "OnlineStatusChanged(0)"}));
  EXPECT_EQ(model.IsOnline(), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "ProgrammableExposureGreen"), 100);
}

TEST_F(OnlineModel, FailedExposureRedProbesFirstAndStaysOnline) {
  link.camera().faults().rejectCommands = true;
  EXPECT_EQ(model.SetProgrammableExposureRed(100), -3);
  EXPECT_EQ(Wire(), (Events{"PER=100", "SH?"}));
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(model.Count("OnlineStatusChanged(0)"), 0);
}

TEST_F(OnlineModel, EveryTableRowReachesItsOwnCameraSetting) {
  // Catches a row wired to the wrong code, field or notification.
  for (const auto& row : vexq4::model::Settings()) {
    SCOPED_TRACE(std::string(row.property));
    const int value = model.Value(row) == 1 ? 0 : 1;
    model.Clear();
    link.camera().ClearLog();
    ASSERT_EQ(model.SetSetting(row, value), 0);
    EXPECT_EQ(Wire().front(), std::string(row.mnemonic) + "=" + std::to_string(value));
    EXPECT_EQ(link.camera().Value(row.mnemonic), value);
    EXPECT_EQ(model.Value(row), value);
    // ShutterSpeedIndex notifies ShutterSpeedChanged, MasterGainLevel
    // MasterGainLevelChanged.
    std::string notification(row.property);
    if (notification.ends_with("Index")) notification.resize(notification.size() - 5);
    EXPECT_EQ(model.events.front(), notification + "Changed");

    link.camera().SetValue(row.mnemonic, 1 - value);
    model.Clear();
    ASSERT_EQ(model.GetSetting(row), 0);
    EXPECT_EQ(model.Value(row), 1 - value);
    if (row.isList()) {
      EXPECT_EQ(model.Text(row), row.list[static_cast<std::size_t>(1 - value)]);
    }
    // These gets read without raising isReceiving; every other one raises it.
    static const std::set<std::string_view> kQuiet = {"PE",  "PER", "PEG", "PEB", "GAB",
                                                      "BLB", "KPB", "KSG", "KSB"};
    const int receives = kQuiet.count(row.mnemonic) ? 0 : 1;
    EXPECT_EQ(model.Count("ReceiveFromCamStatusChanged(1)"), receives);
    EXPECT_EQ(model.Count("ReceiveFromCamStatusChanged(0)"), receives);
    EXPECT_EQ(model.lines, Events{std::string(row.mnemonic) + "?\r\n" + std::string(row.mnemonic) +
                                  "=" + std::to_string(1 - value) + "\r\n"});
    EXPECT_EQ(model.events.back(), notification + "Changed");
  }
}

TEST_F(OnlineModel, StoreSettingsSendsTheAreaAndTouchesNothing) {
  EXPECT_EQ(model.StoreSettings(2), 0);
  EXPECT_EQ(Wire(), Events{"SA=2"});
  EXPECT_EQ(model.lines, Events{"SA=2\r\nCOMPLETE\r\n"});
  EXPECT_TRUE(model.events.empty());
  // Refused: reported, then probed.
  model.Clear();
  link.camera().ClearLog();
  link.camera().faults().rejectCommands = true;
  EXPECT_EQ(model.StoreSettings(1), -3);
  EXPECT_EQ(Wire(), (Events{"SA=1", "SH?"}));
  EXPECT_EQ(model.lines, Events{"SA=1\r\n" + kUnknown + "\r\n"});
  EXPECT_EQ(model.IsOnline(), 1);
}

TEST_F(OnlineModel, UserIdCommandShapes) {
  EXPECT_EQ(model.SetUserID(""), 0);  // nothing to send
  EXPECT_TRUE(Wire().empty());
  EXPECT_EQ(model.lines, Events{"UD=\r\nCOMPLETE\r\n"});
  model.Clear();
  EXPECT_EQ(model.SetUserID("LINE7"), 0);
  EXPECT_EQ(Wire(), Events{"UD=LINE7"});
  EXPECT_EQ(link.camera().identity().userId, "LINE7");
  model.Clear();
  EXPECT_EQ(model.GetUserID(), 0);
  EXPECT_EQ(model.lines, Events{"UD?\r\nUD=LINE7\r\n"});
  EXPECT_EQ(model.events, (Events{"ReceiveFromCamStatusChanged(1)",
                                  "ReceiveFromCamStatusChanged(0)", "UserIDChanged"}));
  // Longer than the camera takes: refused whole, never sent cut.
  model.Clear();
  link.camera().ClearLog();
  EXPECT_EQ(model.SetUserID("ABCDEFGHIJKLMNOPQ"), -1);
  EXPECT_EQ(Wire(), Events{"SH?"});
  EXPECT_EQ(model.lines, Events{"UD=ABCDEFGHIJKLMNOPQ\r\n\r\n"});
  EXPECT_EQ(model.IsOnline(), 1);
  // A NUL inside would reach the camera cut short: refused the same way.
  model.Clear();
  link.camera().ClearLog();
  using namespace std::string_view_literals;
  EXPECT_EQ(model.SetUserID("AB\0CD"sv), -1);
  EXPECT_EQ(model.UserID().size(), 5u);
  EXPECT_EQ(model.events.front(), "UserIDChanged");
  EXPECT_EQ(Wire(), Events{"SH?"});  // only the probe
  EXPECT_EQ(link.camera().identity().userId, "LINE7");
}

TEST_F(OnlineModel, IdentityTextsFitTheCallersBuffer) {
  std::array<char, 4> small{'x', 'x', 'x', 'x'};
  EXPECT_EQ(model.GetModelName(small), 0);
  EXPECT_EQ(model.ModelName(), vexq4::sim::kDefaultModelName);
  EXPECT_EQ(std::string(small.data()), "RX-");  // cut, NUL-terminated, no overrun
  // The caller's 10-byte buffer: the whole text and its NUL, nothing after.
  link.camera().identity().cameraId = "123456789";
  std::array<char, 12> buffer;
  buffer.fill('#');
  EXPECT_EQ(model.GetCameraID(buffer.data()), 0);
  EXPECT_EQ(std::string(buffer.data()), "123456789");
  EXPECT_EQ(buffer[10], '#');
  EXPECT_EQ(model.CameraID(), "123456789");
  EXPECT_EQ(model.lines.back(), "ID?\r\nID=123456789\r\n");
  EXPECT_EQ(model.events.back(), "CameraIDChanged");
  vexq4::model::TestAccess::PresetModelName(model, "");
  EXPECT_EQ(model.GetModelName(static_cast<char*>(nullptr)), 0);  // the cache only
  EXPECT_EQ(model.ModelName(), vexq4::sim::kDefaultModelName);
  EXPECT_EQ(model.events.back(), "ModelNameChanged");
  // A failed read leaves the caller's buffer as it was.
  link.SetUnplugged(true);
  buffer.fill('#');
  EXPECT_NE(model.GetCameraID(buffer.data()), 0);
  EXPECT_EQ(buffer[0], '#');
}

TEST_F(OnlineModel, FirmwareAndAreaQueries) {
  EXPECT_EQ(model.GetFirmwareVersion(), 0);
  EXPECT_EQ(model.FirmwareVersion(), vexq4::sim::kDefaultFirmwareVersion);
  EXPECT_TRUE(model.events.empty());  // neither a notification nor isReceiving
  EXPECT_EQ(model.GetEEPROMCurrentAreaNo(), 0);
  EXPECT_EQ(model.events, Events{"EEPROMCurrentAreaNoChanged"});
  EXPECT_EQ(model.lines.front(),
            "VN?\r\nVN=" + std::to_string(vexq4::sim::kDefaultFirmwareVersion) + "\r\n");
}

TEST(ModelLifetime, DestructionClosesThePortWithoutReachingOverrides) {
  vexq4::sim::VirtualLink link{vexq4::sim::Config{}, 1};
  std::vector<std::string> seen;
  struct Control : RecordingModel {
    std::vector<std::string>* seen = nullptr;
    ~Control() override { seen->push_back("~Control"); }
    void OnlineStatusChanged(int v) override { seen->push_back("Online" + std::to_string(v)); }
    void SynchronizedStatusChanged(int v) override {
      CVexCamInterface::SynchronizedStatusChanged(v);
      seen->push_back("Synchronized" + std::to_string(v));
    }
  };
  {
    Control control;
    control.seen = &seen;
    ASSERT_EQ(control.SetComPort(1), 0);
    ASSERT_TRUE(link.isOpen());
  }
  EXPECT_FALSE(link.isOpen());
  EXPECT_EQ(seen, (std::vector<std::string>{"Online1", "~Control"}));
}

}  // namespace
