// The tick count and sleep of the camera line, as a replaceable seam.
//
// The line protocol is made of fixed waits (600 ms between commands, 1 s
// pauses around the shading frame, 10 s for auto shading). Production code
// reads the monotonic clock; tests install a virtual clock so a whole
// transfer runs in milliseconds and its gaps can be asserted exactly.
#pragma once

#include <cstdint>

namespace vexq4::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a monotonic clock, truncated to 32 bits: it wraps after
  // about 49.7 days, so callers take differences in unsigned arithmetic.
  virtual std::uint32_t TickCount() = 0;
  virtual void Sleep(std::uint32_t ms) = 0;
};

// The clock every library call uses.
Clock& CurrentClock();

// Installs `clock` for all later calls; nullptr restores the system clock.
// The caller keeps ownership and keeps the clock alive while installed.
void SetClock(Clock* clock);

// Shorthands for CurrentClock().TickCount() / Sleep().
std::uint32_t TickCount();
void SleepMs(std::uint32_t ms);

// Waits until `ms` milliseconds have passed since `sinceTick`: one sleep of
// the time left (never spinning).
void WaitSince(std::uint32_t sinceTick, std::uint32_t ms);

}  // namespace vexq4::platform
