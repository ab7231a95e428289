// Giving up on the camera line at once, for a program asked to stop (a
// signal): the exchange under way ends without waiting out its time-out,
// and no file is replaced by what was half done.
//
// While abandoning, serial devices read and write nothing, long sleeps of
// the system clock end early, and atomic files neither open nor commit
// (their temporary files are removed as usual). Everything else, closing
// a device and restoring its settings included, works as always, so the
// program unwinds normally and fast.
//
// The state is the process's (a program links the platform layer once; a
// shared library holds its own copy and is not affected).
#pragma once

namespace vexq4::platform {

// Async-signal-safe: meant for a signal handler.
void RequestAbandon() noexcept;
bool AbandonRequested() noexcept;
// Back to normal work (an interactive shell goes on after an abandoned
// command).
void ClearAbandon() noexcept;

// The last resort when the program cannot unwind in time (a blocking
// vendor library, say) and is about to _exit: restores the settings of
// every open serial device and releases its exclusive use, and removes the
// temporary file of every atomic file not yet committed. Thread-safe, not
// async-signal-safe (call it from a thread, not a handler).
void ReleaseForExit();

}  // namespace vexq4::platform
