// How the module raises: the package's exceptions (vexq4._base) and
// Python's own, with texts that hold any bytes a name may hold.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

namespace vexq4::python {

namespace py = pybind11;

// A text of ours as a Python str. Names of files and devices are bytes that
// need not be UTF-8 (os.fsencode of a str from os.listdir, say): such bytes
// are shown as \xNN, so that a message is always printable and never raises
// UnicodeDecodeError itself.
py::str Text(std::string_view text);

// The package's exception `cls` (vexq4._base) with its status and line.
[[noreturn]] void ThrowError(const char* cls, const std::string& message, py::object status,
                             const std::string& line = {});
// One of Python's own exceptions (PyExc_TypeError, ...).
[[noreturn]] void ThrowBuiltin(PyObject* type, const std::string& message);

// The exception class of a status code. -8 is a missing Camera Link library
// for the line and an unreadable file for the file operations.
const char* ClassOf(int status, bool fileOperation);

// The name of a value's type, for messages ("int", "bool").
std::string TypeName(py::handle value);

// A callback argument: callable, or None (no callback). Anything else is
// refused at once, before anything is sent.
py::object Callable(std::string_view what, py::object callback);

}  // namespace vexq4::python
