// SIGINT, SIGTERM and SIGHUP end the studio in order: the camera work under
// way is abandoned at its next exchange (nothing more is sent), no later
// script line runs, the event loops end, and the control is destroyed on
// the way out, which closes the connection, so the serial port gets its
// settings back and its exclusive use is released. Once a stop has arrived
// it decides the exit status, 128 + the signal, whatever else ends the
// event loop afterwards (the end of the script, a window closed). A second
// signal ends the program at once.
//
// A reader of the script's output that went away (vexq4-studio ... | head
// -1) stops the studio the same way, with the status of SIGPIPE (141).
#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace vexq4::studio {

class StopSignals {
 public:
  // Installs the handlers; SIGPIPE is ignored from then on, so a broken
  // output pipe is a failed write the program sees.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Stops as a signal does. Async-signal-safe.
  static void Stop(int sig) noexcept;
  // The signal that stops the program, or 0.
  static int Arrived() noexcept;
  // The exit status: 128 + the stop signal when one arrived by now (one
  // still pending counts too), else `status`. Call it last in main: stop
  // signals stay blocked from then on in the calling thread.
  static int FinalStatus(int status);

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vexq4::studio
