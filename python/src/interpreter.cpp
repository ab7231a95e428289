#include "interpreter.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "camera.h"

namespace vexq4::python {
namespace {

// How long the exit function waits for the operations under way to stop:
// the longest exchange (auto shading, 10 s) with a margin.
constexpr std::chrono::seconds kExitWait{12};

std::atomic<bool> g_exiting{false};
std::atomic<std::thread::id> g_exitThread{};
std::atomic<int> g_entering{0};  // threads between PythonEntry's check and the lock

std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<Camera*> g_cameras;  // guarded by g_mutex

// The exit function: closes every camera while the interpreter is whole.
void CloseCamerasAtExit() {
  g_exitThread.store(std::this_thread::get_id());
  g_exiting.store(true);
  const SteadyTime deadline = std::chrono::steady_clock::now() + kExitWait;
  // Held as Python objects: a camera another thread lets go of while the
  // lock is released here stays valid.
  std::vector<py::object> cameras;
  {
    std::lock_guard lock(g_mutex);
    for (Camera* camera : g_cameras)
      cameras.push_back(py::cast(camera, py::return_value_policy::reference));
  }
  for (const py::object& camera : cameras) camera.cast<Camera&>().CloseAtExit(deadline);
  // A thread that was about to take the lock for a callback when the exit
  // began gets it now and gives it back, before the interpreter goes.
  WithoutInterpreter(
      [&] { return WaitForCameraChange(deadline, [] { return g_entering.load() == 0; }); },
      nullptr);
}

// ---- Ctrl-C.

std::atomic<CVexCamInterface*> g_watched{nullptr};
struct sigaction g_python {};  // the handler ours passes SIGINT on to
unsigned long g_mainThread = 0;

bool IsFunction(const struct sigaction& action) {
  if (action.sa_flags & SA_SIGINFO) return action.sa_sigaction != nullptr;
  return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

void OnInterrupt(int signal, siginfo_t* info, void* context) {
  const int saved = errno;
  if (CVexCamInterface* camera = g_watched.load()) camera->RequestStop();
  errno = saved;
  if (g_python.sa_flags & SA_SIGINFO)
    g_python.sa_sigaction(signal, info, context);
  else
    g_python.sa_handler(signal);
}

bool IsOurs(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == OnInterrupt;
}

}  // namespace

void InstallInterpreterHooks(py::module_& m) {
  g_mainThread =
      py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
  py::module_::import("atexit").attr("register")(py::cpp_function(
      [] { CloseCamerasAtExit(); }, py::name("_close_cameras_at_exit"), py::scope(m)));
}

bool MustNotReturnToPython() {
  return g_exiting.load() && g_exitThread.load() != std::this_thread::get_id();
}

void WaitForProcessEnd() {
  for (;;) ::pause();
}

void RegisterCamera(Camera* camera) {
  std::lock_guard lock(g_mutex);
  g_cameras.push_back(camera);
}

void UnregisterCamera(Camera* camera) {
  std::lock_guard lock(g_mutex);
  g_cameras.erase(std::remove(g_cameras.begin(), g_cameras.end(), camera), g_cameras.end());
}

void NotifyCameraChange() {
  // Under the mutex, so that a waiter between its check and its wait
  // cannot miss it.
  std::lock_guard lock(g_mutex);
  g_changed.notify_all();
}

bool WaitForCameraChange(SteadyTime deadline, const std::function<bool()>& done) {
  std::unique_lock lock(g_mutex);
  return g_changed.wait_until(lock, deadline, done);
}

PythonEntry::PythonEntry() {
  g_entering.fetch_add(1);
  allowed_ = !MustNotReturnToPython();
  if (!allowed_) {
    g_entering.fetch_sub(1);
    NotifyCameraChange();
  }
}

PythonEntry::~PythonEntry() {
  if (!allowed_) return;
  g_entering.fetch_sub(1);
  NotifyCameraChange();
}

InterruptWatch::InterruptWatch(CVexCamInterface& camera) {
  if (PyThread_get_thread_ident() != g_mainThread) return;
  // Only where Ctrl-C raises KeyboardInterrupt: a script's own handler may
  // let the operation go on, and is asked at the next exchange.
  const py::module_ signal = py::module_::import("signal");
  if (!signal.attr("getsignal")(SIGINT).is(signal.attr("default_int_handler"))) return;
  struct sigaction current {};
  if (::sigaction(SIGINT, nullptr, &current) != 0 || !IsFunction(current) || IsOurs(current))
    return;
  g_python = current;
  struct sigaction ours = current;
  ours.sa_flags |= SA_SIGINFO;
  ours.sa_sigaction = OnInterrupt;
  g_watched.store(&camera);
  installed_ = ::sigaction(SIGINT, &ours, nullptr) == 0;
  if (!installed_) g_watched.store(nullptr);
}

InterruptWatch::~InterruptWatch() {
  if (!installed_) return;
  // Given back unless the script changed the handler meanwhile (a callback
  // may call signal.signal): then its choice stays.
  struct sigaction current {};
  if (::sigaction(SIGINT, nullptr, &current) == 0 && IsOurs(current))
    ::sigaction(SIGINT, &g_python, nullptr);
  g_watched.store(nullptr);
}

}  // namespace vexq4::python
