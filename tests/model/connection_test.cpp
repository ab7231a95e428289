// Opening, replacing and closing the connection.
#include "model_access.h"
#include "online_fixture.h"

namespace {

using Events = std::vector<std::string>;

TEST(ModelConnect, NoCameraOnThePortReportsOfflineOnce) {
  vexq4::sim::VirtualLink link{vexq4::sim::Config{}, 1};
  RecordingModel model;
  EXPECT_NE(model.SetComPort(3), 0);
  EXPECT_EQ(model.ComPort(), 3);
  EXPECT_EQ(model.IsOnline(), 0);
  EXPECT_EQ(model.events, (Events{"ComPortChanged", "SendingToCamStatusChanged(1)",
                                  "SendingToCamStatusChanged(0)", "SynchronizedStatusChanged(0)",
                                  "OnlineStatusChanged(0)"}));
  EXPECT_TRUE(model.lines.empty());  // a connect is silent
  // The search can go on to the next port at once.
  model.Clear();
  EXPECT_EQ(model.SetComPort(1), 0);
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(model.events.back(), "OnlineStatusChanged(1)");
}

TEST_F(OnlineModel, ReconnectOnTheSamePortClosesFirst) {
  model.SynchronizedStatusChanged(1);
  vexq4::model::TestAccess::Preset(model, "MasterGainLevel", 42);
  model.Clear();
  EXPECT_EQ(model.SetComPort(1), 0);
  EXPECT_EQ(model.events, (Events{"ComPortChanged", "SynchronizedStatusChanged(0)",
                                  "OnlineStatusChanged(0)", "SendingToCamStatusChanged(1)",
                                  "SendingToCamStatusChanged(0)", "OnlineStatusChanged(1)"}));
  EXPECT_EQ(model.IsSynchronized(), 0);
  EXPECT_EQ(vexq4::testing::ValueOf(model, "MasterGainLevel"), 42);
  EXPECT_EQ(link.opens(), 2);
}

TEST_F(OnlineModel, ChangingThePortClosesTheOneThatWasOpen) {
  EXPECT_NE(model.SetComPort(3), 0);
  EXPECT_EQ(model.IsOnline(), 0);
  EXPECT_FALSE(link.isOpen());  // COM1 released, not left behind
  EXPECT_EQ(model.SetComPort(1), 0);
}

TEST(ModelConnect, ComPortIsOnlyRecordedWhileClAllSerialIsInUse) {
  vexq4::sim::VirtualLink link{vexq4::sim::Config{}, 1};
  RecordingModel model;
  model.ClAllSerialSetFrameGrabberIndex(0);
  EXPECT_EQ(model.ClAllSerialInUse(), 1);
  const int online = model.IsOnline();
  model.Clear();
  link.camera().ClearLog();
  const int opens = link.opens();
  EXPECT_EQ(model.SetComPort(1), 0);
  EXPECT_EQ(model.ComPort(), 1);
  EXPECT_EQ(model.events, Events{"ComPortChanged"});
  EXPECT_EQ(model.IsOnline(), online);
  EXPECT_EQ(link.opens(), opens);
  EXPECT_TRUE(link.camera().log().empty());
}

TEST_F(OnlineModel, ClSerialIndexIsUsedForThatConnectionOnly) {
  EXPECT_EQ(model.SetFrameGrabberIndex(2), 0);
  EXPECT_EQ(model.events, Events{"FrameGrabberChanged"});
  model.Clear();
  // Index 0 is the "COM-ports" entry: the COM port comPort.
  EXPECT_EQ(model.ClSerialSetFrameGrabberIndex(0), 0);
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(model.FrameGrabberIndex(), 2);
  EXPECT_EQ(model.Count("FrameGrabberChanged"), 0);
  EXPECT_EQ(model.ClAllSerialInUse(), 0);
  // SetComPort connects with the recorded index 2 (a frame grabber), so the
  // COM port is not opened again.
  const int opens = link.opens();
  EXPECT_NE(model.SetComPort(1), 0);
  EXPECT_EQ(link.opens(), opens);
  EXPECT_EQ(model.IsOnline(), 0);
}

TEST_F(OnlineModel, CheckConnectionProbesSilently) {
  EXPECT_EQ(model.CheckConnection(), 0);
  EXPECT_EQ(Wire(), Events{"SH?"});
  EXPECT_TRUE(model.lines.empty());
  EXPECT_EQ(model.events, (Events{"SendingToCamStatusChanged(1)", "SendingToCamStatusChanged(0)"}));
  EXPECT_EQ(model.CloseConnection(), 0);
  EXPECT_EQ(model.CloseConnection(), -5);
  EXPECT_EQ(model.Count("OnlineStatusChanged(0)"), 1);
}

}  // namespace
