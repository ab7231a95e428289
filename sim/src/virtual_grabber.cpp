#include "vexq4/sim/virtual_grabber.h"

#include "link_state.h"

namespace vexq4::sim {

VirtualGrabberPort::VirtualGrabberPort(VirtualLink& link) : state_(link.state()) {}

VirtualGrabberPort::~VirtualGrabberPort() = default;

std::int32_t VirtualGrabberPort::Open() {
  if (state_->open) return kPortInUse;
  ++state_->opens;
  device_ = std::make_unique<SimSerialDevice>(state_);
  received_.clear();
  return kOk;
}

void VirtualGrabberPort::Close() { device_.reset(); }

void VirtualGrabberPort::Receive() {
  detail::LinkState& s = *state_;
  const std::uint32_t now = s.clock->now();
  if (s.unplugged) return;
  for (auto next = s.camera.NextByteTime(); next && static_cast<std::int32_t>(*next - now) <= 0;
       next = s.camera.NextByteTime()) {
    const auto byte = s.camera.PopByte(now);
    if (!byte) break;
    received_.push_back(*byte);
  }
}

std::int32_t VirtualGrabberPort::Read(char* buffer, std::uint32_t* size, std::uint32_t timeoutMs) {
  ++reads_;
  detail::LinkState& s = *state_;
  VirtualClock& clock = *s.clock;
  const std::uint32_t deadline = clock.now() + timeoutMs;
  std::uint32_t got = 0;
  for (;;) {
    Receive();
    while (got < *size && !received_.empty()) {
      buffer[got++] = static_cast<char>(received_.front());
      received_.pop_front();
    }
    if (got == *size) break;
    const auto next = s.unplugged ? std::nullopt : s.camera.NextByteTime();
    const auto left = static_cast<std::int32_t>(deadline - clock.now());
    if (!next || static_cast<std::int32_t>(*next - deadline) > 0) {
      if (left > 0) clock.Advance(static_cast<std::uint32_t>(left));
      break;
    }
    const auto wait = static_cast<std::int32_t>(*next - clock.now());
    if (wait > 0) clock.Advance(static_cast<std::uint32_t>(wait));
  }
  const bool complete = got == *size;
  *size = got;
  return complete ? kOk : kTimeout;
}

std::int32_t VirtualGrabberPort::Write(const char* buffer, std::uint32_t* size) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer);
  if (!device_ || !device_->Write(std::span(bytes, *size))) {
    *size = 0;
    return kTimeout;
  }
  return kOk;
}

std::int32_t VirtualGrabberPort::Flush() {
  ++flushes_;
  Receive();
  received_.clear();
  return kOk;
}

std::int32_t VirtualGrabberPort::BytesAvailable(std::uint32_t* count) {
  Receive();
  *count = static_cast<std::uint32_t>(received_.size());
  return kOk;
}

}  // namespace vexq4::sim
