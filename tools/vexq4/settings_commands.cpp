#include "settings_commands.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>

#include "camera_names.h"
#include "commands.h"
#include "exit_status.h"
#include "host.h"
#include "host_properties.h"
#include "host_status.h"
#include "input_file.h"
#include "output.h"
#include "signals.h"

namespace vexq4::cli {
namespace {

using hosts::CheckInputFile;
using hosts::DescribeStatus;
using hosts::InputFileCheck;
using hosts::Quote;
using hosts::StatusText;
using model::Difference;
using model::SettingRow;
using model::Status;

// Exit statuses of diff and apply, as diff(1) has them.
constexpr int kSame = 0;
constexpr int kDifferent = 1;
constexpr int kTrouble = 2;

// A value as `vexq4 get` prints it: a list's text quoted, a number as it is.
std::string Shown(const SettingRow& row, int value) {
  return row.isList() ? Quote(model::SettingText(row, value)) : std::to_string(value);
}

std::string JsonValue(const SettingRow& row, int value) {
  return row.isList() ? JsonString(model::SettingText(row, value)) : std::to_string(value);
}

// NAME: camera=VALUE file=VALUE (sent= after a write-all).
std::string DifferenceLine(const Difference& d, std::string_view target) {
  return std::string(model::SettingName(*d.row)) + ": camera=" + Shown(*d.row, d.camera) + " " +
         std::string(target) + "=" + Shown(*d.row, d.target);
}

// One camera's comparison as one line of JSON.
std::string JsonRecord(const Host& host, std::string_view result,
                       const std::vector<Difference>& differences, std::string_view error = {}) {
  std::string out = "{\"camera\": " + JsonString(host.deviceLabel()) + ", \"result\": \"" +
                    std::string(result) + "\", \"differences\": [";
  for (std::size_t i = 0; i < differences.size(); ++i) {
    const Difference& d = differences[i];
    out += std::string(i ? ", " : "") + "{\"name\": \"" + std::string(model::SettingName(*d.row)) +
           "\", \"camera\": " + JsonValue(*d.row, d.camera) +
           ", \"file\": " + JsonValue(*d.row, d.target) + "}";
  }
  out += "]";
  if (!error.empty()) out += ", \"error\": " + JsonString(error);
  return out + "}";
}

// The file's targets, or why it is refused (nothing is sent then).
std::string ReadFile(const std::string& file, model::SettingsFileTargets& read) {
  const InputFileCheck check = CheckInputFile(file);
  if (!check.ok && !check.missing) return check.problem;
  read = model::ReadSettingsFileTargets(file);
  if (read.status == Status::kOk) return {};
  std::string why = StatusText(read.status, file);
  if (!read.problem.empty()) why += ": " + read.problem;
  return why;
}

// Trouble: said on standard error (and as JSON's error record); 2.
int Trouble(Host& host, bool json, const std::string& what) {
  if (StopSignal() != 0 || CommandInterrupted()) return kTrouble;
  host.console().Error(what);
  if (json) PrintText(JsonRecord(host, "error", {}, what) + "\n");
  return kTrouble;
}

std::string CameraFailure(Host& host, std::string_view what, Status status) {
  std::string text = std::string(what) + ": " + DescribeStatus(status);
  if (!host.IsOnline() && status != Status::kOffline) text += " (the camera is off-line)";
  return text;
}

int RunDiff(Host& host, const std::string& file, bool json) {
  model::SettingsFileTargets read;
  if (const std::string why = ReadFile(file, read); !why.empty())
    return Trouble(host, json, "diff " + file + ": " + why + "; nothing was sent");
  const model::Comparison c = host.WithProgress(
      model::kCompareOperation, [&] { return model::CompareWithCamera(host, read.targets); });
  if (c.status != Status::kOk)
    return Trouble(host, json, CameraFailure(host, "diff: reading the camera", c.status));
  if (json) {
    PrintText(JsonRecord(host, c.same() ? "same" : "different", c.differences) + "\n");
  } else {
    for (const Difference& d : c.differences) PrintLine(DifferenceLine(d, "file"));
  }
  return c.same() ? kSame : kDifferent;
}

int RunApply(Host& host, const std::string& file) {
  model::SettingsFileTargets read;
  if (const std::string why = ReadFile(file, read); !why.empty())
    return Trouble(host, false, "apply " + file + ": " + why + "; nothing was sent");
  // Each change is printed once the camera has acknowledged it.
  const model::ApplyResult r = host.WithProgress(model::kApplyOperation, [&] {
    return model::ApplyTargets(host, read.targets, [](const Difference& d) {
      PrintLine(std::string(model::SettingName(*d.row)) + ": " + Shown(*d.row, d.camera) + " -> " +
                Shown(*d.row, d.target));
    });
  });
  if (r.stopped || StopSignal() != 0) return kTrouble;
  for (const Difference& d : r.failed)
    host.console().Error("apply: " + std::string(model::SettingName(*d.row)) +
                         " was not taken: camera=" + Shown(*d.row, d.camera) +
                         " file=" + Shown(*d.row, d.target));
  if (r.status != Status::kOk) return Trouble(host, false, CameraFailure(host, "apply", r.status));
  return r.failed.empty() ? kSame : kDifferent;
}

// Reads back `targets` after a write; prints the differences as diff does.
int Verify(Host& host, std::string_view command, const std::vector<model::Target>& targets,
           std::string_view target) {
  const model::Comparison c = host.WithProgress(
      model::kCompareOperation, [&] { return model::CompareWithCamera(host, targets); });
  if (c.status != Status::kOk) {
    if (StopSignal() == 0)
      host.console().Error(CameraFailure(host, std::string(command) + " --verify", c.status));
    return kExitFailure;
  }
  for (const Difference& d : c.differences) PrintLine(DifferenceLine(d, target));
  if (!c.same())
    host.console().Error(std::string(command) + " --verify: the camera does not hold " +
                         std::to_string(c.differences.size()) + " of " +
                         std::to_string(targets.size()) + " settings");
  return c.same() ? kExitOk : kExitFailure;
}

constexpr const char* kDiffFooter =
    "\nEvery key of the file is compared, the auto white area included. The two\n"
    "gain keys hold what the save wrote for the file's white balance mode: the\n"
    "red and blue gains (Manual/One Push), that colour temperature's presets\n"
    "(3200 K, 4600 K, 5600 K), nothing (Continuous AWB). A file that is not a\n"
    "valid settings file is refused whole. {camera} in FILE becomes each camera's\n"
    "name ('vexq4 save-settings --help').\n";

constexpr const char* kDiffExit =
    "\nEXIT STATUS (as diff(1))\n  0 the camera holds the file, 1 it differs, 2 trouble (a refused "
    "file,\n"
    "  no camera, a read that failed); 130/143/129 stopped by SIGINT/SIGTERM/SIGHUP\n";

// The connection's failure is said already; JSON gives the camera its record.
std::function<int(Host&)> Unreachable(bool json) {
  return [json](Host& h) {
    if (json && StopSignal() == 0)
      PrintText(JsonRecord(h, "error", {}, "no camera answered") + "\n");
    return kTrouble;
  };
}

// How the examples begin: a COM port on the command line, nothing in the
// shell.
std::string Prog(const std::string& vexq4) { return vexq4.empty() ? "" : "vexq4 --com 1 "; }

}  // namespace

const char* const kDiffHelp =
    "compare the camera with a settings file (.cam): NAME: camera=VALUE file=VALUE";
const char* const kApplyHelp =
    "send only what differs from a settings file, then read it back (NAME: OLD -> NEW)";

void DefineDiff(CLI::App& command, Plan& plan, const std::string& vexq4) {
  const std::string prog = Prog(vexq4);
  auto* cmd = &command;
  {
    auto file = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>("text");
    cmd->add_option("FILE", *file, "settings file; {camera} in it stands for the camera")
        ->required();
    cmd->add_option("--format", *format, "text (a line a difference, the default) or json")
        ->check(CLI::IsMember({"text", "json"}));
    cmd->footer(std::string(kDiffFooter) + "\nEXAMPLES\n  " + prog + "diff line3.cam\n  " +
                "vexq4 --com 1-8 diff --format json line3.cam\n" + kDiffExit);
    cmd->callback([&plan, file, format] {
      const bool json = *format == "json";
      plan.name = "diff";
      plan.file = *file;
      plan.run = [f = *file, json](Host& h) {
        return RunDiff(h, WithCamera(f, h.cameraName()), json);
      };
      plan.unreachable = Unreachable(json);
    });
  }
}

void DefineApply(CLI::App& command, Plan& plan, const std::string& vexq4) {
  const std::string prog = Prog(vexq4);
  auto* cmd = &command;
  {
    auto file = std::make_shared<std::string>();
    auto dryRun = std::make_shared<bool>(false);
    cmd->add_option("FILE", *file, "settings file; {camera} in it stands for the camera")
        ->required();
    cmd->add_flag("--dry-run", *dryRun, "print what diff prints; send nothing");
    cmd->footer(std::string(kDiffFooter) +
                "The settings that differ are sent in the write-all's order (the auto white\n"
                "area and a mode's presets after the mode), each read back, and after a\n"
                "change of the mode the gains or presets of the new mode. A setting the\n"
                "camera does not take is named on standard error; the others still apply.\n"
                "Ctrl-C stops at the next exchange; only acknowledged changes are printed.\n"
                "\nEXAMPLES\n  " +
                prog + "apply line3.cam\n  " + prog +
                "apply --dry-run line3.cam\n  vexq4 --com 1-8 apply 'line3-{camera}.cam'\n" +
                "\nEXIT STATUS\n  0 the camera holds the file afterwards, 1 a setting was not "
                "taken, 2 trouble;\n  130/143/129 stopped by SIGINT/SIGTERM/SIGHUP\n");
    cmd->callback([&plan, file, dryRun] {
      plan.name = "apply";
      plan.file = *file;
      plan.run = [f = *file, dry = *dryRun](Host& h) {
        const std::string path = WithCamera(f, h.cameraName());
        return dry ? RunDiff(h, path, false) : RunApply(h, path);
      };
      plan.unreachable = Unreachable(false);
    });
  }
}

int VerifyLoad(Host& host, const std::string& file) {
  model::SettingsFileTargets read;
  if (const std::string why = ReadFile(file, read); !why.empty()) {
    host.console().Error("load-settings --verify " + file + ": " + why);
    return kExitFailure;
  }
  return Verify(host, "load-settings", read.targets, "file");
}

int VerifyWriteAll(Host& host, const std::vector<model::Target>& sent) {
  return Verify(host, "write-all", sent, "sent");
}

}  // namespace vexq4::cli
