// Shading table files and auto shading against the simulated camera.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "file_formats.h"
#include "online_model.h"
#include "test_dir.h"

namespace {

using vexq4::testing::OnlineModel;
using vexq4::testing::ReadFile;
using vexq4::testing::TestDir;
using vexq4::testing::WriteFile;

constexpr std::string_view kFrame = "<SHD frame>";
const std::string kTitle = ",,,DYNAMIC SHADING,,,\r\n,,H,,,V,\r\nADR,R,G,B,R,G,B\r\n";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "line without CR LF";
      break;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

bool Sent(OnlineModel& online, std::string_view line) {
  const auto r = online.Received();
  return std::find(r.begin(), r.end(), line) != r.end();
}

// A camera table in which every value tells its position.
void Number(vexq4::sim::SimCamera& camera) {
  auto& table = camera.shadingTable();
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint16_t>(i * 85 + 3);
}

TEST(ShadingFile, SaveWritesTitleAndOneLinePerPoint) {
  TestDir dir;
  OnlineModel online;
  Number(online.camera());
  const auto& table = online.camera().shadingTable();
  const auto path = dir / "table.csv";
  ASSERT_EQ(online.model.SaveShadingDataIntoFile(path.string()), 0);

  const auto lines = Lines(ReadFile(path));
  ASSERT_EQ(lines.size(), 131u);
  EXPECT_EQ(lines[0], ",,,DYNAMIC SHADING,,,");
  EXPECT_EQ(lines[1], ",,H,,,V,");
  EXPECT_EQ(lines[2], "ADR,R,G,B,R,G,B");
  for (int k = 0; k < 128; ++k) {
    std::string expected = std::to_string(k + 1);
    for (int c = 0; c < 6; ++c)
      expected += "," + std::to_string(table[static_cast<std::size_t>(c * 128 + k)]);
    ASSERT_EQ(lines[static_cast<std::size_t>(3 + k)], expected);
  }
  EXPECT_TRUE(lines[3].starts_with("1,"));
  EXPECT_TRUE(lines[130].starts_with("128,"));
  EXPECT_TRUE(online.model.lines.empty());  // table transfers report no lines
}

TEST(ShadingFile, SaveThenLoadGivesTheCameraItsTableBack) {
  TestDir dir;
  OnlineModel online;
  Number(online.camera());
  const auto original = online.camera().shadingTable();
  const auto path = dir / "table.csv";
  ASSERT_EQ(online.model.SaveShadingDataIntoFile(path.string()), 0);

  online.camera().shadingTable().fill(0);
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(online.camera().shadingTable(), original);
}

TEST(ShadingFile, LoadTakesTheTitledPointsInOrderWithLenientFields) {
  TestDir dir;
  OnlineModel online;
  Number(online.camera());
  const auto original = online.camera().shadingTable();
  const auto path = dir / "in.csv";
  // A title as a spreadsheet may save it: letter case, no trailing commas,
  // a line left out.
  std::string text = "\xEF\xBB\xBF,,,Dynamic Shading\r\n\nADR,R,G,B,R,G,B,,\n";
  text += "1,10,11,12,13,14,15\r\n";
  text += "2,20,21,22\n";                    // three values only
  text += " 3,30,31,32,33,34,35,36,37\r\n";  // fields after the sixth ignored
  text += "4,65535,0,,,44 , 45\r\n";         // empty fields keep their entries
  text += "\r\n";                            // the file ends: the rest is kept
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), -8) << "missing file";
  WriteFile(path, text);
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);

  const auto& table = online.camera().shadingTable();
  auto at = [&](int curve, int point) {
    return table[static_cast<std::size_t>(curve * 128 + point)];
  };
  auto was = [&](int curve, int point) {
    return original[static_cast<std::size_t>(curve * 128 + point)];
  };
  EXPECT_EQ(at(0, 0), 10);
  EXPECT_EQ(at(5, 0), 15);
  EXPECT_EQ(at(0, 1), 20);
  EXPECT_EQ(at(2, 1), 22);
  EXPECT_EQ(at(3, 1), was(3, 1));  // unfilled: the camera's own value
  EXPECT_EQ(at(0, 2), 30);
  EXPECT_EQ(at(5, 2), 35);
  EXPECT_EQ(at(0, 3), 65535);
  EXPECT_EQ(at(1, 3), 0);
  EXPECT_EQ(at(2, 3), was(2, 3));
  EXPECT_EQ(at(3, 3), was(3, 3));
  EXPECT_EQ(at(4, 3), 44);
  EXPECT_EQ(at(5, 3), 45);
  EXPECT_EQ(at(0, 4), was(0, 4));
  EXPECT_EQ(at(5, 127), was(5, 127));
}

