// vexq4-bench --cameras N: one settings file loaded by vexq4 into one
// camera, then into N at once (--device repeated), side by side.
//
// N simulated cameras are served in this process on pseudo-terminals in
// real time (9600-baud pacing, default latency); the vexq4 built beside this
// program runs as a child, as a line's script runs it. Each run is timed,
// with the child's CPU time and voluntary context switches (its wake-ups);
// afterwards every camera must hold each value the write reached the first
// camera with.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/serial_device.h"
#include "vexq4/sim/pty_server.h"
#include "vexq4_runs.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace vexq4;

double Seconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

Run RunVexq4(const std::string& vexq4, const std::vector<std::string>& devices,
             const std::vector<std::string>& command) {
  std::vector<std::string> args{vexq4, "--no-progress"};
  for (const std::string& d : devices) {
    args.push_back("--device");
    args.push_back(d);
  }
  args.insert(args.end(), command.begin(), command.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  Run run;
  run.cameras = static_cast<int>(devices.size());
  const double start = Seconds();
  pid_t pid = 0;
  // Its results (diff's and apply's lines) are not the bench's.
  posix_spawn_file_actions_t quiet;
  ::posix_spawn_file_actions_init(&quiet);
  ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const int spawned = ::posix_spawn(&pid, vexq4.c_str(), &quiet, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  // Only a signal interrupts the wait; any other failure ends it.
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.wallS = Seconds() - start;
  run.cpuS = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.wakeUps = usage.ru_nvcsw;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

Run RunVexq4(const std::string& vexq4, const std::vector<std::string>& devices,
             const std::string& file) {
  return RunVexq4(vexq4, devices, {"load-settings", file});
}

// A line's settings, away from the factory values wherever the camera has
// room for it: read from a camera set up so and saved as vexq4 saves them.
namespace {

bool WriteLineFile(const std::filesystem::path& file) {
  sim::Config config;
  config.paceAt9600 = false;
  config.values = {{"GA", 100}, {"SH", 4}, {"GAR", -20}, {"GAB", 35}, {"BLR", 40},
                   {"KN", 0},   {"TP", 1}, {"KPG", 700}, {"PE", 300}, {"WB", 0}};
  sim::PtyServer reference(config);
  if (!reference.Start()) return false;
  const std::string path = reference.slavePath();
  platform::SetSerialOpener([path](unsigned) { return platform::OpenSerialDevice(path); });
  CVexCamInterface model;
  const bool ok = model.SetComPort(1) == 0 && model.ReadAllFromCamera() == 0 &&
                  model.WriteAllToFile(file.string()) == 0;
  model.CloseConnection();
  platform::SetSerialOpener({});
  return ok;
}

}  // namespace

BenchLine::~BenchLine() {
  std::error_code ec;
  if (!dir.empty()) fs::remove_all(dir, ec);
}

bool PrepareBenchLine(int count, BenchLine& line) {
  line.vexq4 = (fs::read_symlink("/proc/self/exe").parent_path() / "vexq4").string();
  line.dir = fs::temp_directory_path() / ("vexq4-bench-" + std::to_string(::getpid()));
  fs::create_directories(line.dir);
  line.file = (line.dir / "line.cam").string();
  if (!WriteLineFile(line.file)) {
    std::fprintf(stderr, "vexq4-bench: cannot write %s\n", line.file.c_str());
    return false;
  }
  SimulatedCameras& cameras = line.cameras;
  for (int i = 0; i < count; ++i) {
    cameras.servers.push_back(std::make_unique<sim::PtyServer>());
    std::string error;
    if (!cameras.servers.back()->Start(&error)) {
      std::fprintf(stderr, "vexq4-bench: cannot serve a simulated camera: %s\n", error.c_str());
      return false;
    }
    cameras.devices.push_back(cameras.servers.back()->slavePath());
  }
  return true;
}

int RunManyCameras(int count, bool check) {
  BenchLine line;
  if (!PrepareBenchLine(count, line)) return 1;
  const auto& cameras = line.cameras.servers;
  const auto& devices = line.cameras.devices;
  const std::string& vexq4 = line.vexq4;
  const std::string& file = line.file;

  std::fprintf(stderr, "load-settings into 1 camera, then into %d at once (real time)...\n", count);
  const Run one = RunVexq4(vexq4, {devices.front()}, file);
  // What the write-all sent the first camera: every camera must hold it.
  std::vector<std::pair<std::string, int>> written;
  {
    auto first = cameras.front()->camera();
    for (const sim::ReceivedLine& line : first->log()) {
      const std::size_t eq = line.text.find('=');
      if (eq == std::string::npos || line.text.starts_with("<")) continue;
      const std::string mnemonic = line.text.substr(0, eq);
      if (mnemonic == "UD") continue;  // text, not a value
      written.emplace_back(mnemonic, first->Value(mnemonic));
    }
  }
  for (auto& c : cameras) c->camera()->ClearLog();
  const Run all = RunVexq4(vexq4, devices, file);

  int holding = 0;
  for (auto& c : cameras) {
    auto camera = c->camera();
    bool holds = !written.empty();
    for (const auto& [mnemonic, value] : written) holds = holds && camera->Value(mnemonic) == value;
    holding += holds ? 1 : 0;
  }

  const double ratio = one.wallS > 0 ? all.wallS / one.wallS : 0;
  std::printf("vexq4 load-settings, %d settings written, 9600-baud simulated cameras\n",
              static_cast<int>(written.size()));
  std::printf("%8s %9s %7s %8s %9s %6s\n", "cameras", "wall s", "ratio", "CPU s", "wake-ups",
              "exit");
  for (const Run& r : {one, all})
    std::printf("%8d %9.2f %7.3f %8.3f %9ld %6d\n", r.cameras, r.wallS,
                one.wallS > 0 ? r.wallS / one.wallS : 0, r.cpuS, r.wakeUps, r.status);
  std::printf("cameras holding the file's values afterwards: %d of %d\n", holding, count);
  const bool missed =
      ratio > kParallelTarget || holding != count || one.status != 0 || all.status != 0;
  if (missed)
    std::printf(
        "misses the target (at most %.2f times one camera, every camera holding the file)\n",
        kParallelTarget);
  return check && missed ? 1 : 0;
}
