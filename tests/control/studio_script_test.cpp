// vexq4-studio's script mode run as a user runs it, against vexq4-sim on a
// pseudo-terminal (real time).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>

#include "process.h"
#include "test_dir.h"

using vexq4::cli::test::Process;
using vexq4::cli::test::Result;
using vexq4::cli::test::RunProgram;

namespace {

const std::string kStudio = VEXQ4_STUDIO_EXE;
const std::string kSim = VEXQ4_SIM_EXE;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line,
                    std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i] == line) return i;
  return std::string::npos;
}

class StudioScript : public ::testing::Test {
 protected:
  vexq4::testing::TestDir dir{"vexq4-studio"};
  std::vector<std::string> Env(const std::string& com1) const {
    return {"VEXQ4_PROFILE_DIR=" + dir.path().string(), "VEXQ4_COM1=" + com1,
            "VEXQ4_REGISTRY_DIR=" + (dir / "registry").string(), "QT_QPA_PLATFORM=offscreen"};
  }
};

// The simulated camera's line held open beside the studio, set to a state
// that is not the camera's, so the test sees whether the studio gives the
// port its settings back.
class StoppedStudio : public StudioScript {
 protected:
  void SetUp() override {
    device = sim.ReadLine(5000);
    ASSERT_FALSE(device.empty());
    keep = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(keep, 0);
    termios known{};
    ASSERT_EQ(::tcgetattr(keep, &known), 0);
    cfsetspeed(&known, B19200);
    known.c_lflag |= ICANON;
    ASSERT_EQ(::tcsetattr(keep, TCSANOW, &known), 0);
  }
  void TearDown() override {
    if (keep >= 0) ::close(keep);
  }

  // Starts the studio on `script` and reads its output up to the line
  // `until`, which tells that the studio holds the line.
  std::unique_ptr<Process> Start(const std::string& script, const std::string& until) {
    auto studio = std::make_unique<Process>(
        std::vector<std::string>{kStudio, "-platform", "offscreen", "--script", "-"}, Env(device));
    studio->Write(script);
    std::string line;
    for (int i = 0; i < 200 && line != until; ++i) line = studio->ReadLine(1500);
    EXPECT_EQ(line, until);
    return studio;
  }

