#include "vexq4/platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "vexq4/platform/abandon.h"
#include "wait.h"

namespace vexq4::platform {
namespace {

class SystemClock final : public Clock {
 public:
  std::uint32_t TickCount() override {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  }
  void Sleep(std::uint32_t ms) override {
    // One wait for the whole pause. Long ones (the command gap, the second
    // around a shading frame) end early when the line is abandoned; short
    // ones keep their length, so that a polling loop never spins.
    constexpr std::uint32_t kShort = 20;
    if (ms <= kShort) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return;
    }
    detail::SleepUntil(detail::SteadyClock::now() + std::chrono::milliseconds(ms));
  }
};

SystemClock g_systemClock;
std::atomic<Clock*> g_clock{&g_systemClock};

}  // namespace

Clock& CurrentClock() { return *g_clock.load(std::memory_order_acquire); }

void SetClock(Clock* clock) {
  g_clock.store(clock ? clock : &g_systemClock, std::memory_order_release);
}

std::uint32_t TickCount() { return CurrentClock().TickCount(); }

void SleepMs(std::uint32_t ms) { CurrentClock().Sleep(ms); }

void WaitSince(std::uint32_t sinceTick, std::uint32_t ms) {
  Clock& clock = CurrentClock();
  // One sleep of the time left, normally; a sleep cut short (a signal) is
  // followed by one of what is still left. Bounded: every pass sleeps at
  // least 1 ms of the clock's time (a wrapped tick count is harmless in
  // unsigned arithmetic).
  for (std::uint32_t pass = 0; pass <= ms + 1; ++pass) {
    const auto elapsed = static_cast<std::uint32_t>(clock.TickCount() - sinceTick);
    if (elapsed >= ms) return;
    if (AbandonRequested()) return;  // what follows fails at once anyway
    clock.Sleep(ms - elapsed);
  }
}

}  // namespace vexq4::platform
