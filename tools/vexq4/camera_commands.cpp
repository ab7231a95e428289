#include "camera_commands.h"

#include <array>

#include "device_check.h"
#include "exit_status.h"
#include "host.h"
#include "host_lines.h"
#include "host_status.h"
#include "input_file.h"
#include "output.h"
#include "signals.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::cli {
namespace {

using hosts::Property;
using model::Status;

void Print(const std::string& line) { PrintLine(line); }

// Reports a failed operation and gives its exit status. A command stopped
// by a signal failed because it was stopped; that is said once, elsewhere.
int Fail(Host& host, std::string_view what, Status status, std::string_view file = {}) {
  if (StopSignal() != 0 || CommandInterrupted()) return kExitFailure;
  std::string text = std::string(what) + ": " + hosts::DescribeStatus(status, file);
  const bool aboutTheFile =
      status == Status::kFileNotWritable || status == Status::kFileNotReadable ||
      status == Status::kInvalidSettingsFile || status == Status::kNotAShadingTable;
  if (!host.IsOnline() && !aboutTheFile) {
    // A line on a serial device server says when its connection was lost.
    const platform::LineProblem line = platform::LastLineProblem(
        platform::ComPortDevicePath(static_cast<unsigned>(hosts::NumbersOf(host).port)));
    if (line.error == platform::OpenError::kNetwork)
      text += " (the camera is off-line: " + line.detail + ")";
    else if (status != Status::kOffline)
      text += " (the camera is off-line)";
  }
  host.console().Error(text);
  return kExitFailure;
}

// A camera operation's code, as the library gives it.
int Fail(Host& host, std::string_view what, int status) {
  return Fail(host, what, model::LibraryStatus(status));
}

int RunOperation(Host& host, std::string_view what, Status status, std::string_view file = {}) {
  return status == Status::kOk ? kExitOk : Fail(host, what, status, file);
}

int RunOperation(Host& host, std::string_view what, int status) {
  return RunOperation(host, what, model::LibraryStatus(status));
}

// Reads each property from the camera and prints it; the camera gone, the
// rest would fail alike.
int QueryAndPrint(Host& host, std::string_view what,
                  const std::vector<const Property*>& properties) {
  int exit = kExitOk;
  for (const Property* p : properties) {
    if (const int status = hosts::Query(host, *p); status != 0) {
      exit = Fail(host, std::string(what) + std::string(p->name), status);
      if (!host.IsOnline()) break;
      continue;
    }
    Print(hosts::Format(host, *p));
  }
  return exit;
}

// Refuses a file a command would read (exit 1) unless it is a regular file
// of reasonable size; a missing one is left to the caller. The camera has
// not been touched yet.
bool Readable(Host& host, std::string_view command, const std::string& file,
              const hosts::InputFileCheck& check,
              std::string_view untouched = "nothing was sent to the camera") {
  if (check.ok || check.missing) return true;
  host.console().Error(std::string(command) + " " + file + ": " + check.problem + "; " +
                       std::string(untouched));
  return false;
}

// The white balance's gain of one colour, as the one-push left it.
std::string Gain(Host& host, unsigned code) {
  const model::SettingRow& row = *model::FindSettingByCode(code);
  return hosts::FormatNumber(row.property, host.Value(row));
}

void PrintLibraryFailure(Host& host, const std::string& what, int status) {
  host.console().Error(what + ": status " + std::to_string(status) + ": " +
                       hosts::StatusText(model::LibraryStatus(status)));
}

}  // namespace

int RunGet(Host& host, const std::vector<const Property*>& properties) {
  return QueryAndPrint(host, "get ", properties);
}

int RunSet(Host& host, const std::vector<Assignment>& assignments) {
  for (const Assignment& a : assignments) {
    if (const int status = hosts::Apply(host, *a.property, a.value); status != 0)
      return Fail(host, "set " + std::string(a.property->name), status);
  }
  return kExitOk;
}

