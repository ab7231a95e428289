// A model connected to a simulated camera on COM port 1, in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "vexq4/model/VexCamInterface.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::testing {

// Keeps the message lines, which the file operations must not produce
// except through the write-all.
class LineModel : public CVexCamInterface {
 public:
  std::vector<std::string> lines;
  void CommandMessage(std::string line) override { lines.push_back(std::move(line)); }
};

// The simulated device's Drain() returns at once, where tcdrain waits until
// the bytes have left the port: a shading frame (1546 bytes, about 1.6 s at
// 9600 baud) is then acknowledged after the library stopped waiting. This
// clock adds the frame's time on the line to the library's long pauses, as
// the drain of a real port would; with a draining device it changes nothing
// the tests look at.
class DrainingClock final : public platform::Clock {
 public:
  explicit DrainingClock(sim::VirtualClock& clock) : clock_(clock) {}
  std::uint32_t TickCount() override { return clock_.TickCount(); }
  void Sleep(std::uint32_t ms) override {
    clock_.Sleep(ms);
    if (ms >= 1000) clock_.Advance(kFrameOnLineMs);
  }

 private:
  static constexpr std::uint32_t kFrameOnLineMs = 1546 * 10 * 1000 / 9600 + 1;
  sim::VirtualClock& clock_;
};

struct OnlineModel {
  explicit OnlineModel(sim::Config config = {}) : link(std::move(config), 1), drain(link.clock()) {
    platform::SetClock(&drain);
    EXPECT_EQ(model.SetComPort(1), 0);
    EXPECT_EQ(model.isOnline, 1);
    model.lines.clear();
    link.camera().ClearLog();
  }
  sim::SimCamera& camera() { return link.camera(); }
  // The lines the camera received, as text.
  std::vector<std::string> Received() {
    std::vector<std::string> out;
    for (const auto& line : link.camera().log()) {
      out.push_back(line.text);
    }
    return out;
  }

  ~OnlineModel() {
    model.CloseConnection();
    platform::SetClock(&link.clock());
  }

  sim::VirtualLink link;  // declared first: outlives the model's connection
  DrainingClock drain;
  LineModel model;
};

}  // namespace vexq4::testing
