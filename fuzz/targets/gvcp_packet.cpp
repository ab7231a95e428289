// The GVCP packet reader and control channel: whatever datagrams arrive,
// from whichever applications, each is dropped or answered with one
// well-formed acknowledge carrying its request id; nothing crashes, and a
// device access runs only as the channel hands it out.
#include <map>

#include "fuzz_input.h"
#include "vexq4/genicam/register_map.h"
#include "vexq4/gvcp/control_channel.h"

using namespace vexq4;

namespace {

// A camera that answers at once.
class QuietCamera : public genicam::Camera {
 public:
  int ReadSetting(const model::SettingRow& row, int& value) override {
    value = row.min;
    return 0;
  }
  int WriteSetting(const model::SettingRow&, int) override { return 0; }
  int ReadText(genicam::Text, std::string& text) override {
    text = "RX-Q4CL";
    return 0;
  }
  int WriteUserID(std::string_view) override { return 0; }
  int ReadNumber(genicam::Number, int& value) override {
    value = 1;
    return 0;
  }
  int Run(genicam::Command, int) override { return -6; }
};

// The register map as the bridge's device has it.
class MapOnly : public gvcp::Device {
 public:
  bool IsImmediate(std::uint32_t address, std::uint32_t size) const override {
    return genicam::RegisterMap::IsConstant(address, size) ||
           !genicam::RegisterMap::Exists(address, size);
  }
  std::uint16_t Read(std::uint32_t address, std::span<std::uint8_t> out) override {
    return Status(map.Read(address, out));
  }
  std::uint16_t Write(std::uint32_t address, std::span<const std::uint8_t> data) override {
    return Status(map.Write(address, data));
  }
  std::uint16_t WriteUserName(std::string_view) override { return gvcp::kSuccess; }
  std::chrono::milliseconds Duration(std::uint32_t address, bool write) const override {
    return genicam::RegisterMap::Duration(address, write);
  }
  gvcp::DeviceInfo Info() const override { return {"VEX", "RX-Q4CL", "120", "", "10042", "L"}; }
  std::string XmlUrl() const override { return "Local:x.xml;100000;10"; }

 private:
  static std::uint16_t Status(genicam::Access a) {
    return a == genicam::Access::kOk ? gvcp::kSuccess : gvcp::kInvalidAddress;
  }
  QuietCamera camera;
  genicam::RegisterMap map{camera};
};

void CheckAck(const std::vector<std::uint8_t>& ack, std::uint16_t id, std::uint16_t command) {
  if (ack.empty()) return;
  VEXQ4_FUZZ_CHECK(ack.size() >= gvcp::kHeaderSize, "acknowledge shorter than its header");
  VEXQ4_FUZZ_CHECK(ack.size() <= gvcp::kHeaderSize + gvcp::kMaxPayload,
                   "acknowledge beyond one datagram's payload");
  VEXQ4_FUZZ_CHECK(gvcp::GetU16(ack, 4) == ack.size() - gvcp::kHeaderSize,
                   "acknowledge length field wrong");
  VEXQ4_FUZZ_CHECK(gvcp::GetU16(ack, 6) == id, "acknowledge of another request");
  const std::uint16_t answer = gvcp::GetU16(ack, 2);
  VEXQ4_FUZZ_CHECK(answer == command + 1 || answer == gvcp::kPendingAck,
                   "acknowledge of another command");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in({data, size});
  MapOnly device;
  gvcp::ControlChannel channel(device, {});
  auto now = gvcp::Clock::time_point{} + std::chrono::hours(1);
  std::map<std::uint16_t, std::uint16_t> running;  // request id -> command of jobs handed out
  while (!in.empty()) {
    const gvcp::Endpoint from{0x7F000001, static_cast<std::uint16_t>(40000 + in.Byte() % 3)};
    const std::span<const std::uint8_t> datagram = in.Take(in.Word() % 700);
    const auto request = gvcp::ParseRequest(datagram);
    gvcp::ControlChannel::Outcome out = channel.Receive(from, datagram, now);
    if (!request) {
      VEXQ4_FUZZ_CHECK(out.reply.empty() && !out.job, "a datagram that is no command answered");
      continue;
    }
    CheckAck(out.reply, request->id, request->command);
    if (out.job) {
      VEXQ4_FUZZ_CHECK(out.job->id == request->id, "a job of another request");
      gvcp::Run(device, *out.job);
      CheckAck(channel.Finished(*out.job, now), request->id, request->command);
    }
    now += std::chrono::milliseconds(in.Byte() * 20);
    for (const auto& [to, ack] : channel.Tick(now)) {
      VEXQ4_FUZZ_CHECK(ack.size() == gvcp::kHeaderSize + 4, "pending acknowledge malformed");
      (void)to;
    }
  }
  return 0;
}
