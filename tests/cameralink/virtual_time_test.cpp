// The Camera Link path through linkport in virtual time: the camera model
// against the simulated camera behind a grabber whose vendor library is
// Camera Link 2.0 (it flushes and counts its input) or 1.0 (it does not),
// side by side with the same camera on a COM port.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "VexQ4Comm.h"
#include "test_dir.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/clock.h"
#include "vexq4/sim/virtual_link.h"
#include "virtual_grabber.h"

namespace {

using vexq4::sim::VirtualLink;
using vexq4::testing::VirtualGrabber;

enum class Line { kCom, kGrabber, kGrabber10 };

const char* Name(Line line) {
  return line == Line::kCom ? "COM" : line == Line::kGrabber ? "grabber" : "grabber 1.0";
}

class CameraLinkInVirtualTime : public ::testing::Test {
 protected:
  void TearDown() override { CVexCamInterface::SetQueryDrainTime(-1); }

  // Virtual milliseconds `operation` takes on a fresh camera and
  // connection on `line` (it must succeed), with the query drain `drainMs`.
  std::uint32_t Took(Line line, int drainMs,
                     const std::function<int(CVexCamInterface&)>& operation) {
    SCOPED_TRACE(Name(line));
    VirtualLink link{vexq4::sim::Config{}, 1};
    std::unique_ptr<VirtualGrabber> grabber;
    if (line != Line::kCom)
      grabber = std::make_unique<VirtualGrabber>(link, line == Line::kGrabber);
    CVexCamInterface::SetQueryDrainTime(drainMs);
    CVexCamInterface model;
    if (line != Line::kCom) model.SetFrameGrabberIndex(1);
    EXPECT_EQ(model.SetComPort(1), 0);
    link.clock().Advance(1000);  // past the command gap after the probe
    const std::uint32_t start = vexq4::platform::TickCount();
    EXPECT_EQ(operation(model), 0);
    const std::uint32_t took = vexq4::platform::TickCount() - start;
    model.CloseConnection();
    if (grabber) flushes_ = grabber->port().flushes();
    return took;
  }