// A file that is not a shading table never reaches the camera, not even
// in part: a value that does not fit 16 bits would arrive as another
// number, a point missing or out of order would put every later one at
// the wrong address, and random bytes or prose would send whatever lines
// happened to begin with a number.
TEST(ShadingFile, LoadRefusesFilesThatAreNoTable) {
  TestDir dir;
  OnlineModel online;
  Number(online.camera());
  const auto cameraTable = online.camera().shadingTable();
  const auto path = dir / "bad.csv";
  const std::vector<int> before(online.model.ShadingTable().begin(),
                                online.model.ShadingTable().end());
  std::string random;
  std::mt19937 rng(5);
  for (int i = 0; i < 500 * 1024; ++i) random.push_back(static_cast<char>(rng() % 256));
  // Random bytes with lines that look like points, after a title.
  std::string mixed = kTitle;
  for (int n = 1; n <= 128; ++n)
    mixed += std::to_string(n) + "," + random.substr(n * 50, 20) + "\n";
  for (const std::string& text : std::vector<std::string>{
           "1,1,1,1,1,1,1\r\n",              // no title
           "4 score and seven years ago\n",  // prose
           kTitle + "1,-5,0,0,0,0,0\r\n",    // out of 16 bits
           kTitle + "1,1,1,1,1,1,1\r\n2,2,70000,2,2,2,2\r\n",
           kTitle + "1,0,0,0,0,0,99999999999\r\n",
           kTitle + "1,1,1,1,1,1,1\r\n2,2,x,2,2,2,2\r\n",  // not numbers
           kTitle + "1,12abc,1,1,1,1,1\r\n",
           kTitle + "1,1,1,1,1,1,1\r\n3,3,3,3,3,3,3\r\n",  // a point missing
           kTitle + "5,1,1,1,1,1,1\r\n3,3,3,3,3,3,3\r\n",  // out of order
           kTitle + "1,1,1,1,1,1,1\r\n1,2,2,2,2,2,2\r\n",
           kTitle + "1,1,1,1,1,1,1\r\nsome words\r\n2,2,2,2,2,2,2\r\n",
           kTitle + "1,1,1,1,1,1,1\r\n" + kTitle, random, kTitle + random, mixed}) {
    WriteFile(path, text);
    EXPECT_EQ(online.model.LoadShadingDataFromFile(path.string()), -8) << text.substr(0, 80);
    // Typed, a refused table is not a file that could not be read.
    EXPECT_EQ(online.model.LoadShadingFile(path.string()), vexq4::model::Status::kNotAShadingTable);
  }
  // Larger than any table: not read at all.
  std::string huge = kTitle;
  while (huge.size() <= (1u << 20)) huge += "1,1,1,1,1,1,1\r\n";
  WriteFile(path, huge);
  EXPECT_EQ(online.model.LoadShadingDataFromFile(path.string()), -8);
  EXPECT_FALSE(Sent(online, kFrame));
  EXPECT_EQ(online.camera().shadingTable(), cameraTable);
  EXPECT_TRUE(std::ranges::equal(online.model.ShadingTable(), before));
  EXPECT_EQ(online.model.IsOnline(), 1);

  // The bounds themselves are values.
  WriteFile(path, kTitle + "1,0,65535,0,0,0,0\r\n");
  EXPECT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(online.camera().shadingTable()[128], 65535);
}

