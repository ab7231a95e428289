// The control's automation members against the simulated camera in virtual
// time: range and list checks, the two ways of reporting errors, the file
// methods' error mapping, out-parameters, and dispatch through the table.
#include "vexq4/control/automation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "control_fixture.h"
#include "table_counts.h"

namespace ctl = vexq4::control;
using vexq4::testing::ControlTest;

namespace {

// The automation error a call raises, or nullopt.
template <class F>
std::optional<ctl::AutomationError> Raised(F&& f) {
  try {
    f();
  } catch (const ctl::AutomationError& e) {
    return e;
  }
  return std::nullopt;
}

#define EXPECT_RAISES(call, code, help, text)                     \
  do {                                                            \
    const auto e = Raised([&] { call; });                         \
    ASSERT_TRUE(e.has_value()) << #call " raised nothing";        \
    EXPECT_EQ(e->scode(), code);                                  \
    EXPECT_EQ(e->helpContext(), help);                            \
    EXPECT_EQ(e->description().toStdString(), std::string(text)); \
    EXPECT_EQ(e->source().toStdString(), "XVexQ4");               \
  } while (0)

constexpr auto kInvalid = ctl::kInvalidPropertyValue;
constexpr auto kDevice = ctl::kDeviceIoError;

}  // namespace

TEST(MemberTable, ListsEveryMemberOnceWithItsKind) {
  std::size_t properties = 0, methods = 0, events = 0;
  std::set<std::pair<int, int>> ids;
  std::set<std::string_view> names;
  for (const auto& m : ctl::Members()) {
    properties += m.kind == ctl::MemberKind::kProperty;
    methods += m.kind == ctl::MemberKind::kMethod;
    events += m.kind == ctl::MemberKind::kEvent;
    EXPECT_TRUE(ids.insert({m.dispid, m.kind == ctl::MemberKind::kEvent}).second) << m.name;
    if (m.kind != ctl::MemberKind::kEvent) {
      EXPECT_TRUE(names.insert(m.name).second) << m.name;
    }
    // A property reaches its getter and setter, a method its call.
    EXPECT_EQ(m.kind == ctl::MemberKind::kProperty, m.get != nullptr && m.put != nullptr) << m.name;
    EXPECT_EQ(m.kind == ctl::MemberKind::kMethod, m.call != nullptr) << m.name;
  }
  // The model's properties and the four tool windows' flags; the range
  // and list queries of the settings and the control's own methods.
  constexpr std::size_t kOwnMethods = 42;
  EXPECT_EQ(properties, vexq4::testing::ModelPropertyCount() + ctl::kToolWindowCount);
  EXPECT_EQ(methods,
            kOwnMethods + vexq4::testing::RangeQueryCount() + vexq4::testing::ListQueryCount());
  EXPECT_EQ(events, vexq4::testing::EventCount());
  for (int id = 1; id <= 51; ++id) EXPECT_EQ(ctl::FindMember(id)->kind, ctl::MemberKind::kProperty);
  for (int id = 52; id <= 126; ++id) EXPECT_EQ(ctl::FindMember(id)->kind, ctl::MemberKind::kMethod);
  EXPECT_EQ(ctl::FindMember(-552)->name, "AboutBox");
  EXPECT_EQ(ctl::FindEvent(45)->name, "Blue5600KWBalPresetChanged");
  EXPECT_EQ(ctl::FindMember(-608), nullptr);  // the stock error event is not a member
}

TEST(MemberTable, ParametersCarryTheTypeLibraryNames) {
  const auto* m = ctl::FindMember("ClAllSerialGetPortInfo");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->params.size(), 6u);
  EXPECT_EQ(m->params[3].name, "portID");
  EXPECT_EQ(m->params[3].dir, ctl::ParamDir::kOut);
  const auto* g = ctl::FindMember("ClSerialGetManufacturer");
  EXPECT_EQ(g->params[2].dir, ctl::ParamDir::kInOut);
  EXPECT_EQ(ctl::FindMember("GetValidTriggerType")->params[1].name, "pStr");
  EXPECT_EQ(ctl::FindMember("AutoSearchComPort")->type, ctl::VarType::kLong);
  EXPECT_EQ(ctl::FindMember("GetIsOnline")->type, ctl::VarType::kBool);
  EXPECT_EQ(ctl::FindMember("SetWindowPosTopBottom")->params[0].type, ctl::VarType::kLong);
}

