// What the camera and the disk see of the whole-camera operations, byte for
// byte: the lines a read-all, a write-all, a white balance change, a load
// of an area and of a settings file send, in each white balance mode; the
// settings files saved off-line and on-line; the windows' refresh order
// after an off-line load; the camera data report with its lines. Compared
// with golden/transfers.txt, recorded once from a known good build; a
// change of any order or byte fails here. VEXQ4_UPDATE_GOLDEN=1 writes the
// file anew (only for an intended change of behaviour).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "online_model.h"
#include "test_dir.h"
#include "vexq4/model/VexCamInterface.h"

namespace {

using vexq4::model::SettingRow;
using vexq4::testing::OnlineModel;
using vexq4::testing::ReadFile;
using vexq4::testing::TestDir;
using vexq4::testing::WriteFile;

// A value of every row unlike its neighbours' and inside its range.
int ValueFor(const SettingRow& row, int salt) {
  const int span = row.max - row.min + 1;
  const int wanted = salt * 7 + static_cast<int>(row.code) * 3 + 1;
  return row.min + (span > 0 ? wanted % span : 0);
}

// The simulated camera with a distinct value in every register the model
// knows, and the white balance in `mode`.
vexq4::sim::Config Camera(int mode, int salt) {
  vexq4::sim::Config config;
  for (const SettingRow& row : vexq4::model::Settings())
    config.values[std::string(row.mnemonic)] = ValueFor(row, salt);
  config.values["WB"] = mode;
  config.identity.userId = "GOLDEN";
  return config;
}

// Records the notifications that name a setting, in order.
class Recorder : public CVexCamInterface {
 public:
  std::vector<std::string> seen;
#define VEXQ4_RECORD(Notification, ...) \
  void Notification() override { seen.emplace_back(#Notification); }
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_SKIP, VEXQ4_SKIP, VEXQ4_RECORD, VEXQ4_RECORD, VEXQ4_RECORD)
#undef VEXQ4_RECORD
};

class Transcript {
 public:
  void Section(const std::string& title) { text_ += "== " + title + "\n"; }
  void Lines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) text_ += line + "\n";
  }
  // File bytes, CR shown, so that line ends are part of the comparison.
  void Bytes(const std::string& bytes) {
    for (char c : bytes) {
      if (c == '\r')
        text_ += "\\r";
      else
        text_ += c;
    }
    if (!bytes.empty() && bytes.back() != '\n') text_ += "\n";
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

std::vector<std::string> Take(OnlineModel& online) {
  std::vector<std::string> lines = online.Received();
  online.link.camera().ClearLog();
  return lines;
}

void RecordMode(Transcript& t, const TestDir& dir, int mode) {
  const std::string tag = " WB=" + std::to_string(mode);
  OnlineModel online(Camera(mode, 1));
  auto& model = online.model;

  t.Section("read-all" + tag);
  EXPECT_EQ(model.ReadAllFromCamera(), 0);
  t.Lines(Take(online));

  t.Section("save-settings on-line" + tag);
  const auto file = dir / ("online" + std::to_string(mode) + ".cam");
  EXPECT_EQ(model.WriteAllToFile(file.string()), 0);
  t.Bytes(ReadFile(file));

  t.Section("write-all" + tag);
  EXPECT_EQ(model.WriteAllToCamera(), 0);
  t.Lines(Take(online));

  t.Section("white balance set" + tag);
  EXPECT_EQ(model.SetSetting(*vexq4::model::FindSetting("WB"), mode), 0);
  t.Lines(Take(online));

  t.Section("load-settings file on-line" + tag);
  EXPECT_EQ(model.ReadAllFromFile(file.string()), 0);
  t.Lines(Take(online));

  t.Section("load area 2" + tag);
  EXPECT_EQ(model.LoadSettings(2), 0);
  t.Lines(Take(online));
}

void RecordOffline(Transcript& t, const TestDir& dir) {
  Recorder model;
  // Set off-line: stored and announced, nothing sent.
  for (const SettingRow& row : vexq4::model::Settings())
    if (row.code != vexq4::model::FindSetting("WB")->code) model.SetSetting(row, ValueFor(row, 2));
  for (int mode = 0; mode < 5; ++mode) {
    model.SetSetting(*vexq4::model::FindSetting("WB"), mode);
    t.Section("save-settings off-line WB=" + std::to_string(mode));
    const auto file = dir / ("offline" + std::to_string(mode) + ".cam");
    EXPECT_EQ(model.WriteAllToFile(file.string()), 0);
    t.Bytes(ReadFile(file));
  }
  t.Section("load-settings off-line: refresh order");
  model.seen.clear();
  EXPECT_EQ(model.ReadAllFromFile((dir / "online0.cam").string()), 0);
  t.Lines(model.seen);
}

void RecordReport(Transcript& t, const TestDir& dir) {
  vexq4::sim::Config config = Camera(3, 3);
  config.areas[1] = {{"WB", 0}, {"GAR", 11}, {"GAB", -12}, {"KN", 0}, {"WA", 4}};
  config.areas[2] = {{"WB", 1}, {"SM", 7}, {"LS", 1}, {"RF", 1}, {"TI", 1}};
  config.areas[3] = {{"WB", 4}, {"SDM", 0}, {"WPR3", 9}, {"WPB3", -9}};
  OnlineModel online(std::move(config));
  const auto path = dir / "report.txt";
  // Not synchronized: the report reads everything first.
  EXPECT_EQ(online.model.WriteCameraDataToFile(path.string()), 0);
  t.Section("report: lines");
  t.Lines(Take(online));
  t.Section("report: file");
  t.Bytes(ReadFile(path));
}

std::string Golden() { return VEXQ4_GOLDEN_DIR "/transfers.txt"; }

TEST(Golden, WholeCameraOperationsSendAndWriteWhatTheyAlwaysHave) {
  TestDir dir;
  Transcript t;
  for (int mode = 0; mode < 5; ++mode) RecordMode(t, dir, mode);
  RecordOffline(t, dir);
  RecordReport(t, dir);

  if (const char* update = std::getenv("VEXQ4_UPDATE_GOLDEN"); update && *update == '1') {
    WriteFile(Golden(), t.text());
    GTEST_SKIP() << "wrote " << Golden();
  }
  const std::string golden = ReadFile(Golden());
  ASSERT_FALSE(golden.empty()) << Golden() << " is missing";
  // Line by line, so that a failure names the first line that differs.
  std::size_t at = 0;
  std::size_t line = 1;
  const std::string& actual = t.text();
  while (at < golden.size() && at < actual.size()) {
    const std::size_t g = golden.find('\n', at);
    const std::size_t a = actual.find('\n', at);
    ASSERT_EQ(actual.substr(at, a - at), golden.substr(at, g - at)) << "line " << line;
    at = g + 1;
    ++line;
  }
  EXPECT_EQ(actual.size(), golden.size());
}

}  // namespace
