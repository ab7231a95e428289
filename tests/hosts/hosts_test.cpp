// The host layer beneath vexq4 and Python: properties reached through the
// settings table's rows, names in help texts taken from the table, and the
// lines every host opens and names alike.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "host_lines.h"
#include "host_properties.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::hosts {
namespace {

// A model on COM1 of the simulated camera, in virtual time.
class OnlineHost : public ::testing::Test {
 protected:
  sim::VirtualLink link{sim::Config{}, 1};  // outlives the model
  CVexCamInterface model;

  void SetUp() override {
    ASSERT_EQ(Connect(model, LineKind::kCom, 1), 0);
    link.camera().ClearLog();
  }
  std::vector<std::string> Wire() {
    std::vector<std::string> lines;
    for (const auto& line : link.camera().log()) lines.push_back(line.text);
    link.camera().ClearLog();
    return lines;
  }
};

const Property& Named(std::string_view name) {
  const Property* p = FindProperty(name);
  EXPECT_NE(p, nullptr) << name;
  return *p;
}

TEST_F(OnlineHost, ConnectOpensTheComPortThroughThePortsRow) {
  EXPECT_EQ(model.IsOnline(), 1);
  EXPECT_EQ(std::get<int>(ValueOf(model, PortProperty())), 1);
  EXPECT_EQ(PortProperty().name, "ComPort");
  EXPECT_TRUE(PortProperty().readOnly());
}

// The connection's two numbers, as the studio's title and vexq4's messages
// name the line: each read through its own row, the grabber's apart from
// the port's.
TEST_F(OnlineHost, TheConnectionsNumbersComeFromTheirRows) {
  EXPECT_EQ(GrabberProperty().name, "FrameGrabberIndex");
  EXPECT_TRUE(GrabberProperty().readOnly());
  EXPECT_EQ(NumbersOf(model).port, 1);
  EXPECT_EQ(NumbersOf(model).grabber, 0);
  ASSERT_EQ(model.SetFrameGrabberIndex(3), 0);
  EXPECT_EQ(NumbersOf(model).grabber, 3);
  EXPECT_EQ(NumbersOf(model).port, 1);
}

// The values without a setting go through their rows' operations: the
// camera is asked, the model keeps the answer, a host prints it.
TEST_F(OnlineHost, IdentityAndUserIdGoThroughTheirRows) {
  link.camera().identity().userId = "LINE 7";
  for (const Property* p : IdentityProperties()) EXPECT_EQ(Query(model, *p), 0) << p->name;
  EXPECT_EQ(Wire(), (std::vector<std::string>{"ID?", "MD?", "UD?", "VN?", "EA?"}));
  EXPECT_EQ(Format(model, Named("UserID")), "UserID=\"LINE 7\"");
  EXPECT_EQ(Format(model, Named("ModelName")), "ModelName=\"RX-Q4CL\"");
  EXPECT_EQ(Format(model, Named("FirmwareVersion")), "FirmwareVersion=120");

  const Checked id = CheckValue(Named("UserID"), "CAM 2");
  ASSERT_TRUE(id.ok);
  EXPECT_EQ(Apply(model, Named("UserID"), id), 0);
  EXPECT_EQ(Wire(), std::vector<std::string>{"UD=CAM 2"});
  EXPECT_EQ(link.camera().identity().userId, "CAM 2");
}

// A list setting's two names reach one row: the text sends the index.
TEST_F(OnlineHost, SettingsGoThroughTheirRow) {
  const Checked speed = CheckValue(Named("ShutterSpeedStr"), "1/250");
  ASSERT_TRUE(speed.ok);
  EXPECT_EQ(Apply(model, Named("ShutterSpeedStr"), speed), 0);
  EXPECT_EQ(Wire(), std::vector<std::string>{"SH=4"});
  EXPECT_EQ(Format(model, Named("ShutterSpeedIndex")), "ShutterSpeedIndex=4");
  EXPECT_EQ(Format(model, Named("ShutterSpeedStr")), "ShutterSpeedStr=\"1/250\"");
  EXPECT_EQ(Query(model, Named("mastergainlevel")), 0);
  EXPECT_EQ(Wire(), std::vector<std::string>{"GA?"});
  // What may not be set is not sent.
  EXPECT_NE(Apply(model, PortProperty(), CheckNumber(PortProperty(), 2)), 0);
  EXPECT_TRUE(Wire().empty());
}

TEST(Properties, IdentityIsReadInTheOrderHostsShowIt) {
  std::vector<std::string_view> names;
  for (const Property* p : IdentityProperties()) names.push_back(p->name);
  EXPECT_EQ(names, (std::vector<std::string_view>{"CameraID", "ModelName", "UserID",
                                                  "FirmwareVersion", "EEPROMCurrentAreaNo"}));
}

TEST(Properties, ExactNamesAndNumbersBeyondAnyRange) {
  EXPECT_EQ(FindPropertyExactly("mastergainlevel"), nullptr);  // a Python attribute
  EXPECT_NE(FindPropertyExactly("MasterGainLevel"), nullptr);
  EXPECT_EQ(SuggestProperty("GAR"), "RedGainLevel");  // a camera mnemonic
  const Property& gain = Named("MasterGainLevel");
  EXPECT_EQ(CheckNumber(gain, 1LL << 40).error,
            "MasterGainLevel: 1099511627776 is out of range -132..429");
  EXPECT_EQ(OutOfRange(gain, "1180591620717411303424"),
            "MasterGainLevel: 1180591620717411303424 is out of range -132..429");
  EXPECT_EQ(Named("UserID").help, "user ID, 1 to 16 printable characters");
}

TEST(Properties, HelpTextsNameSettingsByTheTable) {
  EXPECT_EQ(WithNames("set {GA}=100 '{SH.text}=1/250' {TP}=1"),
            "set MasterGainLevel=100 'ShutterSpeedStr=1/250' TriggerPolarity=1");
  EXPECT_EQ(WithNames("{user-id} and {port}"), "UserID and ComPort");
  // Anything else in braces stays: file placeholders, a text name of a
  // setting that has no list, a mnemonic of no setting, an open brace.
  EXPECT_EQ(WithNames("line3-{camera}.cam {GA.text} {UD} {SH"),
            "line3-{camera}.cam {GA.text} {UD} {SH");
}

TEST(Lines, NamedAsEveryHostNamesThem) {
  ::setenv("VEXQ4_COM7", "/dev/ttyUSB3", 1);
  EXPECT_EQ(LineName(LineKind::kCom, 7), "COM7 (/dev/ttyUSB3)");
  ::setenv("VEXQ4_COM7", "", 1);  // empty is unset, as the library takes it
  EXPECT_EQ(LineName(LineKind::kCom, 7), "COM7 (/dev/ttyS6)");
  ::unsetenv("VEXQ4_COM7");
  EXPECT_EQ(LineName(LineKind::kDevice, 0, "rfc2217://line3:4001"), "rfc2217://line3:4001");
  EXPECT_EQ(LineName(LineKind::kGrabber, 2), "frame grabber 2");
  EXPECT_EQ(LineName(LineKind::kAllSerial, 0), "clallserial port 0");

  EXPECT_EQ(DeviceNameProblem("/dev/ttyUSB0"), "");
  EXPECT_EQ(DeviceNameProblem(""), "an empty name names no device");
  EXPECT_NE(DeviceNameProblem("socket://line3").find("socket://line3: "), std::string::npos);
  EXPECT_EQ(kGrabbers.Text(), "1..16");
  EXPECT_TRUE(kComPorts.Contains(254) && !kComPorts.Contains(0) && !kComPorts.Contains(255));
}

// A device takes the first COM port number that is free or already its
// own, passing over those a host holds.
TEST(Lines, ADeviceTakesTheFirstFreeComPort) {
  for (int port = 1; port <= 4; ++port) ::unsetenv(("VEXQ4_COM" + std::to_string(port)).c_str());
  ::setenv("VEXQ4_COM1", "/dev/other", 1);
  EXPECT_EQ(ComPortFor("/dev/mine"), 2);
  EXPECT_EQ(ComPortFor("/dev/other"), 1);
  EXPECT_EQ(ComPortFor("/dev/mine", [](int port) { return port <= 3; }), 4);
  MapComPort(2, "/dev/mine");
  EXPECT_EQ(ComPortFor("/dev/mine"), 2);
  EXPECT_EQ(LineName(LineKind::kCom, 2), "COM2 (/dev/mine)");
  ::unsetenv("VEXQ4_COM1");
  ::unsetenv("VEXQ4_COM2");
}

}  // namespace
}  // namespace vexq4::hosts
