// cam.diff() and cam.apply(): a settings file as the camera's truth. The
// model compares and plans (vexq4/model/settings_compare.h); here the
// results become dicts and exceptions.
#include "vexq4/model/settings_compare.h"

#include <pybind11/stl.h>

#include "camera_call.h"
#include "host_status.h"
#include "input_file.h"

namespace vexq4::python {
namespace {

// A value as the setting's attribute gives it: the text of a list
// setting's ...Str, else the number.
py::object ValueOf(const model::SettingRow& row, int value) {
  if (row.isList()) return Text(model::SettingText(row, value));
  return py::int_(value);
}

// {name: (camera, file)} (or (old, new) for the changes).
py::dict Pairs(const std::vector<model::Difference>& differences) {
  py::dict out;
  for (const model::Difference& d : differences)
    out[Text(model::SettingName(*d.row))] =
        py::make_tuple(ValueOf(*d.row, d.camera), ValueOf(*d.row, d.target));
  return out;
}

// The file's targets; a file that is none raises before the camera is touched.
std::vector<model::Target> Targets(const std::string& what, const std::string& path) {
  if (const hosts::InputFileCheck check = hosts::CheckInputFile(path); !check.ok && !check.missing)
    ThrowError("FileError", what + ": " + check.problem + "; nothing was sent to the camera",
               py::int_(-8));
  model::SettingsFileTargets read = model::ReadSettingsFileTargets(path);
  if (read.status != model::Status::kOk) {
    std::string why = hosts::DescribeStatus(read.status, path);
    if (!read.problem.empty()) why += ": " + read.problem;
    const int code = model::CodeOf(read.status);
    ThrowError(ClassOf(code, true), what + ": " + why + "; nothing was sent to the camera",
               py::int_(code));
  }
  return std::move(read.targets);
}

}  // namespace

py::dict Camera::Diff(const std::string& path) {
  const std::string what = "diff " + path;
  const std::vector<model::Target> targets = Targets(what, path);
  Call call(*this, what, Call::Access::kCamera);
  RequireOpen(call);
  model::Comparison compared;
  Raise(call, Exchange(call, [&] {
          compared = model::CompareWithCamera(*this, targets);
          return model::CodeOf(compared.status);
        }));
  return Pairs(compared.differences);
}

py::dict Camera::Apply(const std::string& path, py::object progress) {
  progress = Callable("progress", std::move(progress));
  const std::string what = "apply " + path;
  const std::vector<model::Target> targets = Targets(what, path);
  Call call(*this, what, Call::Access::kCamera);
  RequireOpen(call);
  progress_ = std::move(progress);
  model::ApplyResult applied;
  Raise(call, Exchange(call, [&] {
          applied = model::ApplyTargets(*this, targets);
          return model::CodeOf(applied.status);
        }));
  if (!applied.failed.empty()) {
    std::string names;
    for (const model::Difference& d : applied.failed)
      names += (names.empty() ? "" : ", ") + std::string(model::SettingName(*d.row));
    py::object type = py::module_::import("vexq4._base").attr("ApplyError");
    py::object error =
        type(python::Text(what + ": the camera did not take " + names), Pairs(applied.failed),
             Pairs(applied.changes), py::arg("line") = python::Text(lastMessage_));
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
  }
  return Pairs(applied.changes);
}

}  // namespace vexq4::python
