// The register map and the GenApi description made from the settings
// table, over a camera that records what reaches it.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "VexQ4Comm.h"
#include "vexq4/genicam/features.h"
#include "vexq4/genicam/genapi_xml.h"
#include "vexq4/genicam/register_map.h"

namespace vexq4::genicam {
namespace {

using model::SettingRow;

// Answers every read with its stored value and records each call.
class RecordingCamera : public Camera {
 public:
  int ReadSetting(const SettingRow& row, int& value) override {
    calls.push_back(std::string(row.mnemonic) + "?");
    value = values[std::string(row.mnemonic)];
    return result;
  }
  int WriteSetting(const SettingRow& row, int value) override {
    calls.push_back(std::string(row.mnemonic) + "=" + std::to_string(value));
    return result;
  }
  int ReadText(Text which, std::string& text) override {
    calls.push_back("text" + std::to_string(static_cast<int>(which)));
    text = which == Text::kUserID ? "LINE7" : "RX-Q4CL";
    return result;
  }
  int WriteUserID(std::string_view text) override {
    calls.push_back("UD=" + std::string(text));
    return result;
  }
  int ReadNumber(Number, int& value) override {
    value = 2;
    return result;
  }
  int Run(Command command, int argument) override {
    static const char* names[] = {"LD", "SA", "AW", "ATSH"};
    calls.push_back(std::string(names[static_cast<int>(command)]) + "=" + std::to_string(argument));
    return result;
  }
  std::vector<std::string> calls;
  std::map<std::string, int> values;
  int result = 0;
};

std::array<std::uint8_t, 4> Word(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return {static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
          static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
}

std::int32_t Value(const std::array<std::uint8_t, 4>& w) {
  return static_cast<std::int32_t>(std::uint32_t{w[0]} << 24 | std::uint32_t{w[1]} << 16 |
                                   std::uint32_t{w[2]} << 8 | w[3]);
}

// The names of the features the XML declares (the nodes its categories list).
std::set<std::string> XmlFeatures() {
  std::set<std::string> names;
  const std::regex feature("<pFeature>([A-Za-z0-9_]+)</pFeature>");
  const std::string& xml = XmlText();
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), feature);
       it != std::sregex_iterator(); ++it)
    names.insert((*it)[1]);
  return names;
}

std::string Hex(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%X", v);
  return b;
}

TEST(GenICamFeatures, EverySettingRowIsAFeatureOfTheDescription) {
  const std::set<std::string> xml = XmlFeatures();
  for (const SettingRow& row : model::Settings()) {
    const std::string name = FeatureName(row);
    EXPECT_TRUE(xml.count(name)) << row.property << " has no feature " << name;
    const Feature* f = FindFeature(name);
    ASSERT_NE(f, nullptr) << name;
    EXPECT_NE(std::find(f->rows.begin(), f->rows.end(), &row), f->rows.end()) << name;
    if (row.genicam.selector.empty()) {
      // Its own register, at the address its code gives.
      EXPECT_EQ(f->address, SettingAddress(row.code)) << name;
      EXPECT_NE(XmlText().find("<Address>" + Hex(SettingAddress(row.code)) + "</Address>"),
                std::string::npos)
          << name;
    } else {
      // Reached through its selector, whose entry value is the row's code.
      const Feature* selector = FindFeature(row.genicam.selector);
      ASSERT_NE(selector, nullptr) << name;
      EXPECT_TRUE(xml.count(selector->name));
      const auto entry = std::find_if(selector->entries.begin(), selector->entries.end(),
                                      [&](const Entry& e) { return e.name == row.genicam.entry; });
      ASSERT_NE(entry, selector->entries.end()) << row.genicam.entry;
      EXPECT_EQ(SettingAddress(static_cast<unsigned>(entry->value)), SettingAddress(row.code));
    }
  }
}

