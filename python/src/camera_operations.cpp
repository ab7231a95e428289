// vexq4.Camera: the settings and the operations, each one call.
#include <climits>
#include <utility>
#include <vector>

#include "camera.h"
#include "camera_call.h"
#include "host_status.h"
#include "input_file.h"

namespace vexq4::python {
namespace {

// A str as the bytes it stands for: UTF-8, with the surrogate escapes of
// os.fsdecode() given back as the bytes they stand for (such a text is then
// refused by the checks, not by the conversion).
std::string Bytes(py::handle text) {
  PyObject* bytes = PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape");
  if (!bytes) throw py::error_already_set();
  return py::reinterpret_steal<py::bytes>(bytes).cast<std::string>();
}

// An int argument that is not a bool (True would pass as 1).
int IntArgument(const char* what, py::handle value, long long min, long long max) {
  if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
    ThrowBuiltin(PyExc_TypeError, std::string(what) + " must be an int, not " + TypeName(value));
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow != 0 || v < min || v > max)
    ThrowBuiltin(PyExc_ValueError, std::string(what) + " must be " + std::to_string(min) + ".." +
                                       std::to_string(max) + ", not " +
                                       std::string(py::repr(value)));
  return static_cast<int>(v);
}

}  // namespace
// ---- Settings.

py::object Camera::CacheValue(const Property& p) const {
  const hosts::Value value = hosts::ValueOf(*this, p);
  if (const std::string* text = std::get_if<std::string>(&value)) return python::Text(*text);
  return py::int_(std::get<int>(value));
}

int Camera::Query(const Property& p) {
  // The firmware version, the one value without a notification: this
  // connection's is known once read.
  if (!p.setting && !p.notification) return ReadFirmwareVersion();
  return hosts::Query(*this, p);
}

py::object Camera::Get(const Property& p) {
  Call call(*this, std::string(p.name), Call::Access::kCache);
  if (p.kind == Kind::kText && !closed() && owner_.load() != std::this_thread::get_id()) {
    // The control's getter of the user ID reads the camera first.
    Call read(*this, std::string(p.name), Call::Access::kCamera);
    Raise(read, Exchange(read, [&] { return Query(p); }));
  }
  return CacheValue(p);
}

namespace {

// A value for one property, checked as the control's setter checks it:
// the number, or the list index and text.
hosts::Checked Check(const Property& p, py::handle value) {
  if (p.readOnly())
    ThrowBuiltin(PyExc_AttributeError,
                 std::string(p.name) +
                     " is read-only (the connection is chosen when the Camera is opened; the "
                     "identity is the camera's)");
  hosts::Checked c;
  if (p.kind == Kind::kNumber) {
    // True and False are ints to Python, not values of a setting: refused
    // as store() and load() refuse them.
    if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
      ThrowBuiltin(PyExc_TypeError, std::string(p.name) + " takes an int, not " + TypeName(value));
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    // Beyond 64 bits the value is named as given, not as a clipped number.
    if (overflow != 0)
      ThrowBuiltin(PyExc_ValueError, hosts::OutOfRange(p, py::str(value).cast<std::string>()));
    c = hosts::CheckNumber(p, v);
  } else {
    if (!PyUnicode_Check(value.ptr()))
      ThrowBuiltin(PyExc_TypeError, std::string(p.name) + " takes a str, not " + TypeName(value));
    c = hosts::CheckValue(p, Bytes(value));
  }
  if (!c.ok) ThrowBuiltin(PyExc_ValueError, c.error);
  return c;
}

}  // namespace

void Camera::Set(const Property& p, py::handle value) {
  const hosts::Checked c = Check(p, value);
  Run("set " + std::string(p.name), py::none(), [&] { return hosts::Apply(*this, p, c); });
}

void Camera::SetMany(py::kwargs values) {
  // Every value is checked before anything is sent, as `vexq4 set` does.
  std::vector<std::pair<const Property*, hosts::Checked>> plan;
  for (auto [key, value] : values) {
    const std::string name = Bytes(key);
    const Property* p = hosts::FindPropertyExactly(name);
    if (!p) {
      std::string message = "set() got an unexpected keyword argument '" + name + "'";
      if (const std::string near = hosts::SuggestProperty(name); !near.empty())
        message += "; did you mean " + near + "?";
      ThrowBuiltin(PyExc_TypeError, message);
    }
    plan.emplace_back(p, Check(*p, value));
  }
  // One call: no other thread comes in between the values.
  Call call(*this, "set", Call::Access::kCamera);
  RequireOpen(call);
  for (const auto& step : plan) {
    // Named, not bound: clang 14 lets no lambda capture a structured binding.
    const Property& p = *step.first;
    const hosts::Checked& c = step.second;
    call.Rename("set " + std::string(p.name));
    Raise(call, Exchange(call, [&] { return hosts::Apply(*this, p, c); }));
  }
}

