#include "host.h"

#include <cstdlib>
#include <string>

#include "sim_server.h"

namespace vexq4::cli {

Host::Host(Console& console, HostOptions options) : console_(console), options_(options) {
  SetProgressHandler(
      [this](const model::ProgressStep& s) { console_.Progress(s.step, s.total, s.operation); });
}

Host::~Host() {
  // Close while the simulated camera still serves its line, and before the
  // console goes; the model's own destructor then finds nothing open.
  CloseConnection();
  SetProgressHandler(nullptr);
}

int Host::StartSimulator() {
  std::string error;
  sim_ = SimulatorServer::Start(error);
  if (!sim_) {
    console_.Error("cannot start the simulated camera: " + error);
    return -1;
  }
  simPath_ = sim_->path();
  return 0;
}

int Host::MapDevice(const std::string& path) {
  // COM port numbers name connection slots 0..254 of the library.
  for (int n = 1; n <= 254; ++n) {
    std::string var = "VEXQ4_COM" + std::to_string(n);
    const char* value = std::getenv(var.c_str());
    if (value == nullptr || path == value) {
      ::setenv(var.c_str(), path.c_str(), 1);
      return n;
    }
  }
  return 1;  // every variable taken: use port 1 for this process
}

std::string Host::PortDevice(int port) {
  const char* mapped = std::getenv(("VEXQ4_COM" + std::to_string(port)).c_str());
  return mapped ? mapped : "/dev/ttyS" + std::to_string(port - 1);
}

void Host::MapDeviceTo(int port, const std::string& path) {
  ::setenv(("VEXQ4_COM" + std::to_string(port)).c_str(), path.c_str(), 1);
}

int Host::ConnectComPort(int port) {
  // A frame grabber index left at 0 makes SetComPort open the COM port.
  connect_ = [this, port] { return SetComPort(port); };
  return connect_();
}

int Host::ConnectGrabber(int grabber) {
  connect_ = [this, grabber] { return ClSerialSetFrameGrabberIndex(grabber); };
  return connect_();
}

int Host::ConnectAllSerial(int port) {
  connect_ = [this, port] { return ClAllSerialSetFrameGrabberIndex(port); };
  return connect_();
}

int Host::Reconnect() { return connect_ ? connect_() : -5; }

void Host::Event(std::string_view name) {
  if (options_.events) console_.Line("event " + std::string(name));
}

void Host::Event(std::string_view name, int value) {
  if (options_.events)
    console_.Line("event " + std::string(name) + "(" + std::to_string(value) + ")");
}

void Host::OnlineStatusChanged(int online) {
  CVexCamInterface::OnlineStatusChanged(online);
  Event("OnlineStatusChanged", online);
}

void Host::SynchronizedStatusChanged(int synchronized) {
  CVexCamInterface::SynchronizedStatusChanged(synchronized);
  Event("SynchronizedStatusChanged", synchronized);
}

void Host::SendingToCamStatusChanged(int sending) {
  CVexCamInterface::SendingToCamStatusChanged(sending);
  Event("SendingToCamStatusChanged", sending);
}

void Host::ReceiveFromCamStatusChanged(int receiving) {
  CVexCamInterface::ReceiveFromCamStatusChanged(receiving);
  Event("ReceiveFromCamStatusChanged", receiving);
}

void Host::CommandMessage(std::string line) {
  if (options_.events) console_.Line("event CommandMessage");
  if (!options_.verbose) return;
  // A message is a query or command line and its outcome, each CR LF ended;
  // each is printed as the model worded it (an empty status too).
  std::string_view rest = line;
  while (!rest.empty()) {
    std::size_t end = rest.find("\r\n");
    console_.Line(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
}

}  // namespace vexq4::cli
