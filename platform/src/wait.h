// Waiting that sleeps until something happens: one poll() with the time
// left against a monotonic deadline, woken at once when the program is
// asked to stop (abandon.h).
#pragma once

#include <chrono>

namespace vexq4::platform::detail {

using SteadyClock = std::chrono::steady_clock;

enum class Wait {
  kReady,      // the descriptor has one of the events (or an error, hang-up)
  kTimedOut,   // the deadline passed
  kAbandoned,  // the program was asked to stop
  kFailed,     // poll() itself failed (not EINTR)
};

// Waits for `events` on `fd` until `deadline`; `revents` gets what poll()
// reported for it. EINTR is retried with the time left.
Wait WaitForDescriptor(int fd, short events, SteadyClock::time_point deadline, short* revents);

// Sleeps until `deadline`, ending early only when the program is asked to
// stop.
void SleepUntil(SteadyClock::time_point deadline);

// Milliseconds left until `deadline` for poll(): 0 when it passed, rounded
// up so that a wait never ends just before its deadline and spins.
int PollMsUntil(SteadyClock::time_point deadline);

}  // namespace vexq4::platform::detail
