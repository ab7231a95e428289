// The GVCP control channel in virtual time, over a device that records its
// accesses: bad datagrams, the privilege and its heartbeat, retries, the
// pending acknowledgements of slow accesses, and discovery.
#include <gtest/gtest.h>

#include "vexq4/gvcp/bootstrap.h"
#include "vexq4/gvcp/control_channel.h"

namespace vexq4::gvcp {
namespace {

using namespace std::chrono_literals;

class FakeDevice : public Device {
 public:
  bool IsImmediate(std::uint32_t address, std::uint32_t) const override {
    return address < 0x10000;
  }
  std::uint16_t Read(std::uint32_t address, std::span<std::uint8_t> out) override {
    reads.push_back(address);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i + 1);
    return address == 0x20000 ? kError : kSuccess;
  }
  std::uint16_t Write(std::uint32_t address, std::span<const std::uint8_t>) override {
    writes.push_back(address);
    return kSuccess;
  }
  std::uint16_t WriteUserName(std::string_view name) override {
    userName = std::string(name);
    return kSuccess;
  }
  std::chrono::milliseconds Duration(std::uint32_t, bool write) const override {
    return write ? 3000ms : 100ms;
  }
  DeviceInfo Info() const override { return {"VEX", "RX-Q4CL", "120", "bridge", "10042", "LINE7"}; }
  std::string XmlUrl() const override { return "Local:x.xml;100000;400"; }
  std::vector<std::uint32_t> reads, writes;
  std::string userName;
};

std::vector<std::uint8_t> U32(std::initializer_list<std::uint32_t> words) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t w : words) PutU32(out, w);
  return out;
}

struct Ack {
  std::uint16_t status = 0xFFFF, answer = 0, length = 0, id = 0;
  std::vector<std::uint8_t> payload;
};
Ack Parse(const std::vector<std::uint8_t>& d) {
  if (d.size() < kHeaderSize) return {};
  return {GetU16(d, 0), GetU16(d, 2), GetU16(d, 4), GetU16(d, 6), {d.begin() + 8, d.end()}};
}

class ChannelTest : public ::testing::Test {
 protected:
  ControlChannel::Outcome Send(const Endpoint& from, std::uint16_t command,
                               std::vector<std::uint8_t> payload, std::uint16_t id = 0) {
    return channel.Receive(from, MakeCommand(command, id ? id : ++nextId, payload), now);
  }
  Ack Reply(const Endpoint& from, std::uint16_t command, std::vector<std::uint8_t> payload) {
    return Parse(Send(from, command, std::move(payload)).reply);
  }
  // Runs a job as the device's thread would and gives its acknowledge.
  Ack Finish(ControlChannel::Outcome out) {
    EXPECT_TRUE(out.job.has_value());
    if (!out.job) return {};
    gvcp::Run(device, *out.job);
    return Parse(channel.Finished(*out.job, now));
  }
  Ack TakeControl(const Endpoint& who) { return Reply(who, kWriteRegCmd, U32({kCcpAddress, 2})); }

  FakeDevice device;
  ControlChannel channel{device, {.ip = 0x7F000105}};
  Clock::time_point now = Clock::time_point{} + 1h;
  std::uint16_t nextId = 0;
  const Endpoint a{0x7F000001, 40000}, b{0x7F000001, 40001};
};

TEST_F(ChannelTest, DatagramsThatAreNoCommandsAreDropped) {
  EXPECT_TRUE(channel.Receive(a, std::vector<std::uint8_t>{0x42, 1, 0}, now).reply.empty());
  auto wrongKey = MakeCommand(kReadRegCmd, 1, U32({0}));
  wrongKey[0] = 0x43;
  EXPECT_TRUE(channel.Receive(a, wrongKey, now).reply.empty());
  EXPECT_TRUE(channel.Receive(a, MakeAck(kSuccess, kReadRegAck, 1), now).reply.empty());
  // No acknowledge asked for: none sent.
  EXPECT_TRUE(channel.Receive(a, MakeCommand(kReadRegCmd, 2, U32({0}), 0), now).reply.empty());
}

