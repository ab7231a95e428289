// The extension module vexq4._vexq4: vexq4.Camera with one attribute per
// setting, vexq4.Simulator and vexq4.SETTINGS, all made from the hosts'
// view of the settings table (host_properties.h). The package's
// __init__.py re-exports them.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <map>

#include "camera.h"
#include "errors.h"
#include "host_lines.h"
#include "host_properties.h"
#include "interpreter.h"
#include "simulator.h"

namespace py = pybind11;
using namespace vexq4::python;
namespace hosts = vexq4::hosts;

namespace {

// A path as Python's file functions take it (os.fsencode: a str, bytes or
// os.PathLike), as the bytes the system uses for the name, so that a name
// that is not UTF-8 (bytes, or a str of os.listdir with surrogate escapes)
// stays the same file.
std::string PathArgument(const char* what, py::handle path) {
  py::object os = py::module_::import("os");
  py::object name;
  try {
    name = os.attr("fsencode")(path);
  } catch (py::error_already_set&) {
    ThrowBuiltin(PyExc_TypeError, std::string(what) +
                                      ": a path (str, bytes or os.PathLike) is needed, not " +
                                      TypeName(path));
  }
  std::string bytes = name.cast<std::string>();
  if (bytes.empty() || bytes.find('\0') != std::string::npos) {
    PyErr_SetString(PyExc_ValueError, (std::string(what) + ": the path is empty or holds a NUL "
                                                           "character")
                                          .c_str());
    throw py::error_already_set();
  }
  return bytes;
}

// A file operation taking a path (str or os.PathLike) and a progress.
template <void (Camera::*Operation)(const std::string&, py::object)>
auto WithPath(const char* name) {
  return [name](Camera& c, py::handle path, py::object progress) {
    (c.*Operation)(PathArgument(name, path), std::move(progress));
  };
}

std::optional<int> NumberArgument(const char* name, py::handle value, hosts::NumberRange range) {
  const int min = range.first, max = range.last;
  if (value.is_none()) return std::nullopt;
  if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr())) {
    PyErr_SetString(PyExc_TypeError,
                    (std::string("Camera(): ") + name + " must be an int").c_str());
    throw py::error_already_set();
  }
  const long long v = PyLong_AsLongLong(value.ptr());
  if (PyErr_Occurred() || v < min || v > max) {
    PyErr_Clear();
    PyErr_SetString(PyExc_ValueError, (std::string("Camera(): ") + name + " must be " +
                                       std::to_string(min) + ".." + std::to_string(max))
                                          .c_str());
    throw py::error_already_set();
  }
  return static_cast<int>(v);
}

std::unique_ptr<Camera> OpenCamera(py::handle com, py::handle device, py::handle grabber,
                                   py::handle clallserial, py::handle sim, py::handle fastReads) {
  ConnectOptions o;
  // The ranges of the command-line host's connection options.
  o.com = NumberArgument("com", com, hosts::kComPorts);
  o.grabber = NumberArgument("grabber", grabber, hosts::kGrabbers);
  o.clallserial = NumberArgument("clallserial", clallserial, hosts::kAllSerialPorts);
  if (!device.is_none()) o.device = PathArgument("Camera(): device", device);
  if (!PyBool_Check(sim.ptr()) || !PyBool_Check(fastReads.ptr())) {
    PyErr_SetString(PyExc_TypeError, "Camera(): sim and fast_reads are True or False");
    throw py::error_already_set();
  }
  o.sim = sim.ptr() == Py_True;
  o.fastReads = fastReads.ptr() == Py_True;
  const int named = o.com.has_value() + o.device.has_value() + o.grabber.has_value() +
                    o.clallserial.has_value() + o.sim;
  if (named != 1) {
    PyErr_SetString(PyExc_TypeError,
                    named == 0 ? "Camera() needs a connection: one of com=N, device=PATH, "
                                 "grabber=N, clallserial=N or sim=True"
                               : "Camera() takes exactly one of com, device, grabber, clallserial "
                                 "and sim=True");
    throw py::error_already_set();
  }
  return std::make_unique<Camera>(o);
}

// A docstring naming settings and ranges as the tables have them
// (hosts::WithNames; "{com-range}" and "{grabber-range}" the connection's).
std::string Doc(std::string_view text) {
  std::string doc = hosts::WithNames(text);
  for (const auto& [key, range] : {std::pair{std::string("{com-range}"), hosts::kComPorts},
                                   std::pair{std::string("{grabber-range}"), hosts::kGrabbers}})
    for (std::size_t at; (at = doc.find(key)) != std::string::npos;)
      doc.replace(at, key.size(), range.Text());
  return doc;
}

