// The command table: one row per command of vexq4, and the functions that
// give each its arguments and its plan.
#include "commands.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <memory>
#include <vector>

#include "camera_commands.h"
#include "camera_names.h"
#include "command_help.h"
#include "command_line_only.h"
#include "exit_status.h"
#include "gige_bridge.h"
#include "host.h"
#include "host_properties.h"
#include "settings_commands.h"

namespace vexq4::cli {
namespace {

using hosts::Property;

// ---- Settings by name.

const Property& Resolve(std::string_view name) {
  const Property* p = hosts::FindProperty(name);
  if (!p) {
    std::string msg = "unknown setting \"" + std::string(name) + "\"";
    if (const std::string near = hosts::SuggestProperty(name); !near.empty())
      msg += "; did you mean " + near + "?";
    msg += " ('vexq4 set --help' lists them)";
    throw CLI::ValidationError(msg);
  }
  return *p;
}

void DefineGet(CLI::App& cmd, Plan& plan, const std::string& vexq4) {
  auto names = std::make_shared<std::vector<std::string>>();
  cmd.add_option("NAME", *names, "setting names (see 'set --help')")->required();
  cmd.footer(Footer(vexq4, "  {vexq4}get {GA} {SH.text}\n") + "\n" + SettingsHelp());
  cmd.callback([&plan, names] {
    std::vector<const Property*> properties;
    for (const auto& n : *names) properties.push_back(&Resolve(n));
    plan.name = "get";
    plan.run = [properties](Host& h) { return RunGet(h, properties); };
  });
}

void DefineSet(CLI::App& cmd, Plan& plan, const std::string& vexq4) {
  auto pairs = std::make_shared<std::vector<std::string>>();
  cmd.add_option("NAME=VALUE", *pairs, "assignments")->required();
  cmd.footer(
      Footer(vexq4, "  {vexq4}set {GA}=100\n  {vexq4}set '{TR.text}=Edge Pre-select' {TP}=1\n") +
      "\n" + SettingsHelp());
  cmd.callback([&plan, pairs] {
    std::vector<Assignment> list;
    for (const auto& pair : *pairs) {
      const auto eq = pair.find('=');
      if (eq == std::string::npos)
        throw CLI::ValidationError("set: \"" + pair + "\" is not NAME=VALUE");
      const Property& p = Resolve(pair.substr(0, eq));
      hosts::Checked c = hosts::CheckValue(p, std::string_view(pair).substr(eq + 1));
      if (!c.ok) throw CLI::ValidationError(c.error + "; nothing was sent");
      list.push_back({&p, std::move(c)});
    }
    plan.name = "set";
    plan.run = [list](Host& h) { return RunSet(h, list); };
  });
}

// ---- Commands of one shape.

// Without arguments: `examples` for the footer, `run` the plan.
CommandDefinition Plain(std::string name, std::string examples, std::function<int(Host&)> run) {
  return [=](CLI::App& cmd, Plan& plan, const std::string& vexq4) {
    cmd.footer(Footer(vexq4, examples));
    cmd.callback([&plan, name, run] {
      plan.name = name;
      plan.run = run;
    });
  };
}

// A model operation under the progress bar.
CommandDefinition Operation(std::string name, std::string examples, std::string progress,
                            int (CVexCamInterface::*operation)()) {
  return Plain(name, std::move(examples),
               [=](Host& h) { return RunWithProgress(h, name, progress, operation); });
}

int ParseArea(const std::string& text, int min, int max, const std::string& what) {
  int area = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), area);
  if (ec != std::errc{} || end != text.data() + text.size() || area < min || area > max)
    throw CLI::ValidationError(what + ": area \"" + text + "\" is not one of " +
                               std::to_string(min) + ".." + std::to_string(max));
  return area;
}

// An area of the camera's settings: AREA from `min` to 3.
CommandDefinition Area(std::string name, std::string meaning, int min, int (*run)(Host&, int)) {
  return [=](CLI::App& cmd, Plan& plan, const std::string& vexq4) {
    auto area = std::make_shared<std::string>();
    cmd.add_option("AREA", *area, meaning)->required();
    cmd.footer(Footer(vexq4, "  {vexq4}" + name + " 1\n"));
    cmd.callback([&plan, area, name, min, run] {
      const int a = ParseArea(*area, min, 3, name);
      plan.name = name;
      plan.run = [a, run](Host& h) { return run(h, a); };
    });
  };
}

// A file to write or read; {camera} in FILE becomes each camera's name:
// a file per camera.
CommandDefinition File(std::string name, std::string examples, bool writes,
                       std::function<int(Host&, const std::string&)> run) {
  return [=](CLI::App& cmd, Plan& plan, const std::string& vexq4) {
    auto file = std::make_shared<std::string>();
    cmd.add_option("FILE", *file, "file name; {camera} in it stands for the camera")->required();
    cmd.footer((writes ? WritingSeveral() : ReadingSeveral()) + Footer(vexq4, examples));
    cmd.callback([&plan, file, name, writes, run] {
      plan.name = name;
      plan.file = *file;
      plan.writesFile = writes;
      plan.run = [f = *file, run](Host& h) { return run(h, WithCamera(f, h.cameraName())); };
    });
  };
}

// ---- Commands with a read-back (--verify, settings_commands.h).

