#include "vexq4/sim/virtual_link.h"

#include <algorithm>
#include <string>

#include "link_state.h"

namespace vexq4::sim {

namespace {

constexpr std::uint32_t kReadTimeoutMs = 101;                  // the COM read time-outs
constexpr std::int64_t kByteNs = 10LL * 1'000'000'000 / 9600;  // 10 bits at 9600 baud

}  // namespace

SimSerialDevice::SimSerialDevice(SimCamera& camera, VirtualClock& clock)
    : state_(std::make_shared<detail::LinkState>(camera, clock)) {
  state_->open = true;
}

SimSerialDevice::SimSerialDevice(std::shared_ptr<detail::LinkState> state)
    : state_(std::move(state)) {
  state_->open = true;
}

SimSerialDevice::~SimSerialDevice() { state_->open = false; }

void SimSerialDevice::SetUnplugged(bool unplugged) { state_->unplugged = unplugged; }

bool SimSerialDevice::Write(std::span<const std::uint8_t> bytes) {
  detail::LinkState& s = *state_;
  if (s.unplugged) return false;
  // Each byte reaches the camera when it has crossed the line; the bytes of
  // earlier writes still on the line go first.
  std::int64_t t = std::max(s.NowNs(), s.txFreeNs);
  for (std::uint8_t b : bytes) {
    t += kByteNs;
    const auto arrivalMs = static_cast<std::uint32_t>((t + 999'999) / 1'000'000);
    s.camera.Receive(std::span(&b, 1), arrivalMs);
  }
  s.txFreeNs = t;
  return true;
}

bool SimSerialDevice::Drain() {
  detail::LinkState& s = *state_;
  const std::int64_t now = s.NowNs();
  // Whole milliseconds, rounded down: the next write still starts exactly
  // when the line is free, so single drained bytes do not drift apart.
  if (s.txFreeNs > now) {
    s.clock->Advance(static_cast<std::uint32_t>((s.txFreeNs - now) / 1'000'000));
  }
  return true;
}

bool SimSerialDevice::ReadByte(std::uint8_t& out) { return ReadByteWithin(out, kReadTimeoutMs); }

bool SimSerialDevice::ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) {
  detail::LinkState& s = *state_;
  VirtualClock& clock = *s.clock;
  if (s.unplugged) {
    clock.Advance(timeoutMs);
    return false;
  }
  const std::uint32_t now = clock.now();
  const std::optional<std::uint32_t> next = s.camera.NextByteTime();
  if (next) {
    // Signed difference: a byte due in the past is there at once.
    const auto wait = static_cast<std::int32_t>(*next - now);
    if (wait <= 0 || static_cast<std::uint32_t>(wait) <= timeoutMs) {
      if (wait > 0) clock.Advance(static_cast<std::uint32_t>(wait));
      if (const auto b = s.camera.PopByte(clock.now())) {
        out = *b;
        return true;
      }
    }
  }
  clock.Advance(timeoutMs);
  return false;
}

VirtualLink::VirtualLink(Config config, unsigned comPort)
    : state_(std::make_shared<detail::LinkState>(SimCamera(std::move(config)))), comPort_(comPort) {
  platform::SetClock(state_->clock);
  std::weak_ptr<detail::LinkState> weak = state_;
  const unsigned port = comPort_;
  platform::SetSerialOpener([weak, port](unsigned requested) {
    platform::OpenResult result;
    const auto state = weak.lock();
    if (!state || requested != port) {
      result.error = platform::OpenError::kNoDevice;
      result.detail = "COM" + std::to_string(requested) + ": no simulated camera";
      return result;
    }
    if (state->open) {
      result.error = platform::OpenError::kBusy;
      result.detail = "COM" + std::to_string(requested) + ": already open";
      return result;
    }
    ++state->opens;
    result.device = std::make_unique<SimSerialDevice>(state);
    return result;
  });
}

VirtualLink::~VirtualLink() {
  platform::SetSerialOpener({});
  platform::SetClock(nullptr);
}

SimCamera& VirtualLink::camera() { return state_->camera; }
VirtualClock& VirtualLink::clock() { return *state_->clock; }
int VirtualLink::opens() const { return state_->opens; }
bool VirtualLink::isOpen() const { return state_->open; }
void VirtualLink::SetUnplugged(bool unplugged) { state_->unplugged = unplugged; }

}  // namespace vexq4::sim