py::object Camera::QueryByName(std::string_view name) {
  const Property* p = hosts::FindProperty(name);
  if (!p) {
    std::string message = "no setting named \"" + std::string(name) + "\"";
    if (const std::string near = hosts::SuggestProperty(name); !near.empty())
      message += "; did you mean " + near + "?";
    ThrowBuiltin(PyExc_KeyError, message);
  }
  {
    Call call(*this, "get " + std::string(p->name), Call::Access::kCamera);
    RequireOpen(call);
    Raise(call, Exchange(call, [&] { return Query(*p); }));
  }
  Call call(*this, std::string(p->name), Call::Access::kCache);
  return CacheValue(*p);
}

py::dict Camera::Snapshot() {
  // What the camera holds: read it all first unless the cache holds it,
  // and the firmware version (no part of a read-all) once a connection.
  const bool inCallback = owner_.load() == std::this_thread::get_id();
  if (!closed() && (IsSynchronized() == 0 || (!firmwareKnown_ && !inCallback))) {
    Call call(*this, "settings", Call::Access::kCamera);
    if (IsSynchronized() == 0) Raise(call, Exchange(call, [this] { return ReadAllFromCamera(); }));
    if (!firmwareKnown_) Raise(call, Exchange(call, [this] { return ReadFirmwareVersion(); }));
  }
  Call call(*this, "settings", Call::Access::kCache);
  py::dict out;
  for (const Property& p : hosts::Properties()) out[py::str(std::string(p.name))] = CacheValue(p);
  return out;
}

// ---- Operations.

int Camera::ReadFirmwareVersion() {
  const int status = GetFirmwareVersion();
  if (status == 0) firmwareKnown_ = true;
  return status;
}

void Camera::ReadAll(py::object progress) {
  Run("read_all", std::move(progress), [this] { return ReadAllFromCamera(); });
}

void Camera::WriteAll(py::object progress) {
  Run("write_all", std::move(progress), [this] { return WriteAllToCamera(); });
}

py::object Camera::Identity() {
  Call call(*this, "identity", Call::Access::kCamera);
  RequireOpen(call);
  const auto identity = hosts::IdentityProperties();
  Raise(call, Exchange(call, [&] {
          // In the order `vexq4 identity` reads them; the first failure ends
          // it, and so does a stop (each read is a step).
          const int total = static_cast<int>(identity.size());
          for (int step = 0; step < total; ++step) {
            if (!ReportProgress("identity", step, total)) return kStopped;
            if (const int status = Query(*identity[static_cast<std::size_t>(step)]); status != 0)
              return status;
          }
          return 0;
        }));
  py::tuple values(identity.size());
  for (std::size_t i = 0; i < identity.size(); ++i) values[i] = CacheValue(*identity[i]);
  return py::module_::import("vexq4._base").attr("Identity")(*values);
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
  const hosts::InputFileCheck check = hosts::CheckInputFile(path);
  if (check.ok) return;
  ThrowError("FileError", what + ": " + check.problem + "; nothing was sent to the camera",
             py::int_(-8));
}

}  // namespace

void Camera::SaveSettings(const std::string& path, py::object progress) {
  progress = Callable("progress", std::move(progress));
  const std::string what = "save_settings " + path;
  // An existing file is read first (its other lines stay): it must be one.
  if (const hosts::InputFileCheck check = hosts::CheckInputFile(path); !check.ok && !check.missing)
    ThrowError("FileError", what + ": " + check.problem, py::int_(-7));
  Call call(*this, what, Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  // A file of a cache that does not hold the camera's settings would not be
  // what the camera holds.
  if (IsSynchronized() == 0) Raise(call, Exchange(call, [this] { return ReadAllFromCamera(); }));
  Raise(call, Exchange(call, [&] { return WriteAllToFile(path); }), path);
}

void Camera::LoadSettings(const std::string& path, py::object progress) {
  progress = Callable("progress", std::move(progress));
  const std::string what = "load_settings " + path;
  RequireReadable(what, path);
  {
    // Tried on an off-line model first, so that an invalid file leaves the
    // camera untouched (the model would apply what it can and send it).
    CVexCamInterface offline;
    if (const int status = offline.ReadAllFromFile(path); status != 0)
      ThrowError(ClassOf(status, true),
                 what + ": " + hosts::DescribeStatus(model::FileStatus(status), path) +
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
  progress = Callable("progress", std::move(progress));
  const std::string what = "shading_load " + path;
  RequireReadable(what, path);
  Call call(*this, what, Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  const int status = Exchange(call, [&] { return LoadShadingDataFromFile(path); });
  // A readable file the model refuses is not a shading table: where and why.
  if (status == -8 && !ShadingFileProblem().empty())
    ThrowError("FileError",
               what + ": not a shading table: " + ShadingFileProblem() + "; nothing was sent",
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
  const int result = OnePushResult();
  if (result >= 0 && result < static_cast<int>(list.size()))
    return std::string(list[static_cast<std::size_t>(result)]);
  return std::to_string(result);
}

}  // namespace vexq4::python