// A refused file says on which line it is no table and what is wrong there,
// in words the operator can mend it by; the next load forgets it.
TEST(ShadingFile, RefusalNamesTheLineAndWhatIsWrong) {
  TestDir dir;
  OnlineModel online;
  const auto path = dir / "bad.csv";
  const std::string one = "1,1,1,1,1,1,1\r\n";
  std::string overlong = "1";
  for (int i = 0; i < 3000; ++i) overlong += ",1";
  const std::pair<std::string, std::string> cases[] = {
      {kTitle + one + "3,3,3,3,3,3,3\r\n", "line 5: point 3 where point 2 is missing"},
      {kTitle + one + "2,2,2,2,2,2,2\r\n2,2,2,2,2,2,2\r\n",
       "line 6: point 2 out of order, point 3 was due"},
      {kTitle + one + "2,2,x,2,2,2,2\r\n", "line 5: value \"x\" under H G is not a number"},
      {kTitle + "1,12abc,1,1,1,1,1\r\n", "line 4: value \"12abc\" under H R is not a number"},
      {kTitle + one + "2,2,2,2,2,2,70000\r\n",
       "line 5: value \"70000\" under V B is outside 0..65535"},
      {kTitle + "1,1,1,1, -5 ,1,1\r\n", "line 4: value \"-5\" under V R is outside 0..65535"},
      {kTitle + "200,1,1,1,1,1,1\r\n", "line 4: point number \"200\" is outside 1..128"},
      {kTitle + "\r\n\nsome words that go on and on\r\n",
       "line 6: \"some words that go o...\" is neither a title line nor a point (a point "
       "begins with its number, 1..128)"},
      {kTitle + "\x01\xFF\"\r\n",
       "line 4: \"\\x01\\xFF\\x22\" is neither a title line nor a point (a point begins with "
       "its number, 1..128)"},
      {one, "line 1: point 1 before the title lines"},
      {kTitle + one + kTitle, "line 5: a title line after the points"},
      {kTitle + overlong + "\r\n",
       "line 4: longer than 4499 characters, too many fields (a point has its number and 6 "
       "values)"},
      {kTitle, "no points after the title lines"},
      {kTitle + "1,,,,,,\r\n2\r\n", "no value in it: every field of its points is empty"},
      {"\r\n", "no title lines and no points in it"},
  };
  for (const auto& [text, problem] : cases) {
    WriteFile(path, text);
    EXPECT_EQ(online.model.LoadShadingFile(path.string()), vexq4::model::Status::kNotAShadingTable)
        << problem;
    EXPECT_EQ(online.model.ShadingFileProblem(), problem);
  }
  std::string huge = kTitle;
  while (huge.size() <= (1u << 20)) huge += one;
  WriteFile(path, huge);
  EXPECT_EQ(online.model.LoadShadingDataFromFile(path.string()), -8);
  EXPECT_EQ(online.model.ShadingFileProblem(),
            "larger than 1048576 bytes, far more than a shading table");
  EXPECT_FALSE(Sent(online, kFrame));

  WriteFile(path, kTitle + one);
  EXPECT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(online.model.ShadingFileProblem(), "");
}

