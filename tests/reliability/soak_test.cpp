// A fault-injection soak in virtual time: thousands of random model
// operations against a simulated camera that goes silent, garbles,
// truncates, echoes, floods, answers late (by a fixed time or 0 to 900 ms
// at random), rejects commands (all or some), corrupts or shortens its
// shading frame, and is unplugged and plugged back. It runs with the
// standard drain and with the short drain before queries (fast reads),
// where late answers meet later queries most often, on a COM port and
// through a frame grabber (linkport and a Camera Link 2.0 vendor library).
//
// After every operation: the code is documented and came within the
// operation's bounded time; the model is consistent and its online flag
// matches the port; whatever it reports as written or read is what the
// camera holds; no file is half-written.
//
// VEXQ4_SOAK_SEED=<n> repeats a run, VEXQ4_SOAK_OPS=<n> runs longer.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "VexQ4Comm.h"
#include "draining_clock.h"
#include "file_formats.h"
#include "model_checks.h"
#include "test_dir.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/clock.h"
#include "vexq4/platform/ini_file.h"
#include "vexq4/sim/virtual_link.h"
#include "virtual_grabber.h"

namespace vexq4::reliability {
namespace {

namespace fs = std::filesystem;
using model::SettingRow;
using vexq4::testing::DrainingClock;
using vexq4::testing::ReadFile;

constexpr unsigned long kDefaultSeed = 20240611;
constexpr long kDefaultOps = 2500;
// Answers come up to this late at random: past the 600 ms time-out and the
// standard drain after it, into the next exchange.
constexpr std::uint32_t kLateSpreadMs = 900;

unsigned long EnvNumber(const char* name, unsigned long fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::strtoul(v, nullptr, 10) : fallback;
}

enum Op {
  kGet,
  kSet,
  kReadAll,
  kWriteAll,
  kReport,
  kShadingSave,
  kShadingLoad,
  kReconnect,
  kIdentity,
  kSetUserId,
  kSettingsWrite,
  kSettingsRead,
  kClose,
  kLoadArea,
  kStoreArea,
  kOnePush,
  kWhiteBalance,
  kOpCount
};
constexpr std::array<int, kOpCount> kWeights = {30, 25, 4, 4, 1, 3, 3, 5, 5,
                                                3,  2,  2, 2, 2, 2, 2, 4};
constexpr std::array<const char*, kOpCount> kOpNames = {
    "get",          "set",       "read-all",   "write-all",   "report",         "shading save",
    "shading load", "reconnect", "identity",   "set user ID", "settings write", "settings read",
    "close",        "load area", "store area", "one-push",    "white balance"};

// Generous: every exchange may be followed by a probe. Over Camera Link
// each empty read of a shading frame's byte waits 600 ms, not the COM
// port's 101 ms.
std::uint32_t BoundMs(int op, bool cameraLink) {
  const std::uint32_t e = ExchangeBoundMs(600);
  switch (op) {
    case kReadAll:
    case kWriteAll:
    case kLoadArea:
    case kSettingsRead:
      return 90 * e;
    case kReport:
      return 270 * e;
    case kShadingSave:
      return (cameraLink ? kShadingReadOnCameraLinkBoundMs : kShadingReadBoundMs) + 2 * e + 2000;
    case kShadingLoad:
      return 4 * e + 8000;
    default:
      return 10 * e;
  }
}

// The line faults the camera can show; each run picks one at a time, or
// none. Command echoes and late-but-in-time answers are not faults to the
// host; an echoed query is, for mnemonics longer than two letters ("GAB?"
// is not recognised as an echo and reads as a malformed answer).
struct FaultSet {
  sim::Faults faults;
  bool unplugged = false;
  bool echoShape = false;
  // The camera answers every line correctly and in time.
  bool Clean() const {
    const sim::Faults& f = faults;
    return !unplugged && !f.silent && !f.echoQuery && !f.garble && !f.truncate && !f.overlongLine &&
           !f.corruptShading && !f.shortShading && !f.rejectCommands && f.rejectOneIn == 0 &&
           f.lateReplyMs + f.lateReplySpreadMs <= 300;
  }
  bool LateAtRandom() const { return faults.lateReplySpreadMs != 0; }
  std::string Describe() const {
    const sim::Faults& f = faults;
    std::ostringstream s;
    s << (unplugged ? "unplugged " : "") << (f.silent ? "silent " : "")
      << (f.garble ? "garble " : "") << (f.truncate ? "truncate " : "")
      << (f.echoQuery ? "echoQuery " : "") << (f.overlongLine ? "overlongLine " : "")
      << (f.corruptShading ? "corruptShading " : "") << (f.shortShading ? "shortShading " : "")
      << (f.rejectCommands ? "rejectCommands " : "") << (echoShape ? "echoShape " : "")
      << "late=" << f.lateReplyMs << " spread=" << f.lateReplySpreadMs
      << " rejectOneIn=" << f.rejectOneIn;
    return s.str();
  }
};

// `lateOften`: half the periods have answers 0 to 900 ms late.
FaultSet RandomFaults(std::mt19937& rng, bool lateOften) {
  FaultSet set;
  set.echoShape = rng() % 4 == 0;
  set.faults.echoQuery = rng() % 4 == 0;
  if (lateOften && rng() % 2 == 0) {
    set.faults.lateReplySpreadMs = kLateSpreadMs;
    if (rng() % 2 == 0) set.faults.rejectOneIn = 3;
    return set;
  }
  if (rng() % 2 == 0) return set;  // half the time the camera behaves
  switch (rng() % 12) {
    case 0:
      set.faults.silent = true;
      break;
    case 1:
      set.faults.garble = true;
      break;
    case 2:
      set.faults.truncate = true;
      break;
    case 3:
      set.faults.overlongLine = true;
      break;
    case 4:
      set.faults.corruptShading = true;
      break;
    case 5:
      set.faults.shortShading = true;
      break;
    case 6:
      set.faults.rejectCommands = true;
      break;
    case 7:
      set.faults.lateReplyMs = 300;
      break;
    case 8:
      set.faults.lateReplyMs = 700 + rng() % 1500;
      break;
    // Every answer 0 to 900 ms late: some come after the host gave up on
    // them, while it waits for the next answer. With some commands
    // refused, a late "COMPLETE" may float past a refused command.
    case 9:
      set.faults.lateReplySpreadMs = kLateSpreadMs;
      break;
    case 10:
      set.faults.lateReplySpreadMs = kLateSpreadMs;
      set.faults.rejectOneIn = 3;
      break;
    default:
      set.unplugged = true;
      break;
  }
  return set;
}

class SoakTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetClock(&drain_); }
  void TearDown() override {
    CVexCamInterface::SetQueryDrainTime(-1);
    if (HasFailure()) {
      // The last lines on the wire, to see what led to the failure.
      const auto& log = link_.camera().log();
      std::fprintf(stderr, "last lines the camera received (now %u):\n", link_.clock().now());
      for (std::size_t k = log.size() > 12 ? log.size() - 12 : 0; k < log.size(); ++k)
        std::fprintf(stderr, "  %u  %s\n", log[k].timeMs, log[k].text.c_str());
    }
    model_.CloseConnection();
    platform::SetClock(&link_.clock());
  }

