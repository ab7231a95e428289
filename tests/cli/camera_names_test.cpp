// Several cameras in one run and the names they go by: {camera} in the
// file a command writes (one file per camera, never one file silently),
// one camera named twice under two names, and the names --device refuses.
// The pieces in-process; the program against simulated cameras on
// pseudo-terminals.
#include "camera_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "process.h"
#include "test_dir.h"
#include "vexq4/sim/pty_server.h"

namespace vexq4::cli::test {
namespace {

namespace fs = std::filesystem;
using vexq4::testing::ReadFile;

const std::string kVexq4 = VEXQ4_EXE;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CliCameraNames, FileSafeNamesKeepFilesInTheirFolder) {
  EXPECT_EQ(FileSafeName("/dev/ttyUSB0"), "ttyUSB0");
  EXPECT_EQ(FileSafeName("/dev/serial/by-id/usb-FTDI_FT232R-if00"),
            "serial_by-id_usb-FTDI_FT232R-if00");
  EXPECT_EQ(FileSafeName("/dev/pts/3"), "pts_3");
  EXPECT_EQ(FileSafeName("/tmp/rxq4"), "tmp_rxq4");
  EXPECT_EQ(FileSafeName("rfc2217://line3:4001"), "rfc2217_line3_4001");
  EXPECT_EQ(FileSafeName("socket://[fe80::1%eth0]:4002"), "socket_fe80_1_eth0_4002");
  // Odd bytes, blanks and line ends are one '_' each run; nothing climbs
  // out of the folder or hides the file.
  EXPECT_EQ(FileSafeName("/dev/caméra 1\n"), "cam_ra_1");
  EXPECT_EQ(FileSafeName("../../etc/passwd"), "_._.._etc_passwd");
  EXPECT_EQ(FileSafeName("/dev/.."), "_.");
  EXPECT_EQ(FileSafeName("\xff\xfe"), "_");

  EXPECT_EQ(WithCamera("line3-{camera}.cam", "COM2"), "line3-COM2.cam");
  EXPECT_EQ(WithCamera("{camera}/{camera}.csv", "ttyUSB0"), "ttyUSB0/ttyUSB0.csv");
  EXPECT_EQ(WithCamera("line3.cam", "COM2"), "line3.cam");
  EXPECT_EQ(WithCamera("{camera", "COM2"), "{camera");
}

TEST(CliCameraNames, SeveralCamerasWriteAFileEachOrNone) {
  const std::vector<CameraFileName> two{{"/dev/ttyUSB0", "ttyUSB0"}, {"/dev/ttyUSB1", "ttyUSB1"}};
  EXPECT_EQ(FileForEachCamera("save-settings", "line3-{camera}.cam", two), "");
  const std::string one = FileForEachCamera("save-settings", "out/line3.cam", two);
  EXPECT_TRUE(Has(one, "put {camera} in the file name")) << one;
  EXPECT_TRUE(Has(one, "save-settings 'out/line3-{camera}.cam'")) << one;
  EXPECT_TRUE(Has(FileForEachCamera("report", "dir.d/report", {}), "'dir.d/report-{camera}'"));
  // Names that differ only in what a file name leaves out.
  const std::string clash =
      FileForEachCamera("shading-save", "{camera}.csv", {{"/dev/a:b", "a_b"}, {"/dev/a b", "a_b"}});
  EXPECT_TRUE(Has(clash, "/dev/a:b and /dev/a b would both write a_b.csv")) << clash;
}

// A link and its target: CliCameras.OneCameraNamedTwiceUnderTwoNames.
TEST(CliCameraNames, OneDeviceUnderTwoNamesIsFound) {
  const auto twice = [](std::vector<NamedDevice> named) { return SameDeviceTwice(named); };
  // The same character device by another path.
  const auto found = twice({{"null", "/dev/null"}, {"COM2", "/dev/./null"}});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->second, "COM2");
  // A network line in other letters; names not there compare as names.
  EXPECT_TRUE(twice({{"a", "rfc2217://Line3:4001"}, {"b", "RFC2217://line3:4001"}}));
  EXPECT_FALSE(twice({{"a", "rfc2217://line3:4001"}, {"b", "socket://line3:4001"}}));
  EXPECT_FALSE(twice({{"a", "/nonexistent/a"}, {"b", "/nonexistent/b"}, {"c", "/dev/null"}}));
  EXPECT_TRUE(twice({{"a", "/nonexistent/a"}, {"b", "/nonexistent/a"}}));
}

// Simulated cameras answering at once, each with a master gain of its own.
class CliCameras : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const int gain : {11, 22}) {
      sim::Config config;
      config.paceAt9600 = false;
      config.values = {{"GA", gain}};
      cameras_.push_back(std::make_unique<sim::PtyServer>(config));
      std::string error;
      ASSERT_TRUE(cameras_.back()->Start(&error)) << error;
    }
  }
  std::string path(int i) const { return cameras_[static_cast<std::size_t>(i)]->slavePath(); }
  std::size_t received() const {
    return cameras_[0]->linesReceived() + cameras_[1]->linesReceived();
  }
  Result Run(std::vector<std::string> args, const std::string& input = "",
             const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), kVexq4);
    return RunProgram(args, input, 30000, env);
  }

  vexq4::testing::TestDir dir_{"vexq4-cameras"};
  std::vector<std::unique_ptr<sim::PtyServer>> cameras_;
};

