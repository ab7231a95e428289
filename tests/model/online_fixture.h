// A model connected to the simulated camera on COM1, in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_model.h"
#include "vexq4/sim/virtual_link.h"

class OnlineModel : public ::testing::Test {
 protected:
  // The link outlives the model: the model's destructor closes the port.
  vexq4::sim::VirtualLink link{vexq4::sim::Config{}, 1};
  RecordingModel model;

  void SetUp() override {
    ASSERT_EQ(model.SetComPort(1), 0);
    ASSERT_EQ(model.IsOnline(), 1);
    model.Clear();
    link.camera().ClearLog();
  }

  // Lines the camera received since the last ClearLog, without CR LF.
  std::vector<std::string> Wire() const {
    std::vector<std::string> texts;
    for (const auto& line : const_cast<vexq4::sim::VirtualLink&>(link).camera().log())
      texts.push_back(line.text);
    return texts;
  }
};