// write-all, and with --verify the read-back of what it sent.
void DefineWriteAll(CLI::App& cmd, Plan& plan, const std::string& vexq4) {
  auto verify = std::make_shared<bool>(false);
  const auto run = [verify](Host& h) {
    const std::vector<model::Target> sent = model::WriteAllTargets(h);
    const int status =
        RunWithProgress(h, "write-all", "WriteAllToCamera", &CVexCamInterface::WriteAllToCamera);
    return status == kExitOk && *verify ? VerifyWriteAll(h, sent) : status;
  };
  Plain("write-all",
        "  printf 'read-all\\nset {GA}=50\\nwrite-all\\n' | vexq4 --com 1 shell\n\n"
        "On its own run the program holds its initial values, not the camera's:\n"
        "use write-all in a shell after read-all, set or load-settings.\n"
        "--verify reads back what was written and prints each setting the camera\n"
        "does not hold as NAME: camera=VALUE sent=VALUE (exit status 1).\n",
        run)(cmd, plan, vexq4);
  cmd.add_flag("--verify", *verify, "read back what was written; exit 1 on a difference");
}

// load-settings, and with --verify the read-back of everything the file holds.
void DefineLoadSettings(CLI::App& cmd, Plan& plan, const std::string& vexq4) {
  auto verify = std::make_shared<bool>(false);
  const auto run = [verify](Host& h, const std::string& f) {
    const int status = RunLoadSettings(h, f);
    return status == kExitOk && *verify ? VerifyLoad(h, f) : status;
  };
  File("load-settings",
       "  {vexq4}load-settings line3.cam\n  {vexq4}load-settings --verify line3.cam\n\n"
       "--verify reads back everything the file holds and prints each setting the\n"
       "camera does not hold as NAME: camera=VALUE file=VALUE (exit status 1); it\n"
       "shows what a load does not write (the auto white area, the presets of a\n"
       "colour temperature mode). 'vexq4 apply' sends only what differs, all of it.\n",
       false, run)(cmd, plan, vexq4);
  cmd.add_flag("--verify", *verify, "read back what the file holds; exit 1 on a difference");
}

// ---- The table.

std::vector<Command> Table() {
  std::string identity = "print";
  for (const Property* p : hosts::IdentityProperties())
    identity += (identity == "print" ? " " : ", ") + std::string(p->name);
  return {
      {"get", "query settings from the camera and print NAME=value", true, DefineGet},
      {"set", "set settings in the order given; every value is checked before any is sent", true,
       DefineSet},
      {"list", "read all settings from the camera and print them", true,
       Plain("list", "  {vexq4}list\n  {vexq4}list | grep Gain\n", RunList)},
      {"read-all", "read every setting from the camera into the program", true,
       Operation("read-all", "  {vexq4}read-all\n", "ReadAllFromCamera",
                 &CVexCamInterface::ReadAllFromCamera)},
      {"write-all", "write every setting the program holds to the camera (takes > 20 s)", true,
       DefineWriteAll},
      {"identity", identity, true, Plain("identity", "  {vexq4}identity\n", RunIdentity)},
      {"auto-shading", "start the camera's automatic shading correction (up to 10 s)", true,
       Operation("auto-shading", "  {vexq4}auto-shading\n", "StartAutoShadingCorrection",
                 &CVexCamInterface::StartAutoShadingCorrection)},
      {"one-push", "one-push white balance: start it, then print its result", true,
       Plain("one-push", "  {vexq4}one-push\n", RunOnePush)},
      {"store", "store the camera's working settings into a user area", true,
       Area("store", "user area 1..3", 1, RunStore)},
      {"load", "load an area into the camera's working settings, then read all", true,
       Area("load", "0 factory settings, 1..3 user area", 0, RunLoad)},
      {"save-settings", "read all settings from the camera and write a settings file (.cam)", true,
       File("save-settings", "  {vexq4}save-settings line3.cam\n", true, RunSaveSettings)},
      {"load-settings", "apply a settings file (.cam) to the camera (write-all, > 20 s)", true,
       DefineLoadSettings},
      {"diff", kDiffHelp, true, DefineDiff},
      {"apply", kApplyHelp, true, DefineApply},
      {"report", "write the camera data report: identity and every area's settings", true,
       File("report",
            "  {vexq4}report camera.txt\n\n"
            "The report loads every stored area into the camera, then writes the\n"
            "program's settings back; on a fresh connection it first reads them all\n"
            "from the camera, so the camera ends with its own working settings.\n",
            true, RunReport)},
      {"shading-save", "read the camera's shading table into a CSV file", true,
       File("shading-save", "  {vexq4}shading-save shading.csv\n", true, RunShadingSave)},
      {"shading-load", "send a shading table CSV file to the camera", true,
       File("shading-load",
            "  {vexq4}shading-load shading.csv\n\n"
            "Values must lie in 0..65535. Entries the file leaves out keep the\n"
            "camera's values (its table is read first on a fresh connection).\n",
            false, RunShadingLoad)},
      {"search",
       "find the camera on COM ports FIRST..LAST (default " + hosts::kSearchedComPorts.Text() +
           "); print its port",
       false, DefineSearch},
      {"grabbers", "list the Camera Link frame grabbers and clallserial ports", false,
       DefineGrabbers},
      {"ports", "list the machine's serial ports: stable names, driver, USB identity, access",
       false, DefinePorts},
      {"shell", "run commands read one per line from standard input on one connection", false,
       DefineShell},
      {"gige-bridge", kGigeBridgeHelp, true, DefineGigeBridge},
  };
}

}  // namespace

std::span<const Command> Commands() {
  static const std::vector<Command> commands = Table();
  return commands;
}

void AddCommands(CLI::App& app, Plan& plan, bool inShell) {
  const std::string vexq4 = inShell ? "" : "vexq4 --sim ";
  for (const Command& c : Commands()) {
    if (inShell && !c.inShell) continue;
    c.define(*app.add_subcommand(c.name, c.help), plan, vexq4);
  }
}

}  // namespace vexq4::cli
