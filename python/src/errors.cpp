#include "errors.h"

namespace vexq4::python {

py::str Text(std::string_view text) {
  PyObject* str =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "backslashreplace");
  if (!str) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(str);
}

[[noreturn]] void ThrowError(const char* cls, const std::string& message, py::object status,
                             const std::string& line) {
  py::object type = py::module_::import("vexq4._base").attr(cls);
  py::object lineText = line.empty() ? py::object(py::none()) : py::object(Text(line));
  py::object exception =
      type(Text(message), py::arg("status") = status, py::arg("line") = lineText);
  PyErr_SetObject(type.ptr(), exception.ptr());
  throw py::error_already_set();
}

[[noreturn]] void ThrowBuiltin(PyObject* type, const std::string& message) {
  PyErr_SetObject(type, Text(message).ptr());
  throw py::error_already_set();
}

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

std::string TypeName(py::handle value) { return py::str(value.get_type().attr("__name__")); }

py::object Callable(std::string_view what, py::object callback) {
  if (!callback.is_none() && !PyCallable_Check(callback.ptr()))
    ThrowBuiltin(PyExc_TypeError,
                 std::string(what) + " must be callable or None, not " + TypeName(callback));
  return callback;
}

}  // namespace vexq4::python
