// The Gain window against the simulated camera, worked through the names a
// script or a screen reader uses.
#include <QLineEdit>
#include <fstream>

#include "bound_window_fixture.h"
#include "vexq4/sim/sim_camera.h"

namespace vexq4::testing {
namespace {

constexpr char kRed[] = "Gain Level: Red";
constexpr char kBlue[] = "Gain Level: Blue";

class GainWindowTest : public BoundWindowTest {
 protected:
  GainWindowTest() : BoundWindowTest(control::kGainWindow) {}
  std::string Gain(const char* key) { return Key(key); }
};

TEST_F(GainWindowTest, FirstStartPushesTheDefaultsIntoControlAndProfile) {
  MakeControl();
  EXPECT_EQ(control->GetMasterGainLevel(), 122);
  EXPECT_EQ(control->GetRedGainLevel(), 122);
  EXPECT_EQ(control->GetBlueGainLevel(), 24);
  EXPECT_EQ(control->GetRedBlackLevel(), 122);
  EXPECT_EQ(control->GetGreenBlackLevel(), 127);
  EXPECT_EQ(control->GetBlueBlackLevel(), 127);
  EXPECT_EQ(control->GetRedKneePoint(), 122);
  EXPECT_EQ(control->GetGreenKneePoint(), 122);
  EXPECT_EQ(control->GetBlueKneePoint(), 127);
  EXPECT_EQ(control->GetRedKneeSlope(), 127);
  EXPECT_EQ(control->GetGreenKneeSlope(), 127);
  EXPECT_EQ(control->GetBlueKneeSlope(), 127);
  EXPECT_EQ(control->GetKneeSelect(), 1);
  EXPECT_EQ(control->GetShadingMode(), 1);
  EXPECT_EQ(control->GetWhiteBalanceIndex(), 0);
  EXPECT_EQ(control->GetAutoWhiteAreaIndex(), 0);

  const std::pair<const char*, const char*> keys[] = {
      {"Master Gain Level", "122"},
      {"Gain Level for red", "122"},
      {"Gain Level for Blue", "24"},
      {"Black Level for Red", "122"},
      {"Black Level for Green", "127"},
      {"Black Level for Blue", "127"},
      {"Knee Point for Red", "122"},
      {"Knee Point for Green", "122"},
      {"Knee Point for Blue", "127"},
      {"Knee Slope for Red", "127"},
      {"Knee Slope for Green", "127"},
      {"Knee Slope for Blue", "127"},
      {"Knee Select", "1"},
      {"Shading Mode", "1"},
      {"White Balance", "0"},
      {"Auto White Area", "0"},
  };
  for (auto [key, value] : keys) EXPECT_EQ(Gain(key), value) << key;

  EXPECT_EQ(Text("Gain Level: Master"), "122");
  EXPECT_EQ(Text("Knee Slope: Blue spin"), "127");
  EXPECT_EQ(Text("Knee Select: Off"), "1");
  EXPECT_EQ(Text("Shading Mode: Off"), "1");
  EXPECT_EQ(Text("White Balance"), "Manual/One Push");
  EXPECT_EQ(Text("Auto White Area"), "Full Area");
  // The Communication window, created after this one, found the camera on
  // COM1 (the profile's default).
  EXPECT_EQ(Text("online bar"), "online");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(GainWindowTest, StoredValuesComeBack) {
  SetProfile("Gain", "Master Gain Level", "-132");
  SetProfile("Gain", "Gain Level for red", "-231");
  SetProfile("Gain", "Knee Slope for Blue", "4095");
  SetProfile("Gain", "Knee Select", "0");
  SetProfile("Gain", "Shading Mode", "0");
  SetProfile("Gain", "White Balance", "1");
  SetProfile("Gain", "Auto White Area", "6");
  MakeControl();
  EXPECT_EQ(control->GetMasterGainLevel(), -132);
  EXPECT_EQ(control->GetRedGainLevel(), -231);
  EXPECT_EQ(control->GetBlueKneeSlope(), 4095);
  EXPECT_EQ(control->GetKneeSelect(), 0);
  EXPECT_EQ(control->GetShadingMode(), 0);
  EXPECT_EQ(control->GetWhiteBalanceIndex(), 1);
  EXPECT_EQ(control->GetAutoWhiteAreaIndex(), 6);
  EXPECT_EQ(Text("Gain Level: Master"), "-132");
  EXPECT_EQ(Text("Knee Select: On"), "1");
  EXPECT_EQ(Text("Shading Mode: On"), "1");
  EXPECT_EQ(Text("Auto White Area"), "Midle Right");
  // Continuous AWB: the camera balances, the red and blue boxes are empty.
  EXPECT_EQ(Text("White Balance"), "Continuous AWB");
  EXPECT_EQ(Text(kRed), "");
  EXPECT_EQ(Text(kBlue), "");
  EXPECT_EQ(Gain("Gain Level for red"), "-231");
}

TEST_F(GainWindowTest, CreationSendsTheStoredValuesInOrder) {
  MakeOnlineControl();
  Recreate();
  // Each stored value once: the refresh that moves a spin button sends
  // nothing back.
  const Lines expected = {"SH?",  // the online bar asks
                          "KN=1",    "WA=0",    "GA=122",  "GAR=122", "GAB=24",
                          "SH?",                                    // the white balance rule asks
                          "WB=0",    "WA?",     "GAR?",    "GAB?",  // the camera's manual gains
                          "BLR=122", "KPG=122", "KPR=122", "BLG=127", "BLB=127",
                          "KPB=127", "KSR=127", "KSG=127", "KSB=127", "SDM=1"};
  EXPECT_EQ(Wire(), expected);
  EXPECT_EQ(Text("online bar"), "online");
}

// Every refused key in one message that names it; the rest goes on.
TEST_F(GainWindowTest, RejectedStoredValuesAreReportedInOneMessageAndTheRestGoesOn) {
  SetProfile("Gain", "Master Gain Level", "999");
  SetProfile("Gain", "Knee Slope for Red", "9999");
  SetProfile("Gain", "Black Level for Blue", "300");
  SetProfile("Gain", "Shading Mode", "0");
  MakeControl();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption.toStdString(), "XVexQ4");
  EXPECT_EQ(ui.boxes[0].text.toStdString(),
            "The control refused these values of its profile XVexQ4.ini and keeps its own:\n"
            "[Gain] Master Gain Level = 999 (Invalid input parameter)\n"
            "[Gain] Knee Slope for Red = 9999 (Invalid input parameter)");
  EXPECT_EQ(control->GetMasterGainLevel(), 0);
  EXPECT_EQ(control->GetBlueBlackLevel(), 300);
  EXPECT_EQ(control->GetShadingMode(), 0);
  EXPECT_EQ(Gain("Master Gain Level"), "999");  // nothing refreshed it
}

TEST_F(GainWindowTest, WhiteBalanceModesOffline) {
  SetProfile("Communication", "ComPort", "2");  // no camera there: off-line
  MakeControl();
  Select("White Balance", "Continuous AWB");
  EXPECT_EQ(Text(kRed), "");
  EXPECT_EQ(Text(kBlue), "");
  for (const char* name : {kRed, kBlue, "Gain Level: Red spin", "Gain Level: Blue spin", "One Push",
                           "One Push Result"})
    EXPECT_FALSE(Enabled(name)) << name;
  EXPECT_TRUE(Enabled("Auto White Area"));
  EXPECT_EQ(Gain("White Balance"), "1");
  // Emptying a box shows the mode and sets nothing.
  EXPECT_EQ(control->GetRedGainLevel(), 122);

  Select("White Balance", "4600 K");
  EXPECT_EQ(Text(kRed), "");
  EXPECT_FALSE(Enabled("Auto White Area"));
  EXPECT_FALSE(Enabled(kRed));

  // Off-line, manual shows the last gains the profile keeps.
  SetProfile("Gain", "Gain Level for red", "60");
  Select("White Balance", "Manual/One Push");
  EXPECT_EQ(Text(kRed), "60");
  EXPECT_EQ(Text(kBlue), "24");
  EXPECT_EQ(control->GetRedGainLevel(), 122);  // shown, not set
  for (const char* name :
       {kRed, kBlue, "Gain Level: Red spin", "One Push", "One Push Result", "Auto White Area"})
    EXPECT_TRUE(Enabled(name)) << name;
}

TEST_F(GainWindowTest, PresetsFillTheDisabledGainBoxesOnline) {
  MakeOnlineControl();
  Select("White Balance", "3200 K");
  // The presets the camera reports show in the boxes; the camera's own
  // gains are left alone.
  EXPECT_EQ(Wire(), (Lines{"SH?", "WB=2", "WPR1?", "WPB1?"}));
  EXPECT_EQ(Text(kRed), "-68");
  EXPECT_EQ(Text(kBlue), "95");
  EXPECT_FALSE(Enabled(kRed));
  EXPECT_EQ(control->GetRedGainLevel(), 122);

  link->camera().ClearLog();
  Select("White Balance", "Continuous AWB");
  EXPECT_EQ(Wire(), (Lines{"SH?", "WB=1"}));
  EXPECT_EQ(Text(kRed), "");
  EXPECT_TRUE(Enabled("Auto White Area"));
}

TEST_F(GainWindowTest, AutoShadingAsksFirstAndSwitchesShadingOnOnce) {
  MakeOnlineControl();
  ui.answers.push_back(control::UiServices::Answer::kCancel);
  Click("Start Auto Shading");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.toStdString(),
            "A non-static shading correction will be generated.\nIt can't be stored in any user "
            "area !!\n\nYou can save the data in a file.");
  EXPECT_EQ(ui.boxes[0].buttons, control::UiServices::Buttons::kOkCancel);
  EXPECT_TRUE(Wire().empty());