TEST(GenICamFeatures, NamesAreUniqueAndTheIssuesOnesAreThere) {
  std::set<std::string> names;
  for (const Feature& f : Features()) {
    EXPECT_TRUE(names.insert(f.name).second) << "twice: " << f.name;
    std::set<std::string> entries;
    for (const Entry& e : f.entries) {
      EXPECT_TRUE(entries.insert(e.name).second) << f.name << " entry twice: " << e.name;
      EXPECT_TRUE(std::regex_match(e.name, std::regex("[A-Za-z_][A-Za-z0-9_]*"))) << e.name;
    }
  }
  for (const char* n : {"DeviceVendorName",
                        "DeviceModelName",
                        "DeviceSerialNumber",
                        "DeviceFirmwareVersion",
                        "DeviceUserID",
                        "GainSelector",
                        "Gain",
                        "BlackLevelSelector",
                        "BlackLevel",
                        "TestPattern",
                        "UserSetSelector",
                        "UserSetLoad",
                        "UserSetSave",
                        "ShutterSpeed",
                        "ShutterMode",
                        "Smearless",
                        "RedKneePoint",
                        "ProgrammableExposure",
                        "TriggerType",
                        "PartialScan",
                        "Binning",
                        "WhiteBalance",
                        "AutoWhiteArea"})
    EXPECT_TRUE(names.count(n)) << n;
  const auto entryNames = [](const char* feature) {
    std::vector<std::string> out;
    for (const Entry& e : FindFeature(feature)->entries) out.push_back(e.name);
    return out;
  };
  EXPECT_EQ(entryNames("GainSelector"), (std::vector<std::string>{"All", "Blue", "Red"}));
  EXPECT_EQ(entryNames("BlackLevelSelector"), (std::vector<std::string>{"Blue", "Red", "Green"}));
  EXPECT_EQ(entryNames("TestPattern"), (std::vector<std::string>{"Off", "ColorBar"}));
  EXPECT_EQ(entryNames("UserSetSelector"),
            (std::vector<std::string>{"Default", "UserSet1", "UserSet2", "UserSet3"}));
  // The shutter speed list's texts are the display names.
  const Feature* shutter = FindFeature("ShutterSpeed");
  EXPECT_EQ(shutter->type, FeatureType::kEnumeration);
  EXPECT_EQ(shutter->entries[1].displayName, "1/60");
  EXPECT_EQ(shutter->entries.back().displayName, "1/50000");
}

TEST(GenICamFeatures, EntryNamesFollowTheirRule) {
  EXPECT_EQ(EntryName("1/60"), "Value1_60");
  EXPECT_EQ(EntryName("Full Area"), "FullArea");
  EXPECT_EQ(EntryName("Normal (Continuous)"), "NormalContinuous");
  EXPECT_EQ(EntryName("3200 K"), "Value3200K");
  EXPECT_EQ(EntryName("Manual/One Push"), "Manual_OnePush");
  EXPECT_EQ(EntryName("OFF"), "OFF");
}

TEST(GenICamFeatures, AddressesComeFromTheParameterCodes) {
  // The scheme is fixed: tools outside keep these addresses.
  EXPECT_EQ(SettingAddress(GA), 0x100C0u);
  EXPECT_EQ(SettingAddress(GAR), 0x101E0u);
  EXPECT_EQ(SettingAddress(GAR, kMaxOffset), 0x101E8u);
  EXPECT_EQ(TextAddress(UD), 0x204C0u);
  EXPECT_EQ(FindFeature("DeviceUserID")->address, TextAddress(UD));
  EXPECT_EQ(FindFeature("UserSetSave")->address, SettingAddress(SA));
}

TEST(GenApiXml, IsPaddedAndPointedAtByTheUrl) {
  const std::string& xml = XmlText();
  EXPECT_EQ(xml.size() % 4, 0u);
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"", 0), 0u);
  EXPECT_NE(xml.find("SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\""), std::string::npos);
  EXPECT_NE(xml.find("<Port Name=\"Device\""), std::string::npos);
  char expected[64];
  std::snprintf(expected, sizeof expected, ";100000;%zX", xml.size());
  EXPECT_NE(XmlLocalUrl().find(expected), std::string::npos) << XmlLocalUrl();
  EXPECT_EQ(XmlLocalUrl().rfind("Local:", 0), 0u);
}

class MapTest : public ::testing::Test {
 protected:
  Access Write(std::uint32_t address, std::int32_t value) {
    return map.Write(address, Word(value));
  }
  std::int32_t Read(std::uint32_t address, Access expect = Access::kOk) {
    std::array<std::uint8_t, 4> w{};
    EXPECT_EQ(map.Read(address, w), expect) << Hex(address);
    return Value(w);
  }
  RecordingCamera camera;
  RegisterMap map{camera};
};

TEST_F(MapTest, ReadsAskTheCameraAndWritesSendItsCommand) {
  camera.values["GAR"] = -17;
  EXPECT_EQ(Read(SettingAddress(GAR)), -17);
  EXPECT_EQ(Write(SettingAddress(GAR), 100), Access::kOk);
  EXPECT_EQ(Write(SettingAddress(SH), 3), Access::kOk);
  EXPECT_EQ(camera.calls, (std::vector<std::string>{"GAR?", "GAR=100", "SH=3"}));
  // Ranges are constants: no exchange.
  EXPECT_EQ(Read(SettingAddress(GA, kMinOffset)), -132);
  EXPECT_EQ(Read(SettingAddress(GA, kMaxOffset)), 429);
  EXPECT_EQ(camera.calls.size(), 3u);
}