TEST_F(ControlTest, PropertyRangesAreCheckedBeforeTheModel) {
  auto& c = MakeOnlineControl();
  const std::string invalid = "Invalid input parameter";
  EXPECT_RAISES(c.SetShutterSpeedIndex(-1), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetShutterSpeedIndex(12), kInvalid, 32796, invalid);
  c.SetShutterSpeedIndex(11);
  EXPECT_RAISES(c.SetMasterGainLevel(-133), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetMasterGainLevel(430), kInvalid, 32796, invalid);
  c.SetMasterGainLevel(-132);
  c.SetMasterGainLevel(429);
  EXPECT_RAISES(c.SetRedKneeSlope(0), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetBlueKneeSlope(4096), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetBlue5600KWBalPreset(232), kInvalid, 32796, invalid);
  c.SetAutoWhiteAreaIndex(9);
  EXPECT_RAISES(c.SetAutoWhiteAreaIndex(10), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetFrameGrabberIndex(17), kInvalid, 32872, "Only Frame Grabber 1..16 is valid");
  EXPECT_RAISES(c.SetFrameGrabberIndex(-1), kInvalid, 32872, "Only Frame Grabber 1..16 is valid");
  // A refused value changes nothing and fires nothing.
  EXPECT_EQ(sink.Count("ShutterSpeedChanged"), 1);
  EXPECT_EQ(link->camera().Value("SH"), 11);
  EXPECT_EQ(link->camera().Value("GA"), 429);
  EXPECT_EQ(c.GetMasterGainLevel(), 429);
  EXPECT_TRUE(c.IsModified());
}

TEST_F(ControlTest, FrameGrabberIndexAcceptsTheWholeRange) {
  auto& c = MakeControl();
  c.SetFrameGrabberIndex(16);
  EXPECT_EQ(c.GetFrameGrabberIndex(), 16);
  c.SetFrameGrabberIndex(0);
  EXPECT_EQ(sink.Count("FrameGrabberChanged"), 2);
}

TEST_F(ControlTest, TextPropertiesTakeExactListTexts) {
  auto& c = MakeOnlineControl();
  EXPECT_RAISES(c.SetShutterSpeedStr(QStringLiteral("off")), kInvalid, 32796,
                "Invalid input parameter");
  EXPECT_RAISES(c.SetAutoWhiteAreaStr(QStringLiteral("Middle Right")), kInvalid, 32796,
                "Invalid input parameter");
  EXPECT_TRUE(sink.events.empty());
  c.SetShutterSpeedStr(QStringLiteral("1/250"));
  EXPECT_EQ(c.GetShutterSpeedIndex(), 4);
  EXPECT_EQ(sink.Count("ShutterSpeedChanged"), 1);
  c.SetAutoWhiteAreaStr(QStringLiteral("Midle Right"));
  EXPECT_EQ(c.GetAutoWhiteAreaIndex(), 6);
  EXPECT_EQ(c.GetTriggerTypeStr().toStdString(), "Normal (Continuous)");
  EXPECT_EQ(Wire(), (std::vector<std::string>{"SH=4", "WA=6"}));
}

TEST_F(ControlTest, OfflineSetsSucceedForTheHost) {
  SetProfile("Communication", "ComPort", "2");  // no camera there: off-line
  auto& c = MakeControl();
  c.SetMasterGainLevel(100);
  EXPECT_EQ(c.GetMasterGainLevel(), 100);
  // (The Gain window, refreshed first, sets its box, which sets the value
  // once more: the event may come twice.)
  EXPECT_GE(sink.Count("MasterGainLevelChanged"), 1);
  EXPECT_EQ(c.GetIsOnline(), 0);
  EXPECT_TRUE(Wire().empty());
  // The model refuses 7 for the white balance; the setter accepts silently.
  const short mode = c.GetWhiteBalanceIndex();
  c.SetWhiteBalanceIndex(7);
  EXPECT_EQ(c.GetWhiteBalanceIndex(), mode);
  EXPECT_EQ(sink.Count("WhiteBalanceChanged"), 0);
}

TEST_F(ControlTest, RefusedCommandsRaiseUnknownCommand) {
  auto& c = MakeOnlineControl();
  link->camera().faults().rejectCommands = true;
  EXPECT_RAISES(c.SetMasterGainLevel(5), kDevice, 32797, "Unknown Command");
  // The value was stored and announced before the camera refused it.
  EXPECT_GE(sink.Count("MasterGainLevelChanged"), 1);
  EXPECT_EQ(c.GetMasterGainLevel(), 5);
}

