// The checks the host makes before anything reaches the camera, and the
// text forms it reads and prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "console.h"
#include "host_properties.h"
#include "host_status.h"
#include "shell.h"
#include "table_counts.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::cli {
namespace {

using namespace vexq4::hosts;

Checked Check(std::string_view name, std::string_view value) {
  const Property* p = FindProperty(name);
  EXPECT_NE(p, nullptr) << name;
  return p ? CheckValue(*p, value) : Checked{};
}

TEST(Properties, RangesAreThoseOfThePropertySetters) {
  struct Case {
    const char* name;
    const char* value;
    bool ok;
  };
  const Case cases[] = {
      {"MasterGainLevel", "-132", true},
      {"MasterGainLevel", "429", true},
      {"MasterGainLevel", "-133", false},
      {"MasterGainLevel", "430", false},
      {"ShutterSpeedIndex", "11", true},
      {"ShutterSpeedIndex", "12", false},
      {"ShutterSpeedIndex", "-1", false},
      {"AutoWhiteAreaIndex", "9", true},
      {"AutoWhiteAreaIndex", "10", false},
      {"RedGainLevel", "-231", true},
      {"Blue5600KWBalPreset", "232", false},
      {"RedKneeSlope", "0", false},
      {"BlueKneeSlope", "4095", true},
      {"GreenKneeSlope", "4096", false},
      {"ProgrammableExposureGreen", "791", true},
      {"ProgrammableExposure", "792", false},
      // No check of the control's own: anything of the property's type.
      {"TriggerPolarity", "5", true},
      {"TriggerPolarity", "32768", false},
      // Refused by the model's set operation; the host says so up front.
      {"WhiteBalanceIndex", "7", false},
      {"PartialScanIndex", "3", true},
      {"BinningIndex", "2", false},
      // Not numbers at all.
      {"MasterGainLevel", "", false},
      {"MasterGainLevel", "12dB", false},
      {"MasterGainLevel", "0x10", false},
      {"MasterGainLevel", "+20", true},
  };
  for (const Case& c : cases) {
    Checked r = Check(c.name, c.value);
    EXPECT_EQ(r.ok, c.ok) << c.name << "=" << c.value << ": " << r.error;
    if (!r.ok) {
      EXPECT_NE(r.error.find(c.name), std::string::npos) << r.error;
    }
  }
  Checked refused = Check("MasterGainLevel", "430");
  EXPECT_NE(refused.error.find("-132..429"), std::string::npos) << refused.error;
}

TEST(Properties, ListTextsMatchExactlyAndGiveTheIndex) {
  EXPECT_EQ(Check("ShutterSpeedStr", "1/250").number, 4);
  EXPECT_EQ(Check("AutoWhiteAreaStr", "Midle Right").number, 6);
  EXPECT_EQ(Check("TriggerTypeStr", "Normal (Continuous)").number, 0);
  EXPECT_EQ(Check("WhiteBalanceStr", "5600 K").number, 4);

  Checked wrongCase = Check("ShutterSpeedStr", "off");
  EXPECT_FALSE(wrongCase.ok);
  // The message lists the valid texts.
  EXPECT_NE(wrongCase.error.find("\"OFF\""), std::string::npos) << wrongCase.error;
  EXPECT_NE(wrongCase.error.find("\"1/50000\""), std::string::npos);
  EXPECT_FALSE(Check("AutoWhiteAreaStr", "Middle Right").ok);
  EXPECT_FALSE(Check("BinningStr", "Binning OFF ").ok);
}

TEST(Properties, UserIdIsWhatTheCameraCanTake) {
  EXPECT_TRUE(Check("UserID", "LINE-3 CAM 2").ok);
  // Nothing would be sent and the camera would keep its user ID.
  const Checked empty = Check("UserID", "");
  EXPECT_FALSE(empty.ok);
  EXPECT_NE(empty.error.find("the camera keeps its user ID"), std::string::npos) << empty.error;
  EXPECT_TRUE(Check("UserID", "0123456789abcdef").ok);
  EXPECT_FALSE(Check("UserID", "0123456789abcdefg").ok);
  EXPECT_FALSE(Check("UserID", "tab\there").ok);
}

TEST(Properties, ReadOnlyNamesCannotBeSet) {
  for (const char* name : {"ComPort", "FrameGrabberIndex", "CameraID", "FirmwareVersion"})
    EXPECT_FALSE(Check(name, "1").ok) << name;
}

TEST(Properties, NamesMatchTheAutomationTableAndTheModel) {
  // The control's properties less the four tool-window flags.
  std::set<int> dispids;
  for (const Property& p : Properties())
    if (p.dispid) dispids.insert(p.dispid);
  EXPECT_EQ(dispids.size(), vexq4::testing::ModelPropertyCount());
  for (int hidden : {2, 3, 4, 5}) EXPECT_EQ(dispids.count(hidden), 0u);

  // Every setting of the model is reachable by its name.
  for (const model::SettingRow& row : model::Settings())
    EXPECT_NE(FindProperty(row.property), nullptr) << row.property;
  // Names compare without regard to case; the canonical one is kept.
  ASSERT_NE(FindProperty("mastergainlevel"), nullptr);
  EXPECT_EQ(FindProperty("mastergainlevel")->name, "MasterGainLevel");
  EXPECT_EQ(FindProperty("ShowGainWnd"), nullptr);
  EXPECT_EQ(SuggestProperty("MasterGainLevl"), "MasterGainLevel");
  EXPECT_EQ(SuggestProperty("Frobnicate"), "");
}

TEST(Output, TextsAreQuotedSoThatAShellCanReadThem) {
  EXPECT_EQ(FormatNumber("MasterGainLevel", -20), "MasterGainLevel=-20");
  EXPECT_EQ(FormatText("TriggerTypeStr", "Normal (Continuous)"),
            "TriggerTypeStr=\"Normal (Continuous)\"");
  EXPECT_EQ(FormatText("UserID", "a\"b$c\\"), "UserID=\"a\\\"b\\$c\\\\\"");
}

TEST(Shell, LinesSplitLikeAShell) {
  using V = std::vector<std::string>;
  EXPECT_EQ(*SplitWords("  set  MasterGainLevel=5 "), (V{"set", "MasterGainLevel=5"}));
  EXPECT_EQ(*SplitWords("set \"TriggerTypeStr=Edge Pre-select\""),
            (V{"set", "TriggerTypeStr=Edge Pre-select"}));
  EXPECT_EQ(*SplitWords("set TriggerTypeStr='Normal (Continuous)' # comment"),
            (V{"set", "TriggerTypeStr=Normal (Continuous)"}));
  EXPECT_EQ(*SplitWords("set UserID=a\\ b\r"), (V{"set", "UserID=a b"}));
  EXPECT_EQ(*SplitWords("set UserID=\"\""), (V{"set", "UserID="}));
  EXPECT_TRUE(SplitWords("# only a comment")->empty());
  EXPECT_FALSE(SplitWords("set 'open").has_value());
}

TEST(Output, ProgressBarShowsStepAndOperation) {
  EXPECT_EQ(Console::Bar(0, 4, "ReadAllFromCamera", 8), "[--------] 0/4 ReadAllFromCamera");
  EXPECT_EQ(Console::Bar(2, 4, "ReadAllFromCamera", 8), "[####----] 2/4 ReadAllFromCamera");
  EXPECT_EQ(Console::Bar(9, 4, "X", 8), "[########] 4/4 X");
}

// The bar speaks the user's words and fits the terminal: narrower bar
// first, then no seconds, then the end of the words; never the last
// column, where a terminal wraps.
TEST(Output, ProgressLineFitsTheTerminal) {
  EXPECT_EQ(Console::Words("ReadAllFromCamera"), "reading all settings");
  EXPECT_EQ(Console::Words("WriteCameraDataToFile"), "writing the camera data report");
  EXPECT_EQ(Console::Words("looking for the camera on COM3"), "looking for the camera on COM3");

  const std::string wide = Console::FitLine(2, 34, "ReadAllFromCamera", 12, 80);
  EXPECT_EQ(wide, "[#-----------------------------] 2/34 reading all settings  12 s");
  for (int columns : {60, 40, 30, 20, 8, 1}) {
    for (int total : {34, 0}) {
      const std::string line = Console::FitLine(33, total, "ReadAllFromCamera", 125, columns);
      EXPECT_LE(line.size(), static_cast<std::size_t>(std::max(columns - 1, 1))) << line;
    }
  }
  EXPECT_EQ(Console::FitLine(2, 34, "ReadAllFromCamera", 12, 50),
            "[---------------] 2/34 reading all settings  12 s");
  EXPECT_EQ(Console::FitLine(2, 34, "ReadAllFromCamera", 12, 40),
            "[--------] 2/34 reading all settings");
  EXPECT_EQ(Console::FitLine(2, 34, "ReadAllFromCamera", 12, 34),
            "[--------] 2/34 reading all setti");
}

// Waits without steps still move on a terminal; a file or pipe gets only
// the lines, no bar.
TEST(Output, ProgressBarOnlyOnATerminal) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    Console console(file, true);
    EXPECT_FALSE(console.progressShown());
    console.BeginProgress("StartAutoShadingCorrection");
    console.Tick();
    console.Line("a line");
  }
  std::rewind(file);
  char text[64] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text - 1, file), 7u);
  EXPECT_STREQ(text, "a line\n");
  std::fclose(file);

  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  std::FILE* terminal = std::fopen(::ptsname(master), "w");
  ASSERT_NE(terminal, nullptr);
  {
    Console console(terminal, true);
    EXPECT_TRUE(console.progressShown());
    console.BeginProgress("StartAutoShadingCorrection");
    console.Tick();
    console.EndProgress();
  }
  std::fclose(terminal);
  std::string drawn;
  pollfd p{master, POLLIN, 0};
  char buffer[512];
  while (::poll(&p, 1, 200) > 0 && (p.revents & POLLIN)) {
    ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    drawn.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_NE(drawn.find("\r[#-----"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("\r[-#----"), std::string::npos) << drawn;  // the marker moved
  EXPECT_NE(drawn.find("] auto shading (up to 10 s)"), std::string::npos) << drawn;
  ASSERT_GE(drawn.size(), 4u);
  EXPECT_EQ(drawn.substr(drawn.size() - 4), "\r\033[K");  // cleared at the end

  std::FILE* quiet = std::fopen(::ptsname(master), "w");  // --no-progress
  ASSERT_NE(quiet, nullptr);
  EXPECT_FALSE(Console(quiet, false).progressShown());
  std::fclose(quiet);
  ::close(master);
}

TEST(Output, StatusTextsAreTheModels) {
  using model::Status;
  EXPECT_EQ(StatusText(Status::kTimeout), "Timeout waiting for answer");
  EXPECT_EQ(StatusText(Status::kOffline), "Operation failed. The Camera is offline");
  EXPECT_EQ(StatusText(Status::kNotAcknowledged), "Unknown Command");
  EXPECT_EQ(StatusText(Status::kInvalidSettingsFile, "a.cam"),
            "The file \"a.cam\" is not a valid inifile for RX-Q4");
  // The two meanings of -8 are apart inside, one code at the boundary.
  EXPECT_EQ(StatusText(model::LibraryStatus(-8)), "Camera Link library or function missing");
  EXPECT_EQ(StatusText(model::FileStatus(-8)), "Error reading file");
  EXPECT_EQ(DescribeStatus(Status::kLibraryMissing),
            "status -8: Camera Link library or function missing");
  EXPECT_EQ(DescribeStatus(Status::kNotAShadingTable), "status -8: Error reading file");
  EXPECT_EQ(DescribeStatus(model::LibraryStatus(-10004)), "status -10004: Camera Link: time-out");
  EXPECT_EQ(DescribeStatus(model::LibraryStatus(-10050)), "status -10050: error");
}

}  // namespace
}  // namespace vexq4::cli
