#include "signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "vexq4/platform/abandon.h"

namespace vexq4::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// How long the program may take to unwind after a stop signal before the
// watchdog ends it.
constexpr auto kGraceTime = std::chrono::milliseconds(1000);

// Written by the handler: lock-free atomics only.
std::atomic<int> g_pending{0};     // a stop signal the program has not taken up
std::atomic<int> g_exitSignal{0};  // the signal that ends the program
std::atomic<bool> g_commandOnly{false};
std::atomic<bool> g_finished{false};
int g_wake[2] = {-1, -1};  // handler -> watchdog
pid_t g_mainThread = 0;    // the main thread's id is the process id

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void OnStopSignal(int sig) {
  const int savedErrno = errno;
  // The main thread must get it: the handler's EINTR ends its blocking
  // calls (reading a command line, a poll of the port).
  if (static_cast<pid_t>(::syscall(SYS_gettid)) != g_mainThread) {
    ::syscall(SYS_tgkill, g_mainThread, g_mainThread, sig);
    errno = savedErrno;
    return;
  }
  const int previous = g_pending.exchange(sig);
  if (!(sig == SIGINT && g_commandOnly.load() && previous == 0)) {
    int none = 0;
    g_exitSignal.compare_exchange_strong(none, sig);
  }
  platform::RequestAbandon();
  const char byte = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
  errno = savedErrno;
}

void Watchdog() {
  sigset_t all;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
  for (;;) {
    char byte = 0;
    const ssize_t n = ::read(g_wake[0], &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    const int sig = g_exitSignal.load();
    if (sig == 0) continue;  // the shell abandons a command and goes on
    const auto deadline = std::chrono::steady_clock::now() + kGraceTime;
    while (!g_finished.load() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (g_finished.load()) return;
    platform::ReleaseForExit();
    constexpr char kText[] = "vexq4: stopped; the exchange under way was abandoned\n";
    [[maybe_unused]] const ssize_t w = ::write(STDERR_FILENO, kText, sizeof kText - 1);
    ::_exit(128 + sig);
  }
}

sigset_t StopSet() {
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : kStopSignals) sigaddset(&stops, sig);
  return stops;
}

}  // namespace

void InstallStopSignals() {
  g_mainThread = static_cast<pid_t>(::syscall(SYS_gettid));
  if (::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) return;  // default actions stay
  // The watchdog blocks on its end; the handler's end must never block.
  ::fcntl(g_wake[0], F_SETFL, ::fcntl(g_wake[0], F_GETFL) & ~O_NONBLOCK);
  std::thread(Watchdog).detach();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: blocking calls return with EINTR
  for (int sig : kStopSignals) ::sigaction(sig, &action, nullptr);
  // A reader that goes away (vexq4 list | head -3) must not kill us with
  // the port still raw: the write fails and is reported like any other.
  ::signal(SIGPIPE, SIG_IGN);
}

void LeaveStopSignalsToTheMainThread() {
  const sigset_t stops = StopSet();
  ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

int StopSignal() { return g_exitSignal.load(); }

int FinalStopSignal() {
  const sigset_t stops = StopSet();
  ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  sigset_t pending;
  sigemptyset(&pending);
  ::sigpending(&pending);
  for (int sig : kStopSignals) {
    int none = 0;
    if (sigismember(&pending, sig)) g_exitSignal.compare_exchange_strong(none, sig);
  }
  return g_exitSignal.load();
}

void SetInterruptAbandonsCommand(bool on) { g_commandOnly.store(on); }

bool CommandInterrupted() { return g_pending.load() != 0 && g_exitSignal.load() == 0; }

void ClearCommandInterrupt() {
  g_pending.store(0);
  if (g_exitSignal.load() == 0) platform::ClearAbandon();
}

bool WaitForInputUnlessStopped(int fd) {
  // The stop signals come in only inside ppoll(), which lets them in and
  // waits in one step: one that arrives while the caller works (on a key
  // typed just before Ctrl-C, say) is held until then and ends the wait,
  // instead of landing before a read that would then wait for ever.
  const sigset_t stops = StopSet();
  sigset_t open;
  ::pthread_sigmask(SIG_BLOCK, &stops, &open);
  bool readable = false;
  while (g_pending.load() == 0 && g_exitSignal.load() == 0) {
    pollfd input{fd, POLLIN, 0};
    const int ready = ::ppoll(&input, 1, nullptr, &open);  // the user may take their time
    if (ready > 0) {
      readable = true;
      break;
    }
    if (ready < 0 && errno != EINTR) break;
  }
  ::pthread_sigmask(SIG_SETMASK, &open, nullptr);
  return readable && g_pending.load() == 0 && g_exitSignal.load() == 0;
}

void MarkFinished() { g_finished.store(true); }

}  // namespace vexq4::cli
