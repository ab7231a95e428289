// vexq4-bench: how close each camera operation comes to the fastest the
// line protocol allows.
//
// The simulated camera is served in-process on a real pseudo-terminal, in
// real time, answering after its default latency with its bytes paced at
// 9600 baud. Each operation of the camera model runs against it and is
// measured: wall time, CPU time of the calling thread (the host) and of the
// whole process (the host and the simulator), and the process's peak
// resident memory.
//
// The protocol minimum of an operation is computed from the exchange it
// actually made: the lines the camera received (its log) are replayed on a
// copy of the camera taken before the operation, which gives the length of
// every answer; then a timeline adds only the library's fixed waits:
//   - every transaction first drains pending input: one empty single-byte
//     read, which the COM read time-outs end after 101 ms (a query's ends
//     after the quiet time of fast reads when one is set);
//   - a command is sent no earlier than 600 ms after the last acknowledged
//     one (the drain counts towards that gap);
//   - the answer is complete when the camera's latency and its bytes at
//     9600 baud (10 bits each) have passed since the line was sent (auto
//     shading: the camera's computing time instead of the latency);
//   - the shading frame: the reader sleeps 1000 ms after its query before
//     reading the 1546 bytes, the sender 1000 ms after the frame before
//     reading the acknowledgement.
// On a pseudo-terminal the host's own bytes arrive at once, so the time
// they take on a real 9600-baud line (1.04 ms a byte, 1.6 s for an
// uploaded frame) is not part of this minimum; a real port adds it to the
// measured time and to the minimum alike.
//
// Fast reads: read-all, a load from a user area and the camera data report
// run with the standard drain and with a 15 ms query drain, side by side,
// beside the line's own minimum: the same timeline without any drain, only
// the camera's latency, its answers at 9600 baud and the 600 ms it needs
// between commands.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "VexQ4Comm.h"
#include "file_formats.h"
#include "timeline.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/ini_file.h"
#include "vexq4/platform/serial_device.h"
#include "vexq4/sim/pty_server.h"