  void ExpectPortGivenBack() {
    termios after{};
    ASSERT_EQ(::tcgetattr(keep, &after), 0);
    EXPECT_EQ(cfgetospeed(&after), B19200);
    EXPECT_TRUE(after.c_lflag & ICANON);
    int exclusive = 1;
    ASSERT_EQ(::ioctl(keep, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
  }

  Process sim{{kSim, "--no-pacing", "--latency", "1", "--log"}};
  std::string device;
  int keep = -1;
};

}  // namespace

TEST_F(StudioScript, DrivesTheControlAgainstASimulatedCamera) {
  Process sim({kSim, "--no-pacing", "--latency", "1", "--log"});
  const std::string device = sim.ReadLine(5000);
  ASSERT_FALSE(device.empty());

  const std::string script =
      "# comments and empty lines are skipped\n"
      "\n"
      "put ComPort 1\n"
      "put ShutterSpeedIndex 4\n"
      "put ShutterSpeedIndex 12\n"
      "call GetValidShutterSpeed 12 \"x\"\n"
      "get #6\n"
      "call GetMinMaxMasterGainLevel ? null\n"
      "echo done with \"quotes\"\n";
  const Result r =
      RunProgram({kStudio, "-platform", "offscreen", "--script", "-"}, script, 30000, Env(device));
  sim.Kill(SIGTERM);
  const std::string log = sim.Wait(5000).err;
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;

  const auto out = Lines(r.out);
  const auto ok1 = IndexOf(out, "ok");
  ASSERT_NE(ok1, std::string::npos) << r.out;
  EXPECT_NE(IndexOf(out, "event OnlineStatusChanged"), std::string::npos);
  const auto shutter = IndexOf(out, "event ShutterSpeedChanged", ok1);
  const auto ok2 = IndexOf(out, "ok", ok1 + 1);
  EXPECT_LT(shutter, ok2);
  EXPECT_EQ(out[ok2 + 1], "exception 0x800A017C XVexQ4 32796 \"Invalid input parameter\"");
  EXPECT_EQ(out[ok2 + 2], "error-event 0x800A017C 32796 \"Invalid input parameter\"");
  EXPECT_EQ(out[ok2 + 3], "messagebox \"XVexQ4\" \"Invalid input parameter\" OK -> OK");
  EXPECT_EQ(out[ok2 + 4], "GetValidShutterSpeed=-1");
  EXPECT_EQ(out[ok2 + 5], "ShutterStr=\"x\"");
  EXPECT_EQ(out[ok2 + 6], "ShutterSpeedIndex=4");
  EXPECT_EQ(out[ok2 + 7], "error-event 0x800A017C 32795 \"Invalid input parameter (NULL)\"");
  EXPECT_EQ(out[ok2 + 9], "GetMinMaxMasterGainLevel=-1");
  EXPECT_EQ(out[ok2 + 10], "pMin=0");  // the missing pMax prints nothing
  EXPECT_EQ(out.back(), "done with \"quotes\"");
  EXPECT_NE(log.find("SH=4"), std::string::npos) << log;
}

TEST_F(StudioScript, LinesThatCannotRunAreReportedAndSetTheExitStatus) {
  const std::string script =
      "bogus\n"
      "get NoSuchProperty\n"
      "put ShutterSpeedIndex \"four\"\n"
      "put MasterGainLevel 70000\n"
      "call GetValidShutterSpeed 1\n"
      "get GetIsOnline\n"
      "call OnlineStatusChanged\n"
      "answer Maybe\n"
      "put UserID \"unterminated\n"
      "ui dump \"No Such Window\"\n"
      "ui click strip NoSuchButton\n"
      "echo still running\n";
  const Result r = RunProgram({kStudio, "-platform", "offscreen", "--script", "-"}, script, 30000,
                              Env("/nonexistent/tty"));
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  const auto out = Lines(r.out);
  ASSERT_EQ(out.size(), 12u) << r.out;
  for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(out[i].rfind("error \"", 0), 0u) << out[i];
  EXPECT_EQ(out[11], "still running");
}

TEST_F(StudioScript, ListsTheTypeDescriptionAndWorksTheStrip) {
  const std::string script =
      "members\n"
      "answer No\n"
      "ui click strip Gain\n"
      "ui windows\n"
      "ui dump strip\n"
      "ui close \"Gain and Setup Levels\"\n"
      "get ShowGainWnd\n";
  const std::string scriptFile = (dir / "lines.txt").string();
  vexq4::testing::WriteFile(scriptFile, script);
  const Result r = RunProgram({kStudio, "-platform", "offscreen", "--script", scriptFile}, "",
                              30000, Env("/nonexistent/tty"));
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
  const auto out = Lines(r.out);
  EXPECT_EQ(out[0], "1 property ComPort");
  EXPECT_NE(IndexOf(out, "126 method LoadShadingDataFromFile"), std::string::npos);
  EXPECT_NE(IndexOf(out, "-552 method AboutBox"), std::string::npos);
  EXPECT_NE(IndexOf(out, "45 event Blue5600KWBalPresetChanged"), std::string::npos);
  EXPECT_NE(IndexOf(out, "window \"Gain and Setup Levels\" shown"), std::string::npos);
  EXPECT_NE(IndexOf(out, "button \"Gain\" enabled shown \"1\""), std::string::npos);
  EXPECT_NE(IndexOf(out, "button \"Shutter\" enabled shown \"0\""), std::string::npos);
  EXPECT_EQ(out.back(), "ShowGainWnd=0");
}

TEST_F(StoppedStudio, SignalThenEndOfInputExitsWithTheSignalAndGivesThePortBack) {
  auto studio = Start("get #1\necho ready\n", "ready");
  termios open{};
  ::tcgetattr(keep, &open);
  EXPECT_EQ(cfgetospeed(&open), B9600);  // the control holds the line

  studio->Kill(SIGINT);  // Wait() then closes the input
  const Result r = studio->Wait(10000);
  EXPECT_EQ(r.exitStatus, 130) << r.err;
  EXPECT_NE(r.err.find("stopped by SIGINT"), std::string::npos) << r.err;
  ExpectPortGivenBack();
}

// The end of the input is taken up first; the signal still decides, and
// the script's wait under way ends with no later line run.
TEST_F(StoppedStudio, EndOfInputThenSignalStopsTheScriptUnderWay) {
  auto studio = Start("get #1\necho ready\nwait 60000\necho after the wait\n", "ready");
  studio->CloseInput();
  studio->Kill(SIGHUP);
  const Result r = studio->Wait(20000);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 129) << r.err;
  EXPECT_EQ(r.out.find("after the wait"), std::string::npos) << r.out;
  ExpectPortGivenBack();
}

// The input has ended and nothing is left to do: the studio ends by
// itself or by the signal, whichever comes first, never by a crash.
TEST_F(StoppedStudio, EndOfInputAndSignalTogetherNeverCrash) {
  auto studio = Start("get #1\necho ready\n", "ready");
  studio->CloseInput();
  studio->Kill(SIGTERM);
  const Result r = studio->Wait(10000);
  EXPECT_TRUE(r.exitStatus == 0 || r.exitStatus == 143) << r.exitStatus << r.err;
  ExpectPortGivenBack();
}

