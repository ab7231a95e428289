// Message lines, construction and the off-line behaviour of the model: no
// camera and no port needed.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "VexQ4Comm.h"
#include "model_access.h"
#include "recording_model.h"

using vexq4::model::Direction;

namespace {

std::string Line(Direction d, std::string_view mnemonic, int number, std::string_view value,
                 int result) {
  return CVexCamInterface::MessageLine(d, mnemonic, number, value, result);
}

TEST(MessageLine, QueriesAndCommandsByteForByte) {
  EXPECT_EQ(Line(Direction::kQuery, "SH", 3, "", 0), "SH?\r\nSH=3\r\n");
  EXPECT_EQ(Line(Direction::kQuery, "MD", CVexCamInterface::NoValue, "", -6),
            "MD?\r\n" + kTimeout + "\r\n");
  EXPECT_EQ(Line(Direction::kQuery, "GA", 7, "", -5), "GA?\r\n" + kOffline + "\r\n");
  EXPECT_EQ(Line(Direction::kQuery, "GA", 7, "", -4), "GA?\r\n" + kUnknown + "\r\n");
  // An identity that came back empty still shows its equals sign.
  EXPECT_EQ(Line(Direction::kQuery, "ID", CVexCamInterface::NoValue, "", 0), "ID?\r\nID=\r\n");
  EXPECT_EQ(Line(Direction::kCommand, "GA", -20, "", 0), "GA=-20\r\nCOMPLETE\r\n");
  EXPECT_EQ(Line(Direction::kCommand, "GA", -20, "", -3), "GA=-20\r\n" + kUnknown + "\r\n");
  // A value text wins over the number.
  EXPECT_EQ(Line(Direction::kCommand, "UD", 5, "ABC", 0), "UD=ABC\r\nCOMPLETE\r\n");
  EXPECT_EQ(Line(Direction::kCommand, "UD", CVexCamInterface::NoValue, "", 0),
            "UD=\r\nCOMPLETE\r\n");
  // A code without a text still ends the report with a line end.
  EXPECT_EQ(Line(Direction::kCommand, "SA", 2, "", -2), "SA=2\r\n\r\n");
  EXPECT_EQ(Line(Direction::kQuery, "SH", 0, "", -10004), "SH?\r\n\r\n");
  for (int code : {-3, -4, -5, -6}) EXPECT_EQ(CVexCamInterface::StatusText(code).size(), 46u);
}

TEST(ModelCore, ConstructionValuesAndLists) {
  RecordingModel model;
  EXPECT_EQ(model.IsOnline(), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "WhiteBalanceIndex"), 1);
  EXPECT_EQ(vexq4::testing::TextOf(model, "WhiteBalanceStr"), "Continuous AWB");
  EXPECT_EQ(vexq4::testing::TextOf(model, "ShutterSpeedStr"), "OFF");
  EXPECT_EQ(vexq4::testing::TextOf(model, "TriggerTypeStr"), "Normal (Continuous)");
  EXPECT_EQ(vexq4::testing::TextOf(model, "PartialScanStr"), "Full Frame");
  EXPECT_EQ(vexq4::testing::TextOf(model, "BinningStr"), "Binning OFF");
  EXPECT_EQ(vexq4::testing::TextOf(model, "AutoWhiteAreaStr"), "Full Area");
  EXPECT_EQ(vexq4::model::kAutoWhiteAreaList[6], "Midle Right");
  EXPECT_EQ(vexq4::model::kAutoWhiteAreaList[8], "Under Middle");
  EXPECT_EQ(vexq4::model::kShutterSpeedList[11], "1/50000");
  EXPECT_EQ(vexq4::model::kOnePushResultList[6], "Trig is not Normal");
  EXPECT_EQ(model.ShadingTable().size(), 1546u);
  EXPECT_TRUE(model.events.empty());
}

TEST(ModelCore, SettingsTableNamesEveryProperty) {
  const auto rows = vexq4::model::Settings();
  EXPECT_EQ(rows.size(), vexq4::model::kSettingCount);
  const auto* gain = vexq4::model::FindSetting("MasterGainLevel");
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->code, 12u);
  EXPECT_EQ(gain->mnemonic, "GA");
  EXPECT_EQ(vexq4::model::FindSetting("GAB")->property, "BlueGainLevel");
  EXPECT_TRUE(vexq4::model::FindSetting("GAB")->quietReceive);
  EXPECT_TRUE(vexq4::model::FindSetting("PEG")->closeOnFailedSet);
  EXPECT_FALSE(vexq4::model::FindSetting("PER")->closeOnFailedSet);
  EXPECT_EQ(vexq4::model::FindSetting("WA")->list.size(), 10u);
  EXPECT_EQ(vexq4::model::FindSetting("Nothing"), nullptr);
}

