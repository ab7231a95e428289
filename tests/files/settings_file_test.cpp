// Settings files (*.cam) written and read off-line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_access.h"
#include "test_dir.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/ini_file.h"

namespace {

using vexq4::platform::GetProfileString;
using vexq4::platform::WriteProfileString;
using vexq4::testing::ReadFile;
using vexq4::testing::TestDir;
using vexq4::testing::WriteFile;

// Records the parameter notifications, to see that an off-line read
// refreshes every window in the fixed order.
#define RECORD(name) \
  void name##Changed() override { seen.emplace_back(#name); }
class Model : public CVexCamInterface {
 public:
  std::vector<std::string> seen;
  RECORD(ShutterMode)
  RECORD(ShutterSpeed)
  RECORD(ProgrammableExposure)
  RECORD(ProgrammableExposureRed) RECORD(ProgrammableExposureGreen) RECORD(ProgrammableExposureBlue)
      RECORD(TriggerType) RECORD(Smearless) RECORD(Accumulation) RECORD(RCTFVALType)
          RECORD(TriggerInput) RECORD(TriggerPolarity) RECORD(PartialScan) RECORD(Binning)
              RECORD(OutputBitAllocation) RECORD(ColorBar) RECORD(AutoWhiteArea)
                  RECORD(MasterGainLevel) RECORD(RedGainLevel) RECORD(BlueGainLevel)
                      RECORD(WhiteBalance) RECORD(GreenBlackLevel) RECORD(RedBlackLevel)
                          RECORD(BlueBlackLevel) RECORD(KneeSelect) RECORD(RedKneeSlope)
                              RECORD(GreenKneeSlope) RECORD(BlueKneeSlope) RECORD(RedKneePoint)
                                  RECORD(GreenKneePoint) RECORD(BlueKneePoint) RECORD(ShadingMode)
                                      RECORD(Red3200KWBalPreset) RECORD(Blue3200KWBalPreset)
                                          RECORD(Red4600KWBalPreset) RECORD(Blue4600KWBalPreset)
                                              RECORD(Red5600KWBalPreset) RECORD(Blue5600KWBalPreset)
                                                  RECORD(UserID) RECORD(CameraID) RECORD(ModelName)
};
#undef RECORD

// Every field the file carries, set to values that differ from the defaults.
void Fill(CVexCamInterface& m) {
  m.SetShutterMode(2);
  m.SetShutterSpeedIndex(11);
  m.SetProgrammableExposure(791);
  m.SetProgrammableExposureRed(1);
  m.SetProgrammableExposureGreen(2);
  m.SetProgrammableExposureBlue(3);
  m.SetTriggerTypeIndex(4);
  m.SetSmearless(1);
  m.SetAccumulation(1);
  m.SetRCTFVALType(1);
  m.SetTriggerInput(1);
  m.SetTriggerPolarity(1);
  m.SetPartialScanIndex(3);
  m.SetBinningIndex(1);
  m.SetOutputBitAllocation(1);
  m.SetColorBar(1);
  m.SetWhiteBalanceIndex(3);
  m.SetAutoWhiteAreaIndex(6);
  m.SetMasterGainLevel(-132);
  m.SetRedGainLevel(-231);
  m.SetBlueGainLevel(231);
  m.SetGreenBlackLevel(1023);
  m.SetRedBlackLevel(5);
  m.SetBlueBlackLevel(6);
  m.SetKneeSelect(1);
  m.SetRedKneeSlope(1);
  m.SetGreenKneeSlope(4095);
  m.SetBlueKneeSlope(77);
  m.SetRedKneePoint(8);
  m.SetGreenKneePoint(9);
  m.SetBlueKneePoint(1023);
  m.SetShadingMode(1);
  vexq4::model::TestAccess::Preset(m, "Red4600KWBalPreset", 40);
  vexq4::model::TestAccess::Preset(m, "Blue4600KWBalPreset", -41);
}

constexpr std::string_view kFilled =
    "[Main]\r\n"
    "Camera Type=RX-Q4\r\n"
    "[Shutter]\r\n"
    "Shutter Mode=2\r\n"
    "Shutter Speed=1/50000\r\n"
    "Programmable Exposure (RGB common set)=791\r\n"
    "Programmable Exposure for Red=1\r\n"
    "Programmable Exposure for Green=2\r\n"
    "Programmable Exposure for Blue=3\r\n"
    "Trigger Mode=Reset Continuous\r\n"
    "Smearless=1\r\n"
    "LVAL Synchronous Accumulation=1\r\n"
    "RCT FVAL Type=1\r\n"
    "Trigger Input=1\r\n"
    "Trigger Polarity=1\r\n"
    "Partial Scan=1/8 Partial\r\n"
    "Binning=Vertical Binning\r\n"
    "Output Bit Allocation=1\r\n"
    "Color Bar=1\r\n"
    "[Gain]\r\n"
    "White Balance=4600 K\r\n"
    "Auto White Area=Midle Right\r\n"
    "Master Gain Level=-132\r\n"
    "Gain Level for red=-231\r\n"
    "Gain Level for Blue=231\r\n"
    "Black Level for Green=1023\r\n"
    "Black Level for Red=5\r\n"
    "Black Level for Blue=6\r\n"
    "Knee Select=1\r\n"
    "Knee Slope for Red=1\r\n"
    "Knee Slope for Green=4095\r\n"
    "Knee Slope for Blue=77\r\n"
    "Knee Point for Red=8\r\n"
    "Knee Point for Green=9\r\n"
    "Knee Point for Blue=1023\r\n"
    "Shading Mode=1\r\n";

void ExpectSameFileFields(const CVexCamInterface& a, const CVexCamInterface& b) {
  for (const vexq4::model::SettingRow& row : vexq4::model::Settings()) {
    if (!row.inFile()) continue;
    EXPECT_EQ(a.Value(row), b.Value(row)) << row.property;
    EXPECT_EQ(a.Text(row), b.Text(row)) << row.property;
  }
}

class SettingsFileTest : public ::testing::Test {
 protected:
  // A valid file from a filled model; tests then change single keys.
  void SetUp() override {
    Fill(source_);
    file_ = (dir_ / "setup.cam").string();
    ASSERT_EQ(source_.WriteAllToFile(file_), 0);
  }
  void Set(std::string_view section, std::string_view key, std::string_view value) {
    ASSERT_TRUE(WriteProfileString(file_, section, key, value));
  }