TEST_F(ChannelTest, BadCommandsGetTheirStatus) {
  Ack ack = Reply(a, 0x0042, {});
  EXPECT_EQ(ack.status, kNotImplemented);
  EXPECT_EQ(ack.answer, 0x0043);
  EXPECT_EQ(ack.id, nextId);
  EXPECT_EQ(Reply(a, kReadRegCmd, {}).status, kInvalidParameter);
  EXPECT_EQ(Reply(a, kReadRegCmd, U32({2})).status, kBadAlignment);
  EXPECT_EQ(Reply(a, kReadRegCmd, U32({0x0B00})).status, kInvalidAddress);
  EXPECT_EQ(Reply(a, kReadMemCmd, U32({0x10000, 540})).status, kInvalidParameter);  // > 536
  EXPECT_EQ(Reply(a, kReadMemCmd, U32({0x10000, 6})).status, kBadAlignment);
  EXPECT_EQ(Reply(a, kReadMemCmd, U32({0x0A00, 8})).status, kInvalidAddress);  // past the image
  auto shortPayload = MakeCommand(kReadMemCmd, 9, U32({0x10000, 4}));
  shortPayload.resize(12);  // the header says 8 bytes follow, 4 do
  EXPECT_EQ(Parse(channel.Receive(a, shortPayload, now).reply).status, kInvalidHeader);
  EXPECT_TRUE(device.reads.empty());
}

TEST_F(ChannelTest, BootstrapNamesTheDeviceAndItsDescription) {
  Ack ack = Reply(a, kReadMemCmd, U32({kFirstUrlAddress, 32}));
  ASSERT_EQ(ack.status, kSuccess);
  EXPECT_EQ(GetU32(ack.payload, 0), kFirstUrlAddress);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ack.payload.data() + 4)),
            "Local:x.xml;100000;400");
  EXPECT_EQ(GetU32(Reply(a, kReadRegCmd, U32({kStreamChannelsAddress})).payload, 0), 0u);
  EXPECT_EQ(GetU32(Reply(a, kReadRegCmd, U32({kHeartbeatAddress})).payload, 0), 3000u);
  EXPECT_EQ(GetU32(Reply(a, kReadRegCmd, U32({kCurrentIpAddress})).payload, 0), 0x7F000105u);
  const std::uint32_t caps =
      GetU32(Reply(a, kReadRegCmd, U32({kGvcpCapabilityAddress})).payload, 0);
  EXPECT_TRUE(caps & kCapabilityPendingAck);
  EXPECT_TRUE(caps & kCapabilityWriteMem);
  // Discovery: the same bytes, and who the camera is.
  Ack found = Reply(a, kDiscoveryCmd, {});
  EXPECT_EQ(found.answer, kDiscoveryAck);
  ASSERT_EQ(found.payload.size(), kDiscoveryDataSize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&found.payload[kModelNameAddress])),
            "RX-Q4CL");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&found.payload[kSerialNumberAddress])),
            "10042");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&found.payload[kUserNameAddress])), "LINE7");
  EXPECT_EQ(GetU32(found.payload, kCurrentIpAddress), 0x7F000105u);
}

TEST_F(ChannelTest, OnlyThePrivilegeHolderWritesAndItsHeartbeatKeepsIt) {
  EXPECT_EQ(Reply(a, kWriteRegCmd, U32({0x10000, 1})).status, kAccessDenied);  // no privilege yet
  EXPECT_EQ(TakeControl(a).status, kSuccess);
  EXPECT_EQ(TakeControl(b).status, kAccessDenied);
  EXPECT_EQ(Reply(b, kWriteRegCmd, U32({0x10000, 1})).status, kAccessDenied);
  EXPECT_EQ(Reply(b, kWriteMemCmd, U32({kUserNameAddress, 0x41000000})).status, kAccessDenied);
  EXPECT_EQ(Finish(Send(b, kReadRegCmd, U32({0x10000}))).status, kSuccess);  // others read
  EXPECT_EQ(Reply(a, kWriteRegCmd, U32({kHeartbeatAddress, 400})).status, kInvalidParameter);
  EXPECT_EQ(Reply(a, kWriteRegCmd, U32({kHeartbeatAddress, 1000})).status, kSuccess);
  EXPECT_TRUE(device.writes.empty());
  // Any command from the holder is a heartbeat; silence beyond the timeout
  // gives the privilege up.
  now += 900ms;
  Reply(a, kReadRegCmd, U32({kCcpAddress}));
  now += 900ms;
  channel.Tick(now);
  EXPECT_EQ(TakeControl(b).status, kAccessDenied);
  now += 1100ms;
  channel.Tick(now);
  EXPECT_EQ(TakeControl(b).status, kSuccess);
  EXPECT_EQ(GetU32(Reply(b, kReadRegCmd, U32({kHeartbeatAddress})).payload, 0), 3000u);
  EXPECT_EQ(Reply(a, kWriteRegCmd, U32({0x10000, 1})).status, kAccessDenied);
  // Giving it up.
  EXPECT_EQ(Reply(b, kWriteRegCmd, U32({kCcpAddress, 0})).status, kSuccess);
  EXPECT_EQ(TakeControl(a).status, kSuccess);
}

