// vexq4 run as a user runs it: the faults found by trying the program as a
// new user would (signals, terminals, files that are no files, devices
// that give no connection).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "process.h"
#include "test_dir.h"
#include "vexq4_run.h"

namespace vexq4::cli::test {
namespace {

// The simulator's line held open by the test, in a known, cooked state, so
// that what a program leaves behind on it can be compared.
class KnownLine {
 public:
  explicit KnownLine(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    ::tcgetattr(fd_, &known_);
    known_.c_iflag |= ICRNL | IXON;
    known_.c_lflag |= ICANON | ECHO | ISIG;
    known_.c_oflag |= OPOST;
    cfsetispeed(&known_, B38400);
    cfsetospeed(&known_, B38400);
    ::tcsetattr(fd_, TCSANOW, &known_);
    ::tcgetattr(fd_, &known_);
  }
  ~KnownLine() { ::close(fd_); }
  bool ok() const { return fd_ >= 0; }
  bool IsRaw9600() const {
    termios now{};
    ::tcgetattr(fd_, &now);
    return cfgetospeed(&now) == B9600 && (now.c_lflag & ICANON) == 0;
  }
  // Empty when the line is as the test left it, else what differs.
  std::string Changes() const {
    termios now{};
    ::tcgetattr(fd_, &now);
    std::string out;
    if (now.c_iflag != known_.c_iflag) out += " iflag";
    if (now.c_oflag != known_.c_oflag) out += " oflag";
    if (now.c_cflag != known_.c_cflag) out += " cflag";
    if (now.c_lflag != known_.c_lflag) out += " lflag";
    if (cfgetospeed(&now) != cfgetospeed(&known_)) out += " speed";
    int exclusive = 0;
    if (::ioctl(fd_, TIOCGEXCL, &exclusive) != 0 || exclusive != 0) out += " exclusive";
    return out;
  }
  int fd() const { return fd_; }

