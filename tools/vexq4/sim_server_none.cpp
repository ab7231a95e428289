// Built without the simulator library: --sim says so.
#include "sim_server.h"

namespace vexq4::cli {

std::unique_ptr<SimulatorServer> SimulatorServer::Start(std::string& error) {
  error = "this vexq4 was built without the simulator";
  return nullptr;
}

}  // namespace vexq4::cli