TEST_F(ChannelTest, ExclusiveAccessKeepsOthersFromReading) {
  EXPECT_EQ(Reply(a, kWriteRegCmd, U32({kCcpAddress, 1})).status, kSuccess);
  EXPECT_EQ(Reply(b, kReadRegCmd, U32({kVersionAddress})).status, kAccessDenied);
  EXPECT_EQ(Reply(b, kDiscoveryCmd, {}).status, kSuccess);
}

TEST_F(ChannelTest, ARetryIsAnsweredAgainNotRunAgain) {
  TakeControl(a);
  auto first = Send(a, kWriteRegCmd, U32({0x10000, 7}), 500);
  ASSERT_TRUE(first.job);
  // Retried while the device works on it: a pending acknowledge, no job.
  auto retry = Send(a, kWriteRegCmd, U32({0x10000, 7}), 500);
  EXPECT_FALSE(retry.job);
  EXPECT_EQ(Parse(retry.reply).answer, kPendingAck);
  const Ack done = Finish(std::move(first));
  EXPECT_EQ(done.status, kSuccess);
  EXPECT_EQ(GetU16(done.payload, 2), 1u);  // one register written
  // Retried after the answer was lost: the same answer.
  auto again = Send(a, kWriteRegCmd, U32({0x10000, 7}), 500);
  EXPECT_FALSE(again.job);
  EXPECT_EQ(Parse(again.reply).id, 500);
  EXPECT_EQ(Parse(again.reply).status, kSuccess);
  EXPECT_EQ(device.writes.size(), 1u);
  // The same id from another application is another request.
  TakeControl(a);
  EXPECT_TRUE(Send(a, kReadRegCmd, U32({0x10000}), 501).job);
}

TEST_F(ChannelTest, SlowAccessesGetPendingAcknowledgementsUntilDone) {
  TakeControl(a);
  auto out = Send(a, kWriteRegCmd, U32({0x10000, 7}), 77);
  ASSERT_TRUE(out.job);
  EXPECT_TRUE(out.reply.empty());
  EXPECT_TRUE(channel.Tick(now + 100ms).empty());
  now += 250ms;
  auto due = channel.Tick(now);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].first, a);
  const Ack pending = Parse(due[0].second);
  EXPECT_EQ(pending.answer, kPendingAck);
  EXPECT_EQ(pending.id, 77);
  EXPECT_GE(GetU16(pending.payload, 2), 2000);  // the write's 3 s, less what passed
  EXPECT_LE(channel.NextDeadline(now), now + std::chrono::milliseconds(GetU16(pending.payload, 2)));
  // The holder waiting for a slow access keeps its privilege meanwhile.
  now += 5s;
  channel.Tick(now);
  EXPECT_EQ(TakeControl(b).status, kAccessDenied);
  EXPECT_EQ(Finish(std::move(out)).status, kSuccess);
  EXPECT_TRUE(channel.Tick(now + 1s).empty());
}

TEST_F(ChannelTest, ReadsOfTheDeviceGoToItsThreadAndFailWithItsStatus) {
  Ack ack = Finish(Send(b, kReadMemCmd, U32({0x20000, 16})));
  EXPECT_EQ(ack.status, kError);
  EXPECT_EQ(ack.answer, kReadMemAck);
  ack = Finish(Send(b, kReadMemCmd, U32({0x20010, 8})));
  EXPECT_EQ(ack.status, kSuccess);
  EXPECT_EQ(ack.payload.size(), 12u);
  // Constant registers are answered at once.
  auto immediate = Send(b, kReadRegCmd, U32({0xB000}));
  EXPECT_FALSE(immediate.job);
  EXPECT_EQ(Parse(immediate.reply).status, kSuccess);
}

TEST_F(ChannelTest, TheUserDefinedNameIsWrittenThroughTheDevice) {
  TakeControl(a);
  std::vector<std::uint8_t> payload = U32({kUserNameAddress});
  for (char c : std::string("LINE9\0\0\0", 8)) payload.push_back(static_cast<std::uint8_t>(c));
  EXPECT_EQ(Finish(Send(a, kWriteMemCmd, payload)).status, kSuccess);
  EXPECT_EQ(device.userName, "LINE9");
  EXPECT_EQ(Reply(a, kWriteMemCmd, U32({kModelNameAddress, 0})).status, kWriteProtect);
}

TEST_F(ChannelTest, AFullQueueAnswersBusy) {
  for (int i = 0; i < 16; ++i)
    EXPECT_TRUE(Send(Endpoint{1, static_cast<std::uint16_t>(i)}, kReadRegCmd, U32({0x10000})).job);
  EXPECT_EQ(Parse(Send(b, kReadRegCmd, U32({0x10000})).reply).status, kBusy);
}

}  // namespace
}  // namespace vexq4::gvcp