  Click("Start Auto Shading");  // OK
  EXPECT_EQ(Commands(), (Lines{"ATSH=0", "SDM=0"}));
  EXPECT_EQ(Text("Shading Mode: On"), "1");
  EXPECT_EQ(Gain("Shading Mode"), "0");
  EXPECT_EQ(ui.waitCursor, 0);
  EXPECT_GT(ui.waitCursorUses, 0);

  link->camera().ClearLog();
  Click("Start Auto Shading");  // already on: nothing more
  EXPECT_EQ(Commands(), Lines{"ATSH=0"});
}

TEST_F(GainWindowTest, ShadingFilesSwitchShadingOnOnlyAfterSuccess) {
  MakeOnlineControl();
  const std::string path = (dir / "shading.csv").string();
  ui.QueueFile(path);
  Click("Save File");
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_TRUE(ui.dialogs[0].save);
  EXPECT_EQ(ui.dialogs[0].filter.toStdString(), "Shading Data (*.csv)|*.csv||");
  EXPECT_EQ(ui.dialogs[0].defaultExtension.toStdString(), "csv");
  EXPECT_TRUE(ui.dialogs[0].overwritePrompt);
  EXPECT_TRUE(std::ifstream(path).good());
  EXPECT_EQ(control->GetShadingMode(), 0);

  Click("Shading Mode: Off");
  EXPECT_EQ(control->GetShadingMode(), 1);
  link->camera().ClearLog();
  ui.QueueFile(path);
  Click("Load File");
  EXPECT_FALSE(ui.dialogs[1].save);
  EXPECT_TRUE(ui.dialogs[1].fileMustExist);
  ASSERT_FALSE(Wire().empty());
  EXPECT_EQ(Wire().back(), "SDM=0");

  // A file that cannot be read: its error, and shading stays as it was.
  Click("Shading Mode: Off");
  ui.boxes.clear();
  ui.QueueFile((dir / "missing.csv").string());
  Click("Load File");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.toStdString(), "Error reading file");
  EXPECT_EQ(control->GetShadingMode(), 1);

