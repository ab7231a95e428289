#include "cameras.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "device_check.h"
#include "exit_status.h"
#include "host_status.h"
#include "output.h"
#include "signals.h"

namespace vexq4::cli {

struct Cameras::Camera {
  CameraTarget target;
  std::unique_ptr<Console> lane;  // several cameras: this one's lane of the console
  std::unique_ptr<Host> owned;
  Host* host = nullptr;
  bool connected = false;
};

Cameras::Cameras(Console& console, HostOptions options, std::vector<CameraTarget> targets)
    : console_(console) {
  for (CameraTarget& target : targets) {
    auto camera = std::make_unique<Camera>();
    camera->lane = std::make_unique<Console>(console, target.label);
    camera->owned = std::make_unique<Host>(*camera->lane, options);
    camera->host = camera->owned.get();
    camera->host->SetCameraName(target.fileName);
    camera->host->SetDeviceLabel(target.label);
    camera->target = std::move(target);
    cameras_.push_back(std::move(camera));
  }
}

Cameras::Cameras(Host& host) : console_(host.console()) {
  auto camera = std::make_unique<Camera>();
  camera->host = &host;
  camera->connected = true;
  cameras_.push_back(std::move(camera));
}

Cameras::~Cameras() {
  // Each model closes its connection (the port gets its settings back)
  // before the lanes of the console go; all at once, as they worked.
  ForEach([](Camera& c) {
    if (c.owned) c.owned.reset();
    return kExitOk;
  });
}

int Cameras::ForEach(const std::function<int(Camera&)>& work) {
  const auto guarded = [&work](Camera& camera) {
    try {
      return work(camera);
    } catch (const std::exception& e) {
      // One camera's trouble is its own: the others go on.
      camera.host->console().Error(std::string("internal error: ") + e.what());
      return kExitFailure;
    }
  };
  if (cameras_.size() == 1 && !cameras_[0]->lane) return guarded(*cameras_[0]);

  std::vector<int> statuses(cameras_.size(), kExitOk);
  std::vector<std::thread> threads;
  threads.reserve(cameras_.size());
  for (std::size_t i = 0; i < cameras_.size(); ++i) {
    threads.emplace_back([&, i] {
      LeaveStopSignalsToTheMainThread();
      Camera& camera = *cameras_[i];
      const OutputPrefix prefix(camera.target.label);
      statuses[i] = guarded(camera);
    });
  }
  for (std::thread& t : threads) t.join();
  return *std::max_element(statuses.begin(), statuses.end());
}

namespace {

// Connects one camera; a failure is reported as a single run reports it.
bool ConnectOne(Host& host, const CameraTarget& target) {
  const int status = host.Connect(hosts::LineKind::kCom, target.comPort);
  if (status == 0) return true;
  if (StopSignal() == 0) {
    const std::string what = "COM" + std::to_string(target.comPort) + " (" + target.device + ")";
    host.console().Error(
        hosts::DeviceConnectFailure(what, status, hosts::DiagnoseDevice(target.device).text));
  }
  return false;
}

}  // namespace

int Cameras::Connect() {
  return ForEach([](Camera& c) {
    if (!c.connected) c.connected = ConnectOne(*c.host, c.target);
    return c.connected ? kExitOk : kExitFailure;
  });
}

int Cameras::ConnectAndRun(const std::function<int(Host&)>& run,
                           const std::function<int(Host&)>& unreachable) {
  return ForEach([&run, &unreachable](Camera& c) {
    if (!c.connected) c.connected = ConnectOne(*c.host, c.target);
    if (c.connected) return run(*c.host);
    return unreachable && StopSignal() == 0 ? unreachable(*c.host) : kExitFailure;
  });
}

int Cameras::Run(const std::function<int(Host&)>& run) {
  return ForEach([&run](Camera& c) { return c.connected ? run(*c.host) : kExitOk; });
}

std::size_t Cameras::connected() const {
  return static_cast<std::size_t>(
      std::count_if(cameras_.begin(), cameras_.end(), [](const auto& c) { return c->connected; }));
}

std::vector<CameraFileName> Cameras::fileNames() const {
  std::vector<CameraFileName> names;
  for (const auto& c : cameras_) names.push_back({c->target.label, c->host->cameraName()});
  return names;
}

int Cameras::OffLine() const {
  return static_cast<int>(std::count_if(cameras_.begin(), cameras_.end(), [](const auto& c) {
    return c->connected && !c->host->IsOnline();
  }));
}

bool Cameras::ReconnectOffLine() {
  const int still = ForEach([](Camera& c) {
    if (!c.connected || c.host->IsOnline()) return 0;
    return c.host->Reconnect() == 0 ? 0 : 1;
  });
  return still != 0;
}

}  // namespace vexq4::cli
