// vexq4: the RX-Q4 camera from a shell, for integrators and for scripted
// set-up on a production line.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera_names.h"
#include "cameras.h"
#include "commands.h"
#include "completion.h"
#include "console.h"
#include "device_check.h"
#include "exit_status.h"
#include "host.h"
#include "host_lines.h"
#include "host_properties.h"
#include "host_status.h"
#include "output.h"
#include "ports_command.h"
#include "shell.h"
#include "signals.h"
#include "vexq4/platform/network_device.h"
#include "vexq4/platform/serial_device.h"

namespace {

using namespace vexq4::cli;
namespace hosts = vexq4::hosts;
using hosts::LineKind;

constexpr const char* kDescription =
    "vexq4 - read and set the RX-Q4 camera over its serial line.\n"
    "Settings carry the names of the control's automation properties\n"
    "({GA}, {SH}, {SH.text}, ...); results are\n"
    "printed as NAME=value on standard output, diagnostics on standard error.";

constexpr const char* kFooter = R"(CONNECTION
  Exactly one of --com, --device, --grabber, --clallserial or --sim names the
  camera; without one, vexq4 refuses to talk to any device. COM port n is the
  device in the environment variable VEXQ4_COM<n>, otherwise /dev/ttyS<n-1>.
  A device may also be a camera on a serial device server (ser2net):
  rfc2217://HOST:PORT sets the server's line to 9600 8N1 (RFC 2217) and
  socket://HOST:PORT takes it as the server has it; HOST is a name, an IPv4
  address or an IPv6 address in brackets; the scheme in any letter case.
  Connecting gives up after 3 s (VEXQ4_CONNECT_TIMEOUT_MS).
  Several cameras at once: repeat --device or --com (--com also takes a
  range N-M), or give --all for every port where 'ports --probe' finds one;
  each result line then starts with the camera's device, and the exit status
  is the worst of them. A file written then (save-settings, report,
  shading-save) needs {camera} in its name, which becomes each camera's name
  (line3-{camera}.cam: line3-COM1.cam, line3-ttyUSB0.cam; 'vexq4
  save-settings --help' says how); files read may hold it too.
  'grabbers' and 'ports' need no connection; 'search' scans COM ports {searched}
  (or FIRST..LAST) instead, or with --sim or --device tries that line alone.

READS
  Before each query vexq4 waits for {fast-ms} ms of silence (fast reads), so that
  nothing an earlier exchange left behind is taken for the answer.
  --standard-reads waits as the library does by default: an empty read of
  about 101 ms on a serial or network line, two 600 ms reads on a Camera Link
  grabber (a read of all settings: 4 s, or 44 s over a grabber, instead of
  1 s). Without that option VEXQ4_QUERY_DRAIN_MS, when set to 0 to 100 ms (0:
  the standard wait), chooses instead. Commands keep their wait and the
  600 ms the camera needs between them. --fast-reads is accepted and changes
  nothing.

EXAMPLES
  vexq4 --sim list                         every setting of the simulated camera
  vexq4 --sim set {GA}=100 '{SH.text}=1/250'
  vexq4 --device /dev/ttyUSB0 get {GA} {SH.text}
  vexq4 --device rfc2217://line3-server:4001 list   a camera behind ser2net
  vexq4 --com 1 save-settings line3.cam    read the camera, write a settings file
  vexq4 --com 1 load-settings line3.cam    apply a settings file to the camera
  vexq4 --grabber 1 report camera.txt      camera data report over Camera Link
  printf 'set {GA}=50\nstore 1\n' | vexq4 --com 1 shell
  vexq4 search 1 8                         find the camera on COM1..COM8
  vexq4 ports --probe                      every serial port, and the cameras on them
  vexq4 --com 1-8 load-settings line3.cam  the same file into eight cameras at once

SIGNALS
  Ctrl-C (SIGINT), SIGTERM and SIGHUP abandon the exchange under way, close
  the connection (the port gets its settings back) and remove temporary
  files. In 'shell' on a terminal, Ctrl-C abandons only the command.

EXIT STATUS
  0  success
  1  the camera, the port or a file failed (the status and its text are
     shown), or the results could not be written to standard output
  2  usage error: unknown command or setting, a value out of range or not in
     its list (nothing was sent to the camera), no connection option, a
     camera named twice (by a link and its target too), one file to write
     for several cameras
  130, 143, 129  stopped by SIGINT, SIGTERM or SIGHUP)";

std::string Footer() {
  std::string text = hosts::WithNames(kFooter);
  const std::string searched = "{searched}";
  text.replace(text.find(searched), searched.size(), hosts::kSearchedComPorts.Text());
  return text;
}

struct Connection {
  std::vector<int> coms;  // --com, ranges spread out
  std::vector<std::string> devices;
  std::optional<int> grabber;
  std::optional<int> clallserial;
  bool sim = false;
  bool all = false;
  bool any() const {
    return !coms.empty() || !devices.empty() || grabber || clallserial || sim || all;
  }
  // Several cameras at once (or --all, however many it finds).
  bool several() const { return coms.size() + devices.size() > 1 || all; }
};

// What the command line asks for.
struct Request {
  Connection conn;
  HostOptions host;
  bool noProgress = false;
  bool standardReads = false;
  bool fastReads = false;  // the default anyway
  Plan plan;
};

// "3" or "1-8": COM port numbers 1..254; false with `error` set otherwise.
bool ParseComPorts(const std::string& text, std::vector<int>& ports, std::string& error) {
  const auto number = [](std::string_view t, int& out) {
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    return ec == std::errc{} && end == t.data() + t.size() && hosts::kComPorts.Contains(out);
  };
  const std::size_t dash = text.find('-');
  int first = 0, last = 0;
  const bool ok = dash == std::string::npos
                      ? number(text, first) && number(text, last)
                      : number(std::string_view(text).substr(0, dash), first) &&
                            number(std::string_view(text).substr(dash + 1), last) && first <= last;
  if (!ok) {
    error =
        "\"" + text + "\" is not a COM port " + hosts::kComPorts.Text() + " or a range N-M of them";
    return false;
  }
  for (int port = first; port <= last; ++port) ports.push_back(port);
  return true;
}

// The options that name the camera, each excluding the others.
struct ConnectionOptions {
  std::vector<std::string> comArguments;
  int grabber = 0, clallserial = 0;
  CLI::Option* grabberOption = nullptr;
  CLI::Option* clallserialOption = nullptr;
};

void AddConnectionOptions(CLI::App& app, Request& r, ConnectionOptions& o) {
  const std::string comRange = hosts::kComPorts.Text();
  auto* com = app.add_option("--com", o.comArguments,
                             "COM port number of the camera (" + comRange +
                                 "), or a range N-M; repeat it for several cameras")
                  ->allow_extra_args(false)
                  ->take_all()
                  ->check(CLI::Validator(
                      [](std::string& text) {
                        std::vector<int> ports;
                        std::string error;
                        return ParseComPorts(text, ports, error) ? std::string() : error;
                      },
                      "N|N-M"));
  auto* device =
      app.add_option("--device", r.conn.devices,
                     "serial device or pseudo-terminal of the camera, e.g. "
                     "/dev/ttyUSB0, or rfc2217://HOST:PORT or socket://HOST:PORT on "
                     "a serial device server; repeat it for several cameras")
          ->allow_extra_args(false)
          ->take_all()
          ->check(CLI::Validator(
              [](const std::string& name) { return hosts::DeviceNameProblem(name); }, ""));
  o.grabberOption = app.add_option("--grabber", o.grabber,
                                   "Camera Link frame grabber: manufacturer entry N (" +
                                       hosts::kGrabbers.Text() + ") of 'vexq4 grabbers'");
  o.clallserialOption =
      app.add_option("--clallserial", o.clallserial,
                     "Camera Link port N of the manufacturer-independent serial "
                     "library (see 'vexq4 grabbers')")
          ->check(CLI::Range(hosts::kAllSerialPorts.first, hosts::kAllSerialPorts.last));
  auto* sim =
      app.add_flag("--sim", r.conn.sim, "start the built-in simulated camera and connect to it");
  auto* all = app.add_flag("--all", r.conn.all,
                           "every serial port where 'vexq4 ports --probe' finds a camera");
  const std::vector<CLI::Option*> options{com, device, o.grabberOption, o.clallserialOption,
                                          sim, all};
  for (auto* a : options) {
    a->group("Connection");
    for (auto* b : options)
      if (a != b) a->excludes(b);
  }
}

void AddOutputOptions(CLI::App& app, Request& r) {
  app.add_flag("-v,--verbose", r.host.verbose,
               "print every message line of the model, each query or command and its "
               "outcome, as it happens (stderr)");
  app.add_flag("--events", r.host.events, "print every change notification by name (stderr)");
  app.add_flag("--no-progress", r.noProgress, "no progress bar on standard error");
  auto* standard = app.add_flag(
      "--standard-reads", r.standardReads,
      "before each query wait for silence as the library does by default: an empty read "
      "of about 101 ms on a serial or network line, two of 600 ms on a Camera Link "
      "grabber, instead of " +
          std::to_string(CVexCamInterface::kFastReadsDrainMs) +
          " ms (a read of all settings: 4 s, 44 s over a grabber, "
          "instead of 1 s); for a camera that answers long after its time-out");
  app.add_flag("--fast-reads", r.fastReads,
               "the default, kept for scripts that give it: changes nothing")
      ->excludes(standard);
}

// Parses the command line into `r`; the exit status when the program ends
// here (help, a usage error), else nullopt.
std::optional<int> Parse(int argc, char** argv, Request& r) {
  CLI::App app{hosts::WithNames(kDescription), "vexq4"};
  app.footer(Footer());
  app.fallthrough();  // connection options may also follow the command
  app.require_subcommand(0, 1);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "vexq4: " + std::string(e.what()) + "\n";
  });
  ConnectionOptions o;
  AddConnectionOptions(app, r, o);
  AddOutputOptions(app, r);
  AddCommands(app, r.plan, /*inShell=*/false);
  // The shell's completion asks the program what may follow (hidden).
  if (argc >= 2 && std::string_view(argv[1]) == "--complete") return RunCompletion(app, argc, argv);
  try {
    app.parse(argc, argv);
    if (o.grabberOption->count() && !hosts::kGrabbers.Contains(o.grabber))
      throw CLI::ValidationError("--grabber",
                                 "Only Frame Grabber " + hosts::kGrabbers.Text() + " is valid");
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, std::cout, std::cerr);
    return code == 0 ? kExitOk : kExitUsage;
  }
  for (const std::string& ports : o.comArguments) {
    std::string error;
    ParseComPorts(ports, r.conn.coms, error);  // checked while parsing
  }
  if (o.grabberOption->count()) r.conn.grabber = o.grabber;
  if (o.clallserialOption->count()) r.conn.clallserial = o.clallserial;
  return std::nullopt;
}

