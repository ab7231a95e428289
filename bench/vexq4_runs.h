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
// `count` paced simulated cameras on pseudo-terminals, and their devices.
struct SimulatedCameras {
  std::vector<std::unique_ptr<vexq4::sim::PtyServer>> servers;
  std::vector<std::string> devices;
};
// What a run of the bench works on: the vexq4 built beside it, a line's
// settings file (away from the factory values, as vexq4 saves it) in a
// folder of its own that goes with the object, and the simulated cameras.
struct BenchLine {
  std::string vexq4;
  std::filesystem::path dir;
  std::string file;
  SimulatedCameras cameras;

  BenchLine() = default;
  BenchLine(const BenchLine&) = delete;
  BenchLine& operator=(const BenchLine&) = delete;
  ~BenchLine();
};
// False (said on standard error) when the file cannot be written or a
// camera cannot be served.
bool PrepareBenchLine(int count, BenchLine& line);
