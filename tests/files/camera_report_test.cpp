// The camera data report against the simulated camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "file_formats.h"
#include "model_access.h"
#include "online_model.h"
#include "test_dir.h"

namespace {

using vexq4::model::Pad;
using vexq4::testing::OnlineModel;
using vexq4::testing::ReadFile;
using vexq4::testing::TestDir;

std::size_t ReportRows() {
  return vexq4::model::TransferOrder(vexq4::model::Transfer::kReportRows).size();
}

constexpr std::string_view kReport = "WriteCameraDataToFile";

// Lines of a file that must end every line with CR LF (and hold no bare LF).
std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated last line";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(lines.back().find('\n'), std::string::npos);
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const auto comma = line.find(',', start);
    out.push_back(line.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Rows by label, with their trimmed cells.
std::map<std::string, std::vector<std::string>> Rows(const std::vector<std::string>& lines,
                                                     std::size_t first) {
  std::map<std::string, std::vector<std::string>> rows;
  for (std::size_t i = first; i < lines.size(); ++i) {
    auto fields = Fields(lines[i]);
    std::vector<std::string> cells;
    for (std::size_t c = 1; c < fields.size(); ++c) cells.push_back(Trimmed(fields[c]));
    rows[Trimmed(fields[0])] = cells;
  }
  return rows;
}

vexq4::sim::Config KnownAreas() {
  vexq4::sim::Config c;
  c.identity.userId = "LINE-7";
  c.values = {{"WB", 2}, {"SM", 1}, {"GA", 100}};  // working: "3200 K"
  // The factory area keeps the simulator's defaults ("Continuous AWB").
  c.areas[1] = {{"WB", 0}, {"GAR", 11}, {"GAB", -12}, {"KN", 0}};
  c.areas[2] = {{"SM", 7}, {"WA", 12}, {"LS", 1}, {"RF", 1},  {"TI", 1},
                {"TP", 1}, {"BA", 1},  {"SL", 1}, {"CBAR", 1}};  // and the second texts
  c.areas[3] = {{"WB", 4}, {"SDM", 0}};
  return c;
}

TEST(CameraReport, AllAreasSideBySide) {
  TestDir dir;
  OnlineModel online(KnownAreas());
  auto& model = online.model;
  // A model that holds the camera's settings goes straight to the report.
  ASSERT_EQ(model.ReadAllFromCamera(), 0);
  model.lines.clear();
  online.link.camera().ClearLog();
  std::vector<vexq4::model::ProgressStep> steps;
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) {
    if (s.operation == kReport) steps.push_back(s);
  });

  const auto path = dir / "report.txt";
  ASSERT_EQ(model.WriteCameraDataToFile(path.string()), 0);

  const auto lines = CrLfLines(ReadFile(path));
  ASSERT_EQ(lines.size(), 4u + 1u + ReportRows());
  EXPECT_EQ(lines[0], Pad("Model Name") + "," + Pad("RX-Q4CL"));
  EXPECT_EQ(lines[1], Pad("Camera ID") + "," + Pad("10042"));
  EXPECT_EQ(lines[2], Pad("User ID") + "," + Pad("LINE-7"));
  EXPECT_EQ(lines[3], Pad("Firmware Version") + "," + Pad("120"));
  EXPECT_EQ(lines[4], Pad("") + "," + Pad("Current Settings") + "," + Pad("Factory Settings") +
                          "," + Pad("User Area 1") + "," + Pad("User Area 2") + "," +
                          Pad("User Area 3"));
  for (std::size_t i = 5; i < lines.size(); ++i) {
    const auto fields = Fields(lines[i]);
    ASSERT_EQ(fields.size(), 6u) << lines[i];
    for (const auto& f : fields) EXPECT_GE(f.size(), 33u);
  }