 private:
  int fd_;
  termios known_{};
};

// SIGINT, SIGTERM or SIGHUP in the middle of a read of all settings (4 s
// with the standard reads): the exchange is abandoned at once, the port
// gets its settings back and its exclusive use released, and the status
// tells the signal.
TEST(Vexq4, StopSignalsGiveThePortBackAndEndWithTheirStatus) {
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  KnownLine line(sim.path());
  ASSERT_TRUE(line.ok());
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    Process vexq4({kVexq4, "--device", sim.path(), "--standard-reads", "list"});
    auto start = std::chrono::steady_clock::now();
    while (!line.IsRaw9600() && MsSince(start) < 5000) ::usleep(20 * 1000);
    ASSERT_TRUE(line.IsRaw9600()) << "the program did not open the line";
    ::usleep(500 * 1000);  // well inside the read of all settings
    vexq4.Kill(sig);
    start = std::chrono::steady_clock::now();
    Result r = vexq4.Wait(10000);
    EXPECT_LT(MsSince(start), 1500) << sig;
    EXPECT_EQ(r.exitStatus, 128 + sig) << r.err;
    EXPECT_TRUE(Has(r.err, "stopped by SIG")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(line.Changes(), "") << sig;
  }
}

// A report stopped half way leaves no temporary file and the old report
// whole.
TEST_F(TempDir, StoppedReportLeavesNoTemporaryFile) {
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  const fs::path report = dir_ / "r.txt";
  vexq4::testing::WriteFile(report, "old report");
  Process vexq4({kVexq4, "--device", sim.path(), "report", report.string()});
  ::usleep(2500 * 1000);
  vexq4.Kill(SIGINT);
  Result r = vexq4.Wait(10000);
  EXPECT_EQ(r.exitStatus, 130) << r.err;
  EXPECT_EQ(vexq4::testing::CountEntries(dir_.path()), 1);
  EXPECT_EQ(ReadFile(report), "old report");
}

// The shell on a terminal: arrow keys edit and recall lines instead of
// landing in them, Ctrl-C abandons the command under way (or the line
// being typed) and the prompt comes back on the same connection.
TEST(Vexq4, ShellOnATerminalEditsAndSurvivesCtrlC) {
  SimProcess sim({"--set", "GA=77"});
  ASSERT_FALSE(sim.path().empty());
  // The standard reads: a list lasts 4 s, long enough to be interrupted.
  PtyProcess shell({kVexq4, "--device", sim.path(), "--no-progress", "--standard-reads", "shell"});
  ASSERT_TRUE(Has(shell.ReadUntil("vexq4> ", 10000), "vexq4> "));
  shell.Type("get MasterGainLevel\r");
  EXPECT_TRUE(Has(shell.ReadUntil("vexq4> ", 5000), "MasterGainLevel=77"));
  shell.Type("\x1b[A\r");  // the line again, by the up arrow
  std::string again = shell.ReadUntil("vexq4> ", 5000);
  EXPECT_TRUE(Has(again, "MasterGainLevel=77")) << again;
  EXPECT_FALSE(Has(again, "unknown command")) << again;
  shell.Type("get MasterGainLevl\x1b[De\r");  // mended with the left arrow
  EXPECT_TRUE(Has(shell.ReadUntil("vexq4> ", 5000), "MasterGainLevel=77"));
  shell.Type("frobnicate\x01\x0b\r");  // Ctrl-A, Ctrl-K: the line is gone
  EXPECT_FALSE(Has(shell.ReadUntil("vexq4> ", 5000), "unknown"));

  shell.Type("list\r");
  ::usleep(700 * 1000);
  auto start = std::chrono::steady_clock::now();
  shell.Type("\x03");
  std::string stopped = shell.ReadUntil("vexq4> ", 5000);
  EXPECT_LT(MsSince(start), 2000);
  EXPECT_TRUE(Has(stopped, "interrupted")) << stopped;
  EXPECT_FALSE(Has(stopped, "ShutterSpeedIndex=")) << stopped;
  shell.Type("half a line\x03");
  EXPECT_TRUE(Has(shell.ReadUntil("vexq4> ", 5000), "vexq4> "));
  shell.Type("get MasterGainLevel\r");
  EXPECT_TRUE(Has(shell.ReadUntil("vexq4> ", 5000), "MasterGainLevel=77"));
  shell.Type("quit\r");
  EXPECT_EQ(shell.Wait(5000), 130);  // the interrupted line is the last failing one
}

// On a terminal 40 columns wide the progress bar says what happens in words
// and never reaches the last column, where it would wrap.
TEST(Vexq4, ProgressBarFitsANarrowTerminal) {
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  PtyProcess list({kVexq4, "--device", sim.path(), "list"}, 40);
  EXPECT_EQ(list.Wait(20000), 0);
  const std::string& shown = list.shown();
  EXPECT_TRUE(Has(shown, "reading all settings")) << shown;
  EXPECT_FALSE(Has(shown, "ReadAllFromCamera"));
  std::size_t bars = 0;
  std::size_t start = 0;
  while (start < shown.size()) {
    std::size_t end = shown.find_first_of("\r\n", start);
    if (end == std::string::npos) end = shown.size();
    std::string frame = shown.substr(start, end - start);
    if (frame.starts_with("[")) {
      ++bars;
      if (auto k = frame.find("\033[K"); k != std::string::npos) frame.erase(k);
      EXPECT_LE(frame.size(), 39u) << frame;
    }
    start = end + 1;
  }
  EXPECT_GT(bars, 10u);
}

// Files that are not settings files or shading tables are refused at once,
// before the camera is touched: a FIFO (which would block), a folder, and a
// file too large to be one.
TEST_F(TempDir, FilesThatAreNoFilesAreRefusedWithoutBlocking) {
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  const fs::path fifo = dir_ / "pipe.cam";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path big = dir_ / "big.cam";
  vexq4::testing::WriteFile(big, "[Main]\r\nCamera Type=RX-Q4\r\n" + std::string(2 << 20, ';'));
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"load-settings", fifo.string()}, "FIFO"},
      {{"shading-load", fifo.string()}, "FIFO"},
      {{"save-settings", fifo.string()}, "FIFO"},
      {{"load-settings", dir_.path().string()}, "folder"},
      {{"load-settings", big.string()}, "bytes"},
      {{"shading-load", big.string()}, "bytes"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{kVexq4, "--device", sim.path()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    Result r = RunProgram(argv, "", 10000);
    EXPECT_FALSE(r.timedOut) << c.args[0];
    EXPECT_EQ(r.exitStatus, 1) << c.args[0] << " " << c.args[1];
    EXPECT_TRUE(Has(r.err, c.says)) << r.err;
  }
  EXPECT_TRUE(Commands(sim.StopAndLog()).empty());
}

// A failed connection says what is wrong with the device, not only that
// the camera is off-line.
TEST_F(TempDir, FailedConnectionsSayWhy) {
  auto failure = [](const std::string& device) {
    Result r = RunProgram({kVexq4, "--device", device, "get", "MasterGainLevel"}, "", 10000);
    EXPECT_EQ(r.exitStatus, 1) << device;
    return r.err;
  };
  EXPECT_TRUE(Has(failure("/dev/no-such-tty-vexq4"), "no such device"));
  vexq4::testing::WriteFile(dir_ / "plain", "x");
  EXPECT_TRUE(Has(failure((dir_ / "plain").string()), "not a serial device (a regular file)"));
  EXPECT_TRUE(Has(failure("/dev/null"), "not a serial device"));
  {
    SimProcess held;
    const int fd = ::open(held.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);  // another program holds it
    EXPECT_TRUE(Has(failure(held.path()), "in use by another program"));
    ::close(fd);
  }
  {
    SimProcess silent({"--silent"});
    EXPECT_TRUE(Has(failure(silent.path()), "no camera answered"));
  }
  if (::geteuid() != 0) {  // root opens anything
    SimProcess locked;
    ASSERT_EQ(::chmod(locked.path().c_str(), 0), 0);
    const std::string err = failure(locked.path());
    EXPECT_TRUE(Has(err, "permission denied") && Has(err, "dialout")) << err;
  }
}

// An empty user ID is not sent, so it is not reported as set.
TEST(Vexq4, EmptyUserIdIsRefused) {
  SimProcess sim({"--user-id", "LINE 3"});
  ASSERT_FALSE(sim.path().empty());
  Result r = RunProgram({kVexq4, "--device", sim.path(), "set", "UserID="});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_TRUE(Has(r.err, "the camera keeps its user ID")) << r.err;
  EXPECT_TRUE(Commands(sim.StopAndLog()).empty());
}

// Results that cannot be written are a failure, not a success.
TEST(Vexq4, UnwritableStandardOutputEndsWithStatusOne) {
  auto toFull = [](std::vector<std::string> args) {
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full", kVexq4};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, "", 20000);
  };
  Result get = toFull({"--sim", "get", "MasterGainLevel"});
  EXPECT_EQ(get.exitStatus, 1);
  EXPECT_TRUE(Has(get.err, "standard output")) << get.err;
  EXPECT_EQ(toFull({"--help"}).exitStatus, 1);
  EXPECT_EQ(toFull({"--sim", "shell"}).exitStatus, 0);  // nothing to write, nothing failed
}

// ---- Several cameras in one run.

// The commands of a simulator's log without its times of day.
std::vector<std::string> Sent(const std::string& log) {
  std::vector<std::string> out;
  for (const std::string& line : Commands(log)) {
    const std::size_t gap = line.find("  ");
    out.push_back(gap == std::string::npos ? line : line.substr(gap + 2));
  }
  return out;
}

std::vector<std::string> Sorted(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Every command runs on each camera named, each result line naming its
// camera; a camera that cannot be reached fails alone.
TEST(Vexq4, SeveralCamerasEachLineNamingItsCamera) {
  SimProcess a, b({"--set", "GA=33"}), c;
  ASSERT_FALSE(a.path().empty() || b.path().empty() || c.path().empty());
  const std::vector<std::string> three{kVexq4,   "--device", a.path(), "--device",
                                       b.path(), "--device", c.path()};
  auto on = [](std::vector<std::string> argv, std::vector<std::string> args) {
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, "", 30000);
  };
  Result get = on(three, {"get", "MasterGainLevel", "ShutterSpeedStr"});
  EXPECT_EQ(get.exitStatus, 0) << get.err;
  EXPECT_EQ(Sorted(get.out),
            Sorted(a.path() + ": MasterGainLevel=0\n" + a.path() + ": ShutterSpeedStr=\"OFF\"\n" +
                   b.path() + ": MasterGainLevel=33\n" + b.path() + ": ShutterSpeedStr=\"OFF\"\n" +
                   c.path() + ": MasterGainLevel=0\n" + c.path() + ": ShutterSpeedStr=\"OFF\"\n"));

  // The one in the middle is missing: the others still get the value.
  Result set =
      on({kVexq4, "--device", a.path(), "--device", "/nonexistent/tty", "--device", c.path()},
         {"set", "MasterGainLevel=60"});
  EXPECT_EQ(set.exitStatus, 1);
  EXPECT_TRUE(Has(set.err, "vexq4: /nonexistent/tty: COM")) << set.err;
  EXPECT_TRUE(Has(set.err, "no such device")) << set.err;

  // --com with a range names each port of it, by its device.
  Result range =
      RunProgram({kVexq4, "--com", "2-3", "--com", "5", "get", "MasterGainLevel"}, "", 30000,
                 {"VEXQ4_COM2=" + a.path(), "VEXQ4_COM3=" + b.path(), "VEXQ4_COM5=" + c.path()});
  EXPECT_EQ(range.exitStatus, 0) << range.err;
  EXPECT_EQ(Sorted(range.out),
            Sorted(a.path() + ": MasterGainLevel=60\n" + b.path() + ": MasterGainLevel=33\n" +
                   c.path() + ": MasterGainLevel=60\n"));

  // A shell line runs on all of them.
  Result shell = RunProgram({kVexq4, "--device", a.path(), "--device", b.path(), "shell"},
                            "set MasterGainLevel=7\nget MasterGainLevel\n", 30000);
  EXPECT_EQ(shell.exitStatus, 0) << shell.err;
  EXPECT_EQ(Sorted(shell.out),
            Sorted(a.path() + ": MasterGainLevel=7\n" + b.path() + ": MasterGainLevel=7\n"));

  // Refused before any port is opened.
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--device", a.path(), "--device", a.path(), "list"},
        {"--com", "2", "--com", "1-3", "list"},
        {"--com", "3-2", "list"},
        {"--com", "0", "list"},
        {"--device", a.path(), "--device", b.path(), "search"}}) {
    std::vector<std::string> argv{kVexq4};
    argv.insert(argv.end(), bad.begin(), bad.end());
    EXPECT_EQ(RunProgram(argv).exitStatus, 2) << bad[1] << " " << bad[2];
  }

  EXPECT_EQ(Sent(a.StopAndLog()), (std::vector<std::string>{"GA=60", "GA=7"}));
  EXPECT_EQ(Sent(b.StopAndLog()), (std::vector<std::string>{"GA=7"}));
  EXPECT_EQ(Sent(c.StopAndLog()), (std::vector<std::string>{"GA=60"}));
}

