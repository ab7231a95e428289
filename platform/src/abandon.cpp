#include "vexq4/platform/abandon.h"

#include <atomic>

#include "release.h"

namespace vexq4::platform {
namespace {

std::atomic<bool> g_abandon{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

}  // namespace

void RequestAbandon() noexcept { g_abandon.store(true, std::memory_order_relaxed); }

bool AbandonRequested() noexcept { return g_abandon.load(std::memory_order_relaxed); }

void ClearAbandon() noexcept { g_abandon.store(false, std::memory_order_relaxed); }

void ReleaseForExit() {
  detail::ReleaseSerialDevices();
  detail::RemoveTemporaryFiles();
}

}  // namespace vexq4::platform
