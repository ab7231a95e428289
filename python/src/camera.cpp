// vexq4.Camera: opening and closing the line, the errors of a call, and
// the model's notifications (camera_operations.cpp has the settings and
// operations).
#include "camera.h"

#include <pybind11/stl.h>

#include <array>

#include "camera_call.h"
#include "device_check.h"
#include "host_lines.h"
#include "host_status.h"
#include "vexq4/platform/serial_device.h"
#include "vexq4/sim/pty_server.h"

namespace vexq4::python {
namespace {

// Reads are fast, as in vexq4, unless a camera asks for the standard ones
// (fast_reads=False). The library's setting is the process's: while such a
// camera is open, every camera reads the standard way.
int g_openCameras = 0;  // both changed with the gate held alone
int g_standardReadCameras = 0;

// The reads the open cameras ask for; the library's own once none is open.
void ApplyReads() {
  if (g_openCameras == 0)
    CVexCamInterface::SetQueryDrainTime(-1);
  else
    CVexCamInterface::UseHostReads(g_standardReadCameras > 0);
}

// How long close() waits for another thread's call to stop before it
// leaves the closing to that thread: the longest exchange (auto shading,
// 10 s) with a margin.
constexpr std::chrono::seconds kCloseWait{12};
constexpr std::chrono::milliseconds kCheckSignals{100};  // Ctrl-C ends that wait

bool InterpreterFinalizing() {
#if PY_VERSION_HEX >= 0x030D0000
  return Py_IsFinalizing() != 0;
#else
  return _Py_IsFinalizing() != 0;
#endif
}

// Why a Camera Link line gave no camera: the library's status for its
// entry (a library that is missing, no such frame grabber or port), or 0
// when the entry is there and only the camera did not answer. With the
// gate held alone.
int CameraLinkProblem(CVexCamInterface& model, LineKind kind, int number) {
  std::array<char, VEXQ4_CL_NAME_SIZE + 1> name{}, id{};
  unsigned nameSize = VEXQ4_CL_NAME_SIZE, idSize = VEXQ4_CL_NAME_SIZE, version = 0;
  const auto entry = static_cast<unsigned>(number);
  if (kind == LineKind::kAllSerial)
    return model.ClAllSerialGetPortInfo(entry, name.data(), &nameSize, id.data(), &idSize,
                                        &version);
  unsigned count = 0;
  if (const int status = model.ClSerialGetNumManufacturers(&count); status != 0) return status;
  if (entry >= count) return model::CodeOf(model::Status::kClManufacturerMissing);
  return model.ClSerialGetManufacturer(entry, name.data(), &nameSize, &version);
}

}  // namespace

void Camera::Raise(const Call& call, int status, std::string_view file) const {
  if (status == 0) return;
  const bool fileOperation = !file.empty();
  // A file operation's -8 is its file; elsewhere a missing Camera Link library.
  std::string message =
      call.what() + ": " +
      hosts::DescribeStatus(
          fileOperation ? model::FileStatus(status) : model::LibraryStatus(status), file);
  const char* cls = ClassOf(status, fileOperation);
  if (call.wasOnline() && IsOnline() == 0 && status != -5) {
    // The probe after the failure found no camera either: it is gone (a
    // time-out still says what happened, and is still a TimeoutError).
    message += "; the camera stopped answering and is off-line";
    if (!device_.empty())
      message += " (" + line_ + ": " + hosts::DiagnoseDevice(device_).text + ")";
    if (status != -6 && !fileOperation) cls = "OfflineError";
  } else if (IsOnline() == 0 && status != -5 && !fileOperation) {
    message += " (the camera is off-line)";
  }
  ThrowError(cls, message, py::int_(status), lastMessage_);
}

void Camera::RequireOpen(const Call& call) const {
  if (closed()) ThrowError("OfflineError", call.what() + ": the camera is closed", py::int_(-5));
}

// ---- Opening and closing.

Camera::Camera(const ConnectOptions& options) {
  SetProgressHandler([this](const model::ProgressStep& step) { Progress(step); });
  RegisterCamera(this);
  try {
    Connect(options);
  } catch (...) {
    UnregisterCamera(this);
    throw;
  }
}

Camera::~Camera() {
  quiet_ = true;
  UnregisterCamera(this);
  if (open_) {
    if (InterpreterFinalizing()) {
      Release();  // the exit function stopped every call: nothing else uses the library
    } else {
      WithoutInterpreter(
          [this] {
            ExclusiveGate gate;
            Release();
            return 0;
          },
          [this] { ReleaseWithoutInterpreter(); });
    }
  }
  SetProgressHandler(nullptr);
}

void Camera::Connect(const ConnectOptions& o) {
  LineKind kind = LineKind::kCom;
  int number = 0;
  if (o.com) {
    number = *o.com;
    device_ = platform::ComPortDevicePath(static_cast<unsigned>(number));
    line_ = hosts::LineName(kind, number);
  } else if (o.device) {
    kind = LineKind::kDevice;
    device_ = line_ = *o.device;
  } else if (o.sim) {
    kind = LineKind::kDevice;
    sim_ = std::make_unique<sim::PtyServer>();
    std::string error;
    if (!sim_->Start(&error))
      ThrowError("PortError", "cannot start the simulated camera: " + error, py::int_(-2));
    device_ = sim_->slavePath();
    line_ = "simulated camera (" + device_ + ")";
  } else if (o.grabber) {
    kind = LineKind::kGrabber;
    number = *o.grabber;
    line_ = hosts::LineName(kind, number);
  } else {
    kind = LineKind::kAllSerial;
    number = *o.clallserial;
    line_ = hosts::LineName(kind, number);
  }

  std::string refused;
  int cameraLinkProblem = 0;
  const int status = WithoutInterpreter(
      [&] {
        ExclusiveGate gate;
        slot_ = TakeSlot(kind, number, device_, refused);
        if (!slot_) return 0;
        open_ = true;
        ++g_openCameras;
        if (!o.fastReads) ++g_standardReadCameras;
        fastReads_ = o.fastReads;
        ApplyReads();
        // A Camera Link line is named by its slot (0), announced as the
        // connection's port before the line opens.
        const bool cameraLink = kind == LineKind::kGrabber || kind == LineKind::kAllSerial;
        if (cameraLink) SetConnectionPort(slot_->port);
        const int result = hosts::Connect(*this, kind, cameraLink ? number : slot_->port);
        if (result != 0) {
          Release();
          if (device_.empty()) cameraLinkProblem = CameraLinkProblem(*this, kind, number);
        }
        return result;
      },
      [this] { ReleaseWithoutInterpreter(); });
  if (!refused.empty()) ThrowError("PortError", line_ + ": " + refused, py::int_(-2));
  if (status != 0) RaiseConnectFailure(cameraLinkProblem != 0 ? cameraLinkProblem : status);
}

void Camera::RaiseConnectFailure(int status) {
  if (!device_.empty()) {
    // The model says only "offline" (-5) for every failed connect; the
    // device tells why, as `vexq4` says it. A line on a serial device
    // server is explained by what its one opening found (the server's
    // refusal, or a connection it closed at once): nothing is opened again.
    const hosts::DeviceDiagnosis d = hosts::DiagnoseDevice(device_);
    if (d.problem == hosts::DeviceProblem::kNoAnswer)
      ThrowError("CameraTimeoutError", line_ + ": " + d.text, py::int_(-6));
    ThrowError("PortError", line_ + ": " + d.text, py::int_(-2));
  }
  if (status == -5 || status == -6)
    ThrowError("CameraTimeoutError", line_ + ": no camera answered", py::int_(-6));
  // A library that is missing, no such frame grabber or port: in the
  // words of `vexq4 --grabber`.
  ThrowError(ClassOf(status, false), hosts::ConnectFailure(line_, status, true), py::int_(status));
}

void Camera::Release() {
  CloseConnection();
  if (slot_) {
    GiveBack(*slot_);
    --g_openCameras;
    if (!fastReads_) --g_standardReadCameras;
    ApplyReads();
  }
  slot_.reset();
  open_ = false;
  firmwareKnown_ = false;
  if (sim_) sim_->Stop();
  NotifyCameraChange();
}

void Camera::ReleaseWithoutInterpreter() {
  quiet_ = true;  // no callbacks: the interpreter is not to be entered
  ExclusiveGate gate;
  if (open_) Release();
}

void Camera::ReleaseAsked() {
  WithoutInterpreter(
      [this] {
        ExclusiveGate gate;
        if (open_) Release();
        return 0;
      },
      [this] { ReleaseWithoutInterpreter(); });
  callbackError_.reset();  // the caller asked for the close, not for these
}

void Camera::Close() {
  if (closed()) return;
  const std::thread::id owner = owner_.load();
  if (owner != std::thread::id{} && owner != std::this_thread::get_id()) {
    // Another thread's call: its operation stops at its next exchange, and
    // the thread closes the camera as its call ends. Wait for that, a
    // while, as a script that ends its `with` block expects the line
    // closed; Ctrl-C still ends the wait.
    closing_ = true;
    RequestStop();
    const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
      const auto slice = std::min(deadline, std::chrono::steady_clock::now() + kCheckSignals);
      ended = WithoutInterpreter(
          [&] { return WaitForCameraChange(slice, [this] { return !open_; }); }, nullptr);
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
    return;
  }
  Call call(*this, "close", Call::Access::kCamera);  // refused inside its own callback
  closing_ = true;
  WithoutInterpreter(
      [this] {
        ExclusiveGate gate;
        Release();
        return 0;
      },
      [this] { ReleaseWithoutInterpreter(); });
  if (callbackError_) {
    py::error_already_set error = std::move(*callbackError_);
    callbackError_.reset();
    throw error;
  }
}

void Camera::CloseAtExit(SteadyTime deadline) {
  if (!open_) return;
  quiet_ = true;  // the script has ended: its callbacks are not called any more
  closing_ = true;
  if (owner_.load() != std::thread::id{}) {
    // The thread inside a call closes the camera when its exchange ends
    // (it does not come back into Python); stopped, its operation ends at
    // that exchange.
    RequestStop();
    WithoutInterpreter(
        [&] {
          return WaitForCameraChange(
              deadline, [this] { return !open_ || owner_.load() == std::thread::id{}; });
        },
        nullptr);
  }
  if (open_ && owner_.load() == std::thread::id{}) {
    WithoutInterpreter(
        [this] {
          ExclusiveGate gate;
          if (open_) Release();
          return 0;
        },
        nullptr);
  }
}

std::string Camera::Describe() const { return line_; }

bool Camera::Online() {
  if (closed() || IsOnline() == 0) return false;
  if (owner_.load() == std::this_thread::get_id()) return true;  // a callback asks
  Call call(*this, "online", Call::Access::kCamera);
  // As the control answers it: the camera is probed each time.
  Exchange(call, [this] { return CheckConnection(); });
  return IsOnline() != 0;
}

bool Camera::Synchronized() {
  Call call(*this, "synchronized", Call::Access::kCache);
  return IsSynchronized() != 0;
}

// ---- Notifications.

namespace {

// A value for a callback: texts may hold any bytes (a garbled camera).
py::object Argument(const std::string& text) { return Text(text); }
template <typename T>
py::object Argument(const T& value) {
  return py::cast(value);
}

}  // namespace

void Camera::OnChange(py::object callback) { onChange_ = Callable("on_change()", callback); }
void Camera::OnMessage(py::object callback) { onMessage_ = Callable("on_message()", callback); }

template <typename... Args>
void Camera::Invoke(bool always, const py::object& callback, const Args&... args) {
  if (quiet_ || (!always && callback.ptr() == Py_None)) return;
  const PythonEntry entry;
  if (!entry.allowed()) {  // the interpreter is ending: stop instead
    RequestStop();
    return;
  }
  py::gil_scoped_acquire locked;
  if (!callbackError_) {         // one error per call is raised; the rest would hide it
    py::object keep = callback;  // the callback may replace itself
    try {
      if (keep.ptr() != Py_None) keep(Argument(args)...);
      // Ctrl-C is noticed here too (in the main thread: others get no
      // signals), as whatever its handler raises.
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    } catch (py::error_already_set& e) {
      callbackError_ = std::move(e);
    }
  }
  // The operation under way sends nothing after its exchange under way;
  // this camera's alone (the others, in other threads, go on).
  if (callbackError_) RequestStop();
}

template <typename T>
void Camera::Changed(std::string_view name, const T& value) {
  Invoke(false, onChange_, std::string(name), value);
}

const model::NotificationRow* Camera::Notification(std::string_view name) {
  const model::NotificationRow* row = model::FindNotification(name);
  // Every override is made from the same list the model's rows are.
  static const model::NotificationRow none{};
  return row ? row : &none;
}

void Camera::Notified(const model::NotificationRow& row) {
  if (const model::SettingRow* s = row.setting) {
    // A list setting changes both its properties: the index and the text.
    Changed(s->property, Value(*s));
    if (s->isList()) Changed(s->textProperty, Text(*s));
    return;
  }
  std::string_view name = row.property;
  if (name.empty())
    name = std::string_view(row.name).substr(0, row.name.size() - 7);  // "...Changed"
  if (row.hasText())
    Changed(name, Text(row));
  else if (row.hasNumber())
    Changed(name, Value(row));
}

void Camera::OnlineStatusChanged(int online) {
  CVexCamInterface::OnlineStatusChanged(online);
  Changed("online", online != 0);
}

void Camera::SynchronizedStatusChanged(int synchronized) {
  CVexCamInterface::SynchronizedStatusChanged(synchronized);
  Changed("synchronized", synchronized != 0);
}

void Camera::CommandMessage(std::string line) {
  lastMessage_ = line;
  Invoke(false, onMessage_, line);
}

// Before each exchange of a long operation: with a progress callable or
// without, this is where Ctrl-C stops it.
void Camera::Progress(const model::ProgressStep& step) {
  Invoke(true, progress_, step.step, step.total);
}

}  // namespace vexq4::python
