// The control's window side: the strip, the frames and their profile, the
// placeholder drawn without a strip, the message hook, the label.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>

#include "control_fixture.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/main_strip.h"
#include "vexq4/control/module.h"
#include "vexq4/control/tool_windows.h"

namespace ctl = vexq4::control;
using vexq4::testing::ControlTest;

namespace {

bool Shown(CXVexCamCtrl& c, int i) { return c.FrameWindow(i) && c.FrameWindow(i)->isVisible(); }

const char* const kSections[] = {"Shutter", "Gain", "Communication", "About"};

}  // namespace

TEST_F(ControlTest, FreshProfileStartsWithEveryWindowHidden) {
  auto& c = MakeControl();
  c.show();
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(Shown(c, i)) << i;
    EXPECT_EQ(c.ToolWindowVisible(i), 0);
    EXPECT_FALSE(c.MainStrip()->ButtonPressed(i));
    EXPECT_EQ(c.Page(i).savedTopLeft(), QPoint(100, 100));
    EXPECT_EQ(c.Page(i).section().toStdString(), kSections[i]);
    EXPECT_TRUE(c.Page(i).initialised());
  }
  EXPECT_EQ(c.Frame(0).caption().toStdString(), "Shutter and Sync Signals");
  EXPECT_EQ(c.Frame(1).caption().toStdString(), "Gain and Setup Levels");
  EXPECT_EQ(c.FrameWindow(2)->windowTitle().toStdString(), "Communication");
  EXPECT_FALSE(c.Frame(3).alwaysOnTop());
  EXPECT_TRUE(c.FrameWindow(3)->windowFlags() & Qt::Tool);
  EXPECT_EQ(c.FrameWindow(3)->parentWidget(), nullptr);  // top-level, no owner
}

TEST_F(ControlTest, VisibilityPropertyShowsPressesAndRemembers) {
  auto& c = MakeControl();
  c.show();
  c.SetShowGainWnd(-1);
  EXPECT_TRUE(Shown(c, 1));
  EXPECT_TRUE(c.MainStrip()->ButtonPressed(1));
  EXPECT_EQ(c.GetShowGainWnd(), -1);
  EXPECT_EQ(Profile("Gain", "Is Visible"), "1");
  EXPECT_TRUE(c.Page(1).visibleField());
  c.SetShowGainWnd(0);
  EXPECT_FALSE(Shown(c, 1));
  EXPECT_EQ(Profile("Gain", "Is Visible"), "0");
}

TEST_F(ControlTest, VisibilitySetBeforeTheWindowExistsWaitsForIt) {
  auto& c = MakeControl();
  c.SetShowCommunicationWnd(1);
  EXPECT_FALSE(Shown(c, 2));
  EXPECT_EQ(Profile("Communication", "Is Visible"), "1");
  c.show();
  EXPECT_TRUE(Shown(c, 2));
  EXPECT_TRUE(c.MainStrip()->ButtonPressed(2));
}

TEST_F(ControlTest, SavedVisibilityComesBackWithTheNextControl) {
  SetProfile("About", "Is Visible", "1");
  SetProfile("Shutter", "Is Visible", "yes");  // not a number: reads as 0
  auto& c = MakeControl();
  EXPECT_EQ(c.GetShowAboutWnd(), 1);
  EXPECT_EQ(c.GetShowShutterWnd(), 0);
  EXPECT_FALSE(Shown(c, 3));  // not before the control's window exists
  c.show();
  EXPECT_TRUE(Shown(c, 3));
}

TEST_F(ControlTest, ToolbarButtonsToggleTheirWindows) {
  auto& c = MakeControl();
  c.show();
  QAction* shutter = c.MainStrip()->button(0);
  shutter->trigger();
  EXPECT_TRUE(Shown(c, 0));
  EXPECT_TRUE(shutter->isChecked());
  EXPECT_EQ(Profile("Shutter", "Is Visible"), "1");
  shutter->trigger();
  EXPECT_FALSE(Shown(c, 0));
  EXPECT_FALSE(shutter->isChecked());
  EXPECT_EQ(Profile("Shutter", "Is Visible"), "0");
  c.AboutBox();
  c.AboutBox();  // already shown: stays shown, written again
  EXPECT_TRUE(Shown(c, 3));
  EXPECT_EQ(Profile("About", "Is Visible"), "1");
}

TEST_F(ControlTest, CloseAndEscapeHideThroughThePage) {
  auto& c = MakeControl();
  c.show();
  c.SetShowGainWnd(1);
  c.SetShowAboutWnd(1);
  c.FrameWindow(1)->close();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(c.FrameWindow(3), &escape);
  EXPECT_FALSE(Shown(c, 1));
  EXPECT_FALSE(Shown(c, 3));
  EXPECT_EQ(c.GetShowGainWnd(), 0);
  EXPECT_FALSE(c.MainStrip()->ButtonPressed(3));
  EXPECT_EQ(Profile("Gain", "Is Visible"), "0");
  EXPECT_EQ(Profile("About", "Is Visible"), "0");
  ASSERT_NE(c.FrameWindow(1), nullptr);  // hidden, never destroyed
}

