// The commands of the host and how they are parsed. Parsing checks every
// argument (names, ranges, list texts, areas) and yields a plan; only then
// is a connection opened and the plan run, so a refused value never reaches
// the camera.
#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace vexq4::cli {

class Host;
class Cameras;

struct Plan {
  std::string name;         // the command, for messages
  bool needsCamera = true;  // false: grabbers, search
  bool isShell = false;
  bool isSearch = false;
  bool isPorts = false;                  // lists the machine's ports: no connection option
  int searchFirst = 1, searchLast = 16;  // search: the COM ports to try
  // A command's FILE as given, {camera} not yet replaced; writesFile: the
  // command writes it (save-settings, report, shading-save).
  std::string file;
  bool writesFile = false;
  std::function<int(Host&)> run;         // returns an exit status
};

// Adds every command as a subcommand of `app`; the one parsed fills `plan`.
// `inShell` leaves out what makes no sense on a shell line (shell, search).
void AddCommands(CLI::App& app, Plan& plan, bool inShell);

// Reads command lines from `in` and runs each against the open connection.
int RunShell(Host& host, std::FILE* in);
// The same on several cameras: each line runs on all of them at once.
int RunShell(Cameras& cameras, std::FILE* in);

}  // namespace vexq4::cli