  // A file that is no table: the box says where and why, to mend it by.
  const std::string bad = (dir / "bad.csv").string();
  std::ofstream(bad) << ",,,DYNAMIC SHADING,,,\r\n,,H,,,V,\r\nADR,R,G,B,R,G,B\r\n1,1,x\r\n";
  ui.QueueFile(bad);
  Click("Load File");
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text.toStdString(),
            "Error reading file: line 4: value \"x\" under H G is not a number");
  EXPECT_EQ(control->GetShadingMode(), 1);
}

TEST_F(GainWindowTest, ShadingDialogsThatFailOrAreCancelledSendNothing) {
  MakeOnlineControl();
  ui.files.push_back({control::UiServices::FileOutcome::kFailed, {}});
  Click("Save File");
  ui.files.push_back({control::UiServices::FileOutcome::kFailed, {}});
  Click("Load File");
  Click("Load File");  // nothing queued: Cancel
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].caption.toStdString(), "Save Error");
  EXPECT_EQ(ui.boxes[0].text.toStdString(), "Error in Save Dialog !");
  EXPECT_EQ(ui.boxes[1].caption.toStdString(), "Load Error");
  EXPECT_EQ(ui.boxes[1].text.toStdString(), "Error in Load Dialog !");
  EXPECT_TRUE(Wire().empty());
}