namespace {

namespace fs = std::filesystem;
using namespace vexq4;

using bench::kDrainMs;
using bench::Minimum;
using bench::MinimumOf;
constexpr int kShortDrainMs = CVexCamInterface::kFastReadsDrainMs;  // the hosts' default
// Targets.
constexpr double kWallRatioTarget = 1.05;
constexpr double kCpuShareTarget = 0.02;

double Now(clockid_t clock) {
  timespec ts{};
  ::clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Voluntary context switches of the calling thread: each is a wait that
// ended (a byte, a time-out, a sleep), so the count is how often the host
// woke up.
long ThreadWakeUps() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

long PeakRssKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Row {
  std::string name;
  int queryDrainMs = 0;  // 0: the standard drain
  std::size_t exchanges = 0;
  double wallMs = 0;
  double minimumMs = 0;
  double lineMs = 0;
  double hostCpuMs = 0;
  double processCpuMs = 0;
  double wakeUps = 0;  // of the host thread
  int status = 0;
  int runs = 0;
};

class Bench {
 public:
  bool Start() {
    std::string error;
    if (!server_.Start(&error)) {
      std::fprintf(stderr, "vexq4-bench: cannot serve the simulated camera: %s\n", error.c_str());
      return false;
    }
    const std::string path = server_.slavePath();
    platform::SetSerialOpener([path](unsigned) { return platform::OpenSerialDevice(path); });
    if (model_.SetComPort(1) != 0) {
      std::fprintf(stderr, "vexq4-bench: the simulated camera did not answer on %s\n",
                   path.c_str());
      return false;
    }
    dir_ = fs::temp_directory_path() / ("vexq4-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::array<int, model::kShadingValues> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = 4096 + static_cast<int>(i % 500);
    return platform::WriteFileAtomically(dir_ / "load.csv", model::FormatShadingFile(table));
  }
  ~Bench() {
    CVexCamInterface::SetQueryDrainTime(-1);
    model_.CloseConnection();
    platform::SetSerialOpener({});
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  // The query drain for the operations measured next: 0 the standard one,
  // else the quiet time in ms.
  void SetQueryDrain(int ms) {
    queryDrainMs_ = ms;
    CVexCamInterface::SetQueryDrainTime(ms);
  }

  // Runs `op` `runs` times (each after the command gap has passed) and
  // keeps the mean of each figure.
  void Measure(std::string name, int runs, const std::function<int()>& op,
               const std::function<void()>& before = {}) {
    Row row;
    row.name = std::move(name);
    row.queryDrainMs = queryDrainMs_;
    for (int i = 0; i < runs; ++i) {
      if (before) before();
      std::this_thread::sleep_for(std::chrono::milliseconds(700));
      sim::SimCamera replica = Snapshot();
      const double wall = Now(CLOCK_MONOTONIC);
      const double host = Now(CLOCK_THREAD_CPUTIME_ID);
      const double process = Now(CLOCK_PROCESS_CPUTIME_ID);
      const long wakeUps = ThreadWakeUps();
      const int status = op();
      row.wakeUps += static_cast<double>(ThreadWakeUps() - wakeUps);
      row.wallMs += Now(CLOCK_MONOTONIC) - wall;
      row.hostCpuMs += Now(CLOCK_THREAD_CPUTIME_ID) - host;
      row.processCpuMs += Now(CLOCK_PROCESS_CPUTIME_ID) - process;
      if (status != 0) row.status = status;
      std::vector<sim::ReceivedLine> lines;
      {
        auto camera = server_.camera();
        lines = camera->log();
      }
      const Minimum minimum =
          MinimumOf(std::move(replica), lines, row.queryDrainMs != 0 ? row.queryDrainMs : kDrainMs,
                    &row.exchanges);
      row.minimumMs += minimum.protocolMs;
      row.lineMs += minimum.lineMs;
    }
    row.wallMs /= runs;
    row.minimumMs /= runs;
    row.lineMs /= runs;
    row.hostCpuMs /= runs;
    row.processCpuMs /= runs;
    row.wakeUps /= runs;
    row.runs = runs;
    rows_.push_back(row);
    std::fprintf(stderr, "  %-26s %-6s %9.1f ms\n", row.name.c_str(), DrainText(row).c_str(),
                 row.wallMs);
  }

  int Print(bool check) const {
    std::printf("%-26s %-6s %5s %10s %10s %6s %9s %6s %9s %7s %6s\n", "operation", "drain", "lines",
                "wall ms", "min ms", "ratio", "host CPU", "share", "all CPU", "wakeups", "code");
    bool missed = false;
    for (const Row& r : rows_) {
      const double ratio = r.minimumMs > 0 ? r.wallMs / r.minimumMs : 0;
      const double share = r.wallMs > 0 ? r.hostCpuMs / r.wallMs : 0;
      const bool miss = ratio > kWallRatioTarget || share > kCpuShareTarget || r.status != 0;
      missed |= miss;
      std::printf("%-26s %-6s %5zu %10.1f %10.1f %6.3f %9.2f %5.2f%% %9.2f %7.0f %6d%s\n",
                  r.name.c_str(), DrainText(r).c_str(), r.exchanges, r.wallMs, r.minimumMs, ratio,
                  r.hostCpuMs, share * 100, r.processCpuMs, r.wakeUps, r.status,
                  miss ? "  <- misses a target" : "");
    }
    std::printf("peak resident memory of this process (host and simulator): %.1f MB\n",
                PeakRssKb() / 1024.0);
    PrintFastReads();
    return check && missed ? 1 : 0;
  }

  // Each operation measured with both drains, side by side, beside the
  // line's own minimum.
  void PrintFastReads() const {
    bool header = false;
    for (const Row& fast : rows_) {
      if (fast.queryDrainMs == 0) continue;
      const auto standard = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) {
        return r.queryDrainMs == 0 && r.name == fast.name;
      });
      if (standard == rows_.end()) continue;
      if (!header) {
        std::printf("\nfast reads: the drain before each query, standard (101 ms) and %d ms\n",
                    fast.queryDrainMs);
        std::printf("%-26s %5s %10s %10s %10s %10s %10s %7s\n", "operation", "lines", "std ms",
                    "std min", "fast ms", "fast min", "line ms", "fast/std");
        header = true;
      }
      std::printf("%-26s %5zu %10.1f %10.1f %10.1f %10.1f %10.1f %7.3f\n", fast.name.c_str(),
                  fast.exchanges, standard->wallMs, standard->minimumMs, fast.wallMs,
                  fast.minimumMs, fast.lineMs,
                  standard->wallMs > 0 ? fast.wallMs / standard->wallMs : 0);
    }
  }

  CVexCamInterface& model() { return model_; }
  const fs::path& dir() const { return dir_; }
  // The camera's log starts empty for the next operation.
  void ClearLog() { server_.camera()->ClearLog(); }

 private:
  sim::SimCamera Snapshot() {
    auto camera = server_.camera();
    camera->ClearLog();
    sim::SimCamera copy(camera->config());
    copy.shadingTable() = camera->shadingTable();
    return copy;
  }

  static std::string DrainText(const Row& r) {
    return r.queryDrainMs != 0 ? std::to_string(r.queryDrainMs) + " ms" : "std";
  }

  sim::PtyServer server_;
  CVexCamInterface model_;
  fs::path dir_;
  std::vector<Row> rows_;
  int queryDrainMs_ = 0;
};

void Usage(FILE* out) {
  std::fprintf(
      out,
      "Usage: vexq4-bench [--quick | --fast-reads | --cameras N | --apply N | --lines] [--runs N] "
      "[--check]\n"
      "\n"
      "Runs camera operations of the model against the simulated camera on a\n"
      "pseudo-terminal in real time (9600 baud pacing, default latency) and prints,\n"
      "for each, its wall time beside the protocol's minimum for the exchange it\n"
      "made (the library's fixed waits and the answer's bytes at 9600 baud), the\n"
      "CPU time of the host thread and of the whole process, and the peak memory.\n"
      "Then, side by side, the reads with the standard drain before each query and\n"
      "with a %d ms one (fast reads), beside the line's own minimum (no drain).\n"
      "\n"
      "  --quick       only the short operations (query, command)\n"
      "  --fast-reads  only the side by side reads: read-all, a load from user\n"
      "                area 1 and the camera data report, with either drain\n"
      "                (about a minute and a half)\n"
      "  --cameras N   only vexq4 load-settings into one camera, then into N at once\n"
      "                (--device repeated), side by side: wall and CPU time and\n"
      "                wake-ups of vexq4, and whether every camera holds the file\n"
      "                (about a minute)\n"
      "  --apply N     only vexq4 diff and apply: of a file the camera holds (against\n"
      "                load-settings), with 1, 4 and 8 differences (the cost of each),\n"
      "                and on N cameras at once against one (about a minute)\n"
      "  --lines       only vexq4 itself on every kind of line: the pseudo-terminal,\n"
      "                linkport (the simulated grabber as Camera Link 2.0 and 1.0),\n"
      "                clallserial and ser2net (rfc2217://, socket://): read-all,\n"
      "                identity, write-all and load-settings with fast reads and\n"
      "                with --standard-reads, beside the line's own limit (the\n"
      "                bytes both ways at 9600 baud, the camera's answer time, the\n"
      "                600 ms after a command) and the serial line's time (about\n"
      "                ten minutes)\n"
      "  --runs N      repeat the short operations N times (default 5; 3 with\n"
      "                --lines) and average\n"
      "  --check       exit 1 if an operation misses a target (wall within 5%% of\n"
      "                the minimum, host CPU under 2%% of wall; N cameras within\n"
      "                1.15 times one; over Camera Link within 1.05 times the\n"
      "                serial line) or fails\n"
      "  --help        this text\n"
      "\n"
      "The full run takes about three minutes.\n",
      kShortDrainMs);
}

}  // namespace

int RunManyCameras(int count, bool check);   // many_cameras.cpp
int RunLines(int runs, bool check);          // lines.cpp
int RunApplyFigures(int count, bool check);  // apply_figures.cpp

int main(int argc, char** argv) {
  int cameras = 0;
  int applyCameras = 0;
  bool quick = false;
  bool fastReadsOnly = false;
  bool check = false;
  bool lines = false;
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--quick") {
      quick = true;
    } else if (arg == "--fast-reads") {
      fastReadsOnly = true;
    } else if (arg == "--lines") {
      lines = true;
    } else if (arg == "--check") {
      check = true;
    } else if (arg == "--cameras" && i + 1 < argc) {
      cameras = std::atoi(argv[++i]);
      if (cameras < 1 || cameras > 64) {
        Usage(stderr);
        return 2;
      }
    } else if (arg == "--apply" && i + 1 < argc) {
      applyCameras = std::atoi(argv[++i]);
      if (applyCameras < 1 || applyCameras > 64) {
        Usage(stderr);
        return 2;
      }
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else {
      Usage(stderr);
      return 2;
    }
  }
  if (quick + fastReadsOnly + (cameras > 0) + (applyCameras > 0) + lines > 1) {
    Usage(stderr);
    return 2;
  }
  if (cameras > 0) return RunManyCameras(cameras, check);
  if (applyCameras > 0) return RunApplyFigures(applyCameras, check);
  if (lines) return RunLines(runs > 0 ? runs : 3, check);
  if (runs == 0) runs = 5;

