// One Python call on a vexq4.Camera (the thread guard, the interpreter
// lock, the errors), shared by the files that make up the class.
#pragma once

#include <string>
#include <thread>
#include <utility>

#include "camera.h"
#include "errors.h"

namespace vexq4::python {

class Camera::Call {
 public:
  enum class Access {
    kCache,   // reads the cache: allowed inside the camera's own callbacks
    kCamera,  // talks to the camera
  };

  Call(Camera& camera, std::string what, Access access) : camera_(camera), what_(std::move(what)) {
    const std::thread::id me = std::this_thread::get_id();
    const std::thread::id owner = camera.owner_.load();
    if (owner == me) {
      if (access == Access::kCamera)
        ThrowError("CameraBusyError",
                   what_ + ": the camera cannot be used from its own callback (it is inside " +
                       camera.operation_ + "); only its settings can be read there",
                   py::none());
      return;  // a read of the cache inside a callback
    }
    if (owner != std::thread::id{})
      ThrowError("CameraBusyError",
                 what_ + ": another thread is using this camera (" + camera.operation_ +
                     "); a vexq4.Camera is used by one thread at a time",
                 py::none());
    if (access == Access::kCache) return;  // nothing to guard for the length of a read
    if (camera.closing_) ThrowError("OfflineError", what_ + ": the camera is closed", py::int_(-5));
    outer_ = true;
    camera.owner_.store(me);
    camera.operation_ = what_;
    camera.callbackError_.reset();
    camera.ClearStop();
    camera.lastMessage_.clear();
    wasOnline_ = camera.IsOnline() != 0;
  }

  ~Call() {
    if (!outer_) return;
    camera_.ClearStop();
    camera_.progress_ = py::none();
    // A close another thread asked for while this call ran is done now.
    if (camera_.closing_ && camera_.open_) camera_.ReleaseAsked();
    camera_.owner_.store(std::thread::id{});
    NotifyCameraChange();
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  const std::string& what() const { return what_; }
  void Rename(std::string what) { what_ = std::move(what); }
  bool wasOnline() const { return wasOnline_; }

 private:
  Camera& camera_;
  std::string what_;
  bool outer_ = false;
  bool wasOnline_ = false;
};

template <typename Operation>
int Camera::Exchange(Call& call, Operation&& operation) {
  const auto closedMeanwhile = [&] {
    ThrowError("OfflineError",
               call.what() + ": the camera was closed (by another thread) while this ran",
               py::int_(-5));
  };
  if (closing_) closedMeanwhile();
  // A Ctrl-C between two exchanges of one call (set() of several values)
  // sends nothing more.
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  int status = 0;
  {
    const InterruptWatch watch(*this);
    status = WithoutInterpreter(
        [&] {
          SharedGate gate;
          return operation();
        },
        [this] { ReleaseWithoutInterpreter(); });
  }
  // A failure kept during the operation (which it stopped) wins over the
  // status it caused; so does a Ctrl-C during its last exchange.
  if (callbackError_) {
    py::error_already_set error = std::move(*callbackError_);
    callbackError_.reset();
    throw error;
  }
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  if (status != 0 && closing_) closedMeanwhile();
  return status;
}

template <typename Operation>
void Camera::Run(std::string what, py::object progress, Operation&& operation,
                 std::string_view file) {
  progress = Callable("progress", std::move(progress));
  Call call(*this, std::move(what), Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  Raise(call, Exchange(call, std::forward<Operation>(operation)), file);
}

}  // namespace vexq4::python
