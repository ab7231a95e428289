#include "stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "vexq4/model/VexCamInterface.h"

namespace vexq4::studio {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Written by the handler: a lock-free atomic and a pipe.
std::atomic<int> g_stop{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
int g_wake[2] = {-1, -1};  // handler -> event loop

void OnStopSignal(int sig) {
  const int savedErrno = errno;
  StopSignals::Stop(sig);
  ::signal(sig, SIG_DFL);  // a second one ends the program at once
  errno = savedErrno;
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case SIGPIPE:
      return "a closed output (SIGPIPE)";
    default:
      return "a signal";
  }
}

}  // namespace

StopSignals::StopSignals() {
  ::signal(SIGPIPE, SIG_IGN);
  if (::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) return;  // default actions stay
  notifier_ = std::make_unique<QSocketNotifier>(g_wake[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] {
    char byte = 0;
    while (::read(g_wake[0], &byte, 1) == 1) {
    }
    // Every event loop ends, nested ones (a script's wait, a message box)
    // included, and none starts again.
    if (const int sig = Arrived(); sig != 0) QCoreApplication::exit(128 + sig);
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : kStopSignals) ::sigaction(sig, &action, nullptr);
}

StopSignals::~StopSignals() {
  notifier_.reset();
  // The handlers may still write to the pipe: it stays open until exit.
}

void StopSignals::Stop(int sig) noexcept {
  int none = 0;
  if (!g_stop.compare_exchange_strong(none, sig)) return;  // the first one decides
  CVexCamInterface::AbandonCameraWork();
  const char byte = static_cast<char>(sig);
  if (g_wake[1] >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
  }
}

int StopSignals::Arrived() noexcept { return g_stop.load(); }

int StopSignals::FinalStatus(int status) {
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : kStopSignals) sigaddset(&stops, sig);
  ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  if (Arrived() == 0) {
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    for (int sig : kStopSignals)
      if (sigismember(&pending, sig)) Stop(sig);
  }
  const int sig = Arrived();
  if (sig == 0) return status;
  std::fprintf(stderr, "vexq4-studio: stopped by %s\n", SignalName(sig));
  return 128 + sig;
}

}  // namespace vexq4::studio
