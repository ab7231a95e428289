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
#include "vexq4_run.h"

namespace vexq4::cli::test {
namespace {

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

}  // namespace
}  // namespace vexq4::cli::test
