// The last resort of a stopped program: when its main thread does not come
// back (a vendor library that blocks, say), the watchdog hands the serial
// port back, removes temporary files and ends the program about a second
// after the signal.
#include "signals.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "test_dir.h"
#include "vexq4/platform/ini_file.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::cli {
namespace {

TEST(StopSignals, WatchdogReleasesWhatAStuckProgramHolds) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string path = ::ptsname(master);
  const int keep = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(keep, 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(keep, &before), 0);
  vexq4::testing::TestDir dir;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstallStopSignals();
    platform::OpenResult port = platform::OpenSerialDevice(path);
    platform::AtomicFile file;
    const bool opened = port.device && file.Open(dir / "report.txt");
    [[maybe_unused]] auto n = ::write(ready[1], opened ? "y" : "n", 1);
    for (;;) ::pause();  // a main thread that never returns
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  termios raw{};
  ::tcgetattr(keep, &raw);
  EXPECT_EQ(cfgetospeed(&raw), B9600);
  EXPECT_EQ(vexq4::testing::CountEntries(dir.path()), 1);  // the temporary file

  const auto start = std::chrono::steady_clock::now();
  ::kill(child, SIGTERM);
  int status = 0;
  for (int i = 0; i < 500 && ::waitpid(child, &status, WNOHANG) == 0; ++i) ::usleep(10 * 1000);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  ASSERT_TRUE(WIFEXITED(status)) << "still running or killed";
  EXPECT_EQ(WEXITSTATUS(status), 143);
  EXPECT_GE(ms, 900);  // the program had its chance to unwind
  EXPECT_LT(ms, 3000);

  termios after{};
  ASSERT_EQ(::tcgetattr(keep, &after), 0);
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  int exclusive = 1;
  ASSERT_EQ(::ioctl(keep, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(vexq4::testing::CountEntries(dir.path()), 0);
  ::close(keep);
  ::close(master);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace vexq4::cli