// A settings file loaded into several cameras at once: each holds it
// afterwards, and together they take about as long as one.
TEST_F(TempDir, LoadSettingsOnSeveralCamerasWritesEachOfThem) {
  SimProcess source({"--set", "GA=100", "--set", "SH=4", "--set", "BLR=40"});
  const fs::path cam = dir_ / "line.cam";
  ASSERT_EQ(
      RunProgram({kVexq4, "--device", source.path(), "save-settings", cam.string()}).exitStatus, 0);
  SimProcess a, b, c;
  const auto start = std::chrono::steady_clock::now();
  Result load = RunProgram({kVexq4, "--device", a.path(), "--device", b.path(), "--device",
                            c.path(), "load-settings", cam.string()},
                           "", 80000);
  const long ms = MsSince(start);
  EXPECT_EQ(load.exitStatus, 0) << load.err;
  EXPECT_EQ(load.out, "");
  std::printf("load-settings into three cameras at once: %ld ms\n", ms);
  for (SimProcess* sim : {&a, &b, &c}) {
    const std::vector<std::string> commands = Sent(sim->StopAndLog());
    for (const char* wanted : {"GA=100", "SH=4", "BLR=40"})
      EXPECT_NE(std::find(commands.begin(), commands.end(), wanted), commands.end()) << wanted;
    EXPECT_GT(commands.size(), 25u);
  }
}