std::string SettingDoc(const Property& s) {
  std::string doc = std::string(s.help);
  switch (s.kind) {
    case Kind::kNumber:
      doc += " (int, " + std::to_string(s.min) + ".." + std::to_string(s.max) + ")";
      break;
    case Kind::kListText: {
      doc += " (str, one of:";
      for (std::size_t i = 0; i < s.list.size(); ++i)
        doc += std::string(i ? ", " : " ") + "\"" + std::string(s.list[i]) + "\"";
      doc += ")";
      break;
    }
    case Kind::kText:
      doc += " (str; read from the camera when asked for)";
      break;
    default:
      doc += " (read-only)";
  }
  return doc;
}

const char* kCameraDoc = R"(One RX-Q4 camera on its serial line.

    Camera(com=None, device=None, grabber=None, clallserial=None, sim=False,
           fast_reads=True)

Name the line with exactly one of: ``com`` (COM port number {com-range}: the
device in $VEXQ4_COM<n>, else /dev/ttyS<n-1>), ``device`` (a serial device
path such as "/dev/ttyUSB0"), ``grabber`` (Camera Link frame grabber entry
{grabber-range}), ``clallserial`` (port of libclallserial.so) or ``sim=True`` (a
simulated camera started in this process). Opening probes the camera and
raises when none answers. Reads are fast: each query first waits for {fast-ms} ms
of silence (or what $VEXQ4_QUERY_DRAIN_MS says, 0 to 100 ms).
``fast_reads=False`` waits as the library does by default, an empty read
of about 101 ms (two of 600 ms over a Camera Link grabber): a read of all
settings then takes 4 s, or 44 s over a grabber, instead of 1 s. The
library's setting is the process's: while such a camera is open, every
camera reads the standard way.

Use it as a context manager, which closes the line (the port gets its
previous settings back)::

    with vexq4.Camera(device="/dev/ttyUSB0") as cam:
        cam.{GA} = 100

Every setting is an attribute named as the control's automation property.
Reading one answers from the program's cache (fill it with read_all()),
except {user-id}, which the camera is asked for; assigning one checks the value
as the control does (ValueError, TypeError) and sends it at once, raising a
vexq4.Error when the camera does not take it.

Calls block until the camera has answered (the line is slow: 600 ms between
commands); the interpreter lock is released meanwhile, so threads can drive
several cameras at once. One Camera is used by one thread at a time: a call
from a second thread while one is under way raises CameraBusyError.
Callbacks (on_change, on_message, progress) run in the calling thread inside
the call that caused them. An exception raised by one, or Ctrl-C, stops the
long operation at its next exchange with the camera (the one under way ends
first) and the call raises it; the camera stays usable, and `synchronized`
turns False where the camera may not hold the cache.)";

