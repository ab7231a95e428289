// vexq4 diff, apply and --verify, run as a user runs them against
// simulated cameras on pseudo-terminals.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "test_dir.h"

namespace {

using vexq4::cli::test::Process;
using vexq4::cli::test::Result;
using vexq4::cli::test::RunProgram;

const std::string kVexq4 = VEXQ4_EXE;
const std::string kSim = VEXQ4_SIM_EXE;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A vexq4-sim answering at once, logging each line it receives.
class Sim {
 public:
  explicit Sim(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{kSim, "--log", "--no-pacing", "--latency", "1"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    process_ = std::make_unique<Process>(argv);
    path_ = process_->ReadLine(5000);
  }
  const std::string& path() const { return path_; }
  // Stops it; the commands it received ("GA=100"), queries left out.
  std::vector<std::string> StopAndCommands() {
    process_->Kill(SIGTERM);
    std::istringstream log(process_->Wait(5000).err);
    std::vector<std::string> out;
    for (std::string line; std::getline(log, line);) {
      if (!Has(line, "=")) continue;
      const std::size_t gap = line.find("  ");
      out.push_back(gap == std::string::npos ? line : line.substr(gap + 2));
    }
    return out;
  }

 private:
  std::unique_ptr<Process> process_;
  std::string path_;
};

class DiffApply : public ::testing::Test {
 protected:
  vexq4::testing::TestDir dir_{"vexq4-diff"};
  std::string file_ = (dir_ / "line.cam").string();

