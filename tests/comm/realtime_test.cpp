// Waiting in real time sleeps: the command gap and empty reads must not
// spin the processor.
#include <sys/resource.h>
#include <time.h>

#include "comm_fixture.h"

namespace vexq4::test {
namespace {

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long ThreadWakeUps() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

double WallMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

TEST(RealTime, CommandGapSleepsInsteadOfSpinning) {
  platform::SetClock(nullptr);
  auto line = std::make_shared<FakeLine>(platform::CurrentClock());
  platform::SetSerialOpener([line](unsigned) {
    platform::OpenResult result;
    result.device = std::make_unique<FakeDevice>(line);
    return result;
  });
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_OK);

  const double wall = WallMs();
  const double cpu = ThreadCpuMs();
  const long wakeUps = ThreadWakeUps();
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 2), VEXQ4_OK);
  const double wallUsed = WallMs() - wall;
  const double cpuUsed = ThreadCpuMs() - cpu;
  const long woken = ThreadWakeUps() - wakeUps;

  EXPECT_GE(wallUsed, 590.0);
  RecordProperty("cpu_ms", std::to_string(cpuUsed));
  RecordProperty("wake_ups", std::to_string(woken));
  // A spinning wait would take nearly all of the time.
  EXPECT_LT(cpuUsed, 0.05 * wallUsed) << cpuUsed << " ms of CPU in " << wallUsed << " ms";
  // One sleep for the gap (a wait in 1 ms steps wakes about 600 times),
  // one for the drain and one per byte of the acknowledgement.
  EXPECT_LE(woken, 30);
  VexQ4ExitComm(1);
  platform::SetSerialOpener({});
}

}  // namespace
}  // namespace vexq4::test
