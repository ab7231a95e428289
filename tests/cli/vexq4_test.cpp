// vexq4 run as a user runs it: against its built-in simulated camera
// (--sim) and against a vexq4-sim process on a pseudo-terminal (--device),
// checking standard output, exit statuses, the files written and, through
// the simulator's log, what reached the camera.
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
#include "table_counts.h"
#include "test_dir.h"

namespace vexq4::cli::test {
namespace {

namespace fs = std::filesystem;
using vexq4::testing::ReadFile;

const std::string kVexq4 = VEXQ4_EXE;
const std::string kSim = VEXQ4_SIM_EXE;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The lines of `vexq4 list`: every property of the model and the identity
// a read-all reads (the camera ID, model name and settings area).
std::size_t ListedValues() { return testing::ModelPropertyCount() + 3; }

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

enum class Pace { kAtOnce, kCamera };

// A vexq4-sim process logging every line it receives, answering at once or
// at the camera's own pace (9600 baud after its latency).
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> extra = {}, Pace pace = Pace::kAtOnce) {
    std::vector<std::string> argv{kSim, "--log"};
    if (pace == Pace::kAtOnce) argv.insert(argv.end(), {"--no-pacing", "--latency", "1"});
    argv.insert(argv.end(), extra.begin(), extra.end());
    process_ = std::make_unique<Process>(argv);
    path_ = process_->ReadLine(5000);
  }
  const std::string& path() const { return path_; }
  // Stops the simulator and gives what it logged: one line per line received.
  std::string StopAndLog() {
    process_->Kill(SIGTERM);
    return process_->Wait(5000).err;
  }
  void Kill() { process_->Kill(SIGKILL); }

 private:
  std::unique_ptr<Process> process_;
  std::string path_;
};

// Lines of the log that are commands ("XX=value"); queries end in '?'.
std::vector<std::string> Commands(const std::string& log) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(log))
    if (Has(line, "=")) out.push_back(line);
  return out;
}

long MsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

class TempDir : public ::testing::Test {
 protected:
  vexq4::testing::TestDir dir_{"vexq4-cli"};
};

TEST(Vexq4, RefusesToRunWithoutANamedCamera) {
  Result r = RunProgram({kVexq4, "get", "MasterGainLevel"});
  EXPECT_EQ(r.exitStatus, 2);
  for (const char* option : {"--com", "--device", "--grabber", "--clallserial", "--sim"})
    EXPECT_TRUE(Has(r.err, option)) << r.err;
  EXPECT_EQ(r.out, "");

  EXPECT_EQ(RunProgram({kVexq4}).exitStatus, 2);                                 // no command
  EXPECT_EQ(RunProgram({kVexq4, "--com", "1", "--sim", "list"}).exitStatus, 2);  // two cameras
  EXPECT_EQ(RunProgram({kVexq4, "--grabber", "17", "list"}).exitStatus, 2);
  EXPECT_EQ(RunProgram({kVexq4, "--sim", "frobnicate"}).exitStatus, 2);
  EXPECT_EQ(RunProgram({kVexq4, "--sim", "store", "4"}).exitStatus, 2);
  EXPECT_EQ(RunProgram({kVexq4, "search", "0", "3"}).exitStatus, 2);
}

TEST(Vexq4, HelpOnTheProgramAndEveryCommand) {
  Result top = RunProgram({kVexq4, "--help"});
  EXPECT_EQ(top.exitStatus, 0);
  EXPECT_TRUE(Has(top.out, "EXIT STATUS"));
  EXPECT_TRUE(Has(top.out, "vexq4 --sim list"));
  for (const char* command :
       {"get", "set", "list", "read-all", "write-all", "store", "load", "identity", "save-settings",
        "load-settings", "report", "shading-save", "shading-load", "auto-shading", "one-push",
        "search", "grabbers", "shell"}) {
    Result r = RunProgram({kVexq4, command, "--help"});
    EXPECT_EQ(r.exitStatus, 0) << command;
    EXPECT_TRUE(Has(r.out, "EXIT STATUS")) << command << "\n" << r.out;
    EXPECT_TRUE(Has(r.out, "EXAMPLES")) << command;
  }
  // The settings with their ranges and lists are in the help of set.
  EXPECT_TRUE(Has(RunProgram({kVexq4, "set", "--help"}).out, "-132..429"));
}

