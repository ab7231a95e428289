// vexq4 gige-bridge: the cameras opened as every command opens them, each
// behind a GVCP server of its own (genicam/gvcp), with the register map
// over its camera model (genicam/map).
#include "gige_bridge.h"

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <memory>
#include <thread>

#include "VexQ4Comm.h"
#include "commands.h"
#include "device_check.h"
#include "exit_status.h"
#include "host.h"
#include "host_status.h"
#include "output.h"
#include "vexq4/gvcp/map_device.h"
#include "vexq4/gvcp/server.h"

namespace vexq4::cli {
namespace {

using hosts::ConnectFailure;
using hosts::DeviceConnectFailure;
using hosts::DeviceProblem;
using hosts::DiagnoseDevice;

constexpr auto kRetryGap = std::chrono::milliseconds(2000);

struct BridgeOptions {
  std::vector<std::string> listen;
  bool readOnly = false;
  bool noDiscovery = false;
};

std::optional<std::uint32_t> ParseIpv4(const std::string& text) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return ntohl(a.s_addr);
}

// One served camera: its model, the map's view of it, the server.
struct Served {
  CameraLine line;
  std::uint32_t ip = 0;
  std::string address;
  Host* host = nullptr;
  std::unique_ptr<Host> ownHost;  // every camera but the first
  std::unique_ptr<genicam::ModelCamera> camera;
  std::unique_ptr<gvcp::MapDevice> device;
  std::unique_ptr<gvcp::Server> server;
  int firstResult = 0;
};

// The stop signals, taken here instead of by the program's handlers: the
// bridge ends normally (exit 0) on them, as a service does.
class StopSignals {
 public:
  StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
    ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    fd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  }
  ~StopSignals() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Waits up to `ms` (-1: for ever); true when a stop signal came.
  bool Wait(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    signalfd_siginfo info{};
    return ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
  }

 private:
  int fd_ = -1;
  sigset_t previous_{};
};

// Connects every camera at once; false when a stop signal came first.
bool ConnectAll(std::vector<Served>& served, StopSignals& stops) {
  std::atomic<std::size_t> done{0};
  std::vector<std::thread> threads;
  for (Served& s : served)
    threads.emplace_back([&s, &done] {
      s.firstResult = s.line.connect(*s.host);
      if (s.firstResult == 0) s.device->Refresh();
      ++done;
    });
  bool stopped = false;
  while (done < served.size() && !stopped) stopped = stops.Wait(50);
  if (stopped) CVexCamInterface::AbandonCameraWork();
  for (std::thread& t : threads) t.join();
  return !stopped;
}

// A line that cannot be opened at all (no such device, no access, held by
// another program, no serial device, a server not reached, no Camera Link
// library), as opposed to one where no camera answers yet.
bool CannotOpen(const Served& s) {
  if (s.firstResult == 0) return false;
  if (s.line.device.empty())
    return s.firstResult == VEXQ4_E_PORT_OPEN || s.firstResult == VEXQ4_E_CAMERA_LINK;
  return DiagnoseDevice(s.line.device).problem != DeviceProblem::kNoAnswer;
}

// Why a camera did not connect, as the program says it for every command.
std::string ConnectMessage(const Served& s) {
  if (s.line.device.empty()) return ConnectFailure(s.line.label, s.firstResult, true);
  return DeviceConnectFailure(s.line.label, s.firstResult, DiagnoseDevice(s.line.device).text);
}