int RunList(Host& host) {
  const int status =
      host.WithProgress("ReadAllFromCamera", [&] { return host.ReadAllFromCamera(); });
  if (status != 0) return Fail(host, "list: reading all settings", status);
  for (const Property& p : hosts::Properties())
    // The firmware version is not part of a read-all; 'identity' reads it.
    if (p.name != "FirmwareVersion") Print(hosts::Format(host, p));
  return kExitOk;
}

int RunIdentity(Host& host) {
  const auto identity = hosts::IdentityProperties();
  return QueryAndPrint(host, "identity: ", {identity.begin(), identity.end()});
}

int RunOnePush(Host& host) {
  int status = host.SetOnePushMode();
  if (status != 0) return Fail(host, "one-push", status);
  status = host.GetOnePushResult();
  if (status != 0) return Fail(host, "one-push: reading the result", status);
  const int result = host.OnePushResult();
  const auto& texts = model::kOnePushResultList;
  const std::string text = (result >= 0 && result < static_cast<int>(texts.size()))
                               ? std::string(texts[static_cast<std::size_t>(result)])
                               : std::to_string(result);
  Print(hosts::FormatText("OnePushResult", text));
  Print(Gain(host, GAR));
  Print(Gain(host, GAB));
  if (result != 0) {
    host.console().Error("one-push white balance did not complete: " + text);
    return kExitFailure;
  }
  return kExitOk;
}

int RunWithProgress(Host& host, std::string_view what, std::string_view progress,
                    int (CVexCamInterface::*operation)()) {
  return RunOperation(host, what, host.WithProgress(progress, [&] { return (host.*operation)(); }));
}

int RunStore(Host& host, int area) {
  return RunOperation(host, "store " + std::to_string(area), host.StoreSettings(area));
}

int RunLoad(Host& host, int area) {
  return RunOperation(host, "load " + std::to_string(area),
                      host.WithProgress("LoadSettings", [&] { return host.LoadSettings(area); }));
}

int RunSaveSettings(Host& host, const std::string& file) {
  // A settings file that is there is read first (its other lines stay).
  if (!Readable(host, "save-settings", file, hosts::CheckInputFile(file),
                "the camera was not read"))
    return kExitFailure;
  int status = host.WithProgress("ReadAllFromCamera", [&] { return host.ReadAllFromCamera(); });
  // A file from a partly read camera would not be what the camera holds.
  if (status != 0) return Fail(host, "save-settings: reading all settings", status);
  return RunOperation(host, "save-settings " + file, host.SaveSettingsFile(file), file);
}

int RunLoadSettings(Host& host, const std::string& file) {
  // The model applies whatever it can of a file and writes the result to
  // the camera. Try the file on an off-line model first, so that a missing
  // or invalid file leaves the camera untouched.
  const hosts::InputFileCheck check = hosts::CheckInputFile(file);
  if (check.missing)
    return Fail(host, "load-settings " + file + " (" + check.problem + ")",
                Status::kFileNotReadable);
  if (!Readable(host, "load-settings", file, check)) return kExitFailure;
  {
    CVexCamInterface offline;
    const Status tried = offline.LoadSettingsFile(file);
    if (tried != Status::kOk) {
      host.console().Error("load-settings: " + hosts::DescribeStatus(tried, file) +
                           "; nothing was sent to the camera");
      return kExitFailure;
    }
  }
  const Status status =
      host.WithProgress("ReadAllFromFile", [&] { return host.LoadSettingsFile(file); });
  return RunOperation(host, "load-settings " + file, status, file);
}

int RunReport(Host& host, const std::string& file) {
  return RunOperation(
      host, "report " + file,
      host.WithProgress("WriteCameraDataToFile", [&] { return host.SaveCameraDataReport(file); }),
      file);
}

int RunShadingSave(Host& host, const std::string& file) {
  return RunOperation(
      host, "shading-save " + file,
      host.WithProgress("SaveShadingDataIntoFile", [&] { return host.SaveShadingFile(file); }),
      file);
}