TEST_F(CliCameras, SeveralCamerasWriteOneFileEachNeverOneForAll) {
  // Fast reads: the read of all settings before each save takes a second.
  const std::vector<std::string> both{"--fast-reads", "--device", path(0), "--device", path(1)};
  const auto on = [&](std::vector<std::string> args) {
    args.insert(args.begin(), both.begin(), both.end());
    return Run(args);
  };
  // One file for both: refused before anything is opened.
  for (const char* command : {"save-settings", "report", "shading-save"}) {
    const Result r = on({command, (dir_ / "one").string()});
    EXPECT_EQ(r.exitStatus, 2) << command;
    EXPECT_TRUE(Has(r.err, "put {camera} in the file name")) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "one"));
  EXPECT_EQ(received(), 0u);

  Result save = on({"save-settings", (dir_ / "line3-{camera}.cam").string()});
  ASSERT_EQ(save.exitStatus, 0) << save.err;
  for (const int i : {0, 1}) {
    const fs::path file = dir_ / ("line3-" + FileSafeName(path(i)) + ".cam");
    EXPECT_TRUE(Has(ReadFile(file), i == 0 ? "Master Gain Level=11" : "Master Gain Level=22"))
        << file;
  }

  // The shell refuses such a line and runs the next.
  std::vector<std::string> shell = both;
  shell.push_back("shell");
  const Result lines = Run(shell, "save-settings " + (dir_ / "shell.cam").string() +
                                      "\nshading-save " + (dir_ / "{camera}.csv").string() + "\n");
  EXPECT_EQ(lines.exitStatus, 2);
  EXPECT_TRUE(Has(lines.err, "put {camera} in the file name")) << lines.err;
  EXPECT_FALSE(fs::exists(dir_ / "shell.cam"));
  for (const int i : {0, 1}) EXPECT_TRUE(fs::exists(dir_ / (FileSafeName(path(i)) + ".csv")));

  // One camera: {camera} is its name too; a file read may carry it.
  Result one =
      Run({"--fast-reads", "--device", path(1), "save-settings", (dir_ / "{camera}.cam").string()});
  ASSERT_EQ(one.exitStatus, 0) << one.err;
  EXPECT_TRUE(Has(ReadFile(dir_ / (FileSafeName(path(1)) + ".cam")), "Master Gain Level=22"));
  Result com =
      Run({"--fast-reads", "--com", "2", "save-settings", (dir_ / "{camera}.cam").string()}, "",
          {"VEXQ4_COM2=" + path(0)});
  ASSERT_EQ(com.exitStatus, 0) << com.err;
  EXPECT_TRUE(Has(ReadFile(dir_ / "COM2.cam"), "Master Gain Level=11"));
}

// A link and its target are one camera: said as for one name given
// twice, before anything is opened.
TEST_F(CliCameras, OneCameraNamedTwiceUnderTwoNames) {
  const fs::path link = dir_ / "rxq4";
  fs::create_symlink(path(0), link);
  const Result r = Run({"--device", link.string(), "--device", path(0), "get", "MasterGainLevel"});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_TRUE(Has(r.err, link.string() + " and " + path(0) + " are one device, named twice"))
      << r.err;
  EXPECT_FALSE(Has(r.err, "in use by another program")) << r.err;
  EXPECT_EQ(received(), 0u);
  // Two cameras still go together.
  const Result two =
      Run({"--device", link.string(), "--device", path(1), "get", "MasterGainLevel"});
  EXPECT_EQ(two.exitStatus, 0) << two.err;
  EXPECT_TRUE(Has(two.out, link.string() + ": MasterGainLevel=11")) << two.out;
}

// What --device refuses, and the network schemes in capitals.
TEST(CliCameraNames, DeviceNamesThatNameNothing) {
  const Result empty = RunProgram({kVexq4, "--device", "", "list"});
  EXPECT_EQ(empty.exitStatus, 2);
  EXPECT_TRUE(Has(empty.err, "an empty name names no device")) << empty.err;
  const Result malformed = RunProgram({kVexq4, "--device", "RFC2217://line3", "list"});
  EXPECT_EQ(malformed.exitStatus, 2);
  EXPECT_TRUE(Has(malformed.err, "no :PORT after the host")) << malformed.err;
  // A line on a server, not a file: nothing listens on port 1 of this address.
  const Result refused =
      RunProgram({kVexq4, "--device", "SOCKET://127.0.0.1:1", "get", "MasterGainLevel"}, "", 20000);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_FALSE(Has(refused.err, "no such device")) << refused.err;
  EXPECT_TRUE(Has(refused.err, "127.0.0.1")) << refused.err;
}

}  // namespace
}  // namespace vexq4::cli::test
