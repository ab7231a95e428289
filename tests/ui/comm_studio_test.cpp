// The Communication window in the real program: vexq4-studio with its
// simulated camera on a pseudo-terminal, in real time, driven by a script
// as an integrator drives it. Kept to reads: a write-all takes 20 s on the
// real line (600 ms between commands).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"
#include "test_dir.h"

namespace vexq4::testing {
namespace {

using vexq4::cli::test::RunProgram;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

std::vector<std::string> Studio(const TestDir& dir, const std::string& script) {
  const auto result =
      RunProgram({VEXQ4_STUDIO_EXE, "-platform", "offscreen", "--sim", "--script", "-"}, script,
                 60000, {"VEXQ4_PROFILE_DIR=" + dir.path().string(), "QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  return Lines(result.out);
}

TEST(CommStudio, OperatorReadsTheCameraWritesFilesAndKeepsTheLog) {
  TestDir dir("vexq4-comm-studio");
  const std::string cam = (dir / "setup.cam").string();
  const std::string log = (dir / "log.txt").string();
  const auto out =
      Studio(dir,
             "put ShowCommunicationWnd -1\n"
             "ui windows\n"
             "messages on\n"
             "ui click Communication \"Synchronize Program\"\n"
             "file " +
                 cam +
                 "\n"
                 "ui click Communication \"Write to File...\"\n"
                 "ui select Communication \"Factory and User Settings In Camera\" \"User 1\"\n"
                 "ui click Communication \"Get Area\"\n"
                 "wait 400\n"
                 "ui dump Communication\n"
                 "file " +
                 log +
                 "\n"
                 "ui click Communication \"Write To File\"\n");
  EXPECT_TRUE(Has(out, "window \"Communication\" shown"));
  int messages = 0;
  for (const auto& l : out) messages += l.rfind("message \"", 0) == 0 ? 1 : 0;
  EXPECT_GT(messages, 30);
  EXPECT_TRUE(Has(out, "picture \"Status: online\" enabled shown \"online\""));
  EXPECT_TRUE(Has(out, "label \"Status: online\" enabled shown \"On-line\""));
  EXPECT_TRUE(Has(out, "picture \"Synchronize: status\" enabled shown \"synchronized\""));
  EXPECT_TRUE(Has(out, "label \"Synchronize: status\" enabled shown \"Synchronized\""));
  EXPECT_TRUE(Has(out, "list \"Factory and User Settings In Camera\" enabled shown \"User 1\""));
  EXPECT_TRUE(Has(out, "button \"Store\" enabled shown \"Store\""));
  EXPECT_TRUE(Has(out, "edit \"EEPROM Current Area\" enabled shown \"Factory\" readonly"));
  // The activity indicator is gone 200 ms after the last transfer.
  EXPECT_TRUE(Has(out, "picture \"Status: activity\" enabled hidden \"receiving\"") ||
              Has(out, "picture \"Status: activity\" enabled hidden \"sending\""));
  EXPECT_TRUE(
      Has(out, "filedialog save \"Control Tool Messages (*.txt)|*.txt||\" txt -> \"" + log + "\""));

  // The log on top holds the last exchange, and the file holds the log.
  std::string dumped;
  for (const auto& l : out)
    if (l.rfind("edit \"Control Tool Messages\"", 0) == 0) dumped = l;
  EXPECT_NE(dumped.find("\"EA?\\r\\nEA=0\\r\\n"), std::string::npos) << dumped;
  const std::string saved = ReadFile(log);
  EXPECT_EQ(saved.rfind("EA?\r\nEA=0\r\n", 0), 0u);
  EXPECT_NE(saved.find("GA?\r\n"), std::string::npos);
  EXPECT_EQ(saved.back(), '\n');
}

TEST(CommStudio, AutoSearchDecliningTheCamera) {
  TestDir dir("vexq4-comm-studio");
  const auto out = Studio(dir,
                          "answer No\n"
                          "ui click Communication Auto\n"
                          "ui tips Communication\n");
  EXPECT_TRUE(Has(out,
                  "messagebox \"XVexQ4\" \"Use Camera found on COM1 ?\\n(Select NO to continue the "
                  "search.)\" YesNo -> No"));
  EXPECT_TRUE(Has(out, "messagebox \"XVexQ4\" \"No camera found\" OK -> OK"));
  EXPECT_TRUE(Has(out, "tip \"COM-Port\" \"Select Camera Link Frame Grabber\""));
  EXPECT_TRUE(Has(out, "tip \"Auto\" \"Click to search for camera on COM1..COM16\""));
}

}  // namespace
}  // namespace vexq4::testing
