// The built-in simulated camera of --sim: the simulator served on a
// pseudo-terminal by a thread of this process, as vexq4-sim serves it.
#pragma once

#include <memory>
#include <string>

namespace vexq4::cli {

class SimulatorServer {
 public:
  virtual ~SimulatorServer() = default;
  // The device path of the camera's end of the line (/dev/pts/N).
  virtual const std::string& path() const = 0;
  // nullptr with `error` set when no simulator is available.
  static std::unique_ptr<SimulatorServer> Start(std::string& error);
};

}  // namespace vexq4::cli
