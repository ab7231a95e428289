// vexq4 ports: the machine's serial ports, and with --probe the cameras on
// them.
#pragma once

#include <filesystem>

#include "serial_ports.h"

namespace vexq4::cli {

class Host;

struct PortsOptions {
  bool probe = false;
  bool json = false;
};

// Asks every port this user may open and nobody holds for the camera (the
// model's connection probe), and fills in each port's probe.
void ProbePorts(Host& host, PortScan& scan);

// Lists the ports below `root` (SystemRoot() on a real machine) on standard
// output; the exit status.
int RunPorts(Host& host, const PortsOptions& options, const std::filesystem::path& root);

}  // namespace vexq4::cli
