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
  const int port = hosts::ComPortFor(path);
  if (port == 0) return 1;  // every variable taken: use port 1 for this process
  MapDeviceTo(port, path);
  return port;
}

void Host::MapDeviceTo(int port, const std::string& path) { hosts::MapComPort(port, path); }

int Host::Connect(hosts::LineKind kind, int number) {
  connect_ = [this, kind, number] { return hosts::Connect(*this, kind, number); };
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
