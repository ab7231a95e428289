// What camera calls need from the interpreter besides its lock: a safe way
// through its end while a thread is inside a call, and Ctrl-C inside an
// exchange that takes seconds.
//
// When a script ends while a daemon thread is inside a camera call (the
// lock released), Python ends that thread the moment it takes the lock
// again: in the middle of our C++ frames, which aborts the process and
// leaves the port raw. So an exit function, run while the interpreter is
// still whole, closes every camera (the ports get their settings back),
// stopping the operation a thread runs on one; and a thread that comes back
// from the camera after that does not take the lock again: it closes its
// camera and waits, holding nothing, for the process to end.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <functional>

class CVexCamInterface;

namespace vexq4::python {

namespace py = pybind11;
using SteadyTime = std::chrono::steady_clock::time_point;

class Camera;

// Registers the exit function; once, when the module is made.
void InstallInterpreterHooks(py::module_& m);

// True, in every thread but the one that runs it, once the exit function
// has begun: such a thread must not take the interpreter lock again.
bool MustNotReturnToPython();

// Waits, holding nothing, for the process to end.
[[noreturn]] void WaitForProcessEnd();

// Runs `work` without the interpreter lock, which the caller holds, and
// takes it back. When the interpreter ends meanwhile (or had begun to),
// `leave` runs instead (without the lock) and the thread waits for the
// process to end.
template <typename Work>
auto WithoutInterpreter(Work&& work, const std::function<void()>& leave) {
  struct Relock {
    PyThreadState* state;
    const std::function<void()>& leave;
    ~Relock() {
      if (MustNotReturnToPython()) {
        if (leave) leave();
        WaitForProcessEnd();
      }
      PyEval_RestoreThread(state);
    }
  } relock{PyEval_SaveThread(), leave};
  if (MustNotReturnToPython()) {
    if (leave) leave();
    WaitForProcessEnd();
  }
  return work();
}

// The cameras the exit function closes (Camera::CloseAtExit).
void RegisterCamera(Camera* camera);
void UnregisterCamera(Camera* camera);

// A camera call ended or a camera closed: wakes whoever waits for that.
void NotifyCameraChange();
// Waits (the interpreter lock released) until `done` or the deadline;
// returns `done()`.
bool WaitForCameraChange(SteadyTime deadline, const std::function<bool()>& done);

// Held by a thread without the interpreter lock around taking it for a
// callback: allowed() is false once the interpreter is ending (the callback
// is then skipped). The exit function waits until no thread is between
// this check and the lock.
class PythonEntry {
 public:
  PythonEntry();
  ~PythonEntry();
  PythonEntry(const PythonEntry&) = delete;
  PythonEntry& operator=(const PythonEntry&) = delete;
  bool allowed() const { return allowed_; }

 private:
  bool allowed_;
};

// While the main thread is inside an exchange with the camera, a SIGINT
// (Ctrl-C) that raises KeyboardInterrupt (Python's own handler is in
// place) also stops that camera's operation at once (RequestStop: a
// shading frame ends at its next byte), then reaches Python's handler as
// always. Other threads' cameras go on, as Python gives signals to the
// main thread only.
class InterruptWatch {
 public:
  explicit InterruptWatch(CVexCamInterface& camera);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  bool installed_ = false;
};

}  // namespace vexq4::python
