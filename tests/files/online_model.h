// A model connected to a simulated camera on COM port 1, in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "draining_clock.h"
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

struct OnlineModel {
  explicit OnlineModel(sim::Config config = {}) : link(std::move(config), 1), drain(link.clock()) {
    platform::SetClock(&drain);
    EXPECT_EQ(model.SetComPort(1), 0);
    EXPECT_EQ(model.IsOnline(), 1);
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
