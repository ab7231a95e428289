// The commands of the host and how they are parsed. Parsing checks every
// argument (names, ranges, list texts, areas) and yields a plan; only then
// is a connection opened and the plan run, so a refused value never reaches
// the camera.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vexq4::cli {

class Host;
class Cameras;

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
  bool isPorts = false;                  // lists the machine's ports: no connection option
  int searchFirst = 1, searchLast = 16;  // search: the COM ports to try
  // A command's FILE as given, {camera} not yet replaced; writesFile: the
  // command writes it (save-settings, report, shading-save).
  std::string file;
  bool writesFile = false;
  std::function<int(Host&)> run;         // returns an exit status
  // Set: a camera that could not be connected (already reported) gives
  // this exit status instead of 1 (diff and apply say 2).
  std::function<int(Host&)> unreachable;
  // Set: the command opens and serves its cameras itself, the first on the
  // given model; an exit status.
  std::function<int(Host&, std::vector<CameraLine>)> serve;
};

// Adds every command as a subcommand of `app`; the one parsed fills `plan`.
// `inShell` leaves out what makes no sense on a shell line (shell, search).
void AddCommands(CLI::App& app, Plan& plan, bool inShell);

// Reads command lines from `in` and runs each against the open connection.
int RunShell(Host& host, std::FILE* in);
// The same on several cameras: each line runs on all of them at once.
int RunShell(Cameras& cameras, std::FILE* in);

}  // namespace vexq4::cli
