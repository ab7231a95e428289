// The commands of the host, one row each of the command table
// (commands.cpp), and how they are parsed. Parsing checks every argument
// (names, ranges, list texts, areas) and yields a plan; only then is a
// connection opened and the plan run, so a refused value never reaches the
// camera. A new command is one row: its name, its help and the function
// that defines its arguments and plan.
#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "host_lines.h"

namespace CLI {
class App;
}

namespace vexq4::cli {

class Host;

// One camera of a command that serves its cameras (gige-bridge): how it is
// named, the serial device to look at when it does not answer (empty for
// Camera Link), and its connect operation on a model.
struct CameraLine {
  std::string label;
  std::string device;
  std::function<int(Host&)> connect;
};

struct Plan {
  std::string name;         // the command, for messages
  bool needsCamera = true;  // false: grabbers, search
  bool isShell = false;
  bool isSearch = false;
  bool isPorts = false;  // lists the machine's ports: no connection option
  // search: the COM ports to try
  int searchFirst = hosts::kSearchedComPorts.first, searchLast = hosts::kSearchedComPorts.last;
  // A command's FILE as given, {camera} not yet replaced; writesFile: the
  // command writes it (save-settings, report, shading-save).
  std::string file;
  bool writesFile = false;
  std::function<int(Host&)> run;  // returns an exit status
  // Set: a camera that could not be connected (already reported) gives
  // this exit status instead of 1 (diff and apply say 2).
  std::function<int(Host&)> unreachable;
  // Set: the command opens and serves its cameras itself, the first on the
  // given model; an exit status.
  std::function<int(Host&, std::vector<CameraLine>)> serve;
};

// Gives a command's subcommand its arguments and footer, and sets up the
// plan when it is the one parsed. `vexq4` is how its examples begin:
// "vexq4 --sim " on the command line, nothing on a shell line.
using CommandDefinition =
    std::function<void(CLI::App& command, Plan& plan, const std::string& vexq4)>;

struct Command {
  std::string name;
  std::string help;     // the one line of the command list
  bool inShell = true;  // also a command of the shell (not: shell, search, ...)
  CommandDefinition define;
};

// Every command, in the order the help lists them.
std::span<const Command> Commands();

// Adds every command as a subcommand of `app`; the one parsed fills `plan`.
// `inShell` leaves out what makes no sense on a shell line.
void AddCommands(CLI::App& app, Plan& plan, bool inShell);

}  // namespace vexq4::cli