  // The soak itself, with whatever query drain the test set.
  void Run(bool lateOften);

  sim::VirtualLink link_{sim::Config{}, 1};  // outlives the model's connection
  DrainingClock drain_{link_.clock()};
  std::unique_ptr<vexq4::testing::VirtualGrabber> grabber_;  // the same camera, over Camera Link
  CVexCamInterface model_;
  vexq4::testing::TestDir dir_{"vexq4-soak"};
};

// The camera's value of a setting row, as the model holds it.
int CameraValue(sim::SimCamera& camera, const SettingRow& row) {
  return camera.Value(row.mnemonic);
}

TEST_F(SoakTest, RandomOperationsAgainstAFaultyCamera) { Run(false); }

// Fast reads: late answers now outlive the drain before a query and meet
// the next exchange; they must never be taken for its answer.
TEST_F(SoakTest, RandomOperationsWithTheShortQueryDrainAndLateAnswers) {
  ASSERT_EQ(CVexCamInterface::SetQueryDrainTime(15), 0);
  Run(true);
}

// Fast reads, as every host reads by default, through the grabber: the
// drains there flush and wait on the same quiet times as a COM port.
TEST_F(SoakTest, RandomOperationsThroughAGrabberWithTheShortQueryDrainAndLateAnswers) {
  grabber_ = std::make_unique<vexq4::testing::VirtualGrabber>(link_);
  model_.SetFrameGrabberIndex(1);  // every connection goes through linkport's entry 1
  ASSERT_EQ(CVexCamInterface::SetQueryDrainTime(15), 0);
  Run(true);
  EXPECT_GT(grabber_->port().flushes(), 0) << "the soak did not go through the grabber";
}