// The same camera twice would be opened twice, and the second opening
// would find it "in use by another program": refused before anything is
// opened, whatever names it.
std::string NamedTwice(const Connection& conn) {
  std::vector<NamedDevice> named;
  for (int port : conn.coms)
    named.push_back({"COM" + std::to_string(port),
                     vexq4::platform::ComPortDevicePath(static_cast<unsigned>(port))});
  for (const std::string& device : conn.devices) named.push_back({device, device});
  const auto twice = SameDeviceTwice(named);
  if (!twice) return {};
  if (twice->first == twice->second)
    return twice->first + " is named twice; each camera is named once";
  return twice->first + " and " + twice->second +
         " are one device, named twice; each camera is named once";
}

// Why the command cannot run with the camera(s) named, before anything is
// opened; empty when it can.
std::string UsageProblem(const Request& r) {
  const Connection& conn = r.conn;
  const Plan& plan = r.plan;
  if (plan.isSearch && (!conn.coms.empty() || conn.grabber || conn.clallserial))
    return "search scans COM ports FIRST..LAST; give them instead of " +
           std::string(!conn.coms.empty() ? "--com"
                       : conn.grabber     ? "--grabber"
                                          : "--clallserial");
  if (plan.isSearch && conn.several())
    return "search tries one line; 'vexq4 ports --probe' asks every port for the camera";
  if (plan.isPorts && conn.any())
    return "ports lists every serial port of the machine; it takes no connection option";
  if (std::string twice = NamedTwice(conn); !twice.empty()) return twice;
  // One file for several cameras would keep one of them: refused before
  // any port is opened (with --all, before the ports are asked).
  if (conn.several() && plan.writesFile && !HasCameraPlaceholder(plan.file))
    return FileForEachCamera(plan.name, plan.file, {});
  if (plan.needsCamera && !conn.any())
    return plan.name +
           ": no camera named; give one of --com N, --device PATH, --grabber N, "
           "--clallserial N, --all or --sim (try 'vexq4 --sim " +
           plan.name + "')";
  return {};
}