int RunShadingLoad(Host& host, const std::string& file) {
  if (!Readable(host, "shading-load", file, hosts::CheckInputFile(file))) return kExitFailure;
  const Status status =
      host.WithProgress("LoadShadingDataFromFile", [&] { return host.LoadShadingFile(file); });
  // A file refused as no table says where and why, so that it can be mended.
  const bool notATable = status == Status::kNotAShadingTable;
  return RunOperation(
      host,
      "shading-load " + file +
          (notATable ? " (not a shading table: " + host.ShadingFileProblem() + "; nothing was sent)"
                     : ""),
      status, file);
}

int RunSearch(Host& host, int first, int last) {
  const int total = last - first + 1;
  for (int port = first; port <= last && StopSignal() == 0; ++port) {
    host.console().Progress(port - first, total,
                            "looking for the camera on COM" + std::to_string(port));
    if (hosts::Connect(host, hosts::LineKind::kCom, port) == 0) {
      host.console().EndProgress();
      Print(hosts::FormatNumber(hosts::PortProperty().name, port));
      return kExitOk;
    }
  }
  host.console().EndProgress();
  if (StopSignal() != 0) return kExitFailure;
  if (first == last) {
    const std::string device = platform::ComPortDevicePath(static_cast<unsigned>(first));
    host.console().Error("no camera found on " + hosts::LineName(hosts::LineKind::kCom, first) +
                         ": " + hosts::DiagnoseDevice(device).text);
  } else {
    host.console().Error("no camera found on COM" + std::to_string(first) + "..COM" +
                         std::to_string(last));
  }
  return kExitFailure;
}

namespace {

void PrintGrabbers(Host& host) {
  unsigned count = 0;
  if (const int status = host.ClSerialGetNumManufacturers(&count); status != 0) {
    PrintLibraryFailure(host, "frame grabbers", status);
    return;
  }
  Print(hosts::FormatNumber("GrabberCount", static_cast<int>(count)));
  for (unsigned i = 0; i < count && i < 256; ++i) {
    std::array<char, VEXQ4_CL_NAME_SIZE + 1> name{};
    unsigned size = VEXQ4_CL_NAME_SIZE;
    unsigned version = 0;
    const int s = host.ClSerialGetManufacturer(i, name.data(), &size, &version);
    name.back() = '\0';
    if (s != 0) {
      PrintLibraryFailure(host, "frame grabber " + std::to_string(i), s);
      continue;
    }
    Print(hosts::FormatText("Grabber" + std::to_string(i), name.data()));
  }
}

}  // namespace

int RunGrabbers(Host& host) {
  PrintGrabbers(host);
  unsigned ports = 0;
  if (const int status = host.ClAllSerialGetNumPorts(&ports); status != 0) {
    PrintLibraryFailure(host, "clallserial", status);
    return kExitOk;  // the library is optional; no camera was asked anything
  }
  Print(hosts::FormatNumber("ClAllSerialPortCount", static_cast<int>(ports)));
  for (unsigned i = 0; i < ports && i < 256; ++i) {
    std::array<char, VEXQ4_CL_NAME_SIZE + 1> maker{}, id{};
    unsigned makerSize = VEXQ4_CL_NAME_SIZE, idSize = VEXQ4_CL_NAME_SIZE, version = 0;
    const int s =
        host.ClAllSerialGetPortInfo(i, maker.data(), &makerSize, id.data(), &idSize, &version);
    maker.back() = id.back() = '\0';
    if (s != 0) {
      PrintLibraryFailure(host, "clallserial port " + std::to_string(i), s);
      continue;
    }
    const std::string port = "ClAllSerialPort" + std::to_string(i);
    Print(hosts::FormatText(port + "Manufacturer", maker.data()));
    Print(hosts::FormatText(port + "ID", id.data()));
  }
  return kExitOk;
}

}  // namespace vexq4::cli
