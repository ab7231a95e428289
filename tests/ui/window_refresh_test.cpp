// The tool windows show what the model reports and send nothing back: a
// read from the camera, a host's set and a white balance mode's emptied
// gain boxes leave the camera with queries and the host's own commands only.
#include <gtest/gtest.h>

#include <string>

#include "bound_window_fixture.h"

namespace vexq4::testing {
namespace {

class WindowRefreshTest : public BoundWindowTest {
 protected:
  WindowRefreshTest() : BoundWindowTest(control::kGainWindow) {}
};

// A camera whose values differ from everything the windows pushed at their
// creation, in continuous white balance (the mode that empties the gain
// boxes).
void GiveTheCameraItsOwnValues(sim::SimCamera& camera) {
  for (const char* mnemonic : {"GA", "GAR", "GAB", "BLR", "BLG", "BLB", "KPR", "KPG", "KPB", "KSR",
                               "KSG", "KSB", "PE", "PER", "PEG", "PEB"})
    camera.SetValue(mnemonic, 300);
  camera.SetValue("WB", 1);
}

// Every setting a window's profile section keeps is bound by that window,
// which stores its value there at creation: a setting added to the table
// and forgotten in its window's binding table fails here.
TEST_F(WindowRefreshTest, EverySettingOfAWindowIsShownAndKept) {
  MakeControl();
  for (const model::SettingRow& row : model::Settings()) {
    if (!row.inFile()) continue;
    const std::string section(model::SectionOf(row.window));
    EXPECT_NE(Profile(section.c_str(), std::string(row.key).c_str()), "<missing>")
        << row.property << " is not bound by the " << section << " window";
  }
}

TEST_F(WindowRefreshTest, ReadingTheCameraSendsOnlyQueries) {
  MakeOnlineControl();
  control->SetShowGainWnd(-1);
  control->SetShowShutterWnd(-1);
  GiveTheCameraItsOwnValues(link->camera());
  link->camera().ClearLog();

  ASSERT_EQ(control->ReadAllFromCamera(), 0);
  EXPECT_EQ(Commands(), Lines{});
  EXPECT_FALSE(Wire().empty());
  // The windows show what was read, and keep it in the profile.
  EXPECT_EQ(Text("Gain Level: Master"), "300");
  EXPECT_EQ(Text("Gain Level: Red"), "");  // continuous white balance
  EXPECT_EQ(Key("Master Gain Level"), "300");
  EXPECT_EQ(Key("White Balance"), "1");
  EXPECT_EQ(link->camera().Value("GAR"), 300);
}

TEST_F(WindowRefreshTest, AHostsSetReachesTheCameraOnce) {
  MakeOnlineControl();
  control->SetMasterGainLevel(131);
  control->SetProgrammableExposure(500);
  control->SetWhiteBalanceIndex(1);  // empties the red and blue boxes
  EXPECT_EQ(Commands(), (Lines{"GA=131", "PE=500", "WB=1"}));
  EXPECT_EQ(Text("Gain Level: Master"), "131");
  EXPECT_EQ(Key("Master Gain Level"), "131");
}

TEST_F(WindowRefreshTest, WhatTheOperatorDoesStillSendsAtOnce) {
  MakeOnlineControl();
  Type("Gain Level: Master", "200");
  ASSERT_EQ(studio::Spin(Window(), QStringLiteral("Gain Level: Master"), true), std::nullopt);
  Select("Auto White Area", "Middle");
  Click("Knee Select: On");
  EXPECT_EQ(Commands(), (Lines{"GA=200", "GA=201", "WA=5", "KN=0"}));
}

}  // namespace
}  // namespace vexq4::testing
