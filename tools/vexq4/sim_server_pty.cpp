// --sim: the same simulated camera that vexq4-sim serves, on a
// pseudo-terminal whose server thread lives in this process.
#include "sim_server.h"
#include "vexq4/sim/pty_server.h"

namespace vexq4::cli {
namespace {

class PtySimulator final : public SimulatorServer {
 public:
  bool Start(std::string& error) {
    if (!server_.Start(&error)) return false;
    path_ = server_.slavePath();
    return true;
  }
  const std::string& path() const override { return path_; }

 private:
  sim::PtyServer server_;
  std::string path_;
};

}  // namespace

std::unique_ptr<SimulatorServer> SimulatorServer::Start(std::string& error) {
  auto sim = std::make_unique<PtySimulator>();
  if (!sim->Start(error)) return nullptr;
  return sim;
}

}  // namespace vexq4::cli