  TestDir dir_;
  Model source_;
  std::string file_;
};

TEST_F(SettingsFileTest, WritesEveryKeyInOrderAndReadsEveryFieldBack) {
  EXPECT_EQ(ReadFile(file_), kFilled);

  Model target;
  EXPECT_EQ(target.ReadAllFromFile(file_), 0);
  ExpectSameFileFields(source_, target);
  // Off-line, the windows are refreshed in the fixed order.
  EXPECT_EQ(target.seen, (std::vector<std::string>{"ShutterMode",
                                                   "ShutterSpeed",
                                                   "ProgrammableExposure",
                                                   "ProgrammableExposureRed",
                                                   "ProgrammableExposureGreen",
                                                   "ProgrammableExposureBlue",
                                                   "TriggerType",
                                                   "Smearless",
                                                   "Accumulation",
                                                   "RCTFVALType",
                                                   "TriggerInput",
                                                   "TriggerPolarity",
                                                   "PartialScan",
                                                   "Binning",
                                                   "OutputBitAllocation",
                                                   "ColorBar",
                                                   "AutoWhiteArea",
                                                   "MasterGainLevel",
                                                   "RedGainLevel",
                                                   "BlueGainLevel",
                                                   "WhiteBalance",
                                                   "GreenBlackLevel",
                                                   "RedBlackLevel",
                                                   "BlueBlackLevel",
                                                   "KneeSelect",
                                                   "RedKneeSlope",
                                                   "GreenKneeSlope",
                                                   "BlueKneeSlope",
                                                   "RedKneePoint",
                                                   "GreenKneePoint",
                                                   "BlueKneePoint",
                                                   "ShadingMode"}));
}

TEST_F(SettingsFileTest, CameraTypeIsCheckedButTheRestStillApplies) {
  Set("Main", "Camera Type", "RX-Q4CL");
  Model accepted;
  EXPECT_EQ(accepted.ReadAllFromFile(file_), 0);

  Set("Main", "Camera Type", "rx-q4");
  Model refused;
  EXPECT_EQ(refused.ReadAllFromFile(file_), -9);
  ExpectSameFileFields(source_, refused);
}

TEST_F(SettingsFileTest, RangeEdges) {
  struct Case {
    std::string_view section, key, value;
    std::string_view property;
    int expected;  // the field afterwards
    int result;
  };
  const Case cases[] = {
      {"Gain", "Master Gain Level", "-133", "MasterGainLevel", 0, -9},
      {"Gain", "Master Gain Level", "429", "MasterGainLevel", 429, 0},
      {"Gain", "Master Gain Level", "430", "MasterGainLevel", 0, -9},
      {"Gain", "Knee Slope for Red", "0", "RedKneeSlope", 0, -9},
      {"Gain", "Knee Slope for Red", "4095", "RedKneeSlope", 4095, 0},
      {"Shutter", "Programmable Exposure (RGB common set)", "-1", "ProgrammableExposure", 0, -9},
      {"Gain", "Gain Level for Blue", "232", "BlueGainLevel", 0, -9},
      // Keys without a range take any number, trailing text ignored.
      {"Shutter", "Shutter Mode", "  -7 volts", "ShutterMode", -7, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + std::string(c.value));
    SetUp();
    Set(c.section, c.key, c.value);
    Model m;
    EXPECT_EQ(m.ReadAllFromFile(file_), c.result);
    EXPECT_EQ(vexq4::testing::ValueOf(m, c.property), c.expected);
    EXPECT_EQ(vexq4::testing::ValueOf(m, "BlueKneePoint"), 1023);  // the other keys still apply
  }
}

TEST_F(SettingsFileTest, ListTextsMatchExactly) {
  Set("Shutter", "Shutter Speed", "1/100");
  Model m;
  EXPECT_EQ(m.ReadAllFromFile(file_), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "ShutterSpeedIndex"), 2);
  EXPECT_EQ(vexq4::testing::TextOf(m, "ShutterSpeedStr"), "1/100");