// One connection serves every line; failing lines are reported and the
// next ones run.
TEST(Vexq4, ShellKeepsOneConnectionAcrossCommands) {
  Result r = RunProgram({kVexq4, "--sim", "--events", "shell"},
                        "get MasterGainLevel\n"
                        "set MasterGainLevel=123 'ShutterSpeedStr=1/250'\n"
                        "# a comment line\n"
                        "set MasterGainLevel=999\n"
                        "frobnicate\n"
                        "get MasterGainLevel ShutterSpeedStr ShutterSpeedIndex\n"
                        "quit\n"
                        "get MasterGainLevel\n");
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 2) << r.err;  // the refused lines
  EXPECT_EQ(Lines(r.out),
            (std::vector<std::string>{"MasterGainLevel=0", "MasterGainLevel=123",
                                      "ShutterSpeedStr=\"1/250\"", "ShutterSpeedIndex=4"}));
  EXPECT_TRUE(Has(r.err, "-132..429")) << r.err;
  std::size_t connects = 0;
  for (const std::string& line : Lines(r.err)) connects += line == "event OnlineStatusChanged(1)";
  EXPECT_EQ(connects, 1u) << r.err;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);  // no prompt without a terminal
}

TEST(Vexq4, ListPrintsEverySettingOfTheSimulatedCamera) {
  Result r = RunProgram({kVexq4, "--sim", "list"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  auto lines = Lines(r.out);
  EXPECT_EQ(lines.size(), ListedValues());
  for (const char* expected :
       {"MasterGainLevel=0", "ShutterSpeedStr=\"OFF\"", "WhiteBalanceStr=\"Continuous AWB\"",
        "TriggerTypeStr=\"Normal (Continuous)\"", "ModelName=\"RX-Q4CL\"", "CameraID=\"10042\""})
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  for (const std::string& line : lines) EXPECT_TRUE(Has(line, "=")) << line;
}

// Reads are fast by default: a list (a connection, a read of all settings
// and the identity) without options takes well under half the time of
// one with --standard-reads, which cannot take less than its 34 drains of
// 101 ms. Both run at once, so a busy machine slows both.
TEST(Vexq4, ReadsAreFastUnlessTheStandardOnesAreAskedFor) {
  const auto timed = [](std::vector<std::string> argv) {
    const auto start = std::chrono::steady_clock::now();
    Result r = RunProgram(argv);
    return std::pair(r, std::chrono::steady_clock::now() - start);
  };
  auto standard = std::async(std::launch::async, timed,
                             std::vector<std::string>{kVexq4, "--sim", "--standard-reads", "list"});
  const auto [fast, fastTook] = timed({kVexq4, "--sim", "list"});
  const auto [slow, slowTook] = standard.get();
  ASSERT_EQ(fast.exitStatus, 0) << fast.err;
  ASSERT_EQ(slow.exitStatus, 0) << slow.err;
  EXPECT_EQ(fast.out, slow.out);
  auto lines = Lines(fast.out);
  EXPECT_EQ(lines.size(), ListedValues());
  for (const char* expected : {"MasterGainLevel=0", "KneeSelect=1", "GreenKneePoint=800",
                               "RedBlackLevel=32", "ModelName=\"RX-Q4CL\""})
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  EXPECT_GE(slowTook, std::chrono::milliseconds(34 * 101));
  EXPECT_LT(fastTook, slowTook / 2);

  // --fast-reads, the old way to ask, still works; it excludes the other.
  Result r = RunProgram({kVexq4, "--sim", "--fast-reads", "get", "MasterGainLevel"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "MasterGainLevel=0\n");
  r = RunProgram({kVexq4, "--sim", "--fast-reads", "--standard-reads", "list"});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_TRUE(Has(r.err, "excludes")) << r.err;

  // A mistyped variable is named, and fast reads serve.
  r = RunProgram({kVexq4, "--sim", "get", "MasterGainLevel"}, "", 30000,
                 {"VEXQ4_QUERY_DRAIN_MS=15ms"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "MasterGainLevel=0\n");
  EXPECT_TRUE(Has(r.err,
                  "VEXQ4_QUERY_DRAIN_MS=15ms is not 0 to 100 milliseconds; queries use "
                  "fast reads (15 ms)"))
      << r.err;
}

// A connect time-out outside its range is named once, as the library
// connects with the standard one instead (the range: network_tests); one
// in range is taken quietly.
TEST(Vexq4, ConnectTimeoutOutOfRangeIsNamedOnce) {
  Result r = RunProgram({kVexq4, "--sim", "get", "MasterGainLevel"}, "", 30000,
                        {"VEXQ4_CONNECT_TIMEOUT_MS=120000"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const std::string line =
      "VEXQ4_CONNECT_TIMEOUT_MS=120000 is not 100 to 60000 milliseconds; connecting gives up "
      "after the standard 3000 ms";
  const auto at = r.err.find(line);
  EXPECT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(line, at + 1), std::string::npos) << "said twice: " << r.err;

  r = RunProgram({kVexq4, "--sim", "get", "MasterGainLevel"}, "", 30000,
                 {"VEXQ4_CONNECT_TIMEOUT_MS=60000"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_FALSE(Has(r.err, "VEXQ4_CONNECT_TIMEOUT_MS")) << r.err;
}

// Nothing reaches the camera when any value is refused: not even the
// connection is opened.
TEST(Vexq4, RefusedValuesSendNothing) {
  SimProcess sim({"--set", "GA=77"});
  ASSERT_FALSE(sim.path().empty());
  const std::vector<std::vector<std::string>> refused = {
      {"set", "MasterGainLevel=430"},
      {"set", "ShutterSpeedStr=off"},                         // letter case
      {"set", "MasterGainLevel=10", "ShutterSpeedIndex=12"},  // the second one
      {"set", "MasterGainLevle=10"},                          // unknown name
      {"set", "MasterGainLevel"},
      {"get", "Nonsense"},
  };
  for (const auto& args : refused) {
    std::vector<std::string> argv{kVexq4, "--device", sim.path()};
    argv.insert(argv.end(), args.begin(), args.end());
    Result r = RunProgram(argv);
    EXPECT_EQ(r.exitStatus, 2) << args[1];
    EXPECT_FALSE(r.err.empty());
  }
  Result wrongCase = RunProgram({kVexq4, "--device", sim.path(), "set", "ShutterSpeedStr=off"});
  EXPECT_TRUE(Has(wrongCase.err, "\"OFF\"")) << wrongCase.err;  // the list is shown

  Result get = RunProgram({kVexq4, "--device", sim.path(), "get", "MasterGainLevel"});
  EXPECT_EQ(get.exitStatus, 0) << get.err;
  EXPECT_EQ(get.out, "MasterGainLevel=77\n");
  EXPECT_TRUE(Commands(sim.StopAndLog()).empty());
}

TEST_F(TempDir, SettingsFileAndShadingTableFromADevice) {
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  const std::vector<std::string> device{kVexq4, "--device", sim.path()};
  auto run = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = device;
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, "", 60000);
  };

  Result set =
      run({"set", "MasterGainLevel=-20", "TriggerTypeStr=Edge Pre-select", "UserID=LINE 3"});
  ASSERT_EQ(set.exitStatus, 0) << set.err;
  Result get = run({"get", "MasterGainLevel", "TriggerTypeStr", "UserID"});
  EXPECT_EQ(get.out,
            "MasterGainLevel=-20\nTriggerTypeStr=\"Edge Pre-select\"\nUserID=\"LINE 3\"\n");

  const fs::path cam = dir_ / "line3.cam";
  Result save = run({"save-settings", cam.string()});
  ASSERT_EQ(save.exitStatus, 0) << save.err;
  std::string file = ReadFile(cam);
  EXPECT_TRUE(Has(file, "Master Gain Level=-20")) << file;
  EXPECT_TRUE(Has(file, "Trigger Mode=Edge Pre-select")) << file;

  const fs::path csv = dir_ / "shading.csv";
  Result shading = run({"shading-save", csv.string()});
  ASSERT_EQ(shading.exitStatus, 0) << shading.err;
  auto rows = Lines(ReadFile(csv));
  ASSERT_EQ(rows.size(), 131u);
  EXPECT_EQ(rows[2], "ADR,R,G,B,R,G,B\r");
  EXPECT_EQ(rows[130].rfind("128,", 0), 0u);

  // A file that is not a settings file is refused before the camera is
  // touched; a missing one as well.
  const fs::path bad = dir_ / "bad.cam";
  std::ofstream(bad) << "[Main]\r\nCamera Type=XY-Z1\r\n[Gain]\r\nMaster Gain Level=5\r\n";
  Result invalid = run({"load-settings", bad.string()});
  EXPECT_EQ(invalid.exitStatus, 1);
  EXPECT_TRUE(
      Has(invalid.err, "The file \"" + bad.string() + "\" is not a valid inifile for RX-Q4"))
      << invalid.err;
  Result missing = run({"load-settings", (dir_ / "none.cam").string()});
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_TRUE(Has(missing.err, "Error reading file")) << missing.err;
  Result unwritable = run({"save-settings", (dir_ / "no" / "such" / "dir.cam").string()});
  EXPECT_EQ(unwritable.exitStatus, 1);
  EXPECT_TRUE(Has(unwritable.err, "Error writing to file")) << unwritable.err;

  // A shading file refused as no table says where and why.
  const fs::path gap = dir_ / "gap.csv";
  std::ofstream(gap) << rows[0] << "\n"
                     << rows[1] << "\n"
                     << rows[2] << "\n1,1,1,1,1,1,1\r\n"
                     << "3,3,3,3,3,3,3\r\n";
  Result refused = run({"shading-load", gap.string()});
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_TRUE(Has(refused.err, "shading-load " + gap.string() +
                                   " (not a shading table: line 5: point 3 where point 2 is "
                                   "missing; nothing was sent): status -8: Error reading file"))
      << refused.err;

  // The only commands the camera saw are the three sets.
  auto commands = Commands(sim.StopAndLog());
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_TRUE(Has(commands[0], "GA=-20"));
  EXPECT_TRUE(Has(commands[1], "TR=1"));
  EXPECT_TRUE(Has(commands[2], "UD=LINE 3"));
}

// A camera that refuses or garbles: status 1 with the model's text, and no
// file passed off as the camera's.
TEST_F(TempDir, CameraFailuresEndWithStatusOne) {
  SimProcess rejecting({"--reject-commands"});
  Result set = RunProgram({kVexq4, "--device", rejecting.path(), "set", "MasterGainLevel=5"});
  EXPECT_EQ(set.exitStatus, 1);
  EXPECT_TRUE(Has(set.err, "status -3: Unknown Command")) << set.err;

  SimProcess faulty({"--corrupt-shading", "--one-push-result", "2"});
  const fs::path csv = dir_ / "shading.csv";
  Result shading = RunProgram({kVexq4, "--device", faulty.path(), "shading-save", csv.string()});
  EXPECT_EQ(shading.exitStatus, 1);
  EXPECT_FALSE(fs::exists(csv));
  Result onePush = RunProgram({kVexq4, "--device", faulty.path(), "one-push"});
  EXPECT_EQ(onePush.exitStatus, 1);
  EXPECT_EQ(Lines(onePush.out).at(0), "OnePushResult=\"Too Dark\"");
}

TEST(Vexq4, SearchFindsTheCameraOnItsPort) {
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  Result r = RunProgram({kVexq4, "search", "3", "3"}, "", 20000, {"VEXQ4_COM3=" + sim.path()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "ComPort=3\n");

  // A named line is tried alone, as the first port of the range.
  Result simulated = RunProgram({kVexq4, "--sim", "search", "4", "6"});
  EXPECT_EQ(simulated.exitStatus, 0) << simulated.err;
  EXPECT_EQ(simulated.out, "ComPort=4\n");
  Result none = RunProgram({kVexq4, "--device", "/nonexistent/tty", "--events", "search"}, "",
                           20000, {"VEXQ4_COM2=" + sim.path()});
  EXPECT_EQ(none.exitStatus, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_TRUE(Has(none.err, "no camera found on COM1 (/nonexistent/tty)")) << none.err;
  std::size_t tried = 0;
  for (const std::string& line : Lines(none.err)) tried += line == "event ComPortChanged";
  EXPECT_EQ(tried, 1u) << none.err;
}

// A camera that echoes each query: settings with mnemonics of three and
// four letters read as well as the two-letter ones.
TEST(Vexq4, EchoingCameraAnswersEverySetting) {
  SimProcess sim({"--echo-query", "--set", "KSR=77", "--set", "CBAR=1", "--set", "WPR1=-9"});
  ASSERT_FALSE(sim.path().empty());
  Result get = RunProgram({kVexq4, "--device", sim.path(), "get", "RedKneeSlope", "ColorBar",
                           "Red3200KWBalPreset", "MasterGainLevel"});
  EXPECT_EQ(get.exitStatus, 0) << get.err;
  EXPECT_EQ(get.out, "RedKneeSlope=77\nColorBar=1\nRed3200KWBalPreset=-9\nMasterGainLevel=0\n");
  Result list = RunProgram({kVexq4, "--device", sim.path(), "list"});
  EXPECT_EQ(list.exitStatus, 0) << list.err;
  EXPECT_EQ(Lines(list.out).size(), ListedValues());
}

// -v: the model's message lines as it words them; --events: every
// notification by name; neither on standard output.
TEST(Vexq4, VerboseAndEventsGoToStandardError) {
  Result r = RunProgram({kVexq4, "--sim", "-v", "--events", "set", "MasterGainLevel=-20"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "");
  auto lines = Lines(r.err);
  auto at = std::find(lines.begin(), lines.end(), "GA=-20");
  ASSERT_NE(at, lines.end()) << r.err;
  ASSERT_NE(at + 1, lines.end());
  EXPECT_EQ(at[1], "COMPLETE");
  for (const char* event : {"event ComPortChanged", "event OnlineStatusChanged(1)",
                            "event MasterGainLevelChanged", "event CommandMessage"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), event), lines.end()) << event << "\n" << r.err;
}

// The camera goes away in the middle of a read of all settings (the
// standard reads make it last 4 s): the program ends with status 1 and
// says so, within bounded time.
TEST(Vexq4, UnpluggedCameraEndsWithStatusOne) {
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  Process vexq4({kVexq4, "--device", sim.path(), "--standard-reads", "list"});
  ::usleep(1500 * 1000);
  sim.Kill();
  Result r = vexq4.Wait(30000);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_TRUE(Has(r.err, "off-line") || Has(r.err, "offline")) << r.err;
  EXPECT_EQ(r.out, "");
}

// The host sleeps until something happens (a byte, the end of a time-out
// or of the gap between commands) instead of waking every millisecond: a
// write-all on a camera answering at its own pace wakes it a few times per
// command and costs next to no processor time.
TEST(Vexq4, WriteAllSleepsUntilTheCameraAnswers) {
  SimProcess sim({}, Pace::kCamera);
  ASSERT_FALSE(sim.path().empty());
  const auto start = std::chrono::steady_clock::now();
  Result r = RunProgram({kVexq4, "--device", sim.path(), "--no-progress", "write-all"}, "", 60000);
  const double wallMs = static_cast<double>(MsSince(start));
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  const double cpuMs = ms(r.usage.ru_utime) + ms(r.usage.ru_stime);
  const long wakeUps = r.usage.ru_nvcsw;
  std::printf("write-all: %.0f ms, %ld wake-ups, CPU %.1f ms (%.3f %% of wall)\n", wallMs, wakeUps,
              cpuMs, 100 * cpuMs / wallMs);
  EXPECT_LE(wakeUps, 500);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LE(cpuMs, 0.003 * wallMs);  // the sanitizers' own work is not the host's
#endif
}

// ---- Faults found by trying the program as a new user would.

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
