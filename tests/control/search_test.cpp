// AutoSearchComPort and its progress window.
#include <gtest/gtest.h>

#include <QPushButton>

#include "control_fixture.h"
#include "model_access.h"
#include "vexq4/control/progress.h"

namespace ctl = vexq4::control;
using vexq4::testing::ControlTest;

TEST(ProgressTitle, IsThePercentageOfTheRange) {
  EXPECT_EQ(CProgress::TitleFor(0, 10, 1).toStdString(), "Progress 10.0%");
  EXPECT_EQ(CProgress::TitleFor(0, 10, 10).toStdString(), "Progress100.0%");
  EXPECT_EQ(CProgress::TitleFor(1, 16, 1).toStdString(), "Progress  0.0%");
  EXPECT_EQ(CProgress::TitleFor(1, 16, 16).toStdString(), "Progress100.0%");
  EXPECT_EQ(CProgress::TitleFor(0, 10, 5).toStdString(), "Progress 50.0%");
  // A range of zero width (a search over one port) counts as complete.
  EXPECT_EQ(CProgress::TitleFor(3, 3, 3).toStdString(), "Progress100.0%");
}

TEST(ProgressWindow, StepsAndStopsAtTheUpperEnd) {
  CProgress progress;
  progress.SetRange(0, 2);
  EXPECT_EQ(progress.windowTitle().toStdString(), "Progress (64 %)");
  progress.Step();
  EXPECT_EQ(progress.windowTitle().toStdString(), "Progress 50.0%");
  progress.Step();
  progress.Step();
  EXPECT_EQ(progress.position(), 2);
  EXPECT_EQ(progress.windowTitle().toStdString(), "Progress100.0%");
}

TEST_F(ControlTest, SearchRefusesPortsOutsideOneToSixteen) {
  auto& c = MakeControl();
  for (auto [first, last] : {std::pair{5, 3}, std::pair{0, 3}, std::pair{3, 17}}) {
    sink.Clear();
    EXPECT_EQ(c.AutoSearchComPort(static_cast<short>(first), static_cast<short>(last), 0), 0);
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(sink.errors[0].helpContext(), 32786);
    EXPECT_EQ(sink.errors[0].description().toStdString(), "Only COM 1..16 is valid");
    EXPECT_EQ(sink.Count("ComPortChanged"), 0);
  }
}

TEST_F(ControlTest, SearchFindsTheCameraAndTriesEachPortOnce) {
  link.reset();  // one link at a time: each installs the seams
  link = std::make_unique<vexq4::sim::VirtualLink>(vexq4::sim::Config{}, 4);
  auto& c = MakeControl();
  EXPECT_EQ(c.AutoSearchComPort(3, 3, 0), 0);
  EXPECT_EQ(sink.Count("ComPortChanged"), 1);
  EXPECT_EQ(c.GetComPort(), 3);
  sink.Clear();
  EXPECT_EQ(c.AutoSearchComPort(1, 16, 0), 4);
  EXPECT_EQ(sink.Count("ComPortChanged"), 4);
  EXPECT_EQ(c.GetComPort(), 4);
  EXPECT_EQ(c.IsOnline(), 1);
  EXPECT_EQ(c.ProgressWindow(), nullptr);
}

TEST_F(ControlTest, SearchWithProgressShowsEachPortAndCanBeCancelled) {
  link.reset();
  link = std::make_unique<vexq4::sim::VirtualLink>(vexq4::sim::Config{}, 9);
  auto& c = MakeControl();
  std::vector<std::string> titles, texts;
  // A host's handler of ComPortChanged sees the progress window and, at
  // the third port, presses Cancel as the operator would.
  struct Presser : ctl::EventSink {
    CXVexCamCtrl* control;
    std::vector<std::string>* titles;
    std::vector<std::string>* texts;
    void OnEvent(const ctl::MemberInfo& e) override {
      if (e.name != "ComPortChanged" || !control->ProgressWindow()) return;
      CProgress* p = control->ProgressWindow();
      titles->push_back(p->windowTitle().toStdString());
      texts->push_back(p->text().toStdString());
      EXPECT_FALSE(control->window()->isEnabled());
      if (titles->size() == 3) p->findChild<QPushButton*>()->click();
    }
  } presser;
  presser.control = &c;
  presser.titles = &titles;
  presser.texts = &texts;
  c.AddEventSink(&presser);
  EXPECT_EQ(c.AutoSearchComPort(1, 11, 1), 0);
  c.RemoveEventSink(&presser);
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Progress 10.0%", "Progress 20.0%", "Progress 30.0%"}));
  EXPECT_EQ(texts,
            (std::vector<std::string>{"Check COM1 ...", "Check COM2 ...", "Check COM3 ..."}));
  EXPECT_EQ(sink.Count("ComPortChanged"), 3);  // stopped before port 4
  EXPECT_EQ(c.ProgressWindow(), nullptr);
  EXPECT_TRUE(c.window()->isEnabled());  // given back
}

TEST_F(ControlTest, SearchOnClAllSerialSucceedsAtOnce) {
  auto& c = MakeControl();
  // As after ClAllSerialSetFrameGrabberIndex.
  vexq4::model::TestAccess::PresetClAllSerialInUse(c, 1);
  EXPECT_EQ(c.AutoSearchComPort(5, 9, 0), 5);
  EXPECT_EQ(sink.Count("ComPortChanged"), 1);
}