  vexq4::testing::TestDir dir_{"vexq4-cl-virtual"};
  int flushes_ = 0;
};

// With fast reads the grabber takes exactly what the COM port takes, with
// either vendor library: the drains end on the same quiet time and a reply
// is read as it arrives.
TEST_F(CameraLinkInVirtualTime, GrabberTakesWhatTheComPortTakes) {
  const std::filesystem::path file = dir_ / "line3.cam";
  {
    VirtualLink link{vexq4::sim::Config{}, 1};
    CVexCamInterface model;
    ASSERT_EQ(model.SetComPort(1), 0);
    ASSERT_EQ(model.ReadAllFromCamera(), 0);
    ASSERT_EQ(model.WriteAllToFile(file.string()), 0);
    model.CloseConnection();
  }
  const std::array<std::pair<const char*, std::function<int(CVexCamInterface&)>>, 4> operations{{
      {"read-all", [](CVexCamInterface& m) { return m.ReadAllFromCamera(); }},
      {"identity",
       [](CVexCamInterface& m) {
         std::array<char, VEXQ4_CAMERA_ID_SIZE> id{};
         std::array<char, VEXQ4_MODEL_NAME_SIZE> model{};
         int rc = m.GetCameraID(id);
         for (int next : {m.GetModelName(model), m.GetUserID(), m.GetFirmwareVersion(),
                          m.GetEEPROMCurrentAreaNo()})
           rc = rc != 0 ? rc : next;
         return rc;
       }},
      {"write-all", [](CVexCamInterface& m) { return m.WriteAllToCamera(); }},
      {"load-settings", [&](CVexCamInterface& m) { return m.ReadAllFromFile(file.string()); }},
  }};
  for (const auto& [name, operation] : operations) {
    SCOPED_TRACE(name);
    const std::uint32_t com = Took(Line::kCom, 15, operation);
    EXPECT_EQ(Took(Line::kGrabber, 15, operation), com);
    EXPECT_GT(flushes_, 0);
    EXPECT_EQ(Took(Line::kGrabber10, 15, operation), com);
  }
}

// The standard drain stays as it was on linkport: two 600 ms reads before
// every exchange, a query and a command alike; with fast reads a query
// drains for 15 ms and a command for the COM port's 101 ms, which passes
// inside the gap after the last command.
TEST_F(CameraLinkInVirtualTime, StandardDrainIsTwoReadsOfSixHundredMilliseconds) {
  const auto query = [](CVexCamInterface& m) { return m.GetMasterGainLevel(); };
  const auto command = [](CVexCamInterface& m) { return m.SetMasterGainLevel(50); };
  const auto twoCommands = [](CVexCamInterface& m) {
    const int first = m.SetMasterGainLevel(50);
    return first != 0 ? first : m.SetMasterGainLevel(60);
  };
  for (Line line : {Line::kGrabber, Line::kGrabber10}) {
    const std::uint32_t fastQuery = Took(line, 15, query);
    EXPECT_EQ(Took(line, 0, query), fastQuery - 15 + 1200);
    EXPECT_EQ(Took(Line::kCom, 0, query), fastQuery - 15 + 101);
    const std::uint32_t fastCommand = Took(line, 15, command);
    EXPECT_EQ(fastCommand, Took(Line::kCom, 15, command));
    EXPECT_EQ(Took(line, 0, command), fastCommand - 101 + 1200);
    // The second command's drain passes inside the 600 ms gap.
    EXPECT_EQ(Took(line, 15, twoCommands), Took(Line::kCom, 15, twoCommands));
  }
}

// What arrived before a query (a late answer) is gone before the query is
// sent, flushed or read away; and the bytes a reply read takes ahead of
// its line end never reach the next exchange.
TEST_F(CameraLinkInVirtualTime, PendingBytesAreDrainedAndReadAheadDoesNotLeak) {
  for (bool cameraLink11 : {true, false}) {
    SCOPED_TRACE(cameraLink11 ? "Camera Link 2.0" : "Camera Link 1.0");
    VirtualLink link{vexq4::sim::Config{}, 1};
    VirtualGrabber grabber(link, cameraLink11);
    CVexCamInterface::SetQueryDrainTime(15);
    ASSERT_EQ(VexQ4InitComm(1, 4, 0), VEXQ4_OK);
    link.camera().SetValue("GA", 77);
    link.camera().SetValue("SH", 3);
    // A query whose answer comes 700 ms late: it gives up, and its answer
    // is there when the next query drains.
    link.camera().faults().lateReplyMs = 700;
    int value = 0;
    EXPECT_EQ(VexQ4GetCameraData(4, 12, &value), VEXQ4_E_TIMEOUT);
    link.camera().faults().lateReplyMs = 0;
    link.clock().Advance(200);
    const int flushesBefore = grabber.port().flushes();
    EXPECT_EQ(VexQ4GetCameraData(4, 3, &value), VEXQ4_OK);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(grabber.port().flushes() - flushesBefore, cameraLink11 ? 1 : 0);
    EXPECT_EQ(VexQ4GetCameraData(4, 12, &value), VEXQ4_OK);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(VexQ4ExitComm(4), VEXQ4_OK);
  }
}

// A shading frame is taken as it comes: where the library counts its
// input, the 960 bytes there after the camera's 1 s pause in a few reads
// and the rest as they arrive, not 1546 reads of one byte.
TEST_F(CameraLinkInVirtualTime, ShadingFrameIsReadInFewCalls) {
  for (bool cameraLink11 : {true, false}) {
    SCOPED_TRACE(cameraLink11 ? "Camera Link 2.0" : "Camera Link 1.0");
    VirtualLink link{vexq4::sim::Config{}, 1};
    VirtualGrabber grabber(link, cameraLink11);
    link.camera().shadingTable()[100] = 4321;
    ASSERT_EQ(VexQ4InitComm(1, 4, 0), VEXQ4_OK);
    std::array<int, VEXQ4_SHADING_READ_INTS> values{};
    const int readsBefore = grabber.port().reads();
    ASSERT_EQ(VexQ4GetShadingData(4, values.data()), VEXQ4_OK);
    EXPECT_EQ(values[2 + 100], 4321);
    const int reads = grabber.port().reads() - readsBefore;
    if (cameraLink11) {
      EXPECT_LT(reads, 1546 - 900);
    } else {
      EXPECT_GE(reads, 1546);
    }
    EXPECT_EQ(VexQ4ExitComm(4), VEXQ4_OK);
  }
}

}  // namespace
