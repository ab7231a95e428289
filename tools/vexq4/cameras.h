// The cameras one run of vexq4 talks to: one, as always, or several at
// once (--device and --com repeated, --com 1-8, --all), each with a model
// of its own on a thread of its own. The library's per-port locks keep the
// lines apart; each camera's results and messages carry its device.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camera_names.h"
#include "console.h"
#include "host.h"

namespace vexq4::cli {

struct CameraTarget {
  std::string label;     // the device as the user names it ("/dev/ttyUSB0")
  std::string device;    // the device the COM port opens (looked at when no camera answers)
  int comPort = 0;       // the COM port number of this process that names `device`
  std::string fileName;  // what {camera} in a file name becomes ("ttyUSB0", "COM2")
};

class Cameras {
 public:
  // Several cameras: each gets a lane of `console` and a model of its own.
  Cameras(Console& console, HostOptions options, std::vector<CameraTarget> targets);
  // The one camera of an ordinary run, already connected: commands run on
  // the calling thread and print exactly as they always have.
  explicit Cameras(Host& host);
  ~Cameras();
  Cameras(const Cameras&) = delete;
  Cameras& operator=(const Cameras&) = delete;

  // Messages that are about no camera in particular.
  Console& console() { return console_; }
  std::size_t size() const { return cameras_.size(); }
  // How many answered when connected.
  std::size_t connected() const;
  // Each camera's label and what {camera} becomes for it.
  std::vector<CameraFileName> fileNames() const;

  // Connects every camera at once. A camera that does not answer is
  // reported (why, from a look at its device) and takes no part in later
  // runs. The worst exit status.
  int Connect();
  // Connects each camera and runs `run` on it at once, each camera as soon
  // as it answers; the worst exit status (a failed connection counts 1).
  // `unreachable`, when set, gives the status of a camera not connected.
  int ConnectAndRun(const std::function<int(Host&)>& run,
                    const std::function<int(Host&)>& unreachable = {});
  // Runs `run` on every connected camera at once; the worst exit status.
  // A camera that fails never stops the others.
  int Run(const std::function<int(Host&)>& run);

  // How many of the connected cameras are off-line now.
  int OffLine() const;
  // Repeats the connect operation of every camera off-line now; whether
  // one still is.
  bool ReconnectOffLine();

 private:
  struct Camera;
  int ForEach(const std::function<int(Camera&)>& work);

  Console& console_;
  std::vector<std::unique_ptr<Camera>> cameras_;
};

}  // namespace vexq4::cli
