// The camera model as this program hosts it: the notifications go to
// standard error (-v, --events), the progress hook drives the bar, and the
// connection options become the model's connect operations.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "console.h"
#include "host_lines.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::cli {

struct HostOptions {
  bool verbose = false;  // the model's message lines
  bool events = false;   // every notification by name
};

class SimulatorServer;

class Host : public CVexCamInterface {
 public:
  Host(Console& console, HostOptions options);
  ~Host() override;

  Console& console() { return console_; }
  const HostOptions& options() const { return options_; }

  // --sim: the simulated camera on a pseudo-terminal of this process.
  // Returns 0, or non-zero after printing why it could not start.
  int StartSimulator();
  const std::string& simulatorPath() const { return simPath_; }
  // --device: the first COM port number whose VEXQ4_COM<n> is free (or
  // already names `path`) is pointed at `path` for this process.
  int MapDevice(const std::string& path);
  // Points COM port `port` of this process at `path`.
  void MapDeviceTo(int port, const std::string& path);

  // What {camera} in a file name becomes for this camera ("ttyUSB0",
  // "COM2"; see camera_names.h).
  void SetCameraName(std::string name) { cameraName_ = std::move(name); }
  const std::string& cameraName() const { return cameraName_; }
  // The device as the user named it ("/dev/ttyUSB0", "COM1" by its device),
  // for results that name their camera (diff --format json).
  void SetDeviceLabel(std::string label) { deviceLabel_ = std::move(label); }
  const std::string& deviceLabel() const { return deviceLabel_; }

  // Opens the line (hosts::Connect); on failure the model is off-line.
  int Connect(hosts::LineKind kind, int number);
  // Repeats the last connect operation (after an abandoned exchange); -5
  // when none was made.
  int Reconnect();

  // Runs a long model operation with the progress bar, cleared afterwards.
  // On a terminal a ticker redraws the bar with the elapsed time four times
  // a second, so that waits without steps (auto shading, a shading frame)
  // still show that something is happening.
  template <typename F>
  auto WithProgress(std::string_view name, F&& operation) {
    console_.BeginProgress(name);
    std::jthread ticker;
    if (console_.progressShown()) {
      ticker = std::jthread([this](std::stop_token stop) {
        std::mutex m;
        std::condition_variable_any wake;
        std::unique_lock lock(m);
        for (;;) {
          // Wakes at once when the operation ends.
          wake.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; });
          if (stop.stop_requested()) return;
          console_.Tick();
        }
      });
    }
    const auto status = operation();
    if (ticker.joinable()) {
      ticker.request_stop();
      ticker.join();
    }
    console_.EndProgress();
    return status;
  }

  // The notifications, each printed by name with --events.
  void OnlineStatusChanged(int online) override;
  void SynchronizedStatusChanged(int synchronized) override;
  void SendingToCamStatusChanged(int sending) override;
  void ReceiveFromCamStatusChanged(int receiving) override;
#define VEXQ4_CLI_EVENT(Name, ...) \
  void Name() override { Event(#Name); }
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_CLI_EVENT, VEXQ4_CLI_EVENT, VEXQ4_CLI_EVENT,
                            VEXQ4_CLI_EVENT)
#undef VEXQ4_CLI_EVENT
  void CommandMessage(std::string line) override;

 private:
  void Event(std::string_view name);
  void Event(std::string_view name, int value);

  Console& console_;
  HostOptions options_;
  std::unique_ptr<SimulatorServer> sim_;
  std::string simPath_;
  std::string cameraName_ = "camera";
  std::string deviceLabel_;
  std::function<int()> connect_;  // the last connect operation
};

}  // namespace vexq4::cli