TEST(SettingsTable, RowsAgreeWithThemselves) {
  // Catches a row whose facts were written inconsistently: a default the
  // window could not show, a list without its text property or range
  // query, a key used twice in one section.
  std::set<std::pair<std::string_view, std::string_view>> keys;
  for (const auto& row : vexq4::model::Settings()) {
    SCOPED_TRACE(std::string(row.property));
    EXPECT_EQ(vexq4::model::FindSetting(row.mnemonic), &row);
    EXPECT_LE(row.min, row.profileDefault);
    EXPECT_GE(row.max, row.profileDefault);
    if (row.isList()) {
      EXPECT_EQ(vexq4::model::FindSetting(row.textProperty), &row);
      EXPECT_NE(row.textDispid, 0);
      EXPECT_NE(row.validDispid, 0);
      EXPECT_FALSE(row.validParams[1].empty());
      EXPECT_EQ(row.max, static_cast<int>(row.list.size()) - 1);
    }
    // Every range the control checks can be asked for.
    if (row.checked) {
      EXPECT_NE(row.minMaxDispid, 0);
    }
    if (row.inFile()) {
      EXPECT_TRUE(keys.insert({vexq4::model::SectionOf(row.window), row.key}).second);
    }
    const auto* notification = vexq4::model::FindNotification(row.event);
    ASSERT_NE(notification, nullptr);
    EXPECT_EQ(notification->setting, &row);
    EXPECT_EQ(notification->windows, vexq4::model::WindowBit(row.window));
  }
  EXPECT_EQ(keys.size(), vexq4::model::kTransferOrder.size());
}

TEST(SettingsTable, WhiteBalanceGainRule) {
  using vexq4::model::FindSetting;
  struct Case {
    int mode;
    const char* red;
    const char* blue;
  };
  // What the camera's gain registers are in each mode.
  const Case cases[] = {{0, "GAR", "GAB"},     {2, "WPR1", "WPB1"},   {3, "WPR2", "WPB2"},
                        {4, "WPR3", "WPB3"},   {1, nullptr, nullptr}, {5, nullptr, nullptr},
                        {-1, nullptr, nullptr}};
  const auto* red = FindSetting("RedGainLevel");
  const auto* blue = FindSetting("BlueGainLevel");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const auto gains = vexq4::model::WhiteBalanceGainRows(c.mode);
    EXPECT_EQ(gains.red, c.red ? FindSetting(c.red) : nullptr);
    EXPECT_EQ(gains.blue, c.blue ? FindSetting(c.blue) : nullptr);
    EXPECT_EQ(vexq4::model::WhiteBalanceRegister(*red, c.mode), gains.red);
    EXPECT_EQ(vexq4::model::WhiteBalanceRegister(*blue, c.mode), gains.blue);
    if (!c.red) continue;
    EXPECT_EQ(vexq4::model::GainStoodFor(*gains.red), red);
    EXPECT_EQ(vexq4::model::GainStoodFor(*gains.blue), blue);
  }
  const auto* master = FindSetting("MasterGainLevel");
  EXPECT_EQ(vexq4::model::GainStoodFor(*master), nullptr);
  EXPECT_EQ(vexq4::model::WhiteBalanceRegister(*master, 1), master);
}

TEST(SettingsTable, EveryTransferTakesEverySettingOfTheFileOnce) {
  using vexq4::model::Transfer;
  std::set<const vexq4::model::SettingRow*> inFile;
  for (const auto& row : vexq4::model::Settings())
    if (row.inFile()) inFile.insert(&row);
  for (Transfer t : {Transfer::kReadAll, Transfer::kSettingsFile, Transfer::kWriteAll,
                     Transfer::kOfflineRefresh, Transfer::kReportRows, Transfer::kReportReads}) {
    SCOPED_TRACE(static_cast<int>(t));
    const auto order = vexq4::model::TransferOrder(t);
    std::set<const vexq4::model::SettingRow*> taken(order.begin(), order.end());
    EXPECT_EQ(taken.size(), order.size());
    // A write-all leaves the auto white area to the camera.
    if (t == Transfer::kWriteAll) taken.insert(vexq4::model::FindSetting("WA"));
    EXPECT_EQ(taken, inFile);
  }
}

