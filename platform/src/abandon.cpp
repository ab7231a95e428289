#include "vexq4/platform/abandon.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>

#include "release.h"
#include "wait.h"

namespace vexq4::platform {
namespace {

std::atomic<bool> g_abandon{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// Readable while abandoning, so that every thread waiting in poll() wakes
// at once, whichever thread took the signal. Made before main(), never in
// the handler; -1 (no early wake-up, waits still end on their deadline) if
// the system refuses it.
const int g_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

}  // namespace

void RequestAbandon() noexcept {
  g_abandon.store(true, std::memory_order_relaxed);
  if (g_wakeFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wakeFd, &one, sizeof one);
  }
}

bool AbandonRequested() noexcept { return g_abandon.load(std::memory_order_relaxed); }

void ClearAbandon() noexcept {
  g_abandon.store(false, std::memory_order_relaxed);
  if (g_wakeFd >= 0) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(g_wakeFd, &count, sizeof count);
  }
}

void ReleaseForExit() {
  detail::ReleaseSerialDevices();
  detail::RemoveTemporaryFiles();
}

namespace detail {

int PollMsUntil(SteadyClock::time_point deadline) {
  const auto left = deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

Wait WaitForDescriptor(int fd, short events, SteadyClock::time_point deadline, short* revents) {
  for (;;) {
    if (AbandonRequested()) return Wait::kAbandoned;
    pollfd fds[2] = {{fd, events, 0}, {g_wakeFd, POLLIN, 0}};
    const nfds_t count = g_wakeFd >= 0 ? 2 : 1;
    const int r = ::poll(fds, count, PollMsUntil(deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      return Wait::kFailed;
    }
    if (fds[0].revents != 0) {
      if (revents) *revents = fds[0].revents;
      return Wait::kReady;
    }
    if (AbandonRequested()) return Wait::kAbandoned;
    if (SteadyClock::now() >= deadline) return Wait::kTimedOut;
    // Woken by a stale wake-up count (an abandon cleared meanwhile): go on.
  }
}

void SleepUntil(SteadyClock::time_point deadline) {
  while (!AbandonRequested()) {
    pollfd wake{g_wakeFd, POLLIN, 0};
    const int ms = PollMsUntil(deadline);
    if (ms == 0) return;
    // Without a wake-up descriptor this is a plain sleep of the time left.
    const int r = ::poll(&wake, g_wakeFd >= 0 ? 1 : 0, ms);
    if (r < 0 && errno != EINTR) return;
  }
}

}  // namespace detail
}  // namespace vexq4::platform
