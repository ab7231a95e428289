// What a VirtualLink shares with the devices and grabber ports it hands
// out: the camera, the clock, and whether the line is plugged in and open.
#pragma once

#include <cstdint>

#include "vexq4/sim/sim_camera.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::sim {

namespace detail {

struct LinkState {
  explicit LinkState(SimCamera cam) : camera(std::move(cam)), clock(&ownClock) {}
  LinkState(SimCamera cam, VirtualClock& external) : camera(std::move(cam)), clock(&external) {}

  SimCamera camera;  // a handle: copies share the one camera
  VirtualClock ownClock;
  VirtualClock* clock;
  bool unplugged = false;
  int opens = 0;
  bool open = false;

  // The host's side of the line: when its last written byte has crossed,
  // in ns of the unwrapped clock.
  std::int64_t txFreeNs = 0;
  bool haveTick = false;
  std::uint32_t lastTick = 0;
  std::int64_t lastUnwrapped = 0;

  std::int64_t NowNs() {
    const std::uint32_t tick = clock->now();
    if (!haveTick) {
      haveTick = true;
      lastUnwrapped = tick;
    } else {
      lastUnwrapped += static_cast<std::int32_t>(tick - lastTick);
    }
    lastTick = tick;
    return lastUnwrapped * 1'000'000;
  }
};

}  // namespace detail

}  // namespace vexq4::sim