  static Result On(const std::vector<std::string>& devices, std::vector<std::string> args) {
    std::vector<std::string> argv{kVexq4};
    for (const std::string& d : devices) argv.insert(argv.end(), {"--device", d});
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, "", 60000);
  }
};

TEST_F(DiffApply, DiffThenApplyThenTheCameraHoldsItsFile) {
  Sim sim({"--set", "WB=2", "--set", "WPR1=-20", "--set", "WA=3"});
  ASSERT_EQ(On({sim.path()}, {"save-settings", file_}).exitStatus, 0);
  Result same = On({sim.path()}, {"diff", file_});
  EXPECT_EQ(same.exitStatus, 0) << same.err;
  EXPECT_EQ(same.out, "");

  ASSERT_EQ(On({sim.path()},
               {"set", "MasterGainLevel=100", "AutoWhiteAreaStr=Middle", "Red3200KWBalPreset=7"})
                .exitStatus,
            0);
  const std::string differences =
      "AutoWhiteAreaStr: camera=\"Middle\" file=\"Upper Right\"\n"
      "MasterGainLevel: camera=100 file=0\n"
      "Red3200KWBalPreset: camera=7 file=-20\n";
  Result diff = On({sim.path()}, {"diff", file_});
  EXPECT_EQ(diff.exitStatus, 1) << diff.err;
  EXPECT_EQ(diff.out, differences);
  Result dry = On({sim.path()}, {"apply", "--dry-run", file_});
  EXPECT_EQ(dry.exitStatus, 1);
  EXPECT_EQ(dry.out, differences);
  Result json = On({sim.path()}, {"diff", "--format", "json", file_});
  EXPECT_EQ(json.out,
            "{\"camera\": \"" + sim.path() +
                "\", \"result\": \"different\", \"differences\": [{\"name\": "
                "\"AutoWhiteAreaStr\", \"camera\": \"Middle\", \"file\": \"Upper "
                "Right\"}, {\"name\": \"MasterGainLevel\", \"camera\": 100, \"file\": "
                "0}, {\"name\": \"Red3200KWBalPreset\", \"camera\": 7, \"file\": -20}]}\n");

  // The mode first in the write-all's order, then the area and the preset.
  Result apply = On({sim.path()}, {"apply", file_});
  EXPECT_EQ(apply.exitStatus, 0) << apply.err;
  EXPECT_EQ(apply.out,
            "MasterGainLevel: 100 -> 0\nAutoWhiteAreaStr: \"Middle\" -> \"Upper Right\"\n"
            "Red3200KWBalPreset: 7 -> -20\n");
  EXPECT_EQ(On({sim.path()}, {"diff", file_}).exitStatus, 0);
  Result again = On({sim.path()}, {"apply", file_});
  EXPECT_EQ(again.exitStatus, 0);
  EXPECT_EQ(again.out, "");

  // A file that is no settings file: 2, nothing sent.
  {
    std::ofstream bad(dir_ / "bad.cam");
    bad << "[Main]\nCamera Type=RX-Q4\n[Gain]\nMaster Gain Level=100\n";
  }
  Result refused = On({sim.path()}, {"apply", (dir_ / "bad.cam").string()});
  EXPECT_EQ(refused.exitStatus, 2);
  EXPECT_TRUE(Has(refused.err, "no key \"Shutter Mode\" in [Shutter]")) << refused.err;
  Result missing = On({sim.path()}, {"apply", (dir_ / "none.cam").string()});
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_TRUE(Has(missing.err, "no such file; nothing was sent")) << missing.err;
  EXPECT_EQ(On({sim.path()}, {"diff", dir_.path().string()}).exitStatus, 2);

  EXPECT_EQ(sim.StopAndCommands(),
            (std::vector<std::string>{"GA=100", "WA=5", "WPR1=7", "GA=0", "WA=3", "WPR1=-20"}));
}

TEST_F(DiffApply, ARefusedValueIsNamedAndExitsOne) {
  Sim source({"--set", "GA=50", "--set", "KN=0"});
  ASSERT_EQ(On({source.path()}, {"save-settings", file_}).exitStatus, 0);
  Sim refusing({"--reject-commands"});
  Result apply = On({refusing.path()}, {"apply", file_});
  EXPECT_EQ(apply.exitStatus, 1) << apply.err;
  EXPECT_EQ(apply.out, "");
  EXPECT_TRUE(Has(apply.err, "apply: MasterGainLevel was not taken: camera=0 file=50"))
      << apply.err;
  EXPECT_TRUE(Has(apply.err, "apply: KneeSelect was not taken")) << apply.err;
}

TEST_F(DiffApply, SeveralCamerasEachNamedAndTheWorstStatus) {
  Sim a, b({"--set", "GA=33"});
  ASSERT_EQ(On({a.path()}, {"save-settings", file_}).exitStatus, 0);
  Result diff = On({a.path(), b.path()}, {"diff", file_});
  EXPECT_EQ(diff.exitStatus, 1);
  EXPECT_EQ(diff.out, b.path() + ": MasterGainLevel: camera=33 file=0\n");
  // JSON lines are whole objects, one a camera; one that is not there is an error.
  Result json = On({a.path(), b.path(), "/nonexistent/tty"}, {"diff", "--format", "json", file_});
  EXPECT_EQ(json.exitStatus, 2);
  EXPECT_TRUE(Has(json.out, "{\"camera\": \"" + a.path() + "\", \"result\": \"same\"")) << json.out;
  EXPECT_TRUE(Has(json.out, "{\"camera\": \"" + b.path() + "\", \"result\": \"different\""));
  EXPECT_TRUE(Has(json.out, "{\"camera\": \"/nonexistent/tty\", \"result\": \"error\""));
  Result apply = On({a.path(), b.path()}, {"apply", file_});
  EXPECT_EQ(apply.exitStatus, 0) << apply.err;
  EXPECT_EQ(apply.out, b.path() + ": MasterGainLevel: 33 -> 0\n");
  EXPECT_TRUE(a.StopAndCommands().empty());
}

// Ctrl-C: the apply stops at the next exchange, and what it printed is
// what the camera acknowledged.
TEST_F(DiffApply, CtrlCStopsTheApplyAndPrintsOnlyWhatWasAcknowledged) {
  Sim source({"--set", "GA=50", "--set", "SH=4", "--set", "KN=0", "--set", "BLR=40", "--set",
              "TP=1", "--set", "KPG=700"});
  ASSERT_EQ(On({source.path()}, {"save-settings", file_}).exitStatus, 0);
  Sim camera;
  Process apply({kVexq4, "--device", camera.path(), "apply", file_});
  const std::string first = apply.ReadLine(10000);
  ASSERT_FALSE(first.empty());
  apply.Kill(SIGINT);
  const Result r = apply.Wait(10000);
  EXPECT_EQ(r.exitStatus, 130) << r.err;
  std::istringstream rest(first + "\n" + r.out);
  std::vector<std::string> printed;
  for (std::string line; std::getline(rest, line);) printed.push_back(line);
  const std::vector<std::string> sent = camera.StopAndCommands();
  EXPECT_LT(printed.size(), 6u);
  // Each line printed is a command the camera took; at most the one under
  // way when the signal came was sent without being printed.
  EXPECT_GE(sent.size(), printed.size());
  EXPECT_LE(sent.size(), printed.size() + 1);
}

// A load writes neither the area nor a colour temperature's presets:
// --verify shows them.
TEST_F(DiffApply, LoadSettingsVerifyShowsWhatALoadDoesNotWrite) {
  Sim source({"--set", "WB=3", "--set", "WPR2=30", "--set", "WA=2"});
  ASSERT_EQ(On({source.path()}, {"save-settings", file_}).exitStatus, 0);
  Sim fresh({"--set", "WB=3"});
  Result load = On({fresh.path()}, {"load-settings", "--verify", file_});
  EXPECT_EQ(load.exitStatus, 1) << load.err;
  EXPECT_EQ(load.out,
            "AutoWhiteAreaStr: camera=\"Full Area\" file=\"Upper Middle\"\n"
            "Red4600KWBalPreset: camera=-12 file=30\n");
  EXPECT_EQ(On({fresh.path()}, {"apply", file_}).exitStatus, 0);
}

}  // namespace