// Entries a file leaves unfilled keep the camera's values: read once when
// the model knows nothing of the camera's table on this connection, taken
// from the table read (a save) or sent (a load) otherwise, and read again
// after auto shading changed it.
TEST(ShadingFile, UnfilledEntriesKeepTheCamerasValues) {
  TestDir dir;
  OnlineModel online;
  Number(online.camera());
  const auto original = online.camera().shadingTable();
  const auto path = dir / "short.csv";
  WriteFile(path, kTitle + "1,1,2,3,4,5,6\r\n");
  auto reads = [&] {
    const auto received = online.Received();
    return std::count(received.begin(), received.end(), "SHD?1024,768");
  };

  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(reads(), 1);
  auto expected = original;
  for (int c = 0; c < 6; ++c)
    expected[static_cast<std::size_t>(c * 128)] = static_cast<std::uint16_t>(c + 1);
  EXPECT_EQ(online.camera().shadingTable(), expected);

  // The table just sent is the camera's: no second read.
  WriteFile(path, kTitle + "1,1,2,3,4,5,6\r\n2,7,7,7,7,7,7\r\n");
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(reads(), 1);
  for (int c = 0; c < 6; ++c) expected[static_cast<std::size_t>(c * 128 + 1)] = 7;
  EXPECT_EQ(online.camera().shadingTable(), expected);

  // After a save the read view is the camera's table.
  Number(online.camera());
  ASSERT_EQ(online.model.SaveShadingDataIntoFile((dir / "saved.csv").string()), 0);
  EXPECT_EQ(reads(), 2);
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(reads(), 2);
  EXPECT_EQ(online.camera().shadingTable(), expected);

  // Auto shading gives the camera a new table, which is read again.
  ASSERT_EQ(online.model.StartAutoShadingCorrection(), 0);
  auto computed = online.camera().shadingTable();
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(reads(), 3);
  for (int c = 0; c < 6; ++c) {
    computed[static_cast<std::size_t>(c * 128)] = static_cast<std::uint16_t>(c + 1);
    computed[static_cast<std::size_t>(c * 128 + 1)] = 7;
  }
  EXPECT_EQ(online.camera().shadingTable(), computed);

  // A camera that cannot give its table gets nothing.
  online.model.CloseConnection();
  ASSERT_EQ(online.model.SetComPort(1), 0);
  online.camera().faults().corruptShading = true;
  online.camera().ClearLog();
  EXPECT_NE(online.model.LoadShadingDataFromFile(path.string()), 0);
  for (const auto& line : online.Received()) EXPECT_NE(line, kFrame);
}

TEST(ShadingFile, LoadTakesAtMost128LinesAndSplitsOverlongLines) {
  TestDir dir;
  OnlineModel online;
  const auto path = dir / "long.csv";
  std::string text = kTitle;
  for (int n = 1; n <= 128; ++n)
    text += std::to_string(n) + "," + std::to_string(n) + ",1,1,1,1,1\r\n";
  for (int n = 1; n <= 72; ++n) text += std::to_string(n) + ",9999,9,9,9,9,9\r\n";
  WriteFile(path, text);
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  for (int k = 0; k < 128; ++k)
    EXPECT_EQ(online.camera().shadingTable()[static_cast<std::size_t>(k)], k + 1);

  // A line of more than 4499 characters is read as several lines.
  std::string first = "1,7,7,7,7,7,7";
  first.resize(vexq4::model::kShadingLinePiece, ' ');
  WriteFile(path, kTitle + first + "2,8,8,8,8,8,8\r\n");
  ASSERT_EQ(online.model.LoadShadingDataFromFile(path.string()), 0);
  EXPECT_EQ(online.camera().shadingTable()[0], 7);
  EXPECT_EQ(online.camera().shadingTable()[1], 8);
  EXPECT_EQ(online.camera().shadingTable()[5 * 128 + 1], 8);
}

