// The tool windows show what the model reports and send nothing back: a
// read from the camera, a host's set and a white balance mode's emptied
// gain boxes leave the camera with queries and the host's own commands only.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QVBoxLayout>
#include <string>

#include "bindings.h"
#include "bound_window_fixture.h"
#include "ui_access.h"

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
// that no window shows fails here.
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

// A page of the Gain window whose table lays out none of its settings:
// each is then shown as a setting added to the camera since would be.
class NothingLaidOut : public control::BoundPage {
 public:
  NothingLaidOut() : BoundPage({}, model::Window::kGain) { SetSection(QStringLiteral("Gain")); }

 protected:
  void BuildWindow(QWidget* page) override {
    (new QVBoxLayout(page))->addWidget(MoreSettingsGroup(page));
  }
  void OnInitDialog() override {
    CToolWinDlg::OnInitDialog();
    SetRanges(SpinRows());
    FillMoreSettingsLists();
    ReadProfile();
    Push(TableOrder());
  }
};

TEST_F(WindowRefreshTest, ASettingNoTableLaysOutIsShownNamedAfterItsKey) {
  MakeOnlineControl();
  // The real windows lay out all of theirs.
  EXPECT_EQ(studio::FindWidget(Window(), QStringLiteral("More Settings")), nullptr);

  NothingLaidOut page;
  page.SetControl(control.get());
  QWidget parent;
  ASSERT_TRUE(page.Create(&parent, 1));
  link->camera().ClearLog();
  QWidget* master = studio::FindWidget(page.window(), QStringLiteral("Master Gain Level"));
  ASSERT_NE(master, nullptr);
  EXPECT_EQ(master->toolTip().toStdString(), "Select Master Gain Level value, -132 ... 429");
  auto* modes = qobject_cast<QComboBox*>(
      studio::FindWidget(page.window(), QStringLiteral("White Balance")));
  ASSERT_NE(modes, nullptr);
  EXPECT_EQ(modes->count(), static_cast<int>(model::FindSetting("WB")->list.size()));

  // The operator's change goes to the camera; a refresh shows and sends nothing.
  EXPECT_EQ(studio::SetText(page.window(), QStringLiteral("Master Gain Level"), QStringLiteral("150")),
            std::nullopt);
  page.Refresh(control::Change::WhiteBalanceChanged, 2, QString());
  EXPECT_EQ(modes->currentIndex(), 2);
  EXPECT_EQ(Commands(), (Lines{"GA=150"}));
  page.DestroyWindow();
}

}  // namespace
}  // namespace vexq4::testing