  using Cells = std::vector<std::string>;
  auto rows = Rows(lines, 5);
  ASSERT_EQ(rows.size(), ReportRows());
  EXPECT_EQ(rows["Shutter Mode"], (Cells{"Progr.Exp.(RGB Common set)", "Shutter Speed",
                                         "Shutter Speed", "7", "Shutter Speed"}));
  EXPECT_EQ(rows["White Balance"],
            (Cells{"3200 K", "Continuous AWB", "Manual/One Push", "Continuous AWB", "5600 K"}));
  EXPECT_EQ(rows["Master Gain Level"], (Cells{"100", "0", "0", "0", "0"}));
  // Gains of each area's mode: presets, none for "Continuous AWB", manual.
  EXPECT_EQ(rows["Gain Level Red"], (Cells{"-68", "", "11", "", "25"}));
  EXPECT_EQ(rows["Gain Level Blue"], (Cells{"95", "", "-12", "", "-30"}));
  EXPECT_EQ(rows["Knee"], (Cells{"Off", "Off", "On", "Off", "Off"}));
  EXPECT_EQ(rows["Shading Mode"], (Cells{"Off", "Off", "Off", "Off", "On"}));
  EXPECT_EQ(rows["Auto White Area"],
            (Cells{"Full Area", "Full Area", "Full Area", "12", "Full Area"}));
  EXPECT_EQ(rows["Smearless"], (Cells{"Off", "Off", "Off", "On", "Off"}));
  EXPECT_EQ(rows["Color Bar"], (Cells{"Off", "Off", "Off", "On", "Off"}));
  EXPECT_EQ(rows["Output Bit Allocation"], (Cells{"10bit", "10bit", "10bit", "8bit", "10bit"}));
  EXPECT_EQ(rows["LVAL Accumulation"], (Cells{"Sync", "Sync", "Sync", "Async", "Sync"}));
  EXPECT_EQ(rows["RCT FVAL Type"],
            (Cells{"CameraLink", "CameraLink", "CameraLink", "VEX Standard", "CameraLink"}));
  EXPECT_EQ(rows["Trigger Input"],
            (Cells{"CameraLink", "CameraLink", "CameraLink", "Hirose12pin", "CameraLink"}));
  EXPECT_EQ(rows["Trigger Polarity"],
            (Cells{"Active Low", "Active Low", "Active Low", "Active High", "Active Low"}));

  // The rows in their fixed order.
  std::vector<std::string> labels;
  for (std::size_t i = 5; i < lines.size(); ++i) labels.push_back(Trimmed(Fields(lines[i])[0]));
  EXPECT_EQ(
      labels,
      (std::vector<std::string>{
          "Shutter Mode",      "Shutter Speed",     "Progr. Exp.",           "Progr. Exp. Red",
          "Progr. Exp. Green", "Progr. Exp. Blue",  "Trigger Mode",          "Smearless",
          "LVAL Accumulation", "RCT FVAL Type",     "Trigger Input",         "Trigger Polarity",
          "Partial Scan Mode", "Binning",           "Output Bit Allocation", "Color Bar",
          "White Balance",     "Master Gain Level", "Gain Level Red",        "Gain Level Blue",
          "Black Level Green", "Black Level Red",   "Black Level Blue",      "Knee",
          "Red Knee Slope",    "Green Knee Slope",  "Blue Knee Slope",       "Red Knee Point",
          "Green Knee Point",  "Blue Knee Point",   "Shading Mode",          "Auto White Area"}));

  // The report itself reports no message lines; the closing write-all does,
  // and gives the camera back the model's settings.
  ASSERT_FALSE(model.lines.empty());
  EXPECT_TRUE(model.lines.front().starts_with("SM=")) << model.lines.front();
  EXPECT_EQ(online.camera().Value("WB"), vexq4::testing::ValueOf(model, "WhiteBalanceIndex"));
  EXPECT_EQ(online.camera().Value("GA"), vexq4::testing::ValueOf(model, "MasterGainLevel"));

  const auto received = online.Received();
  ASSERT_GE(received.size(), 4u);
  EXPECT_EQ(received[0], "MD?");
  EXPECT_EQ(received[3], "VN?");
  std::vector<std::string> loads;
  for (const auto& r : received) {
    if (r.starts_with("LD=")) loads.push_back(r);
  }
  EXPECT_EQ(loads, (std::vector<std::string>{"LD=0", "LD=1", "LD=2", "LD=3"}));

  // On the wire the master gain comes before the white balance, whose mode
  // picks the gains: the working area ("3200 K") reads its presets, the
  // factory area ("Continuous AWB") none.
  const std::vector<std::string> head = {"SM?", "SH?", "PE?", "PER?",  "PEG?", "PEB?",
                                         "TR?", "SL?", "LS?", "RF?",   "TI?",  "TP?",
                                         "SC?", "BI?", "BA?", "CBAR?", "GA?",  "WB?"};
  const std::vector<std::string> tail = {"BLG?", "BLR?", "BLB?", "KN?",  "KSR?", "KSG?",
                                         "KSB?", "KPR?", "KPG?", "KPB?", "SDM?", "WA?"};
  std::vector<std::string> current = head;
  current.insert(current.end(), {"WPR1?", "WPB1?"});
  current.insert(current.end(), tail.begin(), tail.end());
  std::vector<std::string> factory = head;
  factory.insert(factory.end(), tail.begin(), tail.end());
  const auto ld0 = std::find(received.begin(), received.end(), "LD=0");
  const auto ld1 = std::find(received.begin(), received.end(), "LD=1");
  EXPECT_EQ(std::vector<std::string>(received.begin() + 4, ld0), current);
  EXPECT_EQ(std::vector<std::string>(ld0 + 1, ld1), factory);