// What {camera} in a file name becomes for the one camera of a run.
std::string CameraName(const Connection& conn) {
  if (conn.sim) return "sim";
  if (conn.grabber) return "grabber" + std::to_string(*conn.grabber);
  if (conn.clallserial) return "clallserial" + std::to_string(*conn.clallserial);
  if (!conn.coms.empty()) return "COM" + std::to_string(conn.coms.front());
  return conn.devices.empty() ? "camera" : FileSafeName(conn.devices.front());
}

// Fast reads unless asked for the standard ones, and the environment's
// settings that the library would quietly not take: a mistyped
// VEXQ4_QUERY_DRAIN_MS ("15ms") should not go unnoticed.
void SetUpReads(Console& console, bool standardReads) {
  const CVexCamInterface::HostReads reads = CVexCamInterface::UseHostReads(standardReads);
  if (!reads.ignoredVariable.empty()) {
    console.Error("VEXQ4_QUERY_DRAIN_MS=" + reads.ignoredVariable + " is not 0 to " +
                  std::to_string(CVexCamInterface::kMaxQueryDrainMs) +
                  " milliseconds; queries use fast reads (" +
                  std::to_string(CVexCamInterface::kFastReadsDrainMs) + " ms)");
  }
  // The library quietly connects with the standard time-out instead.
  if (const std::string problem = vexq4::platform::ConnectTimeoutVariableProblem();
      !problem.empty())
    console.Error(problem);
}