TEST_F(ControlTest, GetIsOnlineProbesAndAnnouncesSending) {
  auto& c = MakeOnlineControl();
  EXPECT_EQ(c.GetIsOnline(), 1);
  EXPECT_EQ(sink.Count("SendingToCamStatusChanged"), 2);
  EXPECT_EQ(Wire(), std::vector<std::string>{"SH?"});
  sink.Clear();
  link->SetUnplugged(true);
  EXPECT_EQ(c.GetIsOnline(), 0);
  EXPECT_EQ(sink.events,
            (std::vector<std::string>{"SendingToCamStatusChanged", "SendingToCamStatusChanged",
                                      "SynchronizedStatusChanged", "OnlineStatusChanged"}));
  sink.Clear();
  EXPECT_EQ(c.GetIsOnline(), 0);  // off-line too: the probe marks its query as sending
  EXPECT_EQ(sink.events,
            (std::vector<std::string>{"SendingToCamStatusChanged", "SendingToCamStatusChanged"}));
}

TEST_F(ControlTest, ComPortFailureNamesThePort) {
  auto& c = MakeControl();
  EXPECT_RAISES(c.SetComPort(7), kDevice, 0,
                "Camera not found or unable to open communication port\n  Communication port 7.\n\n"
                "Make sure that no other programs \n are connected to this port.");
  EXPECT_EQ(c.GetComPort(), 7);
  EXPECT_EQ(sink.Count("ComPortChanged"), 1);
}

TEST_F(ControlTest, RangeAndListQueriesUseTheErrorEvent) {
  auto& c = MakeControl();
  short lo = 5, hi = 6;
  EXPECT_EQ(c.GetMinMaxMasterGainLevel(&lo, nullptr), -1);
  EXPECT_EQ(lo, 5);
  ASSERT_EQ(sink.errors.size(), 1u);
  EXPECT_EQ(sink.errors[0].scode(), kInvalid);
  EXPECT_EQ(sink.errors[0].helpContext(), 32795);
  EXPECT_EQ(sink.errors[0].description().toStdString(), "Invalid input parameter (NULL)");
  ASSERT_EQ(ui.boxes.size(), 1u);  // not cancelled: the text is shown
  EXPECT_EQ(ui.boxes[0].caption.toStdString(), "XVexQ4");
  EXPECT_EQ(ui.boxes[0].text.toStdString(), "Invalid input parameter (NULL)");

  EXPECT_EQ(c.GetMinMaxMasterGainLevel(&lo, &hi), 0);
  EXPECT_EQ(lo, -132);
  EXPECT_EQ(hi, 429);
  EXPECT_EQ(c.GetMinMaxOnePushResult(&lo, &hi), 0);
  EXPECT_EQ(hi, 6);

  sink.cancelDisplay = true;
  QString text = QStringLiteral("x");
  EXPECT_EQ(c.GetValidShutterSpeed(12, &text), -1);
  EXPECT_EQ(text.toStdString(), "x");
  EXPECT_EQ(sink.errors.back().helpContext(), 32796);
  EXPECT_EQ(ui.boxes.size(), 1u);                    // cancelled: no box
  EXPECT_EQ(c.GetValidShutterSpeed(-1, &text), -1);  // compared unsigned
  EXPECT_EQ(c.GetValidShutterSpeed(0, &text), 0);
  EXPECT_EQ(text.toStdString(), "OFF");
  EXPECT_EQ(c.GetValidOnePushResult(6, &text), 0);
  EXPECT_EQ(text.toStdString(), "Trig is not Normal");
  EXPECT_EQ(c.GetValidAutoWhiteArea(3, nullptr), -1);
  EXPECT_EQ(sink.errors.back().helpContext(), 32795);
}

TEST_F(ControlTest, FrameGrabberRangeComesFromTheManufacturerCount) {
  auto& c = MakeControl();
  short lo = 9, hi = 9;
  EXPECT_EQ(c.GetMinMaxFrameGrabberIndex(&lo, &hi), 0);
  EXPECT_EQ(lo, 0);
  short count = -5;
  c.ClSerialGetNumManufacturers(&count);
  EXPECT_EQ(hi, count - 1);
}

