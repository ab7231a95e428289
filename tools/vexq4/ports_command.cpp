#include "ports_command.h"

#include <array>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "device_check.h"
#include "exit_status.h"
#include "host.h"
#include "host_status.h"
#include "output.h"
#include "signals.h"

namespace vexq4::cli {
namespace {

// Why a port is not asked for the camera; empty when it is.
std::string ReasonNotToProbe(const SerialPort& port) {
  if (!port.nodeExists) return "no device node";
  if (!port.access.mayOpen) return "this user may not open it";
  if (!port.holders.empty()) return "in use by another program";
  // Writing a query there would print it on the system's console.
  if (port.console) return "the kernel's console";
  return {};
}

// Connects to the port mapped to COM port `com` and reads the identity.
void ProbeOne(Host& host, SerialPort& port, int com) {
  PortProbe& probe = port.probe;
  probe.probed = true;
  if (host.Connect(hosts::LineKind::kCom, com) != 0) {
    if (StopSignal() == 0) probe.why = hosts::DiagnoseDevice(port.openPath).text;
    host.CloseConnection();
    return;
  }
  probe.found = true;
  std::array<char, 10> text{};  // the camera ID and model name fit in 10 bytes
  const int idStatus = host.GetCameraID(text.data());
  const int modelStatus = idStatus == 0 ? host.GetModelName(text.data()) : idStatus;
  if (idStatus == 0) probe.cameraId = host.CameraID();
  if (modelStatus == 0) probe.modelName = host.ModelName();
  if (modelStatus != 0)
    probe.why = "the camera answered but not its identity: " +
                hosts::DescribeStatus(model::LibraryStatus(modelStatus));
  host.CloseConnection();
}

}  // namespace

void ProbePorts(Host& host, PortScan& scan) {
  // Every port at once: a port without a camera costs its probe's
  // time-outs (about 1.5 s), and a machine may have a dozen.
  std::vector<std::pair<SerialPort*, int>> asked;
  for (SerialPort& port : scan.ports) {
    port.probe.notProbed = ReasonNotToProbe(port);
    // Mapped here: the environment is not changed while threads read it.
    if (port.probe.notProbed.empty()) asked.emplace_back(&port, host.MapDevice(port.openPath));
  }
  Console& console = host.console();
  const int total = static_cast<int>(asked.size());
  std::atomic<int> done{0};
  const auto words = [total] {
    return "looking for the camera on " + std::to_string(total) +
           (total == 1 ? " serial port" : " serial ports");
  };
  console.Progress(0, total, words());
  std::vector<std::thread> threads;
  for (const auto& [port, com] : asked) {
    // Copies by name: clang 14 cannot capture structured bindings.
    threads.emplace_back([&, port = port, com = com] {
      LeaveStopSignalsToTheMainThread();
      Host prober(console, host.options());
      ProbeOne(prober, *port, com);
      console.Progress(++done, total, words());
    });
  }
  for (std::thread& t : threads) t.join();
  console.EndProgress();
}

int RunPorts(Host& host, const PortsOptions& options, const std::filesystem::path& root) {
  PortScan scan = ScanSerialPorts(root);
  if (options.probe) ProbePorts(host, scan);
  if (StopSignal() != 0) return kExitFailure;
  if (options.json) {
    PrintLine(FormatPortsJson(scan, options.probe));
  } else {
    for (const SerialPort& port : scan.ports) PrintLine(FormatPortLine(port, options.probe));
    if (scan.ports.empty()) host.console().Error("no serial ports found on this machine");
    for (const std::string& hint : scan.hints) host.console().Error("hint: " + hint);
  }
  return kExitOk;
}

}  // namespace vexq4::cli
