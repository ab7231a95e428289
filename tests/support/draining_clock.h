// The simulated device's Drain() returns at once, where tcdrain waits until
// the bytes have left the port: a shading frame (1546 bytes, about 1.6 s at
// 9600 baud) is then acknowledged after the library stopped waiting. This
// clock adds the frame's time on the line to the library's long pauses, as
// the drain of a real port would; with a draining device it changes nothing
// the tests look at.
#pragma once

#include <cstdint>

#include "vexq4/platform/clock.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::testing {

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

}  // namespace vexq4::testing
