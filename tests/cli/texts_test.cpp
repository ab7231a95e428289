// The texts the programs show, pinned byte for byte: the help of vexq4,
// of each of its commands and of the shell, vexq4-sim's and
// vexq4-studio's help, and the refusals of values and options. They are
// partly composed from the settings table and the named limits, so a
// change there that moved a single character shows here. Each case's
// standard output, standard error and exit status are kept in a file of
// texts/; VEXQ4_UPDATE_TEXTS=1 writes the files anew from the programs
// (then read the difference before committing it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "test_dir.h"

namespace vexq4::cli::test {
namespace {

namespace fs = std::filesystem;

struct Case {
  std::string file;  // in texts/
  std::vector<std::string> argv;
  std::string input;
};

const std::string kVexq4 = VEXQ4_EXE;

// Every command's help, as the command line shows it.
std::vector<Case> HelpCases() {
  std::vector<Case> cases{{"vexq4-help", {kVexq4, "--help"}, ""}};
  for (const char* command :
       {"get", "set", "list", "read-all", "write-all", "identity", "auto-shading", "one-push",
        "store", "load", "save-settings", "load-settings", "report", "shading-save",
        "shading-load", "search", "grabbers", "ports", "shell"})
    cases.push_back({std::string("vexq4-") + command + "-help", {kVexq4, command, "--help"}, ""});
  // The shell's own help and its commands' help, which leave out the
  // connection options in their examples.
  cases.push_back({"vexq4-shell-lines",
                   {kVexq4, "--sim", "shell"},
                   "help\nget --help\nset --help\nsave-settings --help\nfrobnicate\n"});
  cases.push_back({"vexq4-sim-help", {VEXQ4_SIM_EXE, "--help"}, ""});
  cases.push_back({"vexq4-studio-help", {VEXQ4_STUDIO_EXE, "--help"}, ""});
  return cases;
}

// Values and options refused before anything is sent, and what a few
// commands print of the simulated camera.
std::vector<Case> RefusalCases() {
  const auto sim = [](std::vector<std::string> args) {
    args.insert(args.begin(), {kVexq4, "--sim"});
    return args;
  };
  return {
      {"no-camera", {kVexq4, "get", "MasterGainLevel"}, ""},
      {"no-command", {kVexq4}, ""},
      {"search-below", {kVexq4, "search", "0", "3"}, ""},
      {"search-beyond", {kVexq4, "search", "3", "17"}, ""},
      {"search-with-com", {kVexq4, "--com", "2", "search"}, ""},
      {"grabber-beyond", {kVexq4, "--grabber", "17", "list"}, ""},
      {"grabber-zero", {kVexq4, "--grabber", "0", "list"}, ""},
      {"com-beyond", {kVexq4, "--com", "255", "list"}, ""},
      {"com-range-backwards", {kVexq4, "--com", "8-3", "list"}, ""},
      {"clallserial-beyond", {kVexq4, "--clallserial", "40000", "list"}, ""},
      {"device-empty", {kVexq4, "--device", "", "list"}, ""},
      {"device-bad-network-name", {kVexq4, "--device", "rfc2217://line3", "list"}, ""},
      {"device-twice", {kVexq4, "--device", "/dev/null", "--device", "/dev/null", "list"}, ""},
      {"one-file-several-cameras", {kVexq4, "--com", "1-2", "save-settings", "a.cam"}, ""},
      {"ports-with-connection", {kVexq4, "--com", "1", "ports"}, ""},
      {"user-id-empty", sim({"set", "UserID="}), ""},
      {"user-id-long", sim({"set", "UserID=12345678901234567"}), ""},
      {"user-id-control-character", sim({"set", "UserID=a\tb"}), ""},
      {"number-out-of-range", sim({"set", "MasterGainLevel=430"}), ""},
      {"number-not-a-number", sim({"set", "MasterGainLevel=12a"}), ""},
      {"list-text-unknown", sim({"set", "ShutterSpeedStr=1/3"}), ""},
      {"read-only", sim({"set", "ComPort=3"}), ""},
      {"not-an-assignment", sim({"set", "MasterGainLevel"}), ""},
      {"unknown-near-name", sim({"set", "MasterGainLevle=5"}), ""},
      {"unknown-mnemonic", sim({"get", "GA"}), ""},
      {"unknown-name", sim({"get", "Frobnicate"}), ""},
      {"area-beyond", sim({"store", "4"}), ""},
      {"studio-font-size", {VEXQ4_STUDIO_EXE, "-platform", "offscreen", "--font-size", "3"}, ""},
      {"studio-extra-argument", {VEXQ4_STUDIO_EXE, "-platform", "offscreen", "extra"}, ""},
      {"sim-bad-setting", {VEXQ4_SIM_EXE, "--set", "XX=1"}, ""},
      {"sim-bad-area", {VEXQ4_SIM_EXE, "--area", "5:GA=1"}, ""},
  };
}

// The simulated camera's answers, as the commands print them.
std::vector<Case> OutputCases() {
  return {
      {"identity", {kVexq4, "--sim", "identity"}, ""},
      {"list", {kVexq4, "--sim", "--fast-reads", "list"}, ""},
      {"get-every-kind",
       {kVexq4, "--sim", "get", "MasterGainLevel", "shutterspeedstr", "UserID", "ComPort",
        "FrameGrabberIndex", "CameraID", "FirmwareVersion"},
       ""},
      {"one-push", {kVexq4, "--sim", "one-push"}, ""},
      {"search-sim", {kVexq4, "--sim", "search"}, ""},
      {"shell-set-and-get",
       {kVexq4, "--sim", "shell"},
       "set MasterGainLevel=-20 'TriggerTypeStr=Edge Pre-select' UserID=LINE3\n"
       "get MasterGainLevel TriggerTypeIndex TriggerTypeStr UserID\n"},
  };
}

// What depends on the machine, not on the program, is left out: where
// the program was built (Qt names it by its path) and Qt's word about a
// missing XDG_RUNTIME_DIR.
std::string Transcript(const std::string& program, Result r) {
  const std::string name = fs::path(program).filename().string();
  for (std::string* text : {&r.out, &r.err})
    for (std::size_t at; (at = text->find(program)) != std::string::npos;)
      text->replace(at, program.size(), name);
  std::string err;
  std::istringstream lines(r.err);
  for (std::string line; std::getline(lines, line);)
    if (!line.starts_with("QStandardPaths: ")) err += line + "\n";
  return r.out + "--- standard error\n" + err + "--- exit status " +
         std::to_string(r.exitStatus) + "\n";
}

void Check(const std::vector<Case>& cases) {
  const fs::path folder = VEXQ4_TEXTS_DIR;
  const bool update = std::getenv("VEXQ4_UPDATE_TEXTS") != nullptr;
  // Where a command would write a file, it writes it into a scratch folder.
  const vexq4::testing::TestDir scratch("vexq4-texts");
  const fs::path here = fs::current_path();
  fs::current_path(scratch.path());
  for (const Case& c : cases) {
    const std::string got = Transcript(c.argv[0], RunProgram(c.argv, c.input, 60000));
    const fs::path file = folder / (c.file + ".txt");
    if (update) {
      vexq4::testing::WriteFile(file, got);
      continue;
    }
    EXPECT_EQ(got, vexq4::testing::ReadFile(file)) << c.file;
  }
  fs::current_path(here);
}

TEST(Texts, HelpOfEveryProgramAndCommand) { Check(HelpCases()); }
TEST(Texts, RefusedValuesAndOptions) { Check(RefusalCases()); }
TEST(Texts, WhatCommandsPrintOfTheCamera) { Check(OutputCases()); }

}  // namespace
}  // namespace vexq4::cli::test