TEST_F(ControlTest, MissingOutParametersAreRefusedBeforeAnythingHappens) {
  auto& c = MakeOnlineControl();
  short x = 1;
  QString text;
  const std::string null = "Invalid input parameter (NULL)";
  EXPECT_RAISES(c.GetMainWindowDefaultPosition(&x, nullptr), kInvalid, 32795, null);
  EXPECT_EQ(x, 1);
  EXPECT_RAISES(c.GetCameraID(nullptr), kInvalid, 32795, null);
  EXPECT_RAISES(c.ClSerialGetNumManufacturers(nullptr), kInvalid, 32795, null);
  EXPECT_RAISES(c.ClSerialGetManufacturer(0, &text, nullptr, &x), kInvalid, 32795, null);
  EXPECT_RAISES(c.ClAllSerialGetPortInfo(0, &text, &x, nullptr, &x, &x), kInvalid, 32795, null);
  EXPECT_TRUE(Wire().empty());  // no camera exchange was made
}

TEST_F(ControlTest, IdentityTextsAreEmptyOnFailure) {
  SetProfile("Communication", "ComPort", "2");  // no camera there: off-line
  auto& c = MakeControl();
  QString id = QStringLiteral("stale");
  EXPECT_EQ(c.GetCameraID(&id), -5);
  EXPECT_TRUE(id.isEmpty());
  c.SetComPort(1);
  EXPECT_EQ(c.GetCameraID(&id), 0);
  EXPECT_EQ(id.toStdString(), "10042");
  EXPECT_EQ(c.GetModelName(&id), 0);
  EXPECT_EQ(id.toStdString(), "RX-Q4CL");
  EXPECT_EQ(c.GetFirmwareVersion(), 120);
}

TEST_F(ControlTest, UserIdsTheCameraWouldRefuseAreRaised) {
  auto& c = MakeOnlineControl();
  const std::string invalid = "Invalid input parameter";
  EXPECT_RAISES(c.SetUserID(QStringLiteral("line1\r\nline2")), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetUserID(QString(QChar(0)) + QStringLiteral("x")), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetUserID(QStringLiteral("seventeen chars!!")), kInvalid, 32796, invalid);
  EXPECT_RAISES(c.SetUserID(QStringLiteral("caf\u00e9")), kInvalid, 32796, invalid);
  EXPECT_TRUE(Wire().empty());
  EXPECT_EQ(sink.Count("UserIDChanged"), 0);
  c.SetUserID(QStringLiteral("Line 3 left"));
  EXPECT_EQ(link->camera().identity().userId, "Line 3 left");
  EXPECT_EQ(c.GetUserID().toStdString(), "Line 3 left");
}

TEST_F(ControlTest, FileMethodsMapTheirFailures) {
  SetProfile("Communication", "ComPort", "2");  // no camera there: off-line
  auto& c = MakeControl();
  const QString missingDir = QString::fromStdString((dir / "no-such-folder" / "x.cam").string());
  EXPECT_RAISES(c.WriteAllToFile(missingDir), kInvalid, 32805, "Error writing to file");
  // A missing file has no camera type either.
  EXPECT_RAISES(c.ReadAllFromFile(missingDir), kInvalid, 0,
                "The file \"" + missingDir.toStdString() + "\" is not a valid inifile for RX-Q4");
  const auto foreign = dir / "foreign.cam";
  vexq4::testing::WriteFile(foreign, "[Main]\r\nCamera Type=Other\r\n");
  const QString name = QString::fromStdString(foreign.string());
  EXPECT_RAISES(c.ReadAllFromFile(name), kInvalid, 0,
                "The file \"" + foreign.string() + "\" is not a valid inifile for RX-Q4");
  EXPECT_RAISES(c.SaveShadingDataIntoFile(QString::fromStdString((dir / "s.csv").string())),
                kInvalid, 32799, "Operation failed. The Camera is offline");
  EXPECT_RAISES(c.LoadShadingDataFromFile(missingDir), kInvalid, 32799,
                "Operation failed. The Camera is offline");
  // A good file written off-line reads back (the model starts with knee
  // slopes of 0, which a settings file may not hold).
  c.SetRedKneeSlope(127);
  c.SetGreenKneeSlope(127);
  c.SetBlueKneeSlope(127);
  const QString good = QString::fromStdString((dir / "good.cam").string());
  EXPECT_EQ(c.WriteAllToFile(good), 0);
  EXPECT_EQ(c.ReadAllFromFile(good), 0);  // off-line: the values are only cached

  c.SetComPort(1);
  EXPECT_RAISES(c.LoadShadingDataFromFile(missingDir), kInvalid, 32806, "Error reading file");
  // A file that is no shading table: the same error, saying where and why.
  const auto table = dir / "table.csv";
  vexq4::testing::WriteFile(table,
                            ",,,DYNAMIC SHADING,,,\r\n,,H,,,V,\r\nADR,R,G,B,R,G,B\r\n"
                            "1,1,1,1,1,1,70000\r\n");
  EXPECT_RAISES(c.LoadShadingDataFromFile(QString::fromStdString(table.string())), kInvalid, 32806,
                "Error reading file: line 4: value \"70000\" under V B is outside 0..65535");
  EXPECT_RAISES(c.SaveShadingDataIntoFile(missingDir), kInvalid, 32805, "Error writing to file");
}

