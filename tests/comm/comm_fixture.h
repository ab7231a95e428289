// A test fixture that puts the library on fake COM ports in virtual time.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "VexQ4Comm.h"
#include "fake_line.h"

namespace vexq4::test {

class CommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClock(&clock);
    platform::SetSerialOpener([this](unsigned port) {
      openedPorts.push_back(port);
      platform::OpenResult result;
      if (refuseOpen) {
        result.error = platform::OpenError::kBusy;
        return result;
      }
      auto line = std::make_shared<FakeLine>(clock);
      if (configure) configure(*line);
      lines[port] = line;
      result.device = std::make_unique<FakeDevice>(line);
      return result;
    });
  }

  void TearDown() override {
    for (int port = 0; port < 255; ++port) VexQ4ExitComm(port);
    platform::SetSerialOpener({});
    platform::SetClock(nullptr);
  }

  // Opens COM port `port` on an answering camera and forgets the probe.
  FakeLine& Open(unsigned port = 1) {
    EXPECT_EQ(VexQ4InitComm(0, port, 0), VEXQ4_OK);
    FakeLine& line = *lines.at(port);
    line.writes.clear();
    line.bytesWritten = 0;
    return line;
  }

  TestClock clock;
  std::function<void(FakeLine&)> configure;  // applied to each new line
  bool refuseOpen = false;
  std::vector<unsigned> openedPorts;
  std::map<unsigned, std::shared_ptr<FakeLine>> lines;
};

}  // namespace vexq4::test
