#include "camera.h"

#include <pybind11/stl.h>

#include <array>
#include <climits>

#include "device_check.h"
#include "input_file.h"
#include "status.h"
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

py::object ErrorClass(const char* name) { return py::module_::import("vexq4._base").attr(name); }

[[noreturn]] void Throw(py::handle type, py::object exception) {
  PyErr_SetObject(type.ptr(), exception.ptr());
  throw py::error_already_set();
}

[[noreturn]] void ThrowError(const char* cls, const std::string& message, py::object status,
                             const std::string& line = {}) {
  py::object type = ErrorClass(cls);
  py::object line_ = line.empty() ? py::object(py::none()) : py::object(py::str(line));
  Throw(type, type(message, py::arg("status") = status, py::arg("line") = line_));
}

[[noreturn]] void ThrowBuiltin(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// The exception class of a status code. -8 is a missing Camera Link library
// for the line and an unreadable file for the file operations.
const char* ClassOf(int status, bool fileOperation) {
  switch (status) {
    case -1:
      return "RefusedValueError";
    case -2:
      return "PortError";
    case -3:
      return "NotAcknowledgedError";
    case -4:
      return "MalformedReplyError";
    case -5:
      return "OfflineError";
    case -6:
      return "CameraTimeoutError";
    case -7:
      return "FileError";
    case -8:
      return fileOperation ? "FileError" : "PortError";
    case -9:
      return "InvalidSettingsFileError";
    default:
      return status <= -10001 && status >= -10099 ? "PortError" : "Error";
  }
}

// An int argument that is not a bool (True would pass as 1).
int IntArgument(const char* what, py::handle value, long long min, long long max) {
  if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
    ThrowBuiltin(PyExc_TypeError, std::string(what) + " must be an int, not " +
                                      std::string(py::str(value.get_type().attr("__name__"))));
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow != 0 || v < min || v > max)
    ThrowBuiltin(PyExc_ValueError, std::string(what) + " must be " + std::to_string(min) + ".." +
                                       std::to_string(max) + ", not " +
                                       std::string(py::repr(value)));
  return static_cast<int>(v);
}

bool InterpreterFinalizing() {
#if PY_VERSION_HEX >= 0x030D0000
  return Py_IsFinalizing() != 0;
#else
  return _Py_IsFinalizing() != 0;
#endif
}

std::string TypeName(py::handle value) { return py::str(value.get_type().attr("__name__")); }

}  // namespace

// ---- One call from Python.

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
    outer_ = true;
    camera.owner_.store(me);
    camera.operation_ = what_;
    camera.callbackError_.reset();
    camera.ClearStop();
    camera.lastMessage_.clear();
    wasOnline_ = camera.isOnline != 0;
  }

  ~Call() {
    if (!outer_) return;
    camera_.ClearStop();
    camera_.progress_ = py::none();
    camera_.owner_.store(std::thread::id{});
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
  (void)call;
  // A Ctrl-C between two exchanges of one call (set() of several values)
  // sends nothing more.
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  int status = 0;
  {
    py::gil_scoped_release unlocked;
    SharedGate gate;
    status = operation();
  }
  // A failure kept during the operation (which it stopped) wins over the
  // status it caused; so does a Ctrl-C during its last exchange.
  if (callbackError_) {
    py::error_already_set error = std::move(*callbackError_);
    callbackError_.reset();
    throw error;
  }
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  return status;
}

void Camera::Raise(const Call& call, int status, std::string_view file) const {
  if (status == 0) return;
  const bool fileOperation = !file.empty();
  // A file operation's -8 is its file; elsewhere a missing Camera Link library.
  std::string message =
      call.what() + ": " +
      cli::DescribeStatus(fileOperation ? model::FileStatus(status) : model::LibraryStatus(status),
                          file);
  const char* cls = ClassOf(status, fileOperation);
  if (call.wasOnline() && isOnline == 0 && status != -5) {
    // The probe after the failure found no camera either: it is gone (a
    // time-out still says what happened, and is still a TimeoutError).
    message += "; the camera stopped answering and is off-line";
    if (!device_.empty()) message += " (" + line_ + ": " + cli::DiagnoseDevice(device_).text + ")";
    if (status != -6 && !fileOperation) cls = "OfflineError";
  } else if (isOnline == 0 && status != -5 && !fileOperation) {
    message += " (the camera is off-line)";
  }
  ThrowError(cls, message, py::int_(status), lastMessage_);
}