  // One step per exchange, in order, ending with step == total.
  ASSERT_FALSE(steps.empty());
  for (std::size_t i = 1; i < steps.size(); ++i) EXPECT_GT(steps[i].step, steps[i - 1].step);
  EXPECT_EQ(steps.back().step, steps.back().total);
}

// A model that never read the camera reads it all first, so that the
// closing write-all gives the camera its own working settings back rather
// than the model's initial values.
TEST(CameraReport, UnsynchronizedModelReadsTheCameraFirst) {
  TestDir dir;
  vexq4::sim::Config config = KnownAreas();
  config.values = {{"GA", 100}, {"SH", 4}, {"KSR", 99}, {"WB", 0}, {"GAR", -5}};
  OnlineModel online(config);
  auto& model = online.model;
  ASSERT_EQ(model.IsSynchronized(), 0);

  const auto path = dir / "report.txt";
  ASSERT_EQ(model.WriteCameraDataToFile(path.string()), 0);
  auto& camera = online.camera();
  EXPECT_EQ(camera.Value("GA"), 100);
  EXPECT_EQ(camera.Value("SH"), 4);
  EXPECT_EQ(camera.Value("KSR"), 99);
  EXPECT_EQ(camera.Value("WB"), 0);
  EXPECT_EQ(camera.Value("GAR"), -5);
  EXPECT_EQ(model.IsSynchronized(), 1);

  // The read-all comes before the report's own first query.
  const auto received = online.Received();
  const auto firstReport = std::find(received.begin(), received.end(), "MD?");
  ASSERT_NE(firstReport, received.end());
  EXPECT_EQ(received.front(), "SM?");
  EXPECT_NE(std::find(received.begin(), firstReport, "KSR?"), firstReport);
  EXPECT_EQ(std::find(received.begin(), firstReport, "LD=0"), firstReport);
  const auto rows = Rows(CrLfLines(ReadFile(path)), 5);
  EXPECT_EQ(rows.at("Master Gain Level").front(), "100");
  EXPECT_EQ(rows.at("Shutter Speed").front(), "1/250");
}

// When that read fails, no area is loaded (the camera would lose its
// working settings) and no file is written.
TEST(CameraReport, FailedFirstReadLoadsNoArea) {
  TestDir dir;
  OnlineModel online;
  auto& model = online.model;
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) {
    if (s.operation == "ReadAllFromCamera" && s.step == 5) online.camera().faults().silent = true;
  });
  const auto path = dir / "report.txt";
  const int rc = model.WriteCameraDataToFile(path.string());
  EXPECT_NE(rc, 0);
  for (const auto& line : online.Received()) EXPECT_FALSE(line.starts_with("LD=")) << line;
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(vexq4::testing::CountEntries(dir.path()), 0);
}

TEST(CameraReport, UserIdNotAnswered) {
  TestDir dir;
  OnlineModel online;
  auto& model = online.model;
  auto& faults = online.camera().faults();
  // Silent from the user ID query up to the first area load.
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) {
    if (s.operation == kReport) faults.silent = (s.step == 2);
  });

  const auto path = dir / "report.txt";
  EXPECT_EQ(model.WriteCameraDataToFile(path.string()), 0);
  const auto lines = CrLfLines(ReadFile(path));
  ASSERT_EQ(lines.size(), 3u + 1u + ReportRows());
  EXPECT_EQ(lines[0], Pad("Model Name") + "," + Pad("RX-Q4CL"));
  EXPECT_EQ(lines[1], Pad("Camera ID") + "," + Pad("10042"));
  EXPECT_EQ(lines[2], Pad("User ID") + "," + Pad(""));
  EXPECT_TRUE(lines[3].starts_with(Pad("") + "," + Pad("Current Settings")));
  // No cells under "Current Settings": the four stored areas only.
  for (std::size_t i = 4; i < lines.size(); ++i) EXPECT_EQ(Fields(lines[i]).size(), 5u);
  EXPECT_EQ(model.IsOnline(), 1);
}

