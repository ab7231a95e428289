// Lines on serial device servers against a fake server in this process:
// naming, connecting, the RFC 2217 opening and its refusals, the purge,
// and a connection lost in the middle of an exchange, from the device up
// through the library and the camera model.
#include "network_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>

#include "VexQ4Comm.h"
#include "fake_server.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/network_device.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::test {
namespace {

using platform::OpenError;
using platform::OpenSerialDevice;
using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A short connect time-out for the cases that wait it out.
class ShortTimeout {
 public:
  explicit ShortTimeout(const char* ms = "600") { ::setenv("VEXQ4_CONNECT_TIMEOUT_MS", ms, 1); }
  ~ShortTimeout() { ::unsetenv("VEXQ4_CONNECT_TIMEOUT_MS"); }
};

std::string ReadAll(platform::SerialDevice& device, std::uint32_t quietMs = 200) {
  std::string out;
  std::uint8_t byte = 0;
  while (device.ReadByteWithin(byte, quietMs)) out.push_back(static_cast<char>(byte));
  return out;
}

TEST(NetworkName, FormsOfHostAndPort) {
  using platform::ParseNetworkDeviceName;
  const auto v4 = ParseNetworkDeviceName("rfc2217://10.0.0.7:4001");
  ASSERT_TRUE(v4);
  EXPECT_EQ(v4->host, "10.0.0.7");
  EXPECT_EQ(v4->port, 4001);
  EXPECT_EQ(v4->scheme, platform::NetworkScheme::kRfc2217);
  const auto v6 = ParseNetworkDeviceName("socket://[fe80::1%eth0]:65535");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host, "fe80::1%eth0");
  EXPECT_EQ(v6->scheme, platform::NetworkScheme::kSocket);
  EXPECT_TRUE(ParseNetworkDeviceName("rfc2217://line-3.plant.example:23"));

