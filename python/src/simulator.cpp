#include "simulator.h"

#include <pybind11/stl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "vexq4/sim/pty_server.h"
#include "vexq4/sim/sim_camera.h"

namespace vexq4::python {
namespace {

namespace py = pybind11;

[[noreturn]] void Fail(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

bool Flag(const std::string& name, py::handle v) {
  if (!PyBool_Check(v.ptr())) Fail(PyExc_TypeError, "Simulator(): " + name + " is True or False");
  return v.ptr() == Py_True;
}

std::uint32_t Milliseconds(const std::string& name, py::handle v) {
  if (!PyLong_Check(v.ptr()) || PyBool_Check(v.ptr()))
    Fail(PyExc_TypeError, "Simulator(): " + name + " is a number of milliseconds");
  const long long ms = PyLong_AsLongLong(v.ptr());
  if (PyErr_Occurred() || ms < 0 || ms > 600000) {
    PyErr_Clear();
    Fail(PyExc_ValueError, "Simulator(): " + name + " must be 0..600000");
  }
  return static_cast<std::uint32_t>(ms);
}

int Number(const std::string& name, py::handle v) {
  if (!PyLong_Check(v.ptr()) || PyBool_Check(v.ptr()))
    Fail(PyExc_TypeError, "Simulator(): " + name + " must be an int");
  return v.cast<int>();
}

std::string Text(const std::string& name, py::handle v) {
  if (!PyUnicode_Check(v.ptr())) Fail(PyExc_TypeError, "Simulator(): " + name + " must be a str");
  return v.cast<std::string>();
}

void Values(const std::string& name, py::handle v, std::map<std::string, int, std::less<>>& out) {
  if (!PyDict_Check(v.ptr()))
    Fail(PyExc_TypeError, "Simulator(): " + name + " is a dict of mnemonic to value");
  for (auto [key, value] : v.cast<py::dict>()) {
    const std::string mnemonic = Text(name + " key", key);
    if (!sim::IsStoredSetting(mnemonic))
      Fail(PyExc_ValueError,
           "Simulator(): " + name + ": \"" + mnemonic + "\" is not a setting the camera stores");
    out[mnemonic] = Number(name + "[" + mnemonic + "]", value);
  }
}

using Option = std::function<void(sim::Config&, const std::string&, py::handle)>;

// The fault switches, by their vexq4-sim names (--echo-query: echo_query).
const std::map<std::string, std::function<void(sim::Faults&, const std::string&, py::handle)>>&
FaultOptions() {
  using F = sim::Faults;
  static const std::map<std::string, std::function<void(F&, const std::string&, py::handle)>> o = {
      {"silent", [](F& f, auto& n, py::handle v) { f.silent = Flag(n, v); }},
      {"garble", [](F& f, auto& n, py::handle v) { f.garble = Flag(n, v); }},
      {"truncate", [](F& f, auto& n, py::handle v) { f.truncate = Flag(n, v); }},
      {"echo_query", [](F& f, auto& n, py::handle v) { f.echoQuery = Flag(n, v); }},
      {"overlong", [](F& f, auto& n, py::handle v) { f.overlongLine = Flag(n, v); }},
      {"corrupt_shading", [](F& f, auto& n, py::handle v) { f.corruptShading = Flag(n, v); }},
      {"short_shading", [](F& f, auto& n, py::handle v) { f.shortShading = Flag(n, v); }},
      {"reject_commands", [](F& f, auto& n, py::handle v) { f.rejectCommands = Flag(n, v); }},
      {"late", [](F& f, auto& n, py::handle v) { f.lateReplyMs = Milliseconds(n, v); }},
      {"late_spread",
       [](F& f, auto& n, py::handle v) { f.lateReplySpreadMs = Milliseconds(n, v); }},
      {"reject_one_in",
       [](F& f, auto& n, py::handle v) {
         f.rejectOneIn = static_cast<std::uint32_t>(std::max(0, Number(n, v)));
       }},
  };
  return o;
}

// The camera's set-up, by the vexq4-sim option names.
const std::map<std::string, Option>& ConfigOptions() {
  using C = sim::Config;
  static const std::map<std::string, Option> o = {
      {"pacing", [](C& c, auto& n, py::handle v) { c.paceAt9600 = Flag(n, v); }},
      {"echo",
       [](C& c, auto& n, py::handle v) {
         c.shape = Flag(n, v) ? sim::ReplyShape::kEchoThenComplete : sim::ReplyShape::kComplete;
       }},
      {"latency", [](C& c, auto& n, py::handle v) { c.replyLatencyMs = Milliseconds(n, v); }},
      {"auto_shading_ms",
       [](C& c, auto& n, py::handle v) { c.autoShadingMs = Milliseconds(n, v); }},
      {"one_push_result",
       [](C& c, auto& n, py::handle v) {
         const int r = Number(n, v);
         if (r < 0 || r > 6) Fail(PyExc_ValueError, "Simulator(): one_push_result must be 0..6");
         c.onePushResult = static_cast<std::uint32_t>(r);
       }},
      {"camera_id", [](C& c, auto& n, py::handle v) { c.identity.cameraId = Text(n, v); }},
      {"model_name", [](C& c, auto& n, py::handle v) { c.identity.modelName = Text(n, v); }},
      {"user_id", [](C& c, auto& n, py::handle v) { c.identity.userId = Text(n, v); }},
      {"firmware_version",
       [](C& c, auto& n, py::handle v) { c.identity.firmwareVersion = Number(n, v); }},
      {"eeprom_area",
       [](C& c, auto& n, py::handle v) {
         const int a = Number(n, v);
         if (a < 0 || a >= sim::kAreas) Fail(PyExc_ValueError, "Simulator(): eeprom_area is 0..3");
         c.identity.eepromArea = a;
       }},
      {"set", [](C& c, auto& n, py::handle v) { Values(n, v, c.values); }},
      {"areas",
       [](C& c, auto& n, py::handle v) {
         if (!PyDict_Check(v.ptr()))
           Fail(PyExc_TypeError, "Simulator(): areas is a dict of area (0..3) to values");
         for (auto [area, values] : v.cast<py::dict>()) {
           const int a = Number("areas key", area);
           if (a < 0 || a >= sim::kAreas) Fail(PyExc_ValueError, "Simulator(): areas are 0..3");
           Values(n + "[" + std::to_string(a) + "]", values, c.areas[static_cast<std::size_t>(a)]);
         }
       }},
  };
  return o;
}

std::string Known() {
  std::string out;
  for (const auto& [name, _] : ConfigOptions()) out += (out.empty() ? "" : ", ") + name;
  for (const auto& [name, _] : FaultOptions()) out += ", " + name;
  return out;
}

class Simulator {
 public:
  explicit Simulator(const py::kwargs& options) {
    sim::Config config;
    for (auto [key, value] : options) {
      const std::string name = py::str(key);
      if (auto f = FaultOptions().find(name); f != FaultOptions().end())
        f->second(config.faults, name, value);
      else if (auto c = ConfigOptions().find(name); c != ConfigOptions().end())
        c->second(config, name, value);
      else
        Fail(PyExc_TypeError,
             "Simulator() got an unexpected keyword argument '" + name + "'; known: " + Known());
    }
    server_ = std::make_unique<sim::PtyServer>(config);
    std::string error;
    if (!server_->Start(&error)) Fail(PyExc_OSError, "cannot start the simulated camera: " + error);
    device_ = server_->slavePath();
  }

  const std::string& device() const { return device_; }
  bool running() const { return server_->running(); }

  void Stop() {
    py::gil_scoped_release unlocked;
    server_->Stop();
  }

  void SetFaults(const py::kwargs& faults) {
    sim::Faults changed;
    {
      py::gil_scoped_release unlocked;
      changed = server_->camera()->faults();
    }
    for (auto [key, value] : faults) {
      const std::string name = py::str(key);
      auto f = FaultOptions().find(name);
      if (f == FaultOptions().end())
        Fail(PyExc_TypeError, "set_faults() got an unexpected keyword argument '" + name + "'");
      f->second(changed, name, value);
    }
    py::gil_scoped_release unlocked;
    server_->camera()->faults() = changed;
  }

  int Value(const std::string& mnemonic) {
    if (!sim::IsStoredSetting(mnemonic))
      Fail(PyExc_KeyError, "\"" + mnemonic + "\" is not a setting the camera stores");
    py::gil_scoped_release unlocked;
    return server_->camera()->Value(mnemonic);
  }

  void SetValue(const std::string& mnemonic, int value) {
    if (!sim::IsStoredSetting(mnemonic))
      Fail(PyExc_KeyError, "\"" + mnemonic + "\" is not a setting the camera stores");
    py::gil_scoped_release unlocked;
    server_->camera()->SetValue(mnemonic, value);
  }

  std::vector<std::string> Received() {
    std::vector<std::string> lines;
    py::gil_scoped_release unlocked;
    auto camera = server_->camera();
    for (const sim::ReceivedLine& line : camera->log()) lines.push_back(line.text);
    return lines;
  }

  void ClearReceived() {
    py::gil_scoped_release unlocked;
    server_->camera()->ClearLog();
  }

 private:
  std::unique_ptr<sim::PtyServer> server_;
  std::string device_;
};

}  // namespace

void BindSimulator(py::module_& m) {
  py::class_<Simulator>(
      m, "Simulator", R"(A simulated RX-Q4 served on a pseudo-terminal by a thread of this process.

    with vexq4.Simulator(silent=True) as sim:
        vexq4.Camera(device=sim.device)      # raises CameraTimeoutError

Keyword arguments are the options of vexq4-sim: pacing (False: answers at
once instead of at 9600 baud), echo, latency, auto_shading_ms,
one_push_result, camera_id, model_name, user_id, firmware_version,
eeprom_area, set ({"GA": 100}) and areas ({1: {"GA": 50}}); and the fault
switches silent, garble, truncate, echo_query, overlong, corrupt_shading,
short_shading, reject_commands, late, late_spread (milliseconds) and
reject_one_in. It serves until stop() or the end of the with block: a
stopped simulator is a camera unplugged.)")
      .def(py::init<const py::kwargs&>())
      .def_property_readonly("device", &Simulator::device,
                             "The device path a Camera opens (/dev/pts/N).")
      .def_property_readonly("running", &Simulator::running)
      .def("stop", &Simulator::Stop,
           "stop() -> None\n\nStop serving and close the pseudo-terminal (idempotent).")
      .def("close", &Simulator::Stop, "close() -> None\n\nThe same as stop().")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Simulator& s, py::args) { s.Stop(); })
      .def("set_faults", &Simulator::SetFaults,
           "set_faults(**faults) -> None\n\nSwitch fault switches while it serves: "
           "set_faults(silent=True).")
      .def("value", &Simulator::Value, py::arg("mnemonic"),
           "value(mnemonic: str) -> int\n\nA working setting of the camera by mnemonic (\"GA\").")
      .def(
          "set_value", &Simulator::SetValue, py::arg("mnemonic"), py::arg("value"),
          "set_value(mnemonic: str, value: int) -> None\n\nChange a working setting of the camera.")
      .def_property_readonly("received", &Simulator::Received,
                             "Every line the camera received, in order (without CR LF).")
      .def("clear_received", &Simulator::ClearReceived,
           "clear_received() -> None\n\nForget the lines received so far.")
      .def("__repr__", [](const Simulator& s) { return "<vexq4.Simulator " + s.device() + ">"; });
}

}  // namespace vexq4::python