TEST(CameraReport, FailedReadEndsItsColumnButEveryRowEndsItsLine) {
  TestDir dir;
  OnlineModel online;
  auto& model = online.model;
  auto& faults = online.camera().faults();
  int readsInLastArea = -1;
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) {
    if (s.operation != kReport) {
      faults.silent = false;  // the write-all finds the camera again
      return;
    }
    if (!online.Received().empty() && online.Received().back() == "LD=3") readsInLastArea = 0;
    if (readsInLastArea >= 0 && ++readsInLastArea == 5) faults.silent = true;  // PEG?
  });

  const auto path = dir / "report.txt";
  EXPECT_EQ(model.WriteCameraDataToFile(path.string()), -6);
  const auto lines = CrLfLines(ReadFile(path));
  ASSERT_EQ(lines.size(), 4u + 1u + ReportRows());
  auto rows = Rows(lines, 5);
  EXPECT_EQ(rows["Progr. Exp. Red"].size(), 5u);
  EXPECT_EQ(rows["Progr. Exp. Green"], (std::vector<std::string>{"395", "395", "395", "395", ""}));
  EXPECT_EQ(rows["Progr. Exp. Blue"].size(), 4u);
  EXPECT_EQ(rows["Auto White Area"].size(), 4u);
}

// A report the camera broke off does not replace the whole report of an
// earlier run (with none there, what the camera gave is written, above).
TEST(CameraReport, BrokenOffReportKeepsTheEarlierOne) {
  TestDir dir;
  OnlineModel online;
  auto& model = online.model;
  const auto path = dir / "report.txt";
  ASSERT_EQ(model.WriteCameraDataToFile(path.string()), 0);
  const std::string whole = ReadFile(path);

  auto& faults = online.camera().faults();
  model.SetProgressHandler([&](const vexq4::model::ProgressStep& s) {
    faults.silent = s.operation == kReport && s.step >= 40;  // in the second area
  });
  EXPECT_EQ(model.WriteCameraDataToFile(path.string()), -6);
  EXPECT_EQ(ReadFile(path), whole);
  EXPECT_EQ(vexq4::testing::CountEntries(dir.path()), 1);  // no temporary left
}

TEST(CameraReport, OfflineOrUnwritableTouchesNothing) {
  TestDir dir;
  {
    vexq4::testing::LineModel offline;
    EXPECT_EQ(offline.WriteCameraDataToFile((dir / "off.txt").string()), -5);
    EXPECT_FALSE(std::filesystem::exists(dir / "off.txt"));
  }
  OnlineModel online;
  EXPECT_EQ(online.model.WriteCameraDataToFile((dir / "missing" / "r.txt").string()), -7);
  EXPECT_TRUE(online.Received().empty());
  EXPECT_TRUE(online.model.lines.empty());
  EXPECT_EQ(vexq4::testing::CountEntries(dir.path()), 0);
}

}  // namespace

namespace {

// Settings files on-line: read into the cache, then the whole cache goes to
// the camera.
TEST(SettingsFileOnline, ReadingWritesEverythingToTheCamera) {
  TestDir dir;
  const auto path = (dir / "s.cam").string();
  vexq4::testing::LineModel offline;
  offline.SetMasterGainLevel(100);
  offline.SetWhiteBalanceIndex(0);
  offline.SetRedGainLevel(-20);
  ASSERT_EQ(offline.WriteAllToFile(path), 0);

  OnlineModel online;
  // The constructed model's knee slopes are 0, outside 1..4095: -9, yet
  // every accepted value is applied and written.
  EXPECT_EQ(online.model.ReadAllFromFile(path), -9);
  EXPECT_EQ(online.camera().Value("GA"), 100);
  EXPECT_EQ(online.camera().Value("WB"), 0);
  EXPECT_EQ(online.camera().Value("GAR"), -20);
  EXPECT_FALSE(online.model.lines.empty());

  // A file that is not there, or not a file, changes nothing and sends
  // nothing: the program's settings would overwrite the camera's.
  online.model.SetMasterGainLevel(7);
  online.camera().ClearLog();
  online.model.lines.clear();
  EXPECT_EQ(online.model.ReadAllFromFile((dir / "absent.cam").string()), -9);
  EXPECT_EQ(online.model.ReadAllFromFile(dir.path().string()), -8);
  EXPECT_TRUE(online.Received().empty());
  EXPECT_TRUE(online.model.lines.empty());
  EXPECT_EQ(vexq4::testing::ValueOf(online.model, "MasterGainLevel"), 7);

  // A failing write-all replaces the file's -9 with its own code.
  online.camera().faults().rejectCommands = true;
  const int result = online.model.ReadAllFromFile(path);
  EXPECT_NE(result, 0);
  EXPECT_NE(result, -9);
}

}  // namespace