  Set("Shutter", "Shutter Speed", "off");
  Model refused;
  refused.SetShutterSpeedIndex(5);
  EXPECT_EQ(refused.ReadAllFromFile(file_), -9);
  EXPECT_EQ(vexq4::testing::ValueOf(refused, "ShutterSpeedIndex"), 5);
  EXPECT_EQ(vexq4::testing::TextOf(refused, "ShutterSpeedStr"), "1/500");
}

TEST_F(SettingsFileTest, ValueWithoutNumberLeavesFieldUnchanged) {
  // "Color Bar" (1) is the int key read just before "Master Gain Level": its
  // number must not be carried over.
  Set("Gain", "Master Gain Level", "loud");
  Set("Gain", "Knee Slope for Red", "");
  Model m;
  m.SetMasterGainLevel(55);
  m.SetRedKneeSlope(66);
  EXPECT_EQ(m.ReadAllFromFile(file_), -9);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "MasterGainLevel"), 55);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "RedKneeSlope"), 66);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "ColorBar"), 1);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "GreenKneeSlope"), 4095);
}

TEST_F(SettingsFileTest, MissingFileOrKeysChangeNothing) {
  Model m;
  m.SetShutterMode(3);
  m.SetMasterGainLevel(12);
  EXPECT_EQ(m.ReadAllFromFile((dir_ / "absent.cam").string()), -9);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "ShutterMode"), 3);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "MasterGainLevel"), 12);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "WhiteBalanceIndex"), 1);
  EXPECT_EQ(vexq4::testing::TextOf(m, "WhiteBalanceStr"), "Continuous AWB");
}