TEST(SettingsTable, NotificationsAreTheModelsOwnInTheirOrder) {
  // The rows name the virtual notification they stand for.
  RecordingModel model;
  std::vector<std::string> expected;
  for (const auto& row : vexq4::model::Notifications()) {
    if (!row.setting) continue;
    (model.*row.setting->notification)();
    expected.push_back(std::string(row.name));
  }
  EXPECT_EQ(model.events, expected);
  EXPECT_EQ(vexq4::model::Notifications().front().name, "OnlineStatusChanged");
  EXPECT_EQ(vexq4::model::Notifications().back().name, "AutoWhiteAreaChanged");
}

TEST(ModelOffline, SetsChangeTheCacheNotifyAndReportNothing) {
  RecordingModel model;
  EXPECT_EQ(model.SetMasterGainLevel(500), -5);  // the range is the control's
  EXPECT_EQ(vexq4::testing::ValueOf(model, "MasterGainLevel"), 500);
  EXPECT_EQ(model.events, std::vector<std::string>{"MasterGainLevelChanged"});

  model.Clear();
  EXPECT_EQ(model.SetAutoWhiteAreaIndex(6), -5);
  EXPECT_EQ(vexq4::testing::TextOf(model, "AutoWhiteAreaStr"), "Midle Right");
  EXPECT_EQ(model.SetWhiteBalanceIndex(0), -5);
  EXPECT_EQ(vexq4::testing::TextOf(model, "WhiteBalanceStr"), "Manual/One Push");
  EXPECT_EQ(model.SetUserID("LINE7"), -5);
  EXPECT_EQ(model.UserID(), "LINE7");
  EXPECT_EQ(model.events, (std::vector<std::string>{"AutoWhiteAreaChanged", "WhiteBalanceChanged",
                                                    "UserIDChanged"}));
  EXPECT_TRUE(model.lines.empty());
}

TEST(ModelOffline, RangeChecksRejectWithoutChange) {
  RecordingModel model;
  EXPECT_EQ(model.SetAutoWhiteAreaIndex(10), -1);
  EXPECT_EQ(model.SetPartialScanIndex(-1), -1);  // taken as unsigned
  EXPECT_EQ(model.SetShutterSpeedIndex(12), -1);
  EXPECT_EQ(model.SetTriggerTypeIndex(5), -1);
  EXPECT_EQ(model.SetBinningIndex(2), -1);
  EXPECT_EQ(model.SetWhiteBalanceIndex(5), -1);
  EXPECT_EQ(model.SetWhiteBalanceIndex(-1), -1);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "AutoWhiteAreaIndex"), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "PartialScanIndex"), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "WhiteBalanceIndex"), 1);
  EXPECT_TRUE(model.events.empty());
}

TEST(ModelOffline, OnlyTheListSettingsCheckTheirRange) {
  // The list settings refuse one past their last entry, and negatives
  // (taken as unsigned); every other setting takes any value into the cache.
  const std::map<std::string_view, int> kFirstRefused = {{"SH", 12}, {"TR", 5}, {"SC", 4},
                                                         {"BI", 2},  {"WB", 5}, {"WA", 10}};
  RecordingModel model;
  for (const auto& row : vexq4::model::Settings()) {
    SCOPED_TRACE(std::string(row.property));
    model.Clear();
    const int before = model.Value(row);
    const auto refused = kFirstRefused.find(row.mnemonic);
    if (refused != kFirstRefused.end()) {
      EXPECT_EQ(model.SetSetting(row, refused->second), -1);
      EXPECT_EQ(model.SetSetting(row, -1), -1);
      EXPECT_EQ(model.Value(row), before);
      EXPECT_TRUE(model.events.empty());
    } else {
      EXPECT_EQ(model.SetSetting(row, 5000), -5);
      EXPECT_EQ(model.Value(row), 5000);
      EXPECT_EQ(model.events.size(), 1u);
    }
  }
}

