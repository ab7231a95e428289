#include "commands.h"

#include <CLI/CLI.hpp>
#include <array>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

#include "camera_names.h"
#include "cameras.h"
#include "device_check.h"
#include "gige_bridge.h"
#include "host.h"
#include "input_file.h"
#include "line_reader.h"
#include "output.h"
#include "ports_command.h"
#include "properties.h"
#include "settings_commands.h"
#include "signals.h"
#include "status.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::cli {
namespace {

using model::SettingRow;
using model::Status;

// ---- Binding of the properties to the model.

// The model row behind a property; the ...Str names share the row of their
// index.
const SettingRow* RowFor(const Property& p) {
  if (p.kind != Kind::kNumber && p.kind != Kind::kListText) return nullptr;
  return model::FindSetting(p.name);
}

// Asks the camera for the property's value; the model caches it.
int Query(Host& host, const Property& p) {
  if (const SettingRow* row = RowFor(p)) return host.GetSetting(*row);
  if (p.name == "UserID") return host.GetUserID();
  std::array<char, 10> text{};  // the camera ID and model name fit in 10 bytes
  if (p.name == "CameraID") return host.GetCameraID(text.data());
  if (p.name == "ModelName") return host.GetModelName(text.data());
  if (p.name == "FirmwareVersion") return host.GetFirmwareVersion();
  if (p.name == "EEPROMCurrentAreaNo") return host.GetEEPROMCurrentAreaNo();
  return 0;  // the connection's port and frame grabber: the model's own state
}

// NAME=value from the model's cache.
std::string Format(Host& host, const Property& p) {
  if (const SettingRow* row = RowFor(p)) {
    if (p.kind == Kind::kListText) return FormatText(p.name, host.Text(*row));
    return FormatNumber(p.name, host.Value(*row));
  }
  if (p.value)
    return p.value->hasText() ? FormatText(p.name, host.Text(*p.value))
                              : FormatNumber(p.name, host.Value(*p.value));
  if (p.name == "CameraID") return FormatText(p.name, host.CameraID());
  if (p.name == "ModelName") return FormatText(p.name, host.ModelName());
  if (p.name == "FirmwareVersion") return FormatNumber(p.name, host.FirmwareVersion());
  if (p.name == "EEPROMCurrentAreaNo") return FormatNumber(p.name, host.EEPROMCurrentAreaNo());
  return std::string(p.name) + "=";
}

int Apply(Host& host, const Property& p, const Checked& value) {
  if (p.kind == Kind::kText) return host.SetUserID(value.text);
  const SettingRow* row = RowFor(p);
  return row ? host.SetSetting(*row, value.number) : -1;
}

void Print(const std::string& line) { PrintLine(line); }

// Reports a failed operation and gives its exit status. A command stopped
// by a signal failed because it was stopped; that is said once, elsewhere.
int Fail(Host& host, std::string_view what, Status status, std::string_view file = {}) {
  if (StopSignal() != 0 || CommandInterrupted()) return kExitFailure;
  std::string text = std::string(what) + ": " + DescribeStatus(status, file);
  const bool aboutTheFile =
      status == Status::kFileNotWritable || status == Status::kFileNotReadable ||
      status == Status::kInvalidSettingsFile || status == Status::kNotAShadingTable;
  if (!host.IsOnline() && !aboutTheFile) {
    // A line on a serial device server says when its connection was lost.
    const platform::LineProblem line = platform::LastLineProblem(Host::PortDevice(host.ComPort()));
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

const Property& Resolve(std::string_view name) {
  const Property* p = FindProperty(name);
  if (!p) {
    std::string msg = "unknown setting \"" + std::string(name) + "\"";
    std::string near = SuggestProperty(name);
    // The camera's own mnemonics ("GA") point to the property of that setting.
    if (const SettingRow* row = model::FindSetting(name)) near = std::string(row->property);
    if (!near.empty()) msg += "; did you mean " + near + "?";
    msg += " ('vexq4 set --help' lists them)";
    throw CLI::ValidationError(msg);
  }
  return *p;
}

// ---- The commands.

int RunGet(Host& host, const std::vector<const Property*>& props) {
  int exit = kExitOk;
  for (const Property* p : props) {
    int status = Query(host, *p);
    if (status != 0) {
      exit = Fail(host, "get " + std::string(p->name), status);
      if (!host.IsOnline()) break;  // the camera is gone: the rest would fail alike
      continue;
    }
    Print(Format(host, *p));
  }
  return exit;
}

struct Assignment {
  const Property* property;
  Checked value;
};

int RunSet(Host& host, const std::vector<Assignment>& assignments) {
  for (const Assignment& a : assignments) {
    int status = Apply(host, *a.property, a.value);
    if (status != 0) {
      std::string what = "set " + std::string(a.property->name);
      return Fail(host, what, status);
    }
  }
  return kExitOk;
}

bool InList(const Property& p) {
  // The firmware version is not part of a read-all; 'identity' reads it.
  return p.name != "FirmwareVersion";
}

int RunList(Host& host) {
  int status = host.WithProgress("ReadAllFromCamera", [&] { return host.ReadAllFromCamera(); });
  if (status != 0) return Fail(host, "list: reading all settings", status);
  for (const Property& p : Properties())
    if (InList(p)) Print(Format(host, p));
  return kExitOk;
}

int RunIdentity(Host& host) {
  int exit = kExitOk;
  for (std::string_view name :
       {"CameraID", "ModelName", "UserID", "FirmwareVersion", "EEPROMCurrentAreaNo"}) {
    const Property& p = *FindProperty(name);
    int status = Query(host, p);
    if (status != 0) {
      exit = Fail(host, "identity: " + std::string(name), status);
      if (!host.IsOnline()) break;  // the camera is gone: the rest would fail alike
    } else {
      Print(Format(host, p));
    }
  }
  return exit;
}

int RunOperation(Host& host, std::string_view what, Status status, std::string_view file = {}) {
  return status == Status::kOk ? kExitOk : Fail(host, what, status, file);
}

int RunOperation(Host& host, std::string_view what, int status) {
  return RunOperation(host, what, model::LibraryStatus(status));
}

// Refuses a file a command would read (exit 1) unless it is a regular file
// of reasonable size; a missing one is left to the caller. The camera has
// not been touched yet.
bool Readable(Host& host, std::string_view command, const std::string& file,
              const InputFileCheck& check,
              std::string_view untouched = "nothing was sent to the camera") {
  if (check.ok || check.missing) return true;
  host.console().Error(std::string(command) + " " + file + ": " + check.problem + "; " +
                       std::string(untouched));
  return false;
}

int RunSaveSettings(Host& host, const std::string& file) {
  // A settings file that is there is read first (its other lines stay).
  if (!Readable(host, "save-settings", file, CheckInputFile(file), "the camera was not read"))
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
  const InputFileCheck check = CheckInputFile(file);
  if (check.missing)
    return Fail(host, "load-settings " + file + " (" + check.problem + ")",
                Status::kFileNotReadable);
  if (!Readable(host, "load-settings", file, check)) return kExitFailure;
  {
    CVexCamInterface offline;
    const Status check = offline.LoadSettingsFile(file);
    if (check != Status::kOk) {
      host.console().Error("load-settings: " + DescribeStatus(check, file) +
                           "; nothing was sent to the camera");
      return kExitFailure;
    }
  }
  const Status status =
      host.WithProgress("ReadAllFromFile", [&] { return host.LoadSettingsFile(file); });
  return RunOperation(host, "load-settings " + file, status, file);
}

int RunOnePush(Host& host) {
  int status = host.SetOnePushMode();
  if (status != 0) return Fail(host, "one-push", status);
  status = host.GetOnePushResult();
  if (status != 0) return Fail(host, "one-push: reading the result", status);
  int result = host.OnePushResult();
  std::string text = (result >= 0 && result < static_cast<int>(model::kOnePushResultList.size()))
                         ? std::string(model::kOnePushResultList[static_cast<std::size_t>(result)])
                         : std::to_string(result);
  Print(FormatText("OnePushResult", text));
  Print(FormatNumber("RedGainLevel", host.Value(*model::FindSetting("RedGainLevel"))));
  Print(FormatNumber("BlueGainLevel", host.Value(*model::FindSetting("BlueGainLevel"))));
  if (result != 0) {
    host.console().Error("one-push white balance did not complete: " + text);
    return kExitFailure;
  }
  return kExitOk;
}

int RunSearch(Host& host, int first, int last) {
  const int total = last - first + 1;
  for (int port = first; port <= last && StopSignal() == 0; ++port) {
    host.console().Progress(port - first, total,
                            "looking for the camera on COM" + std::to_string(port));
    if (host.SetComPort(port) == 0) {
      host.console().EndProgress();
      Print(FormatNumber("ComPort", port));
      return kExitOk;
    }
  }
  host.console().EndProgress();
  if (StopSignal() != 0) return kExitFailure;
  if (first == last)
    host.console().Error("no camera found on COM" + std::to_string(first) + " (" +
                         Host::PortDevice(first) +
                         "): " + DiagnoseDevice(Host::PortDevice(first)).text);
  else
    host.console().Error("no camera found on COM" + std::to_string(first) + "..COM" +
                         std::to_string(last));
  return kExitFailure;
}

int RunGrabbers(Host& host) {
  unsigned count = 0;
  int status = host.ClSerialGetNumManufacturers(&count);
  if (status != 0) {
    host.console().Error("frame grabbers: status " + std::to_string(status) + ": " +
                         StatusText(model::LibraryStatus(status)));
  } else {
    Print(FormatNumber("GrabberCount", static_cast<int>(count)));
    for (unsigned i = 0; i < count && i < 256; ++i) {
      std::array<char, 256> name{};
      unsigned size = static_cast<unsigned>(name.size() - 1);
      unsigned version = 0;
      int s = host.ClSerialGetManufacturer(i, name.data(), &size, &version);
      name.back() = '\0';
      if (s != 0) {
        host.console().Error("frame grabber " + std::to_string(i) + ": status " +
                             std::to_string(s) + ": " + StatusText(model::LibraryStatus(s)));
        continue;
      }
      Print(FormatText("Grabber" + std::to_string(i), name.data()));
    }
  }
  unsigned ports = 0;
  status = host.ClAllSerialGetNumPorts(&ports);
  if (status != 0) {
    host.console().Error("clallserial: status " + std::to_string(status) + ": " +
                         StatusText(model::LibraryStatus(status)));
    return kExitOk;  // the library is optional; no camera was asked anything
  }
  Print(FormatNumber("ClAllSerialPortCount", static_cast<int>(ports)));
  for (unsigned i = 0; i < ports && i < 256; ++i) {
    std::array<char, 256> maker{}, id{};
    unsigned makerSize = 255, idSize = 255, version = 0;
    int s = host.ClAllSerialGetPortInfo(i, maker.data(), &makerSize, id.data(), &idSize, &version);
    maker.back() = id.back() = '\0';
    if (s != 0) {
      host.console().Error("clallserial port " + std::to_string(i) + ": status " +
                           std::to_string(s) + ": " + StatusText(model::LibraryStatus(s)));
      continue;
    }
    Print(FormatText("ClAllSerialPort" + std::to_string(i) + "Manufacturer", maker.data()));
    Print(FormatText("ClAllSerialPort" + std::to_string(i) + "ID", id.data()));
  }
  return kExitOk;
}

// "vexq4> ", or "vexq4 (off-line)> " while the camera is (several: how many
// of them are).
std::string ShellPrompt(const Cameras& cameras) {
  const int off = cameras.OffLine();
  if (off == 0) return "vexq4> ";
  if (cameras.size() == 1) return "vexq4 (off-line)> ";
  return "vexq4 (" + std::to_string(off) + " of " + std::to_string(cameras.size()) + " off-line)> ";
}

// ---- Parsing.

std::string SettingsHelp() {
  std::string out = "SETTINGS (name, valid values, meaning)\n";
  for (const Property& p : Properties()) {
    if (p.kind == Kind::kReadOnly || p.kind == Kind::kReadOnlyText) continue;
    std::string line = "  " + std::string(p.name);
    line.resize(std::max<std::size_t>(line.size() + 1, 29), ' ');
    out += line + DescribeValues(p) + "\n";
    out += std::string(29, ' ') + std::string(p.help) + "\n";
  }
  // The read-only names, wrapped as the lines above.
  const auto readOnly = [](const Property& p) {
    return p.kind == Kind::kReadOnly || p.kind == Kind::kReadOnlyText;
  };
  const auto last = std::find_if(Properties().rbegin(), Properties().rend(), readOnly);
  std::string line = "  Read-only (get, list):";
  for (const Property& p : Properties()) {
    if (!readOnly(p)) continue;
    const std::string word = std::string(p.name) + (&p == &*last ? "." : ",");
    if (line.size() + 1 + word.size() > 79) {
      out += line + "\n";
      line = " ";
    }
    line += " " + word;
  }
  out += line + "\n";
  out += "  Names are matched without regard to letter case; list texts are not.\n";
  return out;
}

constexpr const char* kExit =
    "\nEXIT STATUS\n  0 success, 1 camera, port or file failure, 2 usage error or refused value,\n"
    "  130/143/129 stopped by SIGINT/SIGTERM/SIGHUP\n";

std::string Footer(const std::string& examples) { return "\nEXAMPLES\n" + examples + kExit; }

// FILE on several cameras; the names are those of camera_names.h.
constexpr const char* kWriteSeveral =
    "\nSEVERAL CAMERAS\n"
    "  {camera} in FILE becomes the camera's name, so that each camera writes a\n"
    "  file of its own; with several cameras FILE must hold it. The name is COM<n>\n"
    "  for --com n, sim, grabber<N> or clallserial<N> for those options, else the\n"
    "  device without /dev/ and with every run of characters other than letters,\n"
    "  digits, '.', '-', '_' and '+' made one '_': /dev/ttyUSB0 gives ttyUSB0,\n"
    "  rfc2217://line3:4001 rfc2217_line3_4001.\n"
    "    vexq4 --com 1-8 save-settings 'line3-{camera}.cam'    line3-COM1.cam, ...\n";
constexpr const char* kReadSeveral =
    "\nSEVERAL CAMERAS\n"
    "  Every camera named reads FILE. {camera} in it becomes each camera's name,\n"
    "  as for save-settings ('vexq4 save-settings --help'): a file per camera.\n"
    "    vexq4 --com 1-8 load-settings 'line3-{camera}.cam'\n";

int ParseArea(const std::string& text, int min, int max, const char* what) {
  int area = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), area);
  if (ec != std::errc{} || end != text.data() + text.size() || area < min || area > max)
    throw CLI::ValidationError(std::string(what) + ": area \"" + text + "\" is not one of " +
                               std::to_string(min) + ".." + std::to_string(max));
  return area;
}

}  // namespace