// Several cameras: the targets, each device with the COM port that names it.
std::vector<CameraTarget> Targets(Host& host, const Connection& conn) {
  std::vector<CameraTarget> targets;
  if (conn.all) {
    PortScan scan = ScanSerialPorts(SystemRoot());
    ProbePorts(host, scan);
    for (const SerialPort& port : scan.ports)
      if (port.probe.found)
        targets.push_back(
            {port.device, port.openPath, host.MapDevice(port.openPath), FileSafeName(port.device)});
  }
  for (int port : conn.coms) {
    const std::string device = vexq4::platform::ComPortDevicePath(static_cast<unsigned>(port));
    targets.push_back({device, device, port, "COM" + std::to_string(port)});
  }
  for (const std::string& device : conn.devices)
    targets.push_back({device, device, host.MapDevice(device), FileSafeName(device)});
  return targets;
}

// Several cameras: each connected and the command run on it at once, on a
// thread of its own; the worst exit status.
int RunOnCameras(Host& host, Console& console, const Request& r) {
  const Plan& plan = r.plan;
  std::vector<CameraTarget> targets = Targets(host, r.conn);
  if (r.conn.all && StopSignal() != 0) return kExitFailure;  // while the ports were asked
  if (r.conn.all && targets.empty()) {
    console.Error(plan.name +
                  ": no camera answered on any serial port of this machine ('vexq4 ports "
                  "--probe' says why)");
    return kExitFailure;
  }
  if (plan.writesFile && !plan.isShell) {
    std::vector<CameraFileName> names;
    for (const CameraTarget& t : targets) names.push_back({t.label, t.fileName});
    if (const std::string why = FileForEachCamera(plan.name, plan.file, names); !why.empty()) {
      console.Error(why);
      return kExitUsage;
    }
  }
  // Results on a terminal take the bars off first.
  ShareTerminalWith(&console);
  int status = kExitOk;
  {
    Cameras cameras(console, r.host, std::move(targets));
    if (plan.isShell) {
      status = cameras.Connect();
      if (cameras.connected() > 0) status = std::max(status, RunShell(cameras, stdin));
    } else {
      status = cameras.ConnectAndRun(plan.run, plan.unreachable);
    }
  }
  ShareTerminalWith(nullptr);
  return status;
}

// The cameras of a command that serves them (gige-bridge), each with the
// connect operation every other command uses for it. --all asks the ports
// first, as for several cameras.
std::vector<CameraLine> CameraLines(Host& host, const Connection& conn,
                                    std::optional<int> mappedPort) {
  std::vector<CameraLine> lines;
  const auto line = [](std::string label, std::string device, LineKind kind, int number) {
    return CameraLine{std::move(label), std::move(device),
                      [kind, number](Host& h) { return h.Connect(kind, number); }};
  };
  const auto com = [&line](std::string label, int port) {
    return line(std::move(label), vexq4::platform::ComPortDevicePath(static_cast<unsigned>(port)),
                LineKind::kCom, port);
  };
  if (conn.grabber)
    lines.push_back(line(hosts::LineName(LineKind::kGrabber, *conn.grabber), "", LineKind::kGrabber,
                         *conn.grabber));
  if (conn.clallserial)
    lines.push_back(line(hosts::LineName(LineKind::kAllSerial, *conn.clallserial), "",
                         LineKind::kAllSerial, *conn.clallserial));
  if (conn.sim && mappedPort) lines.push_back(com(host.simulatorPath(), *mappedPort));
  if (conn.all) {
    PortScan scan = ScanSerialPorts(SystemRoot());
    ProbePorts(host, scan);
    for (const SerialPort& port : scan.ports)
      if (port.probe.found) lines.push_back(com(port.device, host.MapDevice(port.openPath)));
  }
  for (int port : conn.coms) lines.push_back(com("COM" + std::to_string(port), port));
  for (const std::string& device : conn.devices)
    lines.push_back(
        com(device, conn.devices.size() == 1 && mappedPort ? *mappedPort : host.MapDevice(device)));
  return lines;
}