TEST_F(ControlTest, MainWindowPositionIsKeptForTheHost) {
  auto& c = MakeControl();
  short x = 0, y = 0;
  EXPECT_EQ(c.GetMainWindowDefaultPosition(&x, &y), 0);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 100);
  EXPECT_EQ(c.SetMainWindowDefaultPosition(-20, 300), 0);
  EXPECT_EQ(Profile("Main", "TopLeftX"), "-20");
  EXPECT_EQ(Profile("Main", "TopLeftY"), "300");
  c.GetMainWindowDefaultPosition(&x, &y);
  EXPECT_EQ(x, -20);
  EXPECT_EQ(y, 300);
}

TEST_F(ControlTest, DispatchByNameAndDispidReachesTheSameMember) {
  auto& c = MakeOnlineControl();
  ctl::Arg value{true, std::int32_t{4}};
  auto put = ctl::Invoke(c, "ShutterSpeedIndex", ctl::InvokeKind::kPut, std::span(&value, 1));
  EXPECT_EQ(put.status, ctl::InvokeResult::kOk);
  auto get = ctl::Invoke(c, 6, ctl::InvokeKind::kGet, {});
  EXPECT_EQ(std::get<std::int32_t>(get.result), 4);
  EXPECT_EQ(Wire(), std::vector<std::string>{"SH=4"});

  ctl::Arg bad{true, std::int32_t{12}};
  auto refused = ctl::Invoke(c, 6, ctl::InvokeKind::kPut, std::span(&bad, 1));
  ASSERT_EQ(refused.status, ctl::InvokeResult::kException);
  EXPECT_EQ(refused.error->helpContext(), 32796);

  // Out-parameters come back; a missing one stays missing.
  std::vector<ctl::Arg> args = {{true, std::int32_t{0}}, {true, QStringLiteral("x")}};
  auto call = ctl::Invoke(c, 65, ctl::InvokeKind::kCall, args);
  EXPECT_EQ(std::get<std::int32_t>(call.result), 0);
  EXPECT_EQ(std::get<QString>(args[1].value).toStdString(), "OFF");

  std::vector<ctl::Arg> wrong = {{true, QStringLiteral("one")}, {true, QString()}};
  EXPECT_EQ(ctl::Invoke(c, 65, ctl::InvokeKind::kCall, wrong).status,
            ctl::InvokeResult::kTypeMismatch);
  EXPECT_EQ(ctl::Invoke(c, 65, ctl::InvokeKind::kCall, {}).status,
            ctl::InvokeResult::kBadParamCount);
  ctl::Arg huge{true, std::int32_t{70000}};
  EXPECT_EQ(ctl::Invoke(c, 12, ctl::InvokeKind::kPut, std::span(&huge, 1)).status,
            ctl::InvokeResult::kOverflow);
  EXPECT_EQ(ctl::Invoke(c, "GetIsOnline", ctl::InvokeKind::kGet, {}).status,
            ctl::InvokeResult::kWrongKind);
  EXPECT_EQ(ctl::Invoke(c, "NoSuchMember", ctl::InvokeKind::kGet, {}).status,
            ctl::InvokeResult::kWrongKind);
}

TEST_F(ControlTest, PredefinedStringsOfTheListProperties) {
  EXPECT_EQ(ctl::PredefinedStrings(7).size(), 12u);
  EXPECT_EQ(ctl::PredefinedValue(45, 6)->toStdString(), "Midle Right");
  EXPECT_FALSE(ctl::PredefinedValue(9, 5).has_value());
  EXPECT_TRUE(ctl::PredefinedStrings(6).empty());
}
