// Runs of the vexq4 built beside the bench, as a line's script runs it,
// against simulated cameras on pseudo-terminals of the bench.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "vexq4/sim/pty_server.h"

// How much longer N cameras may take than one.
inline constexpr double kParallelTarget = 1.15;

struct Run {
  int cameras = 0;
  double wallS = 0;
  double cpuS = 0;
  long wakeUps = 0;
  int status = -1;
};

double Seconds();
// vexq4 --no-progress --device D... COMMAND...: timed, with its CPU time
// and voluntary context switches.
Run RunVexq4(const std::string& vexq4, const std::vector<std::string>& devices,
             const std::vector<std::string>& command);
// ... load-settings FILE.
Run RunVexq4(const std::string& vexq4, const std::vector<std::string>& devices,
             const std::string& file);
// A line's settings file, away from the factory values, as vexq4 saves it.
bool WriteLineFile(const std::filesystem::path& file);
// `count` paced simulated cameras on pseudo-terminals, and their devices;
// false (said on standard error) when one cannot be served.
struct SimulatedCameras {
  std::vector<std::unique_ptr<vexq4::sim::PtyServer>> servers;
  std::vector<std::string> devices;
};
bool StartSimulatedCameras(int count, SimulatedCameras& cameras);
