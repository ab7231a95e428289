// The Shutter window against the simulated camera, worked through the names
// a script or a screen reader uses.
#include "bound_window_fixture.h"

namespace vexq4::testing {
namespace {

constexpr char kSpeedList[] = "Shutter Speed";
constexpr char kModeBox[] = "Shutter Speed: mode";
constexpr char kSpeedMode[] = "Shutter Mode: Shutter Speed";
constexpr char kCommonMode[] = "Programmable Exposure (RGB common set)";
constexpr char kIndividualMode[] = "Programmable Exposure (RGB individual set)";
constexpr char kCommon[] = "Programmable Exposure: RGB common set";
constexpr const char* kColours[] = {"Programmable Exposure: Red", "Programmable Exposure: Green",
                                    "Programmable Exposure: Blue"};

class ShutterWindowTest : public BoundWindowTest {
 protected:
  ShutterWindowTest() : BoundWindowTest(control::kShutterWindow) {}
};

TEST_F(ShutterWindowTest, FirstStartPushesTheDefaults) {
  MakeControl();
  EXPECT_EQ(control->GetShutterSpeedStr().toStdString(), "OFF");
  EXPECT_EQ(control->GetProgrammableExposure(), 2);
  EXPECT_EQ(control->GetProgrammableExposureRed(), 127);
  EXPECT_EQ(control->GetProgrammableExposureGreen(), 127);
  EXPECT_EQ(control->GetProgrammableExposureBlue(), 127);
  for (short value :
       {control->GetShutterMode(), control->GetTriggerTypeIndex(), control->GetPartialScanIndex(),
        control->GetBinningIndex(), control->GetTriggerPolarity(), control->GetSmearless(),
        control->GetTriggerInput(), control->GetAccumulation(), control->GetRCTFVALType(),
        control->GetOutputBitAllocation(), control->GetColorBar()})
    EXPECT_EQ(value, 0);

  const std::pair<const char*, const char*> keys[] = {
      {"Shutter Mode", "0"},
      {"Shutter Speed", "OFF"},
      {"Programmable Exposure (RGB common set)", "2"},
      {"Programmable Exposure for Red", "127"},
      {"Programmable Exposure for Green", "127"},
      {"Programmable Exposure for Blue", "127"},
      {"Trigger Mode", "0"},
      {"Trigger Polarity", "0"},
      {"Smearless", "0"},
      {"Trigger Input", "0"},
      {"LVAL Synchronous Accumulation", "0"},
      {"RCT FVAL Type", "0"},
      {"Partial Scan", "0"},
      {"Binning", "0"},
      {"Output Bit Allocation", "0"},
      {"Color Bar", "0"},
  };
  for (auto [key, value] : keys) EXPECT_EQ(Key(key), value) << key;

  EXPECT_EQ(Text(kSpeedList), "OFF");
  EXPECT_TRUE(Shown(kSpeedList));
  EXPECT_FALSE(Shown(kModeBox));
  EXPECT_EQ(Text(kSpeedMode), "1");
  EXPECT_FALSE(Enabled(kCommon));
  EXPECT_EQ(Text(kCommon), "2");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ShutterWindowTest, StoredValuesComeBackWithTheirRules) {
  SetProfile("Shutter", "Shutter Speed", "1/250");
  SetProfile("Shutter", "Shutter Mode", "2");
  SetProfile("Shutter", "Trigger Mode", "3");
  SetProfile("Shutter", "Partial Scan", "1");
  SetProfile("Shutter", "Binning", "1");
  SetProfile("Shutter", "Programmable Exposure for Green", "791");
  MakeControl();
  EXPECT_EQ(control->GetShutterSpeedIndex(), 4);
  EXPECT_EQ(control->GetShutterMode(), 2);
  EXPECT_EQ(control->GetTriggerTypeIndex(), 3);
  EXPECT_EQ(control->GetBinningIndex(), 1);
  EXPECT_EQ(control->GetProgrammableExposureGreen(), 791);
  EXPECT_EQ(Text(kSpeedList), "1/250");
  EXPECT_FALSE(Shown(kSpeedList));
  EXPECT_TRUE(Shown(kModeBox));
  EXPECT_FALSE(Enabled(kModeBox));
  EXPECT_EQ(Text(kModeBox), "RGB individual set");
  EXPECT_EQ(Text("Programmable Exposure: Green"), "791");
  for (const char* radio : {kSpeedMode, kCommonMode, kIndividualMode}) EXPECT_FALSE(Enabled(radio));
  EXPECT_FALSE(Enabled("Binning"));
  EXPECT_EQ(Text("Binning"), "Vertical Binning");
}

TEST_F(ShutterWindowTest, UnknownStoredSpeedIsReportedAndTheRestGoesOn) {
  SetProfile("Shutter", "Shutter Speed", "1/30");
  SetProfile("Shutter", "Binning", "1");
  SetProfile("Shutter", "Color Bar", "1");
  MakeControl();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.toStdString(),
            "The control refused these values of its profile XVexQ4.ini and keeps its own:\n"
            "[Shutter] Shutter Speed = 1/30 (Invalid input parameter)");
  EXPECT_EQ(control->GetShutterSpeedIndex(), 0);
  EXPECT_EQ(control->GetBinningIndex(), 1);
  EXPECT_EQ(control->GetColorBar(), 1);
  EXPECT_EQ(Text("Color Bar: On"), "1");
  EXPECT_EQ(Key("Shutter Speed"), "1/30");
}

TEST_F(ShutterWindowTest, CreationSendsTheStoredValuesInOrder) {
  MakeOnlineControl();
  Recreate();
  // Exposures move their spin buttons, whose boxes send again.
  const Lines expected = {"SH?",  // the online bar asks
                          "TR=0",    "SC=0",    "TI=0",    "TP=0", "SL=0",    "RF=0",    "LS=0",
                          "BA=0",    "SM=0",    "PE=2",    "PE=2", "PER=127", "PER=127", "PEG=127",
                          "PEG=127", "PEB=127", "PEB=127", "SH=0", "BI=0",    "CBAR=0"};
  EXPECT_EQ(Wire(), expected);
}

TEST_F(ShutterWindowTest, TriggerModesThatTimeTheExposureLockTheShutterMode) {
  MakeOnlineControl();
  for (const char* trigger : {"Pulse Width control", "Sensor Gate Control"}) {
    Select("Trigger Mode", trigger);
    for (const char* radio : {kSpeedMode, kCommonMode, kIndividualMode})
      EXPECT_FALSE(Enabled(radio)) << trigger;
    EXPECT_NE(studio::Click(Window(), QString::fromLatin1(kCommonMode)), std::nullopt);
  }
  for (const char* trigger : {"Edge Pre-select", "Reset Continuous", "Normal (Continuous)"}) {
    Select("Trigger Mode", trigger);
    for (const char* radio : {kSpeedMode, kCommonMode, kIndividualMode})
      EXPECT_TRUE(Enabled(radio)) << trigger;
  }
  EXPECT_EQ(Commands(), (Lines{"TR=2", "TR=3", "TR=1", "TR=4", "TR=0"}));
  EXPECT_EQ(Key("Trigger Mode"), "0");
}

TEST_F(ShutterWindowTest, PartialScanOtherThanFullFrameLocksBinning) {
  MakeOnlineControl();
  for (const char* scan : {"1/2 Partial", "1/4 Partial", "1/8 Partial"}) {
    Select("Partial Scan Mode", scan);
    EXPECT_FALSE(Enabled("Binning")) << scan;
  }
  Select("Partial Scan Mode", "Full Frame");
  EXPECT_TRUE(Enabled("Binning"));
  Select("Binning", "Vertical Binning");
  EXPECT_EQ(Commands(), (Lines{"SC=1", "SC=2", "SC=3", "SC=0", "BI=1"}));
  EXPECT_EQ(Key("Binning"), "1");
}

TEST_F(ShutterWindowTest, ShutterModesSwapTheSpeedListAndResendTheirExposures) {
  SetProfile("Shutter", "Programmable Exposure for Red", "10");
  SetProfile("Shutter", "Programmable Exposure for Green", "20");
  SetProfile("Shutter", "Programmable Exposure for Blue", "30");
  MakeOnlineControl();

  Click(kCommonMode);
  EXPECT_EQ(Wire(), (Lines{"SM=1", "PE=2"}));
  EXPECT_FALSE(Shown(kSpeedList));
  EXPECT_FALSE(Enabled(kSpeedList));
  EXPECT_TRUE(Shown(kModeBox));
  EXPECT_FALSE(Enabled(kModeBox));
  EXPECT_EQ(Text(kModeBox), "RGB common set");
  EXPECT_TRUE(Enabled(kCommon));
  EXPECT_TRUE(Enabled("Programmable Exposure: RGB common set spin"));
  for (const char* colour : kColours) EXPECT_FALSE(Enabled(colour));

  link->camera().ClearLog();
  Click(kIndividualMode);
  EXPECT_EQ(Wire(), (Lines{"SM=2", "PER=10", "PEB=30", "PEG=20"}));
  EXPECT_EQ(Text(kModeBox), "RGB individual set");
  EXPECT_FALSE(Enabled(kCommon));
  for (const char* colour : kColours) EXPECT_TRUE(Enabled(colour));

  link->camera().ClearLog();
  Click(kSpeedMode);
  EXPECT_EQ(Wire(), Lines{"SM=0"});
  EXPECT_TRUE(Shown(kSpeedList));
  EXPECT_TRUE(Enabled(kSpeedList));
  EXPECT_FALSE(Shown(kModeBox));
  for (const char* colour : kColours) EXPECT_FALSE(Enabled(colour));
  EXPECT_EQ(Key("Shutter Mode"), "0");
}

TEST_F(ShutterWindowTest, SpeedRefreshSelectsTheFirstEntryBeginningWithTheText) {
  MakeOnlineControl();
  control->SetShutterSpeedStr(QStringLiteral("1/100"));
  EXPECT_EQ(Text(kSpeedList), "1/100");
  EXPECT_EQ(Key("Shutter Speed"), "1/100");
  control->SetShutterSpeedIndex(9);
  EXPECT_EQ(Text(kSpeedList), "1/10000");
  link->camera().ClearLog();
  Select(kSpeedList, "1/1000");
  EXPECT_EQ(Wire(), Lines{"SH=6"});
  EXPECT_EQ(Key("Shutter Speed"), "1/1000");
}

TEST_F(ShutterWindowTest, EachRadioPairSendsItsIndex) {
  MakeOnlineControl();
  const struct {
    const char* radio;
    const char* line;
    const char* key;
  } pairs[] = {
      {"Hirose 12pin - 10 p", "TI=1", "Trigger Input"},
      {"Active H", "TP=1", "Trigger Polarity"},
      {"Smearless: On", "SL=1", "Smearless"},
      {"Asynch", "LS=1", "LVAL Synchronous Accumulation"},
      {"VEX Standard", "RF=1", "RCT FVAL Type"},
      {"8 Bit", "BA=1", "Output Bit Allocation"},
      {"Color Bar: On", "CBAR=1", "Color Bar"},
  };
  for (const auto& pair : pairs) {
    link->camera().ClearLog();
    Click(pair.radio);
    EXPECT_EQ(Wire(), Lines{pair.line}) << pair.radio;
    EXPECT_EQ(Key(pair.key), "1") << pair.radio;
  }
  link->camera().ClearLog();
  Click("Trigger Input: CL");
  Click("RCT FVAL Type: CL");
  EXPECT_EQ(Wire(), (Lines{"TI=0", "RF=0"}));
}

TEST_F(ShutterWindowTest, TypedExposureReachesTheCamera) {
  MakeOnlineControl();
  Click(kCommonMode);
  link->camera().ClearLog();
  Type(kCommon, "791");
  Type(kCommon, "792");  // out of range: the position stays
  ASSERT_EQ(studio::Spin(Window(), QString::fromLatin1(kCommon), false), std::nullopt);
  EXPECT_EQ(Wire(), (Lines{"PE=791", "PE=791", "PE=790"}));
  EXPECT_EQ(Key("Programmable Exposure (RGB common set)"), "790");
}

}  // namespace
}  // namespace vexq4::testing
