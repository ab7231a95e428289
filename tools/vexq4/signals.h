// SIGINT, SIGTERM and SIGHUP: the program ends in order instead of dying
// in the middle of an exchange with the serial port left raw at 9600 baud,
// held exclusively, and a temporary file beside the file being written.
//
// The handler only abandons the line (vexq4/platform/abandon.h): the
// exchange under way fails at once, the model closes the connection (the
// port's settings restored, its exclusive use released), atomic files drop
// their temporary files, and the program exits with 128 + the signal
// (130, 143, 129). Should it not have ended about a second later (a vendor
// library that blocks, say), a watchdog thread releases the ports and
// temporary files itself and exits with the same status.
#pragma once

namespace vexq4::cli {

// Installs the handlers and starts the watchdog; once, first thing in main.
void InstallStopSignals();

// Blocks the stop signals on the calling thread (one camera's of several),
// so that they reach the main thread, whose blocking calls they end.
void LeaveStopSignalsToTheMainThread();

// The signal that ends the program, or 0.
int StopSignal();
// The same, last thing before main returns: the stop signals are blocked
// from then on, and one that is pending counts as arrived.
int FinalStopSignal();

// The interactive shell: a SIGINT abandons the command under way (or the
// line being typed) and the shell goes on; a second one before the shell
// took up the first, or SIGTERM or SIGHUP, ends the program.
void SetInterruptAbandonsCommand(bool on);
// Whether a SIGINT abandoned the current command; Clear... lets the line
// work again.
bool CommandInterrupted();
void ClearCommandInterrupt();

// Waits until `fd` has input; false when a stop signal or the shell's
// Ctrl-C came first (also one that came before the call), or the wait failed.
bool WaitForInputUnlessStopped(int fd);

// The program is about to return from main with its connection closed:
// the watchdog stands down.
void MarkFinished();

}  // namespace vexq4::cli