TEST_F(MapTest, RefusedWritesSendNothing) {
  EXPECT_EQ(Write(SettingAddress(GAR), 232), Access::kRefused);  // beyond 231
  EXPECT_EQ(Write(SettingAddress(SH), 12), Access::kRefused);    // beyond the list
  EXPECT_EQ(Write(SettingAddress(SA), 0), Access::kRefused);     // UserSetSave of Default
  EXPECT_EQ(Write(SettingAddress(LD), 4), Access::kRefused);
  EXPECT_EQ(Write(SettingAddress(EA), 1), Access::kWriteProtect);  // the camera's own state
  EXPECT_EQ(Write(SettingAddress(GA, kMinOffset), 0), Access::kWriteProtect);
  EXPECT_EQ(map.Write(TextAddress(ID), Word(0)), Access::kWriteProtect);
  EXPECT_TRUE(camera.calls.empty());
  EXPECT_EQ(Write(SettingAddress(SA), 2), Access::kOk);
  EXPECT_EQ(Write(SettingAddress(LD), 0), Access::kOk);
  EXPECT_EQ(camera.calls, (std::vector<std::string>{"SA=2", "LD=0"}));
}

TEST_F(MapTest, ReadOnlyMapRefusesWhatWouldReachTheCamera) {
  RegisterMap readOnly(camera, /*readOnly=*/true);
  EXPECT_EQ(readOnly.Write(SettingAddress(GA), Word(1)), Access::kAccessDenied);
  EXPECT_EQ(readOnly.Write(SettingAddress(ATSH), Word(1)), Access::kAccessDenied);
  EXPECT_EQ(readOnly.Write(TextAddress(UD), Word(0x41424300)), Access::kAccessDenied);
  EXPECT_TRUE(camera.calls.empty());
  std::array<std::uint8_t, 4> w{};
  EXPECT_EQ(readOnly.Read(SettingAddress(GA), w), Access::kOk);
}

TEST_F(MapTest, OddAccessesAreRefusedByKind) {
  std::array<std::uint8_t, 2> half{};
  EXPECT_EQ(map.Read(SettingAddress(GA), half), Access::kBadAlignment);
  EXPECT_EQ(map.Read(SettingAddress(GA) + 2, half), Access::kBadAlignment);
  std::array<std::uint8_t, 8> twoRegisters{};
  EXPECT_EQ(map.Read(SettingAddress(GA, kMaxOffset), twoRegisters), Access::kInvalidAddress);
  Read(SettingAddress(7), Access::kInvalidAddress);  // code 7 is unassigned
  Read(0x00FFFFFC, Access::kInvalidAddress);
  Read(kXmlAddress + static_cast<std::uint32_t>(XmlText().size()), Access::kInvalidAddress);
  EXPECT_TRUE(camera.calls.empty());
}

TEST_F(MapTest, TextsAndTheDescriptionAreReadAsMemory) {
  std::array<std::uint8_t, 16> user{};
  EXPECT_EQ(map.Read(TextAddress(UD), user), Access::kOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(user.data()), 5), "LINE7");
  EXPECT_EQ(user[5], 0);
  std::vector<std::uint8_t> xml(XmlText().size());
  EXPECT_EQ(map.Read(kXmlAddress, xml), Access::kOk);
  EXPECT_EQ(std::string(xml.begin(), xml.end()), XmlText());
  EXPECT_TRUE(RegisterMap::IsConstant(kXmlAddress, 512));
  EXPECT_FALSE(RegisterMap::IsConstant(TextAddress(UD), 16));
  const std::string id = "LINE 8\0\0\0\0";
  std::vector<std::uint8_t> written(16, 0);
  std::copy(id.begin(), id.end(), written.begin());
  EXPECT_EQ(map.Write(TextAddress(UD), written), Access::kOk);
  written[2] = 0x07;
  EXPECT_EQ(map.Write(TextAddress(UD), written), Access::kRefused);
  EXPECT_EQ(camera.calls.back(), "UD=LINE 8");
}

TEST_F(MapTest, ACameraThatFailsIsReportedWithItsCode) {
  camera.result = -6;
  Read(SettingAddress(GA), Access::kCameraFailed);
  EXPECT_EQ(map.lastCameraResult(), -6);
  EXPECT_EQ(Write(SettingAddress(GA), 5), Access::kCameraFailed);
}

}  // namespace
}  // namespace vexq4::genicam