TEST_F(GainWindowTest, TypedTextSendsTheSpinPosition) {
  MakeOnlineControl();
  Type("Gain Level: Master", "200");
  Type("Gain Level: Master", "abc");  // not a number: the old position
  Type("Gain Level: Master", "430");  // out of range: likewise
  ASSERT_EQ(studio::Spin(Window(), QStringLiteral("Gain Level: Master"), true), std::nullopt);
  Type("Knee Point: Blue", "1023");
  EXPECT_EQ(Wire(), (Lines{"GA=200", "GA=200", "GA=200", "GA=201", "KPB=1023"}));
  EXPECT_EQ(Gain("Master Gain Level"), "201");
  EXPECT_EQ(Gain("Knee Point for Blue"), "1023");
}

TEST_F(GainWindowTest, NotificationEqualToTheSpinOnlyWritesTheProfile) {
  MakeOnlineControl();
  Type("Gain Level: Master", "0130");
  link->camera().ClearLog();
  control->SetMasterGainLevel(130);
  EXPECT_EQ(Text("Gain Level: Master"), "0130");  // not rewritten
  EXPECT_EQ(Wire(), Lines{"GA=130"});             // the host's set alone
  EXPECT_EQ(Gain("Master Gain Level"), "130");

  link->camera().ClearLog();
  control->SetMasterGainLevel(131);
  EXPECT_EQ(Text("Gain Level: Master"), "131");
  EXPECT_EQ(Wire(), Lines{"GA=131"});  // the box is rewritten, nothing sent back
}

TEST_F(GainWindowTest, ChoicesSendTheirIndex) {
  MakeOnlineControl();
  Click("Knee Select: On");
  Select("Auto White Area", "Under Middle");
  EXPECT_EQ(Wire(), (Lines{"KN=0", "WA=8"}));
  EXPECT_EQ(Gain("Knee Select"), "0");
  EXPECT_EQ(Gain("Auto White Area"), "8");
  // A host's change moves the window without sending anything back.
  link->camera().ClearLog();
  control->SetKneeSelect(1);
  control->SetAutoWhiteAreaIndex(2);
  EXPECT_EQ(Wire(), (Lines{"KN=1", "WA=2"}));
  EXPECT_EQ(Text("Knee Select: Off"), "1");
  EXPECT_EQ(Text("Auto White Area"), "Upper Middle");
}

TEST_F(GainWindowTest, VanishingCameraTurnsTheBarOfflineWithoutABox) {
  MakeOnlineControl();
  EXPECT_EQ(Text("online bar"), "online");
  link->camera().faults().silent = true;
  Click("Knee Select: On");
  EXPECT_EQ(Text("online bar"), "offline");
  EXPECT_TRUE(ui.boxes.empty());  // off-line is no error for a set
  EXPECT_EQ(Gain("Knee Select"), "0");
  // Off-line, manual white balance shows the gains the profile keeps.
  Select("White Balance", "Continuous AWB");
  Select("White Balance", "Manual/One Push");
  EXPECT_EQ(Text(kRed), "122");
  EXPECT_EQ(Text(kBlue), "24");
}

TEST_F(GainWindowTest, OnePushShowsTheResultAndTheMeasuredGains) {
  MakeOnlineControl();
  Click("One Push");
  EXPECT_EQ(Commands().front(), "AW=0");
  EXPECT_EQ(Text("One Push Result"), "Complete");
  EXPECT_EQ(Text(kRed), std::to_string(sim::kOnePushRedGain));
  EXPECT_EQ(Text(kBlue), std::to_string(sim::kOnePushBlueGain));

  link->camera().config().onePushResult = 2;
  Click("One Push");
  EXPECT_EQ(Text("One Push Result"), "Too Dark");
}

}  // namespace
}  // namespace vexq4::testing