// The same read of all settings through a plain C++ model (no Python, no
// callbacks), to set Camera.read_all() beside it: (status, seconds).
std::pair<int, double> ReadAllThroughModel(py::handle path) {
  const std::string device = PathArgument("device", path);
  CVexCamInterface model;
  std::optional<Slot> slot;
  std::string refused;
  int status = -5;
  double seconds = 0;
  {
    py::gil_scoped_release unlocked;
    {
      ExclusiveGate gate;
      slot = TakeSlot(LineKind::kDevice, 0, device, refused);
      if (slot) status = hosts::Connect(model, LineKind::kDevice, slot->port);
    }
    if (status == 0) {
      SharedGate gate;
      const auto start = std::chrono::steady_clock::now();
      status = model.ReadAllFromCamera();
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    ExclusiveGate gate;
    model.CloseConnection();
    if (slot) GiveBack(*slot);
  }
  return {status, seconds};
}

// Opening, closing and the state of the line.
void BindLine(py::class_<Camera>& camera) {
  camera.def(py::init(&OpenCamera), py::arg("com") = py::none(), py::arg("device") = py::none(),
             py::arg("grabber") = py::none(), py::arg("clallserial") = py::none(),
             py::arg("sim") = false, py::arg("fast_reads") = true,
             "Camera(com=None, device=None, grabber=None, clallserial=None, sim=False, "
             "fast_reads=True)\n\nOpen the camera on the one line named and probe it (see the "
             "class's help).");
  camera
      .def("close", &Camera::Close,
           "close() -> None\n\nClose the line: the port gets its previous settings and is free "
           "again. Closing a closed camera does nothing. While another thread's call runs, its "
           "operation stops at its next exchange (that call raises OfflineError) and the line "
           "closes as it ends; close() waits for that, up to 12 s.")
      .def(
          "__enter__", [](py::object self) { return self; }, "Returns the camera.")
      .def(
          "__exit__", [](Camera& c, py::args) { c.Close(); }, "Closes the camera.")
      .def("__repr__",
           [](const Camera& c) {
             return Text("<vexq4.Camera " + c.Describe() + (c.closed() ? " closed>" : ">"));
           })
      .def_property_readonly("closed", &Camera::closed, "True once close() has run.")
      .def_property_readonly(
          "line", [](const Camera& c) { return Text(c.Describe()); },
          "The line, as messages name it.")
      .def_property_readonly("online", &Camera::Online,
                             "Whether the camera answers: probed each time it is asked for "
                             "(one query), as the control does. False once closed.")
      .def_property_readonly("synchronized", &Camera::Synchronized,
                             "Whether the cache holds what the camera holds: true after a "
                             "complete read_all() or write_all(), until the line closes.");
}

// The operations, one method each.
void BindOperations(py::class_<Camera>& camera) {
  camera
      .def("set", &Camera::SetMany,
           Doc("set(**values) -> None\n\nCheck every value first (nothing is sent when one is "
               "refused), then send them in the order given, as `vexq4 set` does.\n\n"
               "    cam.set({GA}=100, {SH.text}=\"1/250\")")
               .c_str())
      .def("get", &Camera::QueryByName, py::arg("name"),
           "get(name: str) -> int | str\n\nAsk the camera for one setting (names match without "
           "regard to letter case) and "
           "return it, as `vexq4 get` does; the cache keeps it.")
      .def("settings", &Camera::Snapshot,
           "settings() -> dict[str, int | str]\n\nEvery setting of SETTINGS as a dict, named and "
           "valued as `vexq4 list` prints them, and FirmwareVersion. When the cache does not hold "
           "the camera's settings yet, they are read first (the firmware version once a "
           "connection).")
      .def("read_all", &Camera::ReadAll, py::kw_only(), py::arg("progress") = py::none(),
           "read_all(*, progress=None) -> None\n\nRead every setting from the camera into the "
           "cache (about 4 s).")
      .def("write_all", &Camera::WriteAll, py::kw_only(), py::arg("progress") = py::none(),
           "write_all(*, progress=None) -> None\n\nWrite every cached setting to the camera (over "
           "20 s).")
      .def("identity", &Camera::Identity,
           "identity() -> Identity\n\nRead the camera's identity: an Identity(camera_id, "
           "model_name, user_id, "
           "firmware_version, eeprom_area).")
      .def("store", &Camera::Store, py::arg("area"),
           "store(area: int) -> None\n\nStore the camera's working settings into user area 1..3.")
      .def("load", &Camera::Load, py::arg("area"), py::kw_only(), py::arg("progress") = py::none(),
           "load(area: int, *, progress=None) -> None\n\nLoad area 0 (factory) or 1..3 into the "
           "camera's working settings, then read all.")
      .def("save_settings", WithPath<&Camera::SaveSettings>("save_settings"), py::arg("path"),
           py::kw_only(), py::arg("progress") = py::none(),
           "save_settings(path, *, progress=None) -> None\n\nWrite a settings file (.cam) of the "
           "camera's settings (read first unless the cache "
           "holds them). Comments and foreign sections of an existing file are kept.")
      .def(
          "load_settings", WithPath<&Camera::LoadSettings>("load_settings"), py::arg("path"),
          py::kw_only(), py::arg("progress") = py::none(),
          "load_settings(path, *, progress=None) -> None\n\nApply a settings file (.cam) and write "
          "every setting to the camera (over 20 s). A "
          "missing or invalid file raises before anything is sent.")
      .def(
          "diff", [](Camera& c, py::handle path) { return c.Diff(PathArgument("diff", path)); },
          py::arg("path"),
          "diff(path) -> dict\n\nCompare the camera with a settings file (.cam): {name: "
          "(camera, file)} for each setting that differs, empty when the camera holds the file. "
          "Every key counts, the auto white area included; the two gain keys are what the save "
          "wrote for the file's white balance mode. A file that is no valid settings file raises "
          "InvalidSettingsFileError before anything is read.")
      .def(
          "apply",
          [](Camera& c, py::handle path, py::object progress) {
            return c.Apply(PathArgument("apply", path), std::move(progress));
          },
          py::arg("path"), py::kw_only(), py::arg("progress") = py::none(),
          "apply(path, *, progress=None) -> dict\n\nSend only the settings that differ from "
          "a settings file, in the write-all's order, and read each back: {name: (old, new)}. "
          "Settings the camera did not take raise ApplyError (its .failed: {name: (camera, "
          "file)}) after the rest were applied.")
      .def("report", WithPath<&Camera::Report>("report"), py::arg("path"), py::kw_only(),
           py::arg("progress") = py::none(),
           "report(path, *, progress=None) -> None\n\nWrite the camera data report (identity and "
           "every area's settings; about 40 s).")
      .def("shading_save", WithPath<&Camera::ShadingSave>("shading_save"), py::arg("path"),
           py::kw_only(), py::arg("progress") = py::none(),
           "shading_save(path, *, progress=None) -> None\n\nRead the camera's shading table into a "
           "CSV file (131 lines).")
      .def("shading_load", WithPath<&Camera::ShadingLoad>("shading_load"), py::arg("path"),
           py::kw_only(), py::arg("progress") = py::none(),
           "shading_load(path, *, progress=None) -> None\n\nSend a shading table CSV file to the "
           "camera; entries it leaves out keep the "
           "camera's values.")
      .def("auto_shading", &Camera::AutoShading, py::kw_only(), py::arg("progress") = py::none(),
           "auto_shading(*, progress=None) -> None\n\nLet the camera compute a new shading table "
           "(up to 10 s). It is not kept in any "
           "user area: save it with shading_save().")
      .def("one_push", &Camera::OnePush,
           "one_push() -> str\n\nOne-push white balance: start it, read its result and the red and "
           "blue gains it "
           "produced; returns the result text (\"Complete\", \"Too Dark\", ...).")
      .def("on_change", &Camera::OnChange, py::arg("callback"),
           Doc("on_change(callback) -> None\n\ncallback(name, value) for every change the model "
               "notifies: a setting (both the ...Index and the ...Str of a list setting), "
               "\"{user-id}\", \"CameraID\", \"ModelName\", \"EEPROMCurrentAreaNo\", "
               "\"OnePushResult\", \"{port}\", \"online\" and \"synchronized\". None removes it.")
               .c_str())
      .def("on_message", &Camera::OnMessage, py::arg("callback"),
           "on_message(callback) -> None\n\ncallback(line) for every query or command with its "
           "outcome, as the Communication "
           "window shows it (\"GA=100\\r\\nCOMPLETE\\r\\n\"). None removes it.");
}

// One attribute per setting, from the table.
void BindSettings(py::class_<Camera>& camera) {
  for (const Property& s : hosts::Properties()) {
    const Property* setting = &s;
    py::cpp_function getter([setting](Camera& c) { return c.Get(*setting); });
    const std::string doc = SettingDoc(s);
    if (s.readOnly()) {
      camera.def_property_readonly(std::string(s.name).c_str(), getter, doc.c_str());
    } else {
      py::cpp_function setter([setting](Camera& c, py::handle value) { c.Set(*setting, value); });
      camera.def_property(std::string(s.name).c_str(), getter, setter, doc.c_str());
    }
  }
}

// vexq4.SETTINGS: the descriptions, read-only.
void BindSettingsMapping(py::module_& m) {
  py::object info = py::module_::import("vexq4._base").attr("SettingInfo");
  py::dict settings;
  for (const Property& s : hosts::Properties()) {
    py::object choices = py::none();
    if (s.kind == Kind::kListText) {
      py::list texts;
      for (std::string_view t : s.list) texts.append(py::str(std::string(t)));
      choices = py::tuple(texts);
    }
    const bool number = s.kind == Kind::kNumber || s.kind == Kind::kReadOnly;
    const char* kind = s.kind == Kind::kListText ? "list" : number ? "int" : "text";
    settings[py::str(std::string(s.name))] =
        info(py::arg("name") = std::string(s.name), py::arg("kind") = kind,
             py::arg("minimum") = number ? py::object(py::int_(s.min)) : py::object(py::none()),
             py::arg("maximum") = number ? py::object(py::int_(s.max)) : py::object(py::none()),
             py::arg("choices") = choices,
             py::arg("mnemonic") = s.setting ? py::object(py::str(std::string(s.setting->mnemonic)))
                                             : py::object(py::none()),
             py::arg("code") =
                 s.setting ? py::object(py::int_(s.setting->code)) : py::object(py::none()),
             py::arg("dispid") = s.dispid ? py::object(py::int_(s.dispid)) : py::object(py::none()),
             py::arg("read_only") = s.readOnly(), py::arg("checked") = s.checked,
             py::arg("doc") = std::string(s.help));
  }
  m.attr("SETTINGS") = py::module_::import("types").attr("MappingProxyType")(settings);
}

}  // namespace

PYBIND11_MODULE(_vexq4, m) {
  m.doc() = "The RX-Q4 camera model, hosted for Python (see the vexq4 package).";

  // Signatures are written in the docstrings, in Python's words.
  py::options options;
  options.disable_function_signatures();

  py::class_<Camera> camera(m, "Camera", Doc(kCameraDoc).c_str());
  BindLine(camera);
  BindOperations(camera);
  BindSettings(camera);
  BindSimulator(m);
  InstallInterpreterHooks(m);
  m.def("_read_all_through_model", &ReadAllThroughModel, py::arg("device"),
        "_read_all_through_model(device) -> (status, seconds)\n\nReads all settings with a plain "
        "C++ model on the device: (status, seconds).");
  BindSettingsMapping(m);
}
