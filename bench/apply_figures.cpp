// vexq4-bench --apply N: what vexq4 diff and apply cost on simulated
// cameras at the camera's pace (9600 baud, default latency): an apply of
// a file the camera already holds, against load-settings; the cost of each
// difference; and N cameras at once against one.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "vexq4/sim/pty_server.h"
#include "vexq4_runs.h"

namespace {

using namespace vexq4;

// An apply of a file the camera already holds sends nothing; this long at most.
constexpr double kIdenticalTargetS = 1.5;

// Settings of the line file moved away from it on a camera, k at a time.
constexpr const char* kMoved[] = {"GA", "SH", "BLR", "KN", "TP", "KPG", "PE", "CBAR"};

void Move(sim::PtyServer& camera, int k) {
  auto c = camera.camera();
  for (int i = 0; i < k; ++i) c->SetValue(kMoved[i], c->Value(kMoved[i]) == 1 ? 0 : 1);
}

void Print(const char* what, const Run& r, double base = 0) {
  std::printf("%-44s %3d %8.2f %8.3f %6d", what, r.cameras, r.wallS, r.cpuS, r.status);
  if (base > 0) std::printf("  x%.3f", r.wallS / base);
  std::printf("\n");
}

}  // namespace

int RunApplyFigures(int count, bool check) {
  BenchLine line;
  if (!PrepareBenchLine(count, line)) return 1;
  const auto& cameras = line.cameras.servers;
  const auto& devices = line.cameras.devices;
  const std::string& v = line.vexq4;
  const std::string& file = line.file;
  const std::vector<std::string> one{devices.front()};
  std::fprintf(stderr, "diff and apply on 9600-baud simulated cameras (real time)...\n");
  std::printf("%-44s %3s %8s %8s %6s\n", "run", "cam", "wall s", "CPU s", "exit");
  Print("load-settings (writes all)", RunVexq4(v, one, file));
  const Run identical = RunVexq4(v, one, {"apply", file});
  Print("apply, camera holds the file", identical);
  Print("diff, camera holds the file", RunVexq4(v, one, {"diff", file}));
  double perDifference = 0;
  for (int k : {1, 4, 8}) {
    Move(*cameras.front(), k);
    const Run r = RunVexq4(v, one, {"apply", file});
    const std::string what = "apply, " + std::to_string(k) + " differences";
    Print(what.c_str(), r);
    perDifference = (r.wallS - identical.wallS) / k;
    std::printf("%-44s %12.3f s a difference\n", "", perDifference);
  }
  // Every camera holds the file, then N at once against one.
  RunVexq4(v, devices, {"apply", file});
  const Run diffOne = RunVexq4(v, one, {"diff", file});
  const Run diffAll = RunVexq4(v, devices, {"diff", file});
  Print("diff, one camera", diffOne);
  Print("diff, all at once", diffAll, diffOne.wallS);
  for (auto& c : cameras) Move(*c, 4);
  const Run applyOne = RunVexq4(v, one, {"apply", file});
  Move(*cameras.front(), 4);
  const Run applyAll = RunVexq4(v, devices, {"apply", file});
  Print("apply, 4 differences, one camera", applyOne);
  Print("apply, 4 differences each, all at once", applyAll, applyOne.wallS);

  const bool missed = identical.wallS > kIdenticalTargetS || identical.status != 0 ||
                      diffAll.wallS > kParallelTarget * diffOne.wallS ||
                      applyAll.wallS > kParallelTarget * applyOne.wallS;
  if (missed)
    std::printf("misses a target (identical apply <= %.1f s, N cameras <= %.2f times one)\n",
                kIdenticalTargetS, kParallelTarget);
  return check && missed ? 1 : 0;
}