TEST(ShadingFile, LoadRefusals) {
  TestDir dir;
  OnlineModel online;
  const auto path = dir / "titles.csv";
  WriteFile(path, ",,,DYNAMIC SHADING,,,\r\n,,H,,,V,\r\nADR,R,G,B,R,G,B\r\n");
  EXPECT_EQ(online.model.LoadShadingDataFromFile(path.string()), -8);
  EXPECT_EQ(online.model.LoadShadingDataFromFile(dir.path().string()), -8);  // a folder
  // Neither a pipe without a writer nor an endless device holds the caller.
  ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
  EXPECT_EQ(online.model.LoadShadingDataFromFile((dir / "pipe.csv").string()), -8);
  EXPECT_EQ(online.model.LoadShadingDataFromFile("/dev/zero"), -8);
  using vexq4::model::Status;
  EXPECT_EQ(online.model.LoadShadingFile(path.string()), Status::kNotAShadingTable);
  EXPECT_EQ(online.model.LoadShadingFile(dir.path().string()), Status::kFileNotReadable);
  EXPECT_EQ(online.model.LoadShadingFile("/dev/zero"), Status::kFileNotReadable);
  EXPECT_EQ(online.model.LoadShadingFile((dir / "missing.csv").string()), Status::kFileNotReadable);
  EXPECT_FALSE(Sent(online, kFrame));
  EXPECT_EQ(online.model.IsOnline(), 1);

  // A refused frame: the library's code, the table holds the file, probed.
  WriteFile(path, kTitle + "1,4,5,6,7,8,9\r\n");
  online.camera().faults().rejectCommands = true;
  EXPECT_EQ(online.model.LoadShadingDataFromFile(path.string()), -3);
  EXPECT_EQ(online.model.ShadingTable()[5 * 128], 9);
  EXPECT_EQ(online.Received().back(), "SH?");
  EXPECT_EQ(online.model.IsOnline(), 1);
  EXPECT_TRUE(online.model.lines.empty());

  vexq4::testing::LineModel offline;
  EXPECT_EQ(offline.LoadShadingDataFromFile(path.string()), -5);
  EXPECT_EQ(offline.SaveShadingDataIntoFile((dir / "x.csv").string()), -5);
  EXPECT_EQ(offline.StartAutoShadingCorrection(), -5);
  EXPECT_TRUE(offline.lines.empty());
}

TEST(ShadingFile, SaveFailures) {
  TestDir dir;
  OnlineModel online;
  // A folder that is not there: the table is read first, then -7.
  EXPECT_EQ(online.model.SaveShadingDataIntoFile((dir / "missing" / "t.csv").string()), -7);
  EXPECT_TRUE(Sent(online, "SHD?1024,768"));

  // A damaged frame while the camera still answers: its code, and no file
  // from the stale table.
  online.camera().faults().corruptShading = true;
  const auto path = dir / "t.csv";
  EXPECT_NE(online.model.SaveShadingDataIntoFile(path.string()), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(online.model.IsOnline(), 1);

  // A camera that is gone: the probe closes the connection.
  online.camera().faults().corruptShading = false;
  online.camera().faults().silent = true;
  EXPECT_NE(online.model.SaveShadingDataIntoFile(path.string()), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(online.model.IsOnline(), 0);
  EXPECT_EQ(vexq4::testing::CountEntries(dir.path()), 0);
}

TEST(ShadingFile, AutoShading) {
  OnlineModel online;
  online.camera().shadingTable().fill(0);
  ASSERT_EQ(online.model.StartAutoShadingCorrection(), 0);
  ASSERT_EQ(online.model.lines.size(), 1u);
  EXPECT_EQ(online.model.lines[0], "ATSH=0\r\nCOMPLETE\r\n");
  EXPECT_NE(online.camera().shadingTable()[0], 0);  // the camera computed a table
  EXPECT_EQ(online.model.ShadingTable()[2], 0);     // the model's copy is untouched

  // Refused: the line carries the status, the probe keeps the camera on-line.
  online.camera().faults().rejectCommands = true;
  EXPECT_EQ(online.model.StartAutoShadingCorrection(), -3);
  ASSERT_EQ(online.model.lines.size(), 2u);
  EXPECT_EQ(online.model.lines[1], "ATSH=0\r\nUnknown Command ******************************\r\n");
  EXPECT_TRUE(Sent(online, "SH?"));
  EXPECT_EQ(online.model.IsOnline(), 1);
}

}  // namespace
