// The Gain and Shutter windows in the real program, as an operator meets
// them: vexq4-studio with its simulated camera, driven by a script; what
// the operator set reaches the camera and comes back at the next start.
#include <gtest/gtest.h>

#include <string>

#include "process.h"
#include "test_dir.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::testing {
namespace {

using cli::test::Result;
using cli::test::RunProgram;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(GainShutterStudio, SettingsReachTheCameraAndSurviveARestart) {
  TestDir dir("vexq4-studio");
  const std::vector<std::string> env = {"VEXQ4_PROFILE_DIR=" + dir.path().string()};
  const std::vector<std::string> argv = {VEXQ4_STUDIO_EXE, "-platform", "offscreen",
                                         "--sim",          "--script",  "-"};

  const Result first = RunProgram(argv,
                                  "put ComPort 1\n"
                                  "messages on\n"
                                  "ui text \"Gain and Setup Levels\" \"Gain Level: Master\" 250\n"
                                  "ui click \"Gain and Setup Levels\" \"Knee Select: On\"\n"
                                  "ui select \"Shutter and Sync Signals\" \"Trigger Mode\" "
                                  "\"Edge Pre-select\"\n"
                                  "ui click \"Shutter and Sync Signals\" "
                                  "\"Programmable Exposure (RGB individual set)\"\n"
                                  "ui text \"Shutter and Sync Signals\" "
                                  "\"Programmable Exposure: Red\" 300\n",
                                  60000, env);
  ASSERT_EQ(first.exitStatus, 0) << first.out << first.err;
  for (const char* line : {"GA=250", "KN=0", "TR=1", "SM=2", "PER=300"})
    EXPECT_TRUE(Has(first.out, std::string("message \"") + line + "\\r\\nCOMPLETE\\r\\n\""))
        << line << "\n"
        << first.out;

  // A stored speed that the control does not know is reported once while
  // the windows are created; the script goes on.
  platform::WriteProfileString(dir / "XVexQ4.ini", "Shutter", "Shutter Speed", "1/30");
  const Result second = RunProgram(argv,
                                   "get MasterGainLevel\n"
                                   "get KneeSelect\n"
                                   "get TriggerTypeIndex\n"
                                   "get ShutterMode\n"
                                   "get ProgrammableExposureRed\n",
                                   30000, env);
  ASSERT_EQ(second.exitStatus, 0) << second.out << second.err;
  EXPECT_TRUE(Has(second.out,
                  "messagebox \"XVexQ4\" \"The control refused these values of its profile "
                  "XVexQ4.ini and keeps its own:\\n[Shutter] Shutter Speed = 1/30 (Invalid "
                  "input parameter)\" OK -> OK\n"
                  "MasterGainLevel=250\nKneeSelect=0\nTriggerTypeIndex=1\nShutterMode=2\n"
                  "ProgrammableExposureRed=300\n"))
      << second.out;
}

}  // namespace
}  // namespace vexq4::testing