// A stop signal while several cameras are read (4 s with the standard
// reads): every port gets its settings back and its exclusive use
// released.
TEST(Vexq4, StopSignalGivesEveryCamerasPortBack) {
  SimProcess a, b;
  KnownLine lineA(a.path()), lineB(b.path());
  ASSERT_TRUE(lineA.ok() && lineB.ok());
  Process vexq4({kVexq4, "--device", a.path(), "--device", b.path(), "--standard-reads", "list"});
  auto start = std::chrono::steady_clock::now();
  while (!(lineA.IsRaw9600() && lineB.IsRaw9600()) && MsSince(start) < 5000) ::usleep(20 * 1000);
  ASSERT_TRUE(lineA.IsRaw9600() && lineB.IsRaw9600()) << "the program did not open both lines";
  ::usleep(500 * 1000);
  vexq4.Kill(SIGTERM);
  start = std::chrono::steady_clock::now();
  Result r = vexq4.Wait(10000);
  EXPECT_LT(MsSince(start), 1500);
  EXPECT_EQ(r.exitStatus, 143) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(lineA.Changes(), "");
  EXPECT_EQ(lineB.Changes(), "");
}

// On a terminal each camera has a bar of its own, named after it; results
// come out whole between the bars.
TEST(Vexq4, SeveralCamerasOnATerminalShowOneBarEach) {
  SimProcess a, b;
  PtyProcess list({kVexq4, "--device", a.path(), "--device", b.path(), "list"}, 100);
  EXPECT_EQ(list.Wait(30000), 0);
  const std::string& shown = list.shown();
  EXPECT_TRUE(Has(shown, "\r" + a.path() + ": [")) << shown;
  EXPECT_TRUE(Has(shown, "\r" + b.path() + ": [")) << shown;
  EXPECT_TRUE(Has(shown, "] 10/34 reading all settings")) << shown;
  for (const std::string& device : {a.path(), b.path()})
    EXPECT_TRUE(Has(shown, device + ": ShutterSpeedStr=\"OFF\"\r\n")) << shown;
}

}  // namespace
}  // namespace vexq4::cli::test
