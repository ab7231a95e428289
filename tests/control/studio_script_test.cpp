// vexq4-studio's script mode run as a user runs it, against vexq4-sim on a
// pseudo-terminal (real time).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

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

TEST_F(StudioScript, StopSignalClosesTheConnectionAndGivesThePortBack) {
  Process sim({kSim, "--no-pacing", "--latency", "1"});
  const std::string device = sim.ReadLine(5000);
  ASSERT_FALSE(device.empty());
  // A known state of the line that is not the camera's.
  const int keep = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(keep, 0);
  termios known{};
  ASSERT_EQ(::tcgetattr(keep, &known), 0);
  cfsetspeed(&known, B19200);
  known.c_lflag |= ICANON;
  ASSERT_EQ(::tcsetattr(keep, TCSANOW, &known), 0);

  Process studio({kStudio, "-platform", "offscreen", "--script", "-"}, Env(device));
  studio.Write("get #1\necho ready\n");
  std::string line;
  for (int i = 0; i < 20 && line != "ready"; ++i) line = studio.ReadLine(1500);
  ASSERT_EQ(line, "ready");
  termios open{};
  ::tcgetattr(keep, &open);
  EXPECT_EQ(cfgetospeed(&open), B9600);  // the control holds the line

  studio.Kill(SIGINT);
  const Result r = studio.Wait(10000);
  EXPECT_EQ(r.exitStatus, 130) << r.err;
  termios after{};
  ASSERT_EQ(::tcgetattr(keep, &after), 0);
  EXPECT_EQ(cfgetospeed(&after), B19200);
  EXPECT_TRUE(after.c_lflag & ICANON);
  int exclusive = 1;
  ASSERT_EQ(::ioctl(keep, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(keep);
}