TEST_F(ControlTest, SavedPositionsBeyondTheScreenAreNotUsed) {
  ui.screen = QSize(1920, 1080);
  SetProfile("Shutter", "TopLeftX", "1916");
  SetProfile("Gain", "TopLeftX", "1915");
  SetProfile("Gain", "TopLeftY", "1076");
  SetProfile("About", "TopLeftX", "-40");  // off the left edge
  SetProfile("Communication", "TopLeftX", "0");
  SetProfile("Communication", "TopLeftY", "-1");
  auto& c = MakeControl();
  EXPECT_EQ(c.Page(0).savedTopLeft(), QPoint(100, 100));
  EXPECT_EQ(c.Page(1).savedTopLeft(), QPoint(1915, 100));
  EXPECT_EQ(c.Page(2).savedTopLeft(), QPoint(0, 100));
  EXPECT_EQ(c.Page(3).savedTopLeft(), QPoint(100, 100));
  // The frame appears where its page was left.
  EXPECT_EQ(c.FrameWindow(1)->pos(), QPoint(1915, 100));
}

TEST_F(ControlTest, MovesAreSavedOnlyOnceInitialised) {
  auto& c = MakeControl();
  c.show();
  c.SetShowShutterWnd(1);
  c.FrameWindow(0)->move(321, 123);
  Settle();
  EXPECT_EQ(Profile("Shutter", "TopLeftX"), "321");
  EXPECT_EQ(Profile("Shutter", "TopLeftY"), "123");
  // A page whose window is gone is no longer initialised: nothing written.
  c.Page(2).DestroyWindow();
  c.Page(2).SavePosition(5, 6);
  EXPECT_EQ(Profile("Communication", "TopLeftX"), "<missing>");
}

TEST_F(ControlTest, RebuildKeepsSynchronizationAndHidesEverything) {
  auto& c = MakeOnlineControl();
  c.show();
  c.SetShowGainWnd(1);
  c.SetShowShutterWnd(1);
  ASSERT_EQ(c.WriteAllToCamera(), 0);
  ASSERT_EQ(c.GetIsSynchronized(), 1);
  QWidget* before = c.FrameWindow(1);
  sink.Clear();
  EXPECT_EQ(c.SetWindowPosTopBottom(1), 0);
  Settle();
  EXPECT_EQ(c.GetIsSynchronized(), 1);  // remembered across the closed connection
  // The re-created Communication window connects again on the stored port.
  EXPECT_EQ(c.IsOnline(), 1);
  EXPECT_EQ(sink.events.back(), "SynchronizedStatusChanged");
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(Shown(c, i));
    EXPECT_EQ(Profile(kSections[i], "Is Visible"), "0");
    EXPECT_TRUE(c.Frame(i).alwaysOnTop());
    EXPECT_TRUE(c.FrameWindow(i)->windowFlags() & Qt::WindowStaysOnTopHint);
  }
  EXPECT_NE(c.FrameWindow(1), before);
  c.SetShowGainWnd(1);
  EXPECT_TRUE(Shown(c, 1));
}

TEST_F(ControlTest, EachControlKeepsItsOwnMessageHook) {
  auto first = std::make_unique<CXVexCamCtrl>();
  auto second = std::make_unique<CXVexCamCtrl>();
  EXPECT_FALSE(first->hasMessageHook());
  first->show();
  second->show();
  EXPECT_TRUE(first->hasMessageHook());
  EXPECT_TRUE(second->hasMessageHook());
  second.reset();
  EXPECT_TRUE(first->hasMessageHook());
  // F1 in a frame of the first control still reaches its hook (the help
  // file is looked for; nothing is found in the test tree, nothing breaks).
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(first->FrameWindow(0), &f1);
  first.reset();
  EXPECT_EQ(DllCanUnloadNow(), 0);
}

TEST_F(ControlTest, WithoutAStripThePlaceholderIsDrawn) {
  auto& c = MakeControl();
  c.resize(240, 60);
  QImage image(c.size(), QImage::Format_RGB32);
  image.fill(Qt::red);
  c.render(&image);
  ASSERT_EQ(c.MainStrip(), nullptr);
  EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));  // outside the ellipse
  EXPECT_EQ(image.pixelColor(120, 0).lightness(), 0);    // top of the ellipse
  EXPECT_EQ(image.pixelColor(0, 30).lightness(), 0);     // its left end
  int dark = 0;  // the text, centred in its box from y 10 to 50
  for (int y = 10; y < 30; ++y)
    for (int x = 20; x < 220; ++x) dark += image.pixelColor(x, y).lightness() < 128;
  EXPECT_GT(dark, 50);
}

TEST(ToolBarEx, TipsAreTheTextBeforeTheLineBreak) {
  EXPECT_EQ(CToolBarEx::TipOf(QStringLiteral("Camera Communication\nCommunication")).toStdString(),
            "Camera Communication");
  EXPECT_EQ(CToolBarEx::TipOf(QStringLiteral("Gain")).toStdString(), "Gain");
  EXPECT_EQ(
      CToolBarEx::ButtonTextOf(QStringLiteral("Shutter and Sync Signals\nShutter")).toStdString(),
      "Shutter");
}

TEST_F(ControlTest, LinkLabelOpensItsTextOnlyWhenEnabled) {
  CLabel label;
  label.setText(QStringLiteral("https://example.org/rx-q4"));
  label.Click();
  ASSERT_EQ(ui.opened.size(), 1u);
  EXPECT_EQ(ui.opened[0].toStdString(), "https://example.org/rx-q4");
  label.EnableClickOpen(false);
  label.Click();
  EXPECT_EQ(ui.opened.size(), 1u);
  // No blinking asked for: a tick changes nothing.
  label.OnBlinkTimer();
  EXPECT_EQ(label.text().toStdString(), "https://example.org/rx-q4");
  label.SetBlink(CLabel::kBlinkText);
  label.OnBlinkTimer();
  EXPECT_TRUE(label.text().isEmpty());
  label.OnBlinkTimer();
  EXPECT_EQ(label.text().toStdString(), "https://example.org/rx-q4");
  label.SetBlink(CLabel::kNoBlink);
}