void AddCommands(CLI::App& app, Plan& plan, bool inShell) {
  const std::string prog = inShell ? "" : "vexq4 --sim ";

  {
    auto names = std::make_shared<std::vector<std::string>>();
    auto* cmd = app.add_subcommand("get", "query settings from the camera and print NAME=value");
    cmd->add_option("NAME", *names, "setting names (see 'set --help')")->required();
    cmd->footer(Footer("  " + prog + "get MasterGainLevel ShutterSpeedStr\n") + "\n" +
                SettingsHelp());
    cmd->callback([&plan, names] {
      std::vector<const Property*> props;
      for (const auto& n : *names) props.push_back(&Resolve(n));
      plan.name = "get";
      plan.run = [props](Host& h) { return RunGet(h, props); };
    });
  }
  {
    auto pairs = std::make_shared<std::vector<std::string>>();
    auto* cmd = app.add_subcommand(
        "set", "set settings in the order given; every value is checked before any is sent");
    cmd->add_option("NAME=VALUE", *pairs, "assignments")->required();
    cmd->footer(Footer("  " + prog + "set MasterGainLevel=100\n  " + prog +
                       "set 'TriggerTypeStr=Edge Pre-select' TriggerPolarity=1\n") +
                "\n" + SettingsHelp());
    cmd->callback([&plan, pairs] {
      std::vector<Assignment> list;
      for (const auto& pair : *pairs) {
        auto eq = pair.find('=');
        if (eq == std::string::npos)
          throw CLI::ValidationError("set: \"" + pair + "\" is not NAME=VALUE");
        const Property& p = Resolve(pair.substr(0, eq));
        Checked c = CheckValue(p, std::string_view(pair).substr(eq + 1));
        if (!c.ok) throw CLI::ValidationError(c.error + "; nothing was sent");
        list.push_back({&p, std::move(c)});
      }
      plan.name = "set";
      plan.run = [list](Host& h) { return RunSet(h, list); };
    });
  }
  {
    auto* cmd = app.add_subcommand("list", "read all settings from the camera and print them");
    cmd->footer(Footer("  " + prog + "list\n  " + prog + "list | grep Gain\n"));
    cmd->callback([&plan] {
      plan.name = "list";
      plan.run = RunList;
    });
  }
  auto simple = [&](const char* name, const char* help, const std::string& example,
                    std::function<int(Host&)> run) {
    auto* cmd = app.add_subcommand(name, help);
    cmd->footer(Footer(example));
    cmd->callback([&plan, name, run] {
      plan.name = name;
      plan.run = run;
    });
    return cmd;
  };
  simple("read-all", "read every setting from the camera into the program",
         "  " + prog + "read-all\n", [](Host& h) {
           return RunOperation(h, "read-all", h.WithProgress("ReadAllFromCamera", [&] {
             return h.ReadAllFromCamera();
           }));
         });
  auto verifyWrite = std::make_shared<bool>(false);
  simple("write-all", "write every setting the program holds to the camera (takes > 20 s)",
         "  printf 'read-all\\nset MasterGainLevel=50\\nwrite-all\\n' | vexq4 --com 1 shell\n\n"
         "On its own run the program holds its initial values, not the camera's:\n"
         "use write-all in a shell after read-all, set or load-settings.\n"
         "--verify reads back what was written and prints each setting the camera\n"
         "does not hold as NAME: camera=VALUE sent=VALUE (exit status 1).\n",
         [verifyWrite](Host& h) {
           const std::vector<model::Target> sent = model::WriteAllTargets(h);
           const int status = RunOperation(h, "write-all", h.WithProgress("WriteAllToCamera", [&] {
             return h.WriteAllToCamera();
           }));
           return status == kExitOk && *verifyWrite ? VerifyWriteAll(h, sent) : status;
         })
      ->add_flag("--verify", *verifyWrite, "read back what was written; exit 1 on a difference");
  simple("identity", "print CameraID, ModelName, UserID, FirmwareVersion, EEPROMCurrentAreaNo",
         "  " + prog + "identity\n", RunIdentity);
  simple("auto-shading", "start the camera's automatic shading correction (up to 10 s)",
         "  " + prog + "auto-shading\n", [](Host& h) {
           return RunOperation(h, "auto-shading", h.WithProgress("StartAutoShadingCorrection", [&] {
             return h.StartAutoShadingCorrection();
           }));
         });
  simple("one-push", "one-push white balance: start it, then print its result",
         "  " + prog + "one-push\n", RunOnePush);

  auto areaCommand = [&](const char* name, const char* help, int min, int max, bool store) {
    auto area = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand(name, help);
    cmd->add_option("AREA", *area, store ? "user area 1..3" : "0 factory settings, 1..3 user area")
        ->required();
    cmd->footer(Footer("  " + prog + name + " 1\n"));
    cmd->callback([&plan, area, name, min, max, store] {
      int a = ParseArea(*area, min, max, name);
      plan.name = name;
      if (store)
        plan.run = [a](Host& h) {
          return RunOperation(h, "store " + std::to_string(a), h.StoreSettings(a));
        };
      else
        plan.run = [a](Host& h) {
          return RunOperation(h, "load " + std::to_string(a),
                              h.WithProgress("LoadSettings", [&] { return h.LoadSettings(a); }));
        };
    });
  };
  areaCommand("store", "store the camera's working settings into a user area", 1, 3, true);
  areaCommand("load", "load an area into the camera's working settings, then read all", 0, 3,
              false);

  // {camera} in FILE becomes each camera's name: a file per camera.
  auto fileCommand = [&](const char* name, const char* help, const std::string& example,
                         bool writes, std::function<int(Host&, const std::string&)> run) {
    auto file = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand(name, help);
    cmd->add_option("FILE", *file, "file name; {camera} in it stands for the camera")->required();
    cmd->footer(std::string(writes ? kWriteSeveral : kReadSeveral) + Footer(example));
    cmd->callback([&plan, file, name, writes, run] {
      plan.name = name;
      plan.file = *file;
      plan.writesFile = writes;
      plan.run = [f = *file, run](Host& h) { return run(h, WithCamera(f, h.cameraName())); };
    });
    return cmd;
  };
  fileCommand("save-settings", "read all settings from the camera and write a settings file (.cam)",
              "  " + prog + "save-settings line3.cam\n", true, RunSaveSettings);
  auto verifyLoad = std::make_shared<bool>(false);
  fileCommand("load-settings", "apply a settings file (.cam) to the camera (write-all, > 20 s)",
              "  " + prog + "load-settings line3.cam\n  " + prog +
                  "load-settings --verify line3.cam\n\n"
                  "--verify reads back everything the file holds and prints each setting the\n"
                  "camera does not hold as NAME: camera=VALUE file=VALUE (exit status 1); it\n"
                  "shows what a load does not write (the auto white area, the presets of a\n"
                  "colour temperature mode). 'vexq4 apply' sends only what differs, all of it.\n",
              false,
              [verifyLoad](Host& h, const std::string& f) {
                const int status = RunLoadSettings(h, f);
                return status == kExitOk && *verifyLoad ? VerifyLoad(h, f) : status;
              })
      ->add_flag("--verify", *verifyLoad, "read back what the file holds; exit 1 on a difference");
  AddSettingsFileCommands(app, plan, inShell);
  fileCommand(
      "report", "write the camera data report: identity and every area's settings",
      "  " + prog +
          "report camera.txt\n\n"
          "The report loads every stored area into the camera, then writes the\n"
          "program's settings back; on a fresh connection it first reads them all\n"
          "from the camera, so the camera ends with its own working settings.\n",
      true, [](Host& h, const std::string& f) {
        return RunOperation(
            h, "report " + f,
            h.WithProgress("WriteCameraDataToFile", [&] { return h.SaveCameraDataReport(f); }), f);
      });
  fileCommand("shading-save", "read the camera's shading table into a CSV file",
              "  " + prog + "shading-save shading.csv\n", true, [](Host& h, const std::string& f) {
                return RunOperation(
                    h, "shading-save " + f,
                    h.WithProgress("SaveShadingDataIntoFile", [&] { return h.SaveShadingFile(f); }),
                    f);
              });
  fileCommand("shading-load", "send a shading table CSV file to the camera",
              "  " + prog +
                  "shading-load shading.csv\n\n"
                  "Values must lie in 0..65535. Entries the file leaves out keep the\n"
                  "camera's values (its table is read first on a fresh connection).\n",
              false, [](Host& h, const std::string& f) {
                if (!Readable(h, "shading-load", f, CheckInputFile(f))) return kExitFailure;
                const Status status =
                    h.WithProgress("LoadShadingDataFromFile", [&] { return h.LoadShadingFile(f); });
                // A file refused as no table says where and why, so that it
                // can be mended.
                const bool notATable = status == Status::kNotAShadingTable;
                return RunOperation(
                    h,
                    "shading-load " + f +
                        (notATable ? " (not a shading table: " + h.ShadingFileProblem() +
                                         "; nothing was sent)"
                                   : ""),
                    status, f);
              });

  if (inShell) return;

  {
    auto ports = std::make_shared<std::vector<int>>();
    auto* cmd = app.add_subcommand(
        "search", "find the camera on COM ports FIRST..LAST (default 1..16); print its port");
    cmd->add_option("FIRST LAST", *ports, "port range")->expected(0, 2);
    cmd->footer(
        "\nThe ports are tried in increasing order (COM n: $VEXQ4_COM<n>, else\n"
        "/dev/ttyS<n-1>); the first that answers is printed as ComPort=N. No other\n"
        "connection option is needed: asking for the search names these ports.\n"
        "With --sim or --device PATH only that line is tried, as COM port FIRST for\n"
        "this run: the search then tells whether a camera answers there.\n" +
        Footer("  vexq4 search\n  vexq4 search 3 4\n  vexq4 --sim search\n"));
    cmd->callback([&plan, ports] {
      int first = ports->size() > 0 ? (*ports)[0] : 1;
      int last = ports->size() > 1 ? (*ports)[1] : (ports->size() == 1 ? first : 16);
      if (first < 1 || last > 16 || last < first)
        throw CLI::ValidationError("search: Only COM 1..16 is valid");
      plan.name = "search";
      plan.needsCamera = false;
      plan.isSearch = true;
      plan.searchFirst = first;
      plan.searchLast = last;
      plan.run = [&plan](Host& h) { return RunSearch(h, plan.searchFirst, plan.searchLast); };
    });
  }
  {
    auto* cmd =
        app.add_subcommand("grabbers", "list the Camera Link frame grabbers and clallserial ports");
    cmd->footer(Footer("  vexq4 grabbers\n  vexq4 --grabber 1 identity\n"));
    cmd->callback([&plan] {
      plan.name = "grabbers";
      plan.needsCamera = false;
      plan.run = RunGrabbers;
    });
  }
  {
    auto options = std::make_shared<PortsOptions>();
    auto format = std::make_shared<std::string>("text");
    auto* cmd = app.add_subcommand(
        "ports", "list the machine's serial ports: stable names, driver, USB identity, access");
    cmd->add_flag("--probe", options->probe,
                  "ask each port this user may open and nobody holds for the camera; adds its "
                  "CameraID and ModelName");
    cmd->add_option("--format", *format, "text (one line a port, the default) or json")
        ->check(CLI::IsMember({"text", "json"}));
    cmd->footer(
        "\nOne line a port: the device, its names under /dev/serial/by-id and by-path,\n"
        "driver, usb=VENDOR:PRODUCT, serial number, manufacturer and product where the\n"
        "kernel knows them, access=yes|no (with why and a hint: the dialout group),\n"
        "held-by=PID:NAME when another process has it open, console=yes for the\n"
        "kernel's console (never probed). Hints about ModemManager and brltty go to\n"
        "standard error. Nothing is opened without --probe. Names and values that are\n"
        "not a plain word are quoted, control characters in them printed as '?'. JSON\n"
        "is UTF-8: each byte of the kernel's strings that is not well-formed UTF-8\n"
        "becomes \\ufffd (U+FFFD).\n"
        "VEXQ4_SYSFS_ROOT=DIR reads sys/, dev/, proc/ and etc/ below DIR instead of /\n"
        "(for tests).\n" +
        Footer("  vexq4 ports\n  vexq4 ports --probe\n  vexq4 ports --format json\n"));
    cmd->callback([&plan, options, format] {
      options->json = *format == "json";
      plan.name = "ports";
      plan.needsCamera = false;
      plan.isPorts = true;
      plan.run = [options](Host& h) { return RunPorts(h, *options, SystemRoot()); };
    });
  }
  {
    auto* cmd = app.add_subcommand(
        "shell", "run commands read one per line from standard input on one connection");
    cmd->footer(
        "\nEach line is a command as above without 'vexq4' and the connection options,\n"
        "e.g. 'set MasterGainLevel=100'. Quotes work as in a shell; '#' starts a\n"
        "comment. A failing line is reported and the next one runs. 'quit' or the\n"
        "end of input (Ctrl-D) ends. On a terminal there is a prompt, lines can be\n"
        "edited (arrow keys, Ctrl-R) with a history, and Ctrl-C abandons the command\n"
        "under way and returns to the prompt.\n" +
        Footer("  printf 'set MasterGainLevel=50\\nget MasterGainLevel\\n' | vexq4 --sim shell\n"));
    cmd->callback([&plan] {
      plan.name = "shell";
      plan.isShell = true;
      plan.run = [](Host& h) { return RunShell(h, stdin); };
    });
  }
  AddGigeBridgeCommand(app, plan);
}