// The one camera of an ordinary run, on the line the options name (--sim
// and --device through COM port `mappedPort`); false after saying why not.
bool ConnectCamera(Host& host, Console& console, const Connection& conn,
                   std::optional<int> mappedPort) {
  LineKind kind = LineKind::kCom;
  int number = !conn.coms.empty() ? conn.coms.front() : mappedPort.value_or(0);
  if (conn.grabber) {
    kind = LineKind::kGrabber;
    number = *conn.grabber;
  } else if (conn.clallserial) {
    kind = LineKind::kAllSerial;
    number = *conn.clallserial;
  }
  const int status = host.Connect(kind, number);
  const std::string what = hosts::LineName(kind, number);
  const std::string device = kind == LineKind::kCom
                                 ? vexq4::platform::ComPortDevicePath(static_cast<unsigned>(number))
                                 : std::string();
  // How results that name their camera name it (diff --format json).
  host.SetDeviceLabel(conn.sim ? host.simulatorPath() : device.empty() ? what : device);
  if (status == 0) return true;
  if (StopSignal() != 0) return false;
  if (kind != LineKind::kCom) {
    console.Error(hosts::ConnectFailure(what, status, true));
  } else {
    // The serial device is looked at: the model says only that no camera answered.
    console.Error(hosts::DeviceConnectFailure(what, status, hosts::DiagnoseDevice(device).text));
  }
  return false;
}

int Run(int argc, char** argv) {
  Request r;
  if (const auto exit = Parse(argc, argv, r)) return *exit;
  Plan& plan = r.plan;
  const Connection& conn = r.conn;
  Console console(stderr, !r.noProgress);
  if (!plan.run) {
    console.Error("no command given; try 'vexq4 --help'");
    return kExitUsage;
  }
  if (const std::string problem = UsageProblem(r); !problem.empty()) {
    console.Error(problem);
    return kExitUsage;
  }

  Host host(console, r.host);
  host.SetCameraName(CameraName(conn));
  SetUpReads(console, r.standardReads);

  // --device and --sim reach their line through a COM port number of this
  // process. A search then tries that line alone, as its first port: the
  // user named the line, so no other device is opened.
  std::optional<int> mappedPort;
  std::optional<std::string> line;
  if (conn.sim) {
    if (host.StartSimulator() != 0) return kExitFailure;
    line = host.simulatorPath();
  } else if (conn.devices.size() == 1) {
    line = conn.devices.front();
  }
  if (line && plan.isSearch) {
    host.MapDeviceTo(plan.searchFirst, *line);
    plan.searchLast = plan.searchFirst;
  } else if (line) {
    mappedPort = host.MapDevice(*line);
  }

  if (plan.serve) {
    std::vector<CameraLine> lines = CameraLines(host, conn, mappedPort);
    if (lines.empty()) {
      console.Error(plan.name + ": no camera answered on any serial port of this machine");
      return kExitFailure;
    }
    return plan.serve(host, std::move(lines));
  }
  if (plan.needsCamera && conn.several()) return RunOnCameras(host, console, r);
  if (plan.needsCamera && !ConnectCamera(host, console, conn, mappedPort))
    return plan.unreachable && StopSignal() == 0 ? plan.unreachable(host) : kExitFailure;

  // Results printed while a bar runs (apply's changes) take it off first.
  ShareTerminalWith(&console);
  const int status = plan.run(host);
  ShareTerminalWith(nullptr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  InstallStopSignals();
  int code = Run(argc, argv);  // the connection is closed when it returns
  std::string error;
  const bool written = FinishOutput(error);
  if (const int sig = FinalStopSignal(); sig != 0) {
    std::fprintf(stderr, "vexq4: stopped by %s\n",
                 sig == SIGINT    ? "SIGINT"
                 : sig == SIGTERM ? "SIGTERM"
                                  : "SIGHUP");
    code = 128 + sig;
  } else if (!written) {
    std::fprintf(stderr, "vexq4: cannot write the results to standard output: %s\n", error.c_str());
    if (code == kExitOk) code = kExitFailure;
  }
  MarkFinished();
  return code;
}
