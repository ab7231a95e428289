// Two threads running transactions on one port: the port's lock keeps
// their lines apart; two ports on two threads work side by side. Real time
// on a pseudo-terminal, the simulated camera answering at once (no
// 9600-baud pacing). Also run under ThreadSanitizer (label tsan).
#include <gtest/gtest.h>

#include <future>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "VexQ4Comm.h"
#include "vexq4/platform/serial_device.h"
#include "vexq4/sim/pty_server.h"

namespace vexq4::reliability {
namespace {

constexpr unsigned kPort = 7;

struct Worker {
  unsigned code;
  const char* mnemonic;
  int firstValue;
  std::vector<std::string> errors;
};

// Sets the worker's own parameter, then reads it back several times: a
// reply that belonged to the other thread's line would show as a wrong
// value or a failed transaction.
void RunTransactions(Worker& w) {
  for (int round = 0; round < 2; ++round) {
    const int value = w.firstValue + round;
    if (const int rc = VexQ4SendCameraData(kPort, w.code, value); rc != VEXQ4_OK)
      w.errors.push_back(std::string(w.mnemonic) + " set: code " + std::to_string(rc));
    for (int read = 0; read < 3; ++read) {
      int got = -1;
      const int rc = VexQ4GetCameraData(kPort, w.code, &got);
      if (rc != VEXQ4_OK || got != value)
        w.errors.push_back(std::string(w.mnemonic) + " read: code " + std::to_string(rc) +
                           " value " + std::to_string(got) + ", expected " + std::to_string(value));
    }
  }
}

TEST(ThreadSafety, TwoThreadsOnOnePortNeverInterleaveTheirLines) {
  sim::Config config;
  config.paceAt9600 = false;
  sim::PtyServer server(config);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  const std::string path = server.slavePath();
  platform::SetSerialOpener([path](unsigned) { return platform::OpenSerialDevice(path); });
  ASSERT_EQ(VexQ4InitComm(0, kPort, 0), VEXQ4_OK);
  server.camera()->ClearLog();

  Worker gain{GA, "GA", 100, {}};
  Worker black{BLR, "BLR", 300, {}};
  std::thread a(RunTransactions, std::ref(gain));
  std::thread b(RunTransactions, std::ref(black));
  a.join();
  b.join();
  VexQ4ExitComm(kPort);
  platform::SetSerialOpener({});

  for (const auto& e : gain.errors) ADD_FAILURE() << e;
  for (const auto& e : black.errors) ADD_FAILURE() << e;
  // Every line the camera received is one whole query or command of ours.
  const std::regex whole("(GA|BLR)(\\?|=[0-9]+)");
  auto camera = server.camera();
  ASSERT_EQ(camera->log().size(), 2u * (2 + 6));
  for (const auto& line : camera->log())
    EXPECT_TRUE(std::regex_match(line.text, whole)) << "interleaved or broken line: " << line.text;
  EXPECT_EQ(camera->Value("GA"), 101);
  EXPECT_EQ(camera->Value("BLR"), 301);
}

// Two cameras on two ports, each on a thread of its own, as vexq4 runs
// several cameras: both open at once, and the first one closing leaves the
// other's transport in place (the selection is library-wide).
TEST(ThreadSafety, TwoPortsOnTwoThreadsAndOneClosingLeavesTheOtherWorking) {
  sim::Config config;
  config.paceAt9600 = false;
  sim::PtyServer first(config), second(config);
  std::string error;
  ASSERT_TRUE(first.Start(&error)) << error;
  ASSERT_TRUE(second.Start(&error)) << error;
  constexpr unsigned kFirst = 3, kSecond = 4;
  const std::string firstPath = first.slavePath(), secondPath = second.slavePath();
  platform::SetSerialOpener([&](unsigned port) {
    return platform::OpenSerialDevice(port == kFirst ? firstPath : secondPath);
  });

  std::promise<void> firstClosed;
  std::vector<std::string> errors[2];
  std::thread a([&] {
    if (const int rc = VexQ4InitComm(0, kFirst, 0); rc != VEXQ4_OK)
      errors[0].push_back("open: code " + std::to_string(rc));
    if (const int rc = VexQ4SendCameraData(kFirst, GA, 11); rc != VEXQ4_OK)
      errors[0].push_back("GA set: code " + std::to_string(rc));
    VexQ4ExitComm(kFirst);
    firstClosed.set_value();
  });
  std::thread b([&] {
    if (const int rc = VexQ4InitComm(0, kSecond, 0); rc != VEXQ4_OK)
      errors[1].push_back("open: code " + std::to_string(rc));
    if (const int rc = VexQ4SendCameraData(kSecond, GA, 22); rc != VEXQ4_OK)
      errors[1].push_back("GA set: code " + std::to_string(rc));
    firstClosed.get_future().wait();
    int got = -1;
    if (const int rc = VexQ4GetCameraData(kSecond, GA, &got); rc != VEXQ4_OK || got != 22)
      errors[1].push_back("GA read after the other port closed: code " + std::to_string(rc) +
                          " value " + std::to_string(got));
    VexQ4ExitComm(kSecond);
  });
  a.join();
  b.join();
  platform::SetSerialOpener({});
  for (const auto& list : errors)
    for (const auto& e : list) ADD_FAILURE() << e;
  EXPECT_EQ(first.camera()->Value("GA"), 11);
  EXPECT_EQ(second.camera()->Value("GA"), 22);
}

}  // namespace
}  // namespace vexq4::reliability