int RunShell(Host& host, std::FILE* in) {
  Cameras one(host);
  return RunShell(one, in);
}

int RunShell(Cameras& cameras, std::FILE* in) {
  Console& console = cameras.console();
  const std::unique_ptr<LineReader> reader = LineReader::For(in);
  const bool interactive = reader->edits();
  // On a terminal Ctrl-C abandons the command (or the line being typed)
  // and the shell goes on; elsewhere it ends the program.
  SetInterruptAbandonsCommand(interactive);
  bool reconnect = false;  // the connection went with an abandoned command
  int last = kExitOk;
  std::string line;
  for (;;) {
    if (StopSignal() != 0) break;
    const std::string prompt = ShellPrompt(cameras);
    const LineReader::Result read = reader->Read(prompt, line);
    if (read == LineReader::Result::kInterrupted) {
      if (StopSignal() != 0) break;
      PrintText("\n");
      ClearCommandInterrupt();
      continue;
    }
    if (read == LineReader::Result::kEnd) break;

    auto words = SplitWords(line);
    if (!words) {
      console.Error("unterminated quote: " + line);
      last = kExitUsage;
      continue;
    }
    if (words->empty()) continue;
    if ((*words)[0] == "quit" || (*words)[0] == "exit") break;
    const bool help = (*words)[0] == "help";

    CLI::App app{"command line of the shell", "vexq4"};
    app.require_subcommand(1, 1);
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
      return "vexq4: " + std::string(e.what()) + "\n";
    });
    Plan plan;
    AddCommands(app, plan, /*inShell=*/true);
    std::string known;
    bool found = false;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
      known += (known.empty() ? "" : ", ") + sub->get_name();
      found = found || sub->get_name() == (*words)[0];
    }
    if (help) {
      std::string text = "commands: " + known + ", quit; 'COMMAND --help' explains one\n";
      PrintText(text);
      continue;
    }
    if (!found) {
      console.Error("unknown command \"" + (*words)[0] + "\"; the shell knows " + known +
                    " and quit");
      last = kExitUsage;
      continue;
    }
    std::vector<std::string> args(words->rbegin(), words->rend());  // CLI11 takes them reversed
    try {
      app.parse(args);
    } catch (const CLI::ParseError& e) {
      std::ostringstream out, err;
      int code = app.exit(e, out, err);
      if (!out.str().empty()) PrintText(out.str());
      std::string message = err.str();
      while (!message.empty() && message.back() == '\n') message.pop_back();
      if (!message.empty()) console.Line(message);
      if (code != 0) last = kExitUsage;
      continue;
    }
    if (cameras.size() > 1 && plan.writesFile) {
      const std::string why = FileForEachCamera(plan.name, plan.file, cameras.fileNames());
      if (!why.empty()) {
        console.Error(why);
        last = kExitUsage;
        continue;
      }
    }
    // The camera did not answer after an abandoned command (still busy
    // with it, say): try again now that the user wants it.
    if (reconnect && cameras.OffLine() > 0 && plan.needsCamera)
      reconnect = cameras.ReconnectOffLine();
    int status = plan.run ? cameras.Run(plan.run) : kExitUsage;
    if (CommandInterrupted()) {
      // The exchange under way was abandoned and the camera taken for gone:
      // open the line again for the next command.
      ClearCommandInterrupt();
      status = 128 + SIGINT;
      console.Error("interrupted");
      reconnect = cameras.OffLine() > 0 && cameras.ReconnectOffLine();
      if (reconnect) console.Error("the camera does not answer yet; the next command tries again");
    }
    if (status != kExitOk) last = status;
  }
  SetInterruptAbandonsCommand(false);
  if (interactive) PrintText("\n");
  return last;
}

}  // namespace vexq4::cli