void SoakTest::Run(bool lateOften) {
  const unsigned long seed = EnvNumber("VEXQ4_SOAK_SEED", kDefaultSeed);
  const long count = static_cast<long>(EnvNumber("VEXQ4_SOAK_OPS", kDefaultOps));
  SCOPED_TRACE("soak seed " + std::to_string(seed) +
               " (repeat with VEXQ4_SOAK_SEED=" + std::to_string(seed) + ")");
  std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
  std::discrete_distribution<int> pickOp(kWeights.begin(), kWeights.end());
  const auto settings = model::Settings();
  sim::SimCamera& camera = link_.camera();

  const fs::path settingsFile = dir_ / "camera.cam";
  const fs::path reportFile = dir_ / "report.txt";
  const fs::path shadingFile = dir_ / "shading.csv";
  const fs::path loadFile = dir_ / "load.csv";
  {
    std::array<int, model::kShadingValues> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = 3000 + static_cast<int>(i * 7 % 2000);
    ASSERT_TRUE(platform::WriteFileAtomically(loadFile, model::FormatShadingFile(table)));
  }
  const std::string loadText = ReadFile(loadFile);

  FaultSet faults;
  ASSERT_EQ(model_.SetComPort(1), 0);
  int successes = 0, failures = 0;
  int lateOps = 0, lateSuccesses = 0;  // while answers come 0..900 ms late

  for (long i = 0; i < count; ++i) {
    // Now and then the camera changes its behaviour. When it turns clean
    // again, late answers still on the line are given time to arrive and
    // are then drained by the next exchange.
    if (rng() % 12 == 0) {
      faults = RandomFaults(rng, lateOften);
      camera.faults() = faults.faults;
      camera.config().shape =
          faults.echoShape ? sim::ReplyShape::kEchoThenComplete : sim::ReplyShape::kComplete;
      link_.SetUnplugged(faults.unplugged);
      link_.clock().Advance(4000);
    }
    const int op = pickOp(rng);
    const bool clean = faults.Clean();
    const bool wasOnline = model_.IsOnline() != 0;
    const std::string before[] = {ReadFile(settingsFile), ReadFile(reportFile),
                                  ReadFile(shadingFile)};
    const bool existed[] = {fs::exists(settingsFile), fs::exists(reportFile),
                            fs::exists(shadingFile)};
    std::ostringstream where;
    where << "operation #" << i << " (" << kOpNames[op] << ") with faults {" << faults.Describe()
          << "}, online before: " << wasOnline;
    SCOPED_TRACE(where.str());

    const SettingRow& row = settings[rng() % settings.size()];
    int value = 0;
    std::string text;
    const std::uint32_t start = platform::TickCount();
    int rc = 0;
    switch (op) {
      case kGet:
        rc = model_.GetSetting(row);
        break;
      case kSet:
        // Mostly inside the row's checks, sometimes a value they refuse.
        value = row.checkMax >= 0 ? static_cast<int>(rng() % (row.checkMax + 2))
                                  : 1 + static_cast<int>(rng() % 100);
        rc = model_.SetSetting(row, value);
        break;
      case kReadAll:
        rc = model_.ReadAllFromCamera();
        break;
      case kWriteAll:
        rc = model_.WriteAllToCamera();
        break;
      case kReport:
        rc = model_.WriteCameraDataToFile(reportFile.string());
        break;
      case kShadingSave:
        rc = model_.SaveShadingDataIntoFile(shadingFile.string());
        break;
      case kShadingLoad:
        rc = model_.LoadShadingDataFromFile(loadFile.string());
        break;
      case kReconnect:
        rc = model_.SetComPort(1);
        break;
      case kIdentity: {
        std::array<char, VEXQ4_CAMERA_ID_SIZE> id{};
        value = static_cast<int>(rng() % 2);  // 1: the camera ID, 0: the user ID
        rc = value ? model_.GetCameraID(id) : model_.GetUserID();
        break;
      }
      case kSetUserId:
        text = "SOAK" + std::to_string(rng() % 100000);
        rc = model_.SetUserID(text);
        break;
      case kSettingsWrite:
        rc = model_.WriteAllToFile(settingsFile.string());
        break;
      case kSettingsRead:
        rc = model_.ReadAllFromFile(settingsFile.string());
        break;
      case kClose:
        rc = model_.CloseConnection();
        break;
      case kLoadArea:
        value = static_cast<int>(rng() % 4);
        rc = model_.LoadSettings(value);
        break;
      case kStoreArea:
        value = 1 + static_cast<int>(rng() % 3);
        rc = model_.StoreSettings(value);
        break;
      case kOnePush:
        rc = rng() % 2 ? model_.SetOnePushMode() : model_.GetOnePushResult();
        break;
      default:
        value = static_cast<int>(rng() % 5);
        rc = model_.SetWhiteBalanceIndex(value);
        break;
    }
    const std::uint32_t took = platform::TickCount() - start;
    (rc == 0 ? successes : failures)++;

    // Codes, time, consistency.
    ASSERT_TRUE(IsDocumentedCode(rc)) << "code " << rc;
    ASSERT_LE(took, BoundMs(op, grabber_ != nullptr)) << "code " << rc;
    ASSERT_EQ(CheckModel(model_), "");
    ASSERT_EQ(model_.IsOnline(), link_.isOpen() ? 1 : 0) << "online flag does not match the port";

    // The online flag agrees with what happened: a clean camera serves
    // every operation that reaches it, a dead one takes the model off-line.
    const bool camerOp = op != kClose && op != kSettingsWrite && op != kReconnect &&
                         !(op == kSettingsRead && !wasOnline);
    const bool refusedArgument = op == kSet && row.checkMax >= 0 &&
                                 static_cast<unsigned>(value) > static_cast<unsigned>(row.checkMax);
    if (faults.LateAtRandom() && camerOp && wasOnline && !refusedArgument) {
      ++lateOps;
      lateSuccesses += rc == 0;
    }
    if (op == kReconnect) {
      ASSERT_EQ(rc == 0, model_.IsOnline() == 1);
      if (clean) {
        ASSERT_EQ(rc, 0) << "a clean camera was not found";
      }
      if (faults.unplugged || faults.faults.silent) {
        ASSERT_NE(rc, 0);
      }
    }
    if (camerOp && wasOnline && !refusedArgument) {
      if (clean && op != kSettingsRead) {
        ASSERT_EQ(rc, 0) << "a clean camera did not serve the operation";
        ASSERT_EQ(model_.IsOnline(), 1);
      }
      if (faults.unplugged || faults.faults.silent) {
        ASSERT_NE(rc, 0) << "success from a camera that cannot answer";
        ASSERT_EQ(model_.IsOnline(), 0) << "still online with a camera that cannot answer";
      }
    }
    if (camerOp && !wasOnline && op != kSettingsRead && !refusedArgument && op != kWhiteBalance) {
      ASSERT_EQ(rc, VEXQ4_E_NO_CONNECTION);
    }

    // Nothing unacknowledged is reported as written; what a read reports
    // is what the camera holds.
    if (rc == 0 && wasOnline) {
      if (op == kSet || op == kGet) {
        ASSERT_EQ(model_.Value(row), CameraValue(camera, row)) << row.property;
      }
      if (op == kSet) {
        ASSERT_EQ(CameraValue(camera, row), value) << row.property;
      }
      if (op == kSetUserId) {
        ASSERT_EQ(camera.identity().userId, text);
      }
      if (op == kIdentity) {
        ASSERT_EQ(value ? model_.CameraID() : model_.UserID(),
                  value ? camera.identity().cameraId : camera.identity().userId);
      }
      if (op == kWhiteBalance) {
        ASSERT_EQ(camera.Value("WB"), value);
      }
      if (op == kReadAll || op == kWriteAll || op == kLoadArea) {
        ASSERT_EQ(model_.IsSynchronized(), 1);
        for (const SettingRow& r : settings) {
          const std::string_view m = r.mnemonic;
          if (m.starts_with("WP") || m == "GAR" || m == "GAB") continue;  // depend on the mode
          if (op == kWriteAll && m == "WA") continue;                     // not part of a write-all
          ASSERT_EQ(model_.Value(r), CameraValue(camera, r)) << r.property;
        }
      }
      if (op == kShadingLoad) {
        for (std::size_t k = 0; k < camera.shadingTable().size(); ++k) {
          ASSERT_EQ(camera.shadingTable()[k], static_cast<std::uint16_t>(model_.ShadingTable()[k]));
        }
      }
    }

    // Files: absent, old or complete; never a temporary left behind.
    ASSERT_TRUE(StrayTempFiles(dir_.path()).empty());
    ASSERT_EQ(ReadFile(loadFile), loadText);
    const fs::path files[] = {settingsFile, reportFile, shadingFile};
    const int writer[] = {kSettingsWrite, kReport, kShadingSave};
    for (int f = 0; f < 3; ++f) {
      const std::string now = ReadFile(files[f]);
      const bool exists = fs::exists(files[f]);
      // A report the camera broke off is written only where there was none.
      const bool unchanged =
          op == kReport ? rc == -5 || rc == -7 || (rc != 0 && existed[f]) : rc != 0;
      if (op != writer[f] || unchanged) {
        ASSERT_EQ(exists, existed[f]) << files[f];
        ASSERT_EQ(now, before[f]) << files[f] << " changed by a failed or other operation";
        continue;
      }
      ASSERT_TRUE(exists) << files[f];
      ASSERT_TRUE(now.ends_with("\r\n")) << files[f];
      if (op == kSettingsWrite) {
        CVexCamInterface reader;
        const int read = reader.ReadAllFromFile(files[f].string());
        ASSERT_TRUE(read == 0 || read == -9) << read;
        // Values from 1 to 100 are inside every key's range; others (the
        // initial knee slopes of 0) may be refused by the file's ranges.
        for (const SettingRow& r : settings) {
          const int v = model_.Value(r);
          if (r.mnemonic.starts_with("WP") || r.mnemonic == "GAR" || r.mnemonic == "GAB") continue;
          if (read == 0 || (v >= 1 && v <= 100) || !r.list.empty()) {
            ASSERT_EQ(reader.Value(r), v) << r.property;
          }
        }
      }
      if (op == kShadingSave) {
        std::array<int, model::kShadingValues> table{};
        for (std::size_t k = 0; k < table.size(); ++k) table[k] = camera.shadingTable()[k];
        ASSERT_EQ(now, model::FormatShadingFile(table)) << "saved table is not the camera's";
      }
      if (op == kReport) {
        ASSERT_NE(now.find("Current Settings"), std::string::npos);
      }
    }
  }
  RecordProperty("successes", successes);
  RecordProperty("failures", failures);
  RecordProperty("late_operations", lateOps);
  RecordProperty("late_successes", lateSuccesses);
  // A run that never succeeded or never failed tested nothing; nor did one
  // whose late answers never let an operation through.
  EXPECT_GT(successes, count / 10);
  EXPECT_GT(failures, count / 20);
  EXPECT_GT(lateSuccesses, lateOps / 10) << lateOps << " operations with late answers";
}

}  // namespace
}  // namespace vexq4::reliability