TEST_F(SettingsFileTest, NamesAreCaseBlindAndForeignLinesSurvive) {
  WriteFile(file_,
            "; my setup\n[main]\ncamera type = RX-Q4 \n[GAIN]\nmaster gain level = 100\n"
            "[Notes]\nwho=me\n");
  Model m;
  EXPECT_EQ(m.ReadAllFromFile(file_), -9);  // the other keys are missing
  EXPECT_EQ(vexq4::testing::ValueOf(m, "MasterGainLevel"), 100);

  ASSERT_EQ(source_.WriteAllToFile(file_), 0);
  const std::string text = ReadFile(file_);
  EXPECT_TRUE(text.starts_with("; my setup\r\n[main]\r\n")) << text;
  EXPECT_NE(text.find("[Notes]\r\nwho=me\r\n"), std::string::npos);
  EXPECT_EQ(GetProfileString(file_, "Gain", "Master Gain Level", ""), "-132");
  Model back;
  EXPECT_EQ(back.ReadAllFromFile(file_), 0);
}

TEST_F(SettingsFileTest, GainKeysHoldPresetsOnlyOnline) {
  // Off-line with "4600 K": the manual gains (checked in kFilled above).
  EXPECT_EQ(GetProfileString(file_, "Gain", "Gain Level for red", ""), "-231");

  // On-line the mode's presets; the write never touches the camera.
  vexq4::model::TestAccess::PresetOnline(source_, 1);
  const int result = source_.WriteAllToFile(file_);
  vexq4::model::TestAccess::PresetOnline(source_, 0);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(GetProfileString(file_, "Gain", "Gain Level for red", ""), "40");
  EXPECT_EQ(GetProfileString(file_, "Gain", "Gain Level for Blue", ""), "-41");

  // Reading puts them into the manual gains, not into the presets.
  Model m;
  EXPECT_EQ(m.ReadAllFromFile(file_), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "RedGainLevel"), 40);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "BlueGainLevel"), -41);
  EXPECT_EQ(vexq4::testing::ValueOf(m, "Red4600KWBalPreset"), 0);

  // Each colour-temperature mode its own presets; modes 0 and 1 the gains.
  vexq4::model::TestAccess::Preset(source_, "Red3200KWBalPreset", 32);
  vexq4::model::TestAccess::Preset(source_, "Blue3200KWBalPreset", -32);
  vexq4::model::TestAccess::Preset(source_, "Red5600KWBalPreset", 56);
  vexq4::model::TestAccess::Preset(source_, "Blue5600KWBalPreset", -56);
  const char* const expected[][2] = {
      {"-231", "231"}, {"-231", "231"}, {"32", "-32"}, {"40", "-41"}, {"56", "-56"}};
  for (int mode = 0; mode <= 4; ++mode) {
    SCOPED_TRACE(mode);
    vexq4::model::TestAccess::Preset(source_, "WhiteBalanceIndex", mode);
    vexq4::model::TestAccess::PresetOnline(source_, 1);
    const int r = source_.WriteAllToFile(file_);
    vexq4::model::TestAccess::PresetOnline(source_, 0);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(GetProfileString(file_, "Gain", "Gain Level for red", ""), expected[mode][0]);
    EXPECT_EQ(GetProfileString(file_, "Gain", "Gain Level for Blue", ""), expected[mode][1]);
  }
}

TEST_F(SettingsFileTest, UnwritablePathGivesMinus7AndNoFile) {
  Model m;
  EXPECT_EQ(m.WriteAllToFile((dir_ / "missing" / "a.cam").string()), -7);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
  EXPECT_EQ(m.WriteAllToFile(dir_.path().string()), -7);  // a folder
}

}  // namespace