// A write-all takes some 19 s; a signal one exchange into it ends it
// there: nothing more reaches the camera, not the script's next line.
TEST_F(StoppedStudio, SignalDuringAWriteAllSendsNothingMore) {
  auto studio = Start(
      "put ComPort 1\nmessages on\necho writing\ncall WriteAllToCamera\n"
      "put MasterGainLevel 33\necho after\n",
      "writing");
  std::string line;
  for (int i = 0; i < 20 && line.rfind("message ", 0) != 0; ++i) line = studio->ReadLine(1500);
  ASSERT_EQ(line.rfind("message ", 0), 0u) << line;  // the first command was answered

  const auto signalled = std::chrono::steady_clock::now();
  studio->Kill(SIGTERM);
  const Result r = studio->Wait(15000);
  const auto took = std::chrono::steady_clock::now() - signalled;
  EXPECT_EQ(r.exitStatus, 143) << r.err;
  EXPECT_EQ(r.out.find("\nafter"), std::string::npos) << r.out;
  // The exchange under way and its probe at most; the write-all's rest
  // would take 15 s and more.
  EXPECT_LT(took, std::chrono::seconds(8));
  ExpectPortGivenBack();

  sim.Kill(SIGTERM);
  const std::string log = sim.Wait(5000).err;
  EXPECT_NE(log.find("SM="), std::string::npos) << log;   // the write-all began
  EXPECT_EQ(log.find("SDM="), std::string::npos) << log;  // and did not end
  EXPECT_EQ(log.find("UD="), std::string::npos) << log;
  EXPECT_EQ(log.find("GA=33"), std::string::npos) << log;
}

// Input a new user may give the script mode: nothing of it runs, nothing
// is held, and the user is told.
TEST_F(StudioScript, RefusesLinesAndInputItCannotRunSafely) {
  // A line of 3 MB is refused with a short error and the script goes on;
  // a line that is not UTF-8 (a Latin-1 file name) is refused rather than
  // run under another name.
  const std::string script = "echo before\n" + std::string(3 << 20, 'x') +
                             "\ncall WriteAllToFile \"c\xe9.cam\"\necho after\n";
  const Result r = RunProgram({kStudio, "-platform", "offscreen", "--script", "-"}, script, 60000,
                              Env("/nonexistent/tty"));
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  const auto out = Lines(r.out);
  ASSERT_EQ(out.size(), 4u) << r.out.substr(0, 400);
  EXPECT_EQ(out[0], "before");
  EXPECT_EQ(out[1], "error \"the line is longer than 1048576 bytes\"");
  EXPECT_EQ(out[2], "error \"the line is not UTF-8 text\"");
  EXPECT_EQ(out[3], "after");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files += entry.path().extension() == ".cam";
  EXPECT_EQ(files, 0u);

  // A folder as the script is refused like a missing file.
  const Result folder =
      RunProgram({kStudio, "-platform", "offscreen", "--script", dir.path().string()}, "", 30000,
                 Env("/nonexistent/tty"));
  EXPECT_EQ(folder.exitStatus, 2);
  EXPECT_NE(folder.err.find("it is a folder"), std::string::npos) << folder.err;
  EXPECT_TRUE(folder.out.empty()) << folder.out;
}

TEST_F(StudioScript, RegistrationIntoAFileSaysWhy) {
  const auto file = dir / "registry";
  vexq4::testing::WriteFile(file, "not a folder\n");
  const Result r = RunProgram({kStudio, "--register"}, "", 30000, Env("/nonexistent/tty"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("is a file, not a folder"), std::string::npos) << r.err;
}

// Results that cannot be written are a failure, not a success.
TEST_F(StudioScript, OutputThatCannotBeWrittenFailsTheRun) {
  const Result r = RunProgram(
      {"/bin/sh", "-c", "exec \"$0\" -platform offscreen --script - >/dev/full", kStudio},
      "echo one\necho two\n", 30000, Env("/nonexistent/tty"));
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("cannot write the results to standard output"), std::string::npos) << r.err;
}

// A reader that goes away ends the studio like a stop signal: no later
// line runs and the port gets its settings back.
TEST_F(StoppedStudio, ClosedOutputPipeStopsTheStudioAndGivesThePortBack) {
  const std::string command =
      "\"$0\" -platform offscreen --script - | head -1; echo \"status ${PIPESTATUS[0]}\"";
  const Result r = RunProgram({"/bin/bash", "-c", command, kStudio},
                              "get #1\necho a\necho b\nwait 500\necho c\nwait 60000\necho d\n",
                              30000, Env(device));
  EXPECT_FALSE(r.timedOut);
  const auto out = Lines(r.out);
  ASSERT_EQ(out.size(), 2u) << r.out << r.err;
  EXPECT_EQ(out[1], "status 141") << r.err;
  ExpectPortGivenBack();
}