int Serve(Host& first, std::vector<CameraLine> lines, const BridgeOptions& options) {
  Console& console = first.console();
  std::vector<std::string> listen = options.listen;
  if (listen.empty() && lines.size() == 1) listen.push_back("127.0.0.1");
  if (listen.size() != lines.size()) {
    console.Error("gige-bridge: " + std::to_string(lines.size()) + " cameras and " +
                  std::to_string(options.listen.size()) +
                  " --listen addresses; give --listen once per camera, in the order the "
                  "cameras are named");
    return kExitUsage;
  }
  for (std::size_t i = 0; i < listen.size(); ++i)
    for (std::size_t j = i + 1; j < listen.size(); ++j)
      if (*ParseIpv4(listen[i]) == *ParseIpv4(listen[j])) {
        console.Error("gige-bridge: " + listen[i] +
                      " is given twice; each camera needs an "
                      "address of its own");
        return kExitUsage;
      }
  StopSignals stops;  // before any thread, so that every thread leaves them to it
  std::vector<Served> served(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Served& s = served[i];
    s.line = std::move(lines[i]);
    s.address = listen[i];
    s.ip = *ParseIpv4(listen[i]);
    if (i == 0) {
      s.host = &first;
    } else {
      s.ownHost = std::make_unique<Host>(console, first.options());
      s.host = s.ownHost.get();
    }
    s.camera = std::make_unique<genicam::ModelCamera>(
        *s.host, [&s] { return s.line.connect(*s.host); }, kRetryGap);
    s.device = std::make_unique<gvcp::MapDevice>(*s.camera, options.readOnly,
                                                 "vexq4 gige-bridge: " + s.line.label);
    s.server = std::make_unique<gvcp::Server>(
        *s.device, gvcp::ChannelOptions{.ip = s.ip, .netmask = gvcp::NetmaskOf(s.ip)});
    std::string error;
    if (!s.server->Open(error)) {
      console.Error("gige-bridge: " + error);
      return kExitFailure;
    }
    s.server->SetIdle([&s] { s.device->Refresh(); }, kRetryGap);
  }
  if (!ConnectAll(served, stops)) return kExitOk;
  for (const Served& s : served)
    if (CannotOpen(s)) {
      console.Error(ConnectMessage(s));
      return kExitFailure;
    }

  std::unique_ptr<gvcp::DiscoveryResponder> discovery;
  if (!options.noDiscovery) {
    std::vector<const gvcp::Server*> servers;
    for (const Served& s : served) servers.push_back(s.server.get());
    discovery = std::make_unique<gvcp::DiscoveryResponder>(servers);
    std::string error;
    if (discovery->Open(error)) {
      discovery->Start();
    } else {
      console.Error("gige-bridge: no discovery (" + error + "); clients name the address");
      discovery.reset();
    }
  }
  for (Served& s : served) {
    s.server->Start();
    if (s.firstResult != 0)
      console.Error(ConnectMessage(s) + "; serving " + s.address +
                    " anyway: features fail until the camera answers");
    PrintLine("serving " + s.line.label + " on " + s.address + ":" + std::to_string(gvcp::kPort) +
              (options.readOnly ? " (read-only)" : ""));
  }

  stops.Wait(-1);
  // An exchange under way (auto shading takes 10 s) ends at once; closing
  // then gives each line its settings back.
  CVexCamInterface::AbandonCameraWork();
  if (discovery) discovery->Stop();
  for (Served& s : served) s.server->Stop();
  return kExitOk;
}

}  // namespace

const char* const kGigeBridgeHelp =
    "serve each camera as a GigE Vision control device (GVCP, UDP port 3956) for GenICam "
    "tools such as Aravis, until SIGINT or SIGTERM";

void DefineGigeBridge(CLI::App& command, Plan& plan, const std::string& /*vexq4*/) {
  auto options = std::make_shared<BridgeOptions>();
  auto* cmd = &command;
  cmd->add_option("--listen", options->listen,
                  "IPv4 address to serve the camera on (default 127.0.0.1); with several "
                  "cameras once per camera, in order")
      ->allow_extra_args(false)
      ->check(CLI::Validator(
          [](std::string& text) {
            return ParseIpv4(text) ? std::string() : "\"" + text + "\" is not an IPv4 address";
          },
          "ADDRESS"));
  cmd->add_flag("--read-only", options->readOnly,
                "refuse every write that would reach the camera (settings and commands); "
                "selectors and the control privilege still work");
  cmd->add_flag("--no-discovery", options->noDiscovery,
                "do not answer the discovery broadcast; clients then name the address");
  cmd->footer(
      "\nEach camera gets the GenICam description of docs/genicam.md. GVCP has no\n"
      "authentication: whoever reaches the address controls the camera, so listen on\n"
      "a trusted network segment only. One line per camera on standard output when it\n"
      "is served; SIGINT or SIGTERM ends the bridge with status 0.\n\n"
      "Examples:\n"
      "  vexq4 --sim gige-bridge &\n"
      "  arv-tool-0.8 -a 127.0.0.1 control GainSelector=Red Gain=100\n"
      "  vexq4 --device /dev/ttyUSB0 --device /dev/ttyUSB1 gige-bridge \\\n"
      "      --listen 192.168.10.2 --listen 192.168.10.3\n");
  cmd->callback([&plan, options] {
    plan.name = "gige-bridge";
    plan.serve = [options](Host& first, std::vector<CameraLine> lines) {
      return Serve(first, std::move(lines), *options);
    };
    plan.run = [](Host&) { return kExitOk; };  // serve takes its place
  });
}

}  // namespace vexq4::cli