  for (const char* bad :
       {"rfc2217://host", "rfc2217://host:", "rfc2217://:4001", "rfc2217://host:0",
        "rfc2217://host:65536", "rfc2217://host:40x1", "rfc2217://::1:4001", "rfc2217://[::1]4001",
        "rfc2217://[::1", "socket://ho st:4001", "rfc2217://host:4001/path", "telnet://host:23"}) {
    std::string why;
    EXPECT_FALSE(ParseNetworkDeviceName(bad, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
  // A malformed name fails like a missing device, and says why.
  const platform::OpenResult opened = OpenSerialDevice("rfc2217://host");
  EXPECT_EQ(opened.error, OpenError::kNoDevice);
  EXPECT_TRUE(Has(opened.detail, ":PORT")) << opened.detail;
  EXPECT_FALSE(platform::IsNetworkDeviceName("/dev/ttyUSB0"));
}

// Nothing listening, and a server that never answers: the "port not
// openable" kind of failure, naming the host, the port and the cause,
// within the time-out.
TEST(NetworkLine, ServersThatCannotBeReached) {
  int freePort = 0;
  {
    FakeServer server;  // a port that was free a moment ago
    freePort = server.port();
  }
  const std::string name = "rfc2217://127.0.0.1:" + std::to_string(freePort);
  platform::OpenResult refused = OpenSerialDevice(name);
  EXPECT_FALSE(refused.device);
  EXPECT_EQ(refused.error, OpenError::kNetwork);
  EXPECT_TRUE(Has(refused.detail, "127.0.0.1:" + std::to_string(freePort))) << refused.detail;
  EXPECT_TRUE(Has(refused.detail, "refused")) << refused.detail;
  EXPECT_EQ(platform::LastLineProblem(name).detail, refused.detail);

  ShortTimeout timeout("300");
  for (const char* unreachable :
       {"socket://192.0.2.1:4001", "socket://no-such-host.invalid:4001"}) {
    const auto start = Clock::now();
    const platform::OpenResult r = OpenSerialDevice(unreachable);
    EXPECT_LT(MsSince(start), 2000) << unreachable;
    EXPECT_EQ(r.error, OpenError::kNetwork) << unreachable << ": " << r.detail;
    EXPECT_TRUE(Has(r.detail, ":4001: ")) << r.detail;
  }
}

TEST(NetworkLine, OpensAtTheCamerasSettingsWithoutTouchingTheModemLines) {
  FakeServer server;
  platform::OpenResult opened = OpenSerialDevice(server.Name());
  ASSERT_TRUE(opened.device) << opened.detail;
  auto& line = static_cast<platform::detail::NetworkLine&>(*opened.device);
  EXPECT_TRUE(line.purges());
  const auto requests = server.requests();
  const std::vector<std::pair<int, int>> expected{{1, 0}, {2, 8}, {3, 1}, {4, 1}, {5, 1}, {12, 1}};
  EXPECT_EQ(requests, expected);  // baud 9600 is 0 0 0x25 0x80: its first byte is 0
  EXPECT_EQ(platform::LastLineProblem(server.Name()).error, OpenError::kNone);
}

// The shading frame is binary: 0xFF, CR NUL, CR and LF pass unchanged both
// ways, also with option negotiation in the middle of the answers.
TEST(NetworkLine, BinaryBytesCrossUnchangedBothWays) {
  ServerBehaviour behaviour;
  behaviour.optionsMidStream = true;
  FakeServer server(behaviour);
  platform::OpenResult opened = OpenSerialDevice(server.Name());
  ASSERT_TRUE(opened.device) << opened.detail;
  const std::string binary("\xff\x0d\x00\x0d\xff\xff\x13\x11\r\n", 10);
  ASSERT_TRUE(opened.device->Write(
      std::span(reinterpret_cast<const std::uint8_t*>(binary.data()), binary.size())));
  const std::string query = "GA?\r\n";
  ASSERT_TRUE(opened.device->Write(
      std::span(reinterpret_cast<const std::uint8_t*>(query.data()), query.size())));
  EXPECT_EQ(ReadAll(*opened.device), "COMPLETE\r\nGA=5\r\n");
  EXPECT_EQ(server.data(), binary + query);

  // socket:// sends the bytes as they are: 0xFF is not doubled.
  ServerBehaviour raw;
  raw.telnet = false;
  server.Set(raw);
  opened.device.reset();
  platform::OpenResult plain = OpenSerialDevice(server.Name("socket"));
  ASSERT_TRUE(plain.device) << plain.detail;
  const std::string before = server.data();
  ASSERT_TRUE(plain.device->Write(
      std::span(reinterpret_cast<const std::uint8_t*>(binary.data()), binary.size())));
  EXPECT_EQ(ReadAll(*plain.device), "COMPLETE\r\n");
  EXPECT_EQ(server.data().substr(before.size()), binary);
}

// A server that refuses RFC 2217, does not speak it at all (a raw TCP
// port), or keeps other settings, is reported and not used.
TEST(NetworkLine, RefusingServersAreReportedNotUsed) {
  struct Case {
    ServerBehaviour behaviour;
    const char* says;
  };
  ServerBehaviour refuse, raw, fast, flow;
  refuse.refuseComPort = true;
  raw.telnet = false;
  fast.baudAnswer = 19200;
  flow.controlAnswer = 3;
  ShortTimeout timeout;
  for (const Case& c : {Case{refuse, "refused RFC 2217"}, Case{raw, "no RFC 2217 answer"},
                        Case{fast, "19200 baud"}, Case{flow, "flow control"}}) {
    FakeServer server(c.behaviour);
    const auto start = Clock::now();
    const platform::OpenResult r = OpenSerialDevice(server.Name());
    EXPECT_LT(MsSince(start), 1500) << c.says;
    EXPECT_FALSE(r.device) << c.says;
    EXPECT_EQ(r.error, OpenError::kSettings) << c.says;
    EXPECT_TRUE(Has(r.detail, c.says)) << r.detail;
    EXPECT_TRUE(Has(r.detail, "127.0.0.1:" + std::to_string(server.port()))) << r.detail;
  }
}

// A server that keeps sending, Telnet option offers without end or a flood
// of data, is left at the connect time-out, and the message says it was a
// time-out and what the server sent; the same holds for the purge's grace
// in the opening and for every read once the line is open.
TEST(NetworkLine, ServersThatKeepSendingAreLeftAtTheDeadline) {
  using Flood = ServerBehaviour::Flood;
  ShortTimeout timeout("300");
  const std::string timedOut = "no RFC 2217 answer within the connect time-out (300 ms); ";
  struct Case {
    Flood flood;
    std::string says;
  };
  for (const Case& c : {Case{Flood::kOptions,
                             " Telnet option negotiations but did not take COM "
                             "port control"},
                        Case{Flood::kData, " bytes of data (a raw TCP port? use socket://"}}) {
    ServerBehaviour behaviour;
    behaviour.flood = c.flood;
    FakeServer server(behaviour);
    const auto start = Clock::now();
    const platform::OpenResult r = OpenSerialDevice(server.Name());
    EXPECT_LT(MsSince(start), 1500) << r.detail;  // the server floods for 4 s
    EXPECT_FALSE(r.device);
    EXPECT_EQ(r.error, OpenError::kSettings) << r.detail;
    EXPECT_TRUE(Has(r.detail, timedOut + "the server sent ")) << r.detail;
    EXPECT_TRUE(Has(r.detail, c.says)) << r.detail;
    EXPECT_FALSE(Has(r.detail, "closed")) << r.detail;
  }

  for (const bool purges : {true, false}) {
    ServerBehaviour behaviour;
    behaviour.flood = Flood::kOptions;
    behaviour.floodAfterOpening = true;
    behaviour.answerPurge = purges;
    FakeServer server(behaviour);
    auto start = Clock::now();
    platform::OpenResult opened = OpenSerialDevice(server.Name());
    EXPECT_LT(MsSince(start), 1500) << purges;
    ASSERT_TRUE(opened.device) << opened.detail;
    start = Clock::now();
    std::uint8_t byte = 0;
    EXPECT_FALSE(opened.device->ReadByteWithin(byte, 200));
    EXPECT_LT(MsSince(start), 1500) << purges;
    EXPECT_FALSE(opened.device->Lost());
  }
}

// A server that turns the client away in its own words ("Port already in
// use") and hangs up: the words are kept, over RFC 2217 (where answering
// its negotiation fails on the closed connection) and on a raw port
// (where the connection's first drain reads them).
TEST(NetworkLine, ServersOwnWordsAreKept) {
  const std::string words = "(it said \"Port already in use\")";
  ServerBehaviour behaviour;
  behaviour.hangUp = true;
  // What a busy ser2net sends: its Telnet offers, its own COM-PORT-OPTION
  // taken, then the reason.
  static constexpr char kOffers[] =
      "\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c";
  behaviour.greeting = std::string(kOffers, sizeof kOffers - 1) + "Port already in use\r\n";
  FakeServer server(behaviour);
  const platform::OpenResult r = OpenSerialDevice(server.Name());
  EXPECT_FALSE(r.device);
  EXPECT_EQ(r.error, OpenError::kNetwork);
  EXPECT_TRUE(Has(r.detail, "by the server while opening " + words)) << r.detail;

  behaviour.greeting = "\r\nPort already in use\r\n";
  server.Set(behaviour);
  ::setenv("VEXQ4_COM7", server.Name("socket").c_str(), 1);
  EXPECT_NE(VexQ4InitComm(0, 7, 0), VEXQ4_OK);
  const platform::LineProblem lost = platform::LastLineProblem(server.Name("socket"));
  EXPECT_EQ(lost.error, OpenError::kNetwork);
  EXPECT_TRUE(Has(lost.detail, "lost: closed by the server " + words)) << lost.detail;
  ::unsetenv("VEXQ4_COM7");

  // Words that come after the first line are the camera's, not the server's.
  behaviour = {};
  behaviour.closeAfterLines = 1;
  server.Set(behaviour);
  platform::OpenResult opened = OpenSerialDevice(server.Name());
  ASSERT_TRUE(opened.device) << opened.detail;
  const std::string query = "GA?\r\n";
  ASSERT_TRUE(opened.device->Write(
      std::span(reinterpret_cast<const std::uint8_t*>(query.data()), query.size())));
  EXPECT_EQ(ReadAll(*opened.device), "GA=5\r\n");
  const std::string again = "GA?\r\n";
  opened.device->Write(std::span(reinterpret_cast<const std::uint8_t*>(again.data()), 5));
  ReadAll(*opened.device);
  EXPECT_TRUE(opened.device->Lost());
  const std::string detail = platform::LastLineProblem(server.Name()).detail;
  EXPECT_TRUE(Has(detail, "closed by the server")) << detail;
  EXPECT_FALSE(Has(detail, "it said")) << detail;
}

// VEXQ4_CONNECT_TIMEOUT_MS is taken from 100 to 60000; anything else is
// said to be not taken, and the standard time-out serves.
TEST(NetworkLine, ConnectTimeoutVariable) {
  for (const char* taken : {"100", "2500", "60000"}) {
    ShortTimeout set(taken);
    EXPECT_EQ(platform::NetworkConnectTimeout().count(), std::stol(taken));
    EXPECT_EQ(platform::ConnectTimeoutVariableProblem(), "");
  }
  for (const char* refused : {"99", "60001", "0", "1s", " 500", "-100"}) {
    ShortTimeout set(refused);
    EXPECT_EQ(platform::NetworkConnectTimeout(), platform::kDefaultConnectTimeout);
    EXPECT_EQ(platform::ConnectTimeoutVariableProblem(),
              std::string("VEXQ4_CONNECT_TIMEOUT_MS=") + refused +
                  " is not 100 to 60000 milliseconds; connecting gives up after the standard "
                  "3000 ms");
  }
  ShortTimeout empty("");
  EXPECT_EQ(platform::ConnectTimeoutVariableProblem(), "");
}

// Before a transaction the server purges what it holds; what arrived
// before its answer is stale too. A server without purge is drained by
// quiet time alone.
TEST(NetworkLine, DrainPurgesTheServersBuffer) {
  ServerBehaviour behaviour;
  behaviour.staleOnPurge = "GA=77\r\n";
  FakeServer server(behaviour);
  platform::OpenResult opened = OpenSerialDevice(server.Name());
  ASSERT_TRUE(opened.device) << opened.detail;
  opened.device->DiscardInput();
  std::uint8_t byte = 0;
  EXPECT_FALSE(opened.device->ReadByteWithin(byte, 100));

  behaviour.answerPurge = false;
  server.Set(behaviour);
  opened.device.reset();
  opened = OpenSerialDevice(server.Name());
  ASSERT_TRUE(opened.device) << opened.detail;
  EXPECT_FALSE(static_cast<platform::detail::NetworkLine&>(*opened.device).purges());
}

// A connection that drops in the middle of an exchange is a line failure
// at once: the reply's wait ends (-6) without its time-out, the next line
// is not written (-3), the model goes off-line by its probe and says so,
// and the next connection opens the line again.
TEST(NetworkLine, LostConnectionFailsAtOnceAndReopens) {
  ServerBehaviour behaviour;
  behaviour.closeAfterLines = 2;  // the opening's probe and one query
  FakeServer server(behaviour);
  ::setenv("VEXQ4_COM7", server.Name().c_str(), 1);
  ASSERT_EQ(VexQ4InitComm(0, 7, 0), VEXQ4_OK);
  int value = 0;
  ASSERT_EQ(VexQ4GetCameraData(7, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 5);
  auto start = Clock::now();
  EXPECT_EQ(VexQ4GetCameraData(7, GA, &value), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(VexQ4SendCameraData(7, GA, 1), VEXQ4_E_NOT_ACKNOWLEDGED);
  EXPECT_LT(MsSince(start), 300);
  const platform::LineProblem lost = platform::LastLineProblem(server.Name());
  EXPECT_EQ(lost.error, OpenError::kNetwork);
  EXPECT_TRUE(Has(lost.detail, "lost")) << lost.detail;
  VexQ4ExitComm(7);

  behaviour.closeAfterLines = 2;  // the library's probe and the model's
  server.Set(behaviour);
  CVexCamInterface model;
  ASSERT_EQ(model.SetComPort(7), 0);
  EXPECT_EQ(model.IsOnline(), 1);
  start = Clock::now();
  EXPECT_NE(model.GetMasterGainLevel(), 0);
  EXPECT_EQ(model.IsOnline(), 0);
  EXPECT_LT(MsSince(start), 300);
  behaviour.closeAfterLines = -1;
  server.Set(behaviour);
  EXPECT_EQ(model.SetComPort(7), 0);
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(platform::LastLineProblem(server.Name()).error, OpenError::kNone);
  EXPECT_EQ(server.connections(), 3);
  model.CloseConnection();
  ::unsetenv("VEXQ4_COM7");
}

}  // namespace
}  // namespace vexq4::test