TEST(ModelOffline, CameraOperationsReturnMinusFiveSilently) {
  RecordingModel model;
  EXPECT_EQ(model.CloseConnection(), -5);
  EXPECT_EQ(model.StoreSettings(1), -5);
  EXPECT_EQ(model.LoadSettings(1), -5);
  EXPECT_EQ(model.ReadAllFromCamera(), -5);
  EXPECT_EQ(model.WriteAllToCamera(), -5);
  EXPECT_EQ(model.SetOnePushMode(), -5);
  EXPECT_EQ(model.GetOnePushResult(), -5);
  EXPECT_EQ(model.GetFirmwareVersion(), -5);
  EXPECT_EQ(model.GetEEPROMCurrentAreaNo(), -5);
  EXPECT_TRUE(model.events.empty());
  EXPECT_TRUE(model.lines.empty());
}

TEST(ModelOffline, QueriesAskTheLibraryWhichAnswersOffline) {
  // Gets do not look at isOnline: the library's -5 is reported and probed,
  // and the probe's close finds nothing to close.
  RecordingModel model;
  vexq4::model::TestAccess::Preset(model, "MasterGainLevel", 7);
  EXPECT_EQ(model.GetMasterGainLevel(), -5);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "MasterGainLevel"), 7);
  EXPECT_EQ(model.lines, std::vector<std::string>{"GA?\r\n" + kOffline + "\r\n"});
  const std::vector<std::string> shape = {
      "ReceiveFromCamStatusChanged(1)", "ReceiveFromCamStatusChanged(0)",
      "SendingToCamStatusChanged(1)", "SendingToCamStatusChanged(0)"};
  EXPECT_EQ(model.events, shape);
  model.Clear();
  std::array<char, 10> id;
  id.fill('#');
  EXPECT_EQ(model.GetCameraID(id.data()), -5);
  EXPECT_EQ(id[0], '#');
  EXPECT_EQ(model.lines, std::vector<std::string>{"ID?\r\n" + kOffline + "\r\n"});
  EXPECT_EQ(model.events, shape);
  EXPECT_EQ(model.IsOnline(), 0);
}

}  // namespace

namespace {

TEST(ModelForwards, CameraLinkListingIsTheLibrarysAnswer) {
  // Each forward gives the library's own result and output, off-line too.
  RecordingModel model;
  unsigned a = 77, b = 77;
  EXPECT_EQ(model.ClSerialGetNumManufacturers(&a), VexQ4CLSerialGetNumManufacturers(&b));
  EXPECT_EQ(a, b);
  char nameA[VEXQ4_CL_NAME_SIZE] = {}, nameB[VEXQ4_CL_NAME_SIZE] = {};
  unsigned sizeA = sizeof nameA, sizeB = sizeof nameB, verA = 0, verB = 0;
  EXPECT_EQ(model.ClSerialGetManufacturer(0, nameA, &sizeA, &verA),
            VexQ4CLSerialGetManufacturer(0, nameB, &sizeB, &verB));
  EXPECT_STREQ(nameA, nameB);
  EXPECT_EQ(verA, verB);
  a = b = 77;
  EXPECT_EQ(model.ClSerialGetNumSerialPorts(&a), VexQ4CLSerialGetNumSerialPorts(&b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(model.ClAllSerialGetNumPorts(&a), VexQ4CLAllSerialGetNumPorts(&b));
  EXPECT_EQ(model.ClAllSerialGetNumBytesAvail(&a), VexQ4CLAllSerialGetNumBytesAvail(&b));
  EXPECT_EQ(model.ClAllSerialGetSupportedBaudRates(&a), VexQ4CLAllSerialGetSupportedBaudRates(&b));
  EXPECT_EQ(model.ClAllSerialSetBaudRate(9600), VexQ4CLAllSerialSetBaudRate(9600));
  EXPECT_EQ(model.ClAllSerialGetPortInfo(0, nameA, &sizeA, nameB, &sizeB, &verA),
            VexQ4CLAllSerialGetPortInfo(0, nameA, &sizeA, nameB, &sizeB, &verB));
  EXPECT_EQ(model.ClSerialGetNumManufacturers(nullptr), VexQ4CLSerialGetNumManufacturers(nullptr));
  EXPECT_TRUE(model.events.empty());
  EXPECT_TRUE(model.lines.empty());
}

}  // namespace