template <typename Operation>
void Camera::Run(std::string what, py::object progress, Operation&& operation,
                 std::string_view file) {
  Call call(*this, std::move(what), Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  Raise(call, Exchange(call, std::forward<Operation>(operation)), file);
}

void Camera::RequireOpen(const Call& call) const {
  if (!slot_) ThrowError("OfflineError", call.what() + ": the camera is closed", py::int_(-5));
}

// ---- Opening and closing.

Camera::Camera(const ConnectOptions& options) {
  SetProgressHandler([this](const model::ProgressStep& step) { Progress(step); });
  Connect(options);
}

Camera::~Camera() {
  quiet_ = true;
  if (slot_) {
    if (InterpreterFinalizing()) {
      Release();  // no other Python thread runs any more
    } else {
      py::gil_scoped_release unlocked;
      ExclusiveGate gate;
      Release();
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
    line_ = "COM" + std::to_string(number) + " (" + device_ + ")";
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
    line_ = "frame grabber " + std::to_string(number);
  } else {
    kind = LineKind::kAllSerial;
    number = *o.clallserial;
    line_ = "clallserial port " + std::to_string(number);
  }

  int status = 0;
  std::string refused;
  {
    py::gil_scoped_release unlocked;
    ExclusiveGate gate;
    slot_ = TakeSlot(kind, number, device_, refused);
    if (slot_) {
      ++g_openCameras;
      if (!o.fastReads) ++g_standardReadCameras;
      fastReads_ = o.fastReads;
      ApplyReads();
      switch (kind) {
        case LineKind::kCom:
        case LineKind::kDevice:
          status = SetComPort(slot_->port);
          break;
        case LineKind::kGrabber:
          comPort = slot_->port;
          status = ClSerialSetFrameGrabberIndex(number);
          break;
        case LineKind::kAllSerial:
          comPort = slot_->port;
          status = ClAllSerialSetFrameGrabberIndex(number);
          break;
      }
      if (status != 0) Release();
    }
  }
  if (!refused.empty()) ThrowError("PortError", line_ + ": " + refused, py::int_(-2));
  if (status != 0) RaiseConnectFailure(status, device_);
}

void Camera::RaiseConnectFailure(int status, const std::string& device) {
  const bool cameraLink = device.empty();
  if (!cameraLink) {
    // The model says only "offline" (-5) for every failed connect; the
    // device tells why, as `vexq4` says it.
    const cli::DeviceDiagnosis d = cli::DiagnoseDevice(device);
    if (d.problem == cli::DeviceProblem::kNoAnswer)
      ThrowError("CameraTimeoutError", line_ + ": " + d.text, py::int_(-6));
    ThrowError("PortError", line_ + ": " + d.text, py::int_(-2));
  }
  if (status == -5 || status == -6)
    ThrowError("CameraTimeoutError", line_ + ": no camera answered", py::int_(-6));
  ThrowError(ClassOf(status, false), cli::ConnectFailure(line_, status, true), py::int_(status));
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
  if (sim_) sim_->Stop();
}

void Camera::Close() {
  if (!slot_) return;
  Call call(*this, "close", Call::Access::kCamera);
  {
    py::gil_scoped_release unlocked;
    ExclusiveGate gate;
    Release();
  }
  if (callbackError_) {
    py::error_already_set error = std::move(*callbackError_);
    callbackError_.reset();
    throw error;
  }
}

std::string Camera::Describe() const { return line_; }

bool Camera::Online() {
  if (!slot_ || isOnline == 0) return false;
  if (owner_.load() == std::this_thread::get_id()) return true;  // a callback asks
  Call call(*this, "online", Call::Access::kCamera);
  // As the control answers it: the camera is probed each time.
  Exchange(call, [this] { return CheckConnection(); });
  return isOnline != 0;
}

bool Camera::Synchronized() {
  Call call(*this, "synchronized", Call::Access::kCache);
  return isSynchronized != 0;
}

// ---- Settings.

py::object Camera::CacheValue(const Setting& s) const {
  if (s.row) {
    if (s.kind == Kind::kList) return py::str(this->*(s.row->text));
    return py::int_(Value(*s.row));
  }
  if (const model::NotificationRow* n = s.notification) {
    if (n->text) return py::str(this->*(n->text));
    if (n->number) return py::int_(this->*(n->number));
  }
  // The firmware version: the model announces no change of it.
  return py::int_(firmwareVersion);
}

py::object Camera::Get(const Setting& s) {
  Call call(*this, std::string(s.name), Call::Access::kCache);
  if (s.kind == Kind::kText && slot_ && owner_.load() != std::this_thread::get_id()) {
    // The control's UserID getter reads the camera first.
    Call read(*this, std::string(s.name), Call::Access::kCamera);
    Raise(read, Exchange(read, [this] { return GetUserID(); }));
  }
  return CacheValue(s);
}

namespace {

// A value for one setting, checked as the control's setter checks it:
// the number, or the list index and text.
struct Checked {
  int number = 0;
  std::string text;
};

Checked Check(const Setting& s, py::handle value) {
  Checked c;
  if (s.readOnly())
    ThrowBuiltin(PyExc_AttributeError,
                 std::string(s.name) +
                     " is read-only (the connection is chosen when the Camera is opened; the "
                     "identity is the camera's)");
  if (s.kind == Kind::kNumber) {
    if (!PyLong_Check(value.ptr()))
      ThrowBuiltin(PyExc_TypeError, std::string(s.name) + " takes an int, not " + TypeName(value));
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    const std::string error = CheckNumber(s, overflow > 0   ? LLONG_MAX
                                             : overflow < 0 ? LLONG_MIN
                                                            : v);
    if (!error.empty()) ThrowBuiltin(PyExc_ValueError, error);
    c.number = static_cast<int>(v);
    return c;
  }
  if (!PyUnicode_Check(value.ptr()))
    ThrowBuiltin(PyExc_TypeError, std::string(s.name) + " takes a str, not " + TypeName(value));
  c.text = value.cast<std::string>();
  const std::string error = CheckText(s, c.text, c.number);
  if (!error.empty()) ThrowBuiltin(PyExc_ValueError, error);
  return c;
}

}  // namespace

int Camera::Apply(const Setting& s, int number, const std::string& text) {
  if (s.kind == Kind::kText) return SetUserID(std::string_view(text));
  return SetSetting(*s.row, number);
}

void Camera::Set(const Setting& s, py::handle value) {
  const Checked c = Check(s, value);
  Run("set " + std::string(s.name), py::none(), [&] { return Apply(s, c.number, c.text); });
}

void Camera::SetMany(py::kwargs values) {
  // Every value is checked before anything is sent, as `vexq4 set` does.
  std::vector<std::pair<const Setting*, Checked>> plan;
  for (auto [key, value] : values) {
    const std::string name = py::str(key);
    const Setting* s = FindSetting(name);
    if (!s) {
      std::string message = "set() got an unexpected keyword argument '" + name + "'";
      if (const std::string near = Suggest(name); !near.empty())
        message += "; did you mean " + near + "?";
      ThrowBuiltin(PyExc_TypeError, message);
    }
    plan.emplace_back(s, Check(*s, value));
  }
  // One call: no other thread comes in between the values.
  Call call(*this, "set", Call::Access::kCamera);
  RequireOpen(call);
  for (const auto& [s, c] : plan) {
    call.Rename("set " + std::string(s->name));
    Raise(call, Exchange(call, [&] { return Apply(*s, c.number, c.text); }));
  }
}

py::object Camera::Query(std::string_view name) {
  const Setting* s = FindSettingNoCase(name);
  if (!s) {
    std::string message = "no setting named \"" + std::string(name) + "\"";
    if (const std::string near = Suggest(name); !near.empty())
      message += "; did you mean " + near + "?";
    ThrowBuiltin(PyExc_KeyError, message);
  }
  {
    Call call(*this, "get " + std::string(s->name), Call::Access::kCamera);
    RequireOpen(call);
    const std::string_view n = s->name;
    Raise(call, Exchange(call, [&]() -> int {
            if (s->row) return GetSetting(*s->row);
            if (n == "UserID") return GetUserID();
            if (n == "CameraID") return GetCameraID(static_cast<char*>(nullptr));
            if (n == "ModelName") return GetModelName(static_cast<char*>(nullptr));
            if (n == "FirmwareVersion") return GetFirmwareVersion();
            if (n == "EEPROMCurrentAreaNo") return GetEEPROMCurrentAreaNo();
            return 0;  // the connection's own numbers
          }));
  }
  Call call(*this, std::string(s->name), Call::Access::kCache);
  return CacheValue(*s);
}

py::dict Camera::Snapshot() {
  // What the camera holds: read it all first unless the cache holds it.
  if (slot_ && isSynchronized == 0) ReadAll(py::none());
  Call call(*this, "settings", Call::Access::kCache);
  py::dict out;
  for (const Setting& s : Settings()) {
    if (!s.inList) continue;
    out[py::str(std::string(s.name))] = CacheValue(s);
  }
  return out;
}

// ---- Operations.

void Camera::ReadAll(py::object progress) {
  Run("read_all", std::move(progress), [this] { return ReadAllFromCamera(); });
}

void Camera::WriteAll(py::object progress) {
  Run("write_all", std::move(progress), [this] { return WriteAllToCamera(); });
}

py::object Camera::Identity() {
  Call call(*this, "identity", Call::Access::kCamera);
  RequireOpen(call);
  Raise(call, Exchange(call, [this] {
          // In the order `vexq4 identity` reads them; the first failure ends
          // it, and so does a stop (each read is a step).
          int step = 0;
          for (int (*read)(Camera&) : {
                   +[](Camera& c) { return c.GetCameraID(static_cast<char*>(nullptr)); },
                   +[](Camera& c) { return c.GetModelName(static_cast<char*>(nullptr)); },
                   +[](Camera& c) { return c.GetUserID(); },
                   +[](Camera& c) { return c.GetFirmwareVersion(); },
                   +[](Camera& c) { return c.GetEEPROMCurrentAreaNo(); },
               }) {
            if (!ReportProgress("identity", step++, 5)) return kStopped;
            if (const int status = read(*this); status != 0) return status;
          }
          return 0;
        }));
  return py::module_::import("vexq4._base")
      .attr("Identity")(cameraID, modelName, userID, firmwareVersion, eepromCurrentAreaNo);
}

void Camera::Store(py::handle area) {
  const int a = IntArgument("store(): area", area, 1, 3);
  Run("store " + std::to_string(a), py::none(), [&] { return StoreSettings(a); });
}

void Camera::Load(py::handle area, py::object progress) {
  const int a = IntArgument("load(): area (0 factory, 1..3 user)", area, 0, 3);
  Run("load " + std::to_string(a), std::move(progress),
      [&] { return CVexCamInterface::LoadSettings(a); });
}

namespace {

// A file to be read: a regular file of reasonable size (a FIFO would hold
// the call, a device never end). Raised before the camera is touched.
void RequireReadable(const std::string& what, const std::string& path) {
  const cli::InputFileCheck check = cli::CheckInputFile(path);
  if (check.ok) return;
  ThrowError("FileError", what + ": " + check.problem + "; nothing was sent to the camera",
             py::int_(-8));
}

}  // namespace

void Camera::SaveSettings(const std::string& path, py::object progress) {
  const std::string what = "save_settings " + path;
  // An existing file is read first (its other lines stay): it must be one.
  if (const cli::InputFileCheck check = cli::CheckInputFile(path); !check.ok && !check.missing)
    ThrowError("FileError", what + ": " + check.problem, py::int_(-7));
  Call call(*this, what, Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  // A file of a cache that does not hold the camera's settings would not be
  // what the camera holds.
  if (isSynchronized == 0) Raise(call, Exchange(call, [this] { return ReadAllFromCamera(); }));
  Raise(call, Exchange(call, [&] { return WriteAllToFile(path); }), path);
}

void Camera::LoadSettings(const std::string& path, py::object progress) {
  const std::string what = "load_settings " + path;
  RequireReadable(what, path);
  {
    // Tried on an off-line model first, so that an invalid file leaves the
    // camera untouched (the model would apply what it can and send it).
    CVexCamInterface offline;
    if (const int status = offline.ReadAllFromFile(path); status != 0)
      ThrowError(ClassOf(status, true),
                 what + ": " + cli::DescribeStatus(model::FileStatus(status), path) +
                     "; nothing was sent to the camera",
                 py::int_(status));
  }
  Call call(*this, what, Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  Raise(call, Exchange(call, [&] { return ReadAllFromFile(path); }), path);
}

void Camera::Report(const std::string& path, py::object progress) {
  Run(
      "report " + path, std::move(progress), [&] { return WriteCameraDataToFile(path); }, path);
}

void Camera::ShadingSave(const std::string& path, py::object progress) {
  Run(
      "shading_save " + path, std::move(progress), [&] { return SaveShadingDataIntoFile(path); },
      path);
}

void Camera::ShadingLoad(const std::string& path, py::object progress) {
  const std::string what = "shading_load " + path;
  RequireReadable(what, path);
  Call call(*this, what, Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  const int status = Exchange(call, [&] { return LoadShadingDataFromFile(path); });
  // A readable file the model refuses is not a shading table.
  if (status == -8 && cli::CheckInputFile(path).ok)
    ThrowError("FileError",
               what +
                   ": not a shading table (no value in it, or one outside 0..65535); nothing "
                   "was sent",
               py::int_(-8));
  Raise(call, status, path);
}

void Camera::AutoShading(py::object progress) {
  Run("auto_shading", std::move(progress), [this] { return StartAutoShadingCorrection(); });
}

std::string Camera::OnePush() {
  Call call(*this, "one_push", Call::Access::kCamera);
  RequireOpen(call);
  Raise(call, Exchange(call, [this] { return SetOnePushMode(); }));
  Raise(call, Exchange(call, [this] { return GetOnePushResult(); }));
  const auto& list = model::kOnePushResultList;
  if (onePushResult >= 0 && onePushResult < static_cast<int>(list.size()))
    return std::string(list[static_cast<std::size_t>(onePushResult)]);
  return std::to_string(onePushResult);
}

// ---- Notifications.

template <typename... Args>
void Camera::Invoke(bool always, const py::object& callback, Args&&... args) {
  if (quiet_ || (!always && callback.ptr() == Py_None)) return;
  py::gil_scoped_acquire locked;
  if (!callbackError_) {         // one error per call is raised; the rest would hide it
    py::object keep = callback;  // the callback may replace itself
    try {
      if (keep.ptr() != Py_None) keep(std::forward<Args>(args)...);
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
    if (s->isList()) Changed(s->textProperty, this->*(s->text));
    return;
  }
  std::string_view name = row.property;
  if (name.empty())
    name = std::string_view(row.name).substr(0, row.name.size() - 7);  // "...Changed"
  if (row.text)
    Changed(name, this->*(row.text));
  else if (row.number)
    Changed(name, this->*(row.number));
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