  Bench bench;
  if (!bench.Start()) return 1;
  CVexCamInterface& m = bench.model();
  const fs::path dir = bench.dir();
  int gain = 0;
  std::fprintf(stderr, "measuring (%s run)...\n",
               quick           ? "quick"
               : fastReadsOnly ? "fast reads"
                               : "full");
  const auto reads = [&] {
    if (!quick) {
      bench.Measure("read-all", 1, [&] { return m.ReadAllFromCamera(); });
      bench.Measure("load user area 1", 1, [&] { return m.LoadSettings(1); });
    }
  };
  const auto report = [&] {
    bench.Measure("camera data report", 1,
                  [&] { return m.WriteCameraDataToFile((dir / "report.txt").string()); });
  };
  if (!fastReadsOnly) {
    bench.Measure("query (GA?)", runs, [&] { return m.GetMasterGainLevel(); });
    bench.Measure("command (GA=)", runs, [&] { return m.SetMasterGainLevel(++gain % 400); });
    // Back to back: the second command waits out the gap after the first.
    bench.Measure("two commands back to back", runs, [&] {
      const int first = m.SetMasterGainLevel(++gain % 400);
      const int second = m.SetMasterGainLevel(++gain % 400);
      return first != 0 ? first : second;
    });
  }
  reads();
  if (!quick) {
    if (!fastReadsOnly) {
      bench.Measure("write-all", 1, [&] { return m.WriteAllToCamera(); });
    }
    report();
    if (!fastReadsOnly) {
      bench.Measure("shading save", 1,
                    [&] { return m.SaveShadingDataIntoFile((dir / "save.csv").string()); });
      bench.Measure("shading load", 1,
                    [&] { return m.LoadShadingDataFromFile((dir / "load.csv").string()); });
    }
  }

  // The same reads with the short drain before each query.
  bench.SetQueryDrain(kShortDrainMs);
  if (!fastReadsOnly) bench.Measure("query (GA?)", runs, [&] { return m.GetMasterGainLevel(); });
  reads();
  if (!quick) report();
  bench.SetQueryDrain(0);
  return bench.Print(check);
}
