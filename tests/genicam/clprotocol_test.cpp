// The CLProtocol library's sixteen exports, linked in statically, over a
// serial object of the test's own: a frame grabber port whose other end is
// the simulated camera, in virtual time (vexq4/sim/virtual_grabber.h). What
// the camera received is read from its log. The pending writes, which need
// the real clock, and the shared library as a producer loads it are in
// clprotocol_pty_test.cpp; the error texts, parameters, log, events and
// disconnecting in clprotocol_exports_test.cpp.
#include "clprotocol_fixture.h"

namespace vexq4::clprotocol::test {
namespace {

// ---- DeviceIDs, without a camera.

TEST(ClProtocolDeviceId, TokensAreCNamesOfTheCamerasAnswers) {
  EXPECT_EQ(NameToken("RX-Q4CL", "M"), "RX_Q4CL");
  EXPECT_EQ(NameToken("4K-CAM", "M"), "M4K_CAM");
  EXPECT_EQ(NameToken("", "M"), "M");
  EXPECT_EQ(NameToken("10042", "SN", true), "SN10042");
  EXPECT_EQ(NameToken("A 7/3", "SN", true), "SNA_7_3");
  EXPECT_EQ(Join(DeviceIdTokens({"RX-Q4CL", "10042", "120"})), "VEX#RXQ4#RX_Q4CL#V120#SN10042");
}

TEST(ClProtocolDeviceId, HintsAreThisLibrarysTemplatesAndIds) {
  const auto hint = ParseHint("VEX#RXQ4");
  ASSERT_TRUE(hint);
  EXPECT_EQ(hint->longPrefix, "");
  const auto full = ParseHint("/opt/x/Linux64_x64#libvexq4_clprotocol.so#VEX#RXQ4#RX_Q4CL");
  ASSERT_TRUE(full);
  EXPECT_EQ(full->longPrefix, "/opt/x/Linux64_x64#libvexq4_clprotocol.so#");
  EXPECT_EQ(full->tokens.size(), 3u);
  EXPECT_TRUE(ParseHint("VEX"));
  for (const char* other : {"", "ACME", "ACME#Cam", "VEX#Other", "VEX#RXQ4#RX-Q4CL",
                            "VEX#RXQ4#A#B#C#D", "VEX#RXQ4#9X", "VEX##RXQ4"})
    EXPECT_FALSE(ParseHint(other)) << other;
  const std::vector<std::string> camera = DeviceIdTokens({"RX-Q4CL", "10042", "120"});
  EXPECT_TRUE(Matches(*ParseHint("VEX#RXQ4#RX_Q4CL#V120#SN10042"), camera));
  EXPECT_FALSE(Matches(*ParseHint("VEX#RXQ4#RX_Q4CL#V120#SN10043"), camera));
  EXPECT_FALSE(Matches(*ParseHint("VEX#RXQ4#RX_Q4C"), camera));
}

TEST(ClProtocolDeviceId, TheXmlIdCarriesTheDescriptionsVersions) {
  EXPECT_EQ(XmlId(), "SchemaVersion.1.1@VEX#RXQ4@XMLVersion." +
                         std::to_string(genicam::kXmlMajorVersion) + "." +
                         std::to_string(genicam::kXmlMinorVersion) + "." +
                         std::to_string(genicam::kXmlSubMinorVersion));
  EXPECT_NE(genicam::XmlText().find("SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\""),
            std::string::npos);
}

// ---- Exports without a connection.

TEST_F(ClProtocol, VersionIsOnePointTwo) {
  CLUINT32 major = 0, minor = 0;
  EXPECT_EQ(clpGetCLProtocolVersion(&major, &minor), CL_ERR_NO_ERR);
  EXPECT_EQ(major, 1u);
  EXPECT_EQ(minor, 2u);
  EXPECT_EQ(clpGetCLProtocolVersion(nullptr, &minor), CL_ERR_INVALID_PTR);
}

TEST_F(ClProtocol, InitTwiceIsInUseAndCloseEndsTheConnections) {
  EXPECT_EQ(clpInitLib(nullptr, CLP_LOG_WARN), CL_ERR_NO_ERR);
  EXPECT_EQ(clpInitLib(nullptr, CLP_LOG_WARN), CL_ERR_IN_USE);
  const CLUINT32 cookie = Connect();
  EXPECT_EQ(clpCloseLib(), CL_ERR_NO_ERR);
  std::int32_t value = 0;
  EXPECT_EQ(ReadInt(cookie, SettingAddress(GA), value), CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpInitLib(nullptr, CLP_LOG_WARN), CL_ERR_NO_ERR);
}

TEST_F(ClProtocol, TemplatesNameTheFamily) {
  CLUINT32 size = 0;
  EXPECT_EQ(clpGetShortDeviceIDTemplates(nullptr, &size), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 9u);  // "VEX#RXQ4" and its NUL
  std::array<CLINT8, 9> text{};
  size = 8;
  EXPECT_EQ(clpGetShortDeviceIDTemplates(text.data(), &size), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(text[0], '\0');  // nothing written
  size = text.size();
  EXPECT_EQ(clpGetShortDeviceIDTemplates(text.data(), &size), CL_ERR_NO_ERR);
  EXPECT_STREQ(text.data(), "VEX#RXQ4");
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(clpGetShortDeviceIDTemplates(text.data(), nullptr), CL_ERR_INVALID_PTR);
}

// ---- The probe.

TEST_F(ClProtocol, ProbeClaimsTheRxq4At9600BaudByItsAnswers) {
  std::string id;
  CLUINT32 cookie = 0;
  ASSERT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_ERR);
  EXPECT_EQ(id, "VEX#RXQ4#RX_Q4CL#V120#SN10042");
  EXPECT_NE(cookie, 0u);
  // 9600 baud on the grabber before anything is written.
  ASSERT_FALSE(serial.calls.empty());
  EXPECT_EQ(serial.calls.front(), "baud 1");
  // Only queries: nothing is set on a camera while probing.
  for (const std::string& line : Received()) EXPECT_EQ(line.back(), '?') << line;
  const auto lines = Received();
  for (const char* q : {"SH?", "MD?", "ID?", "VN?"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), q), lines.end()) << q;
}

TEST_F(ClProtocol, ProbeAnswersInTheFormItWasAskedIn) {
  std::string id;
  CLUINT32 cookie = 0;
  ASSERT_EQ(Probe("/opt/vex/clprotocol/Linux64_x64#libvexq4_clprotocol.so#VEX", id, cookie),
            CL_ERR_NO_ERR);
  EXPECT_EQ(id,
            "/opt/vex/clprotocol/Linux64_x64#libvexq4_clprotocol.so#VEX#RXQ4#RX_Q4CL#V120#SN10042");
  // Reconnecting by the whole DeviceID: the same camera.
  EXPECT_EQ(clpDisconnect(cookie), CL_ERR_NO_ERR);
  CLUINT32 again = 0;
  ASSERT_EQ(Probe("VEX#RXQ4#RX_Q4CL#V120#SN10042", id, again), CL_ERR_NO_ERR);
  EXPECT_NE(again, cookie);
}

TEST_F(ClProtocol, ProbeRefusesAnotherCameraOfTheFamilyAndOtherTemplates) {
  std::string id;
  CLUINT32 cookie = 7;
  EXPECT_EQ(Probe("VEX#RXQ4#RX_Q4CL#V120#SN99999", id, cookie), CL_ERR_NO_DEVICE_FOUND);
  EXPECT_EQ(Probe("VEX#RXQ4#RX_Q4CM", id, cookie), CL_ERR_NO_DEVICE_FOUND);
  link.camera().ClearLog();
  for (const char* other : {"ACME#Cam", "VEX#Other", "", "VEX#RXQ4#RX-Q4CL"})
    EXPECT_EQ(Probe(other, id, cookie), CL_ERR_INVALID_DEVICEID) << other;
  EXPECT_TRUE(Received().empty());  // refused before anything is sent
  // Refused probes keep no connection: the camera can be probed again.
  EXPECT_EQ(Probe("VEX", id, cookie), CL_ERR_NO_ERR);
}

TEST_F(ClProtocol, ProbeChecksItsArgumentsAndTheBuffer) {
  std::array<CLINT8, 8> small{};
  CLUINT32 size = small.size();
  CLUINT32 cookie = 0;
  EXPECT_EQ(clpProbeDevice(nullptr, "VEX", small.data(), &size, &cookie, kTimeOut),
            CL_ERR_INVALID_PTR);
  EXPECT_EQ(clpProbeDevice(&serial, nullptr, small.data(), &size, &cookie, kTimeOut),
            CL_ERR_INVALID_PTR);
  EXPECT_EQ(clpProbeDevice(&serial, "VEX", small.data(), &size, nullptr, kTimeOut),
            CL_ERR_INVALID_PTR);
  EXPECT_EQ(clpProbeDevice(&serial, "VEX", small.data(), &size, &cookie, kTimeOut),
            CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, std::strlen("VEX#RXQ4#RX_Q4CL#V120#SN10042") + 1);
  EXPECT_EQ(cookie, 0u);
}

TEST_F(ClProtocol, StopProbeDeviceEndsAProbeUnderWay) {
  serial.onRead = [this] {
    const CLUINT32 stop = 1;
    serial.onRead = nullptr;
    EXPECT_EQ(clpSetParam(nullptr, CLP_STOP_PROBE_DEVICE, 0, reinterpret_cast<const CLINT8*>(&stop),
                          4, kTimeOut),
              CL_ERR_NO_ERR);
  };
  std::string id;
  CLUINT32 cookie = 0;
  EXPECT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_DEVICE_FOUND);
  // Later probes run as usual.
  EXPECT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_ERR);
}

class ClProtocolOddIdentity : public ClProtocol {
 protected:
  ClProtocolOddIdentity() : ClProtocol(Camera("RX-Q4/CL", "07 12-A")) {}
};

TEST_F(ClProtocolOddIdentity, CharactersOutsideTheIdentifierSetAreMapped) {
  std::string id;
  CLUINT32 cookie = 0;
  ASSERT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_ERR);
  EXPECT_EQ(id, "VEX#RXQ4#RX_Q4_CL#V120#SN07_12_A");
}

class ClProtocolOtherCamera : public ClProtocol {
 protected:
  ClProtocolOtherCamera() : ClProtocol(Camera("XC-HR57")) {}
};

TEST_F(ClProtocolOtherCamera, ACameraThatAnswersOtherwiseIsNotClaimed) {
  std::string id;
  CLUINT32 cookie = 0;
  EXPECT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_DEVICE_FOUND);
  EXPECT_EQ(cookie, 0u);
  for (const std::string& line : Received()) EXPECT_EQ(line.back(), '?') << line;
}

class ClProtocolSilentLine : public ClProtocol {
 protected:
  ClProtocolSilentLine() { link.camera().faults().silent = true; }
};

TEST_F(ClProtocolSilentLine, NothingAnsweringIsNoDevice) {
  std::string id;
  CLUINT32 cookie = 0;
  const std::uint32_t start = link.clock().now();
  EXPECT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_DEVICE_FOUND);
  // The library's probe: two queries with their time-outs.
  EXPECT_LT(link.clock().now() - start, 3000u);
  link.camera().faults().silent = false;
  link.camera().faults().garble = true;
  EXPECT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_DEVICE_FOUND);
}

// ---- The XML.

TEST_F(ClProtocol, XmlIdAndTheSameBytesTheBridgeServes) {
  const CLUINT32 cookie = Connect();
  std::array<CLINT8, 128> ids{};
  CLUINT32 size = ids.size();
  ASSERT_EQ(clpGetXMLIDs(&serial, cookie, ids.data(), &size, kTimeOut), CL_ERR_NO_ERR);
  const std::string id = ids.data();
  EXPECT_EQ(id, XmlId());
  EXPECT_EQ(id.find('\t'), std::string::npos);  // one description

  const std::string& xml = genicam::XmlText();
  CLUINT32 needed = 0;
  ASSERT_EQ(clpGetXMLDescription(&serial, cookie, id.c_str(), nullptr, &needed, kTimeOut),
            CL_ERR_NO_ERR);
  EXPECT_EQ(needed, xml.size() + 1);
  std::vector<CLINT8> text(needed);
  CLUINT32 small = needed - 1;
  EXPECT_EQ(clpGetXMLDescription(&serial, cookie, id.c_str(), text.data(), &small, kTimeOut),
            CL_ERR_BUFFER_TOO_SMALL);
  ASSERT_EQ(clpGetXMLDescription(&serial, cookie, id.c_str(), text.data(), &needed, kTimeOut),
            CL_ERR_NO_ERR);
  EXPECT_EQ(std::string(text.data(), needed - 1), xml);

  // The bridge's GVCP device serves the same bytes where its first URL
  // points; so does this library's register space.
  CVexCamInterface offline;
  genicam::ModelCamera camera(offline);
  gvcp::MapDevice device(camera, false, "test");
  EXPECT_EQ(device.XmlUrl(), genicam::XmlLocalUrl());
  std::vector<std::uint8_t> bridge(xml.size());
  ASSERT_EQ(device.Read(genicam::kXmlAddress, bridge), gvcp::kSuccess);
  std::vector<CLINT8> registers(xml.size());
  ASSERT_EQ(clpReadRegister(&serial, cookie, genicam::kXmlAddress, registers.data(),
                            static_cast<CLINT64>(registers.size()), kTimeOut),
            CL_ERR_NO_ERR);
  EXPECT_EQ(std::string(bridge.begin(), bridge.end()), xml);
  EXPECT_EQ(std::string(registers.begin(), registers.end()), xml);
  EXPECT_TRUE(Received().empty());  // no camera exchange for the description

  EXPECT_EQ(clpGetXMLDescription(&serial, cookie, "SchemaVersion.1.1@VEX@XMLVersion.9.9.9",
                                 text.data(), &needed, kTimeOut),
            CL_ERR_NO_XMLDESCRIPTION_FOUND);
  EXPECT_EQ(clpGetXMLDescription(&serial, cookie, nullptr, text.data(), &needed, kTimeOut),
            CL_ERR_INVALID_PTR);
}

// ---- Registers.

TEST_F(ClProtocol, ReadsAskTheCameraThroughTheFeaturesRegisters) {
  const CLUINT32 cookie = Connect();
  link.camera().SetValue("GAR", 77);
  link.camera().SetValue("GA", -20);
  std::int32_t value = 0;
  // GainSelector=Red, Gain: the client reaches GAR's register.
  ASSERT_EQ(ReadInt(cookie, SettingAddress(GAR), value), CL_ERR_NO_ERR);
  EXPECT_EQ(value, 77);
  ASSERT_EQ(ReadInt(cookie, SettingAddress(GA), value), CL_ERR_NO_ERR);
  EXPECT_EQ(value, -20);
  EXPECT_EQ(Received(), (std::vector<std::string>{"GAR?", "GA?"}));

  std::array<CLINT8, 32> text{};
  ASSERT_EQ(clpReadRegister(&serial, cookie, TextAddress(MD), text.data(), 32, kTimeOut),
            CL_ERR_NO_ERR);
  EXPECT_STREQ(text.data(), "RX-Q4CL");
  link.camera().ClearLog();
  // Constants need no exchange: the vendor, the ranges.
  ASSERT_EQ(
      clpReadRegister(&serial, cookie, genicam::kVendorNameAddress, text.data(), 32, kTimeOut),
      CL_ERR_NO_ERR);
  EXPECT_STREQ(text.data(), "VEX");
  ASSERT_EQ(ReadInt(cookie, SettingAddress(GAR, genicam::kMaxOffset), value), CL_ERR_NO_ERR);
  EXPECT_EQ(value, model::FindSettingByCode(GAR)->max);
  EXPECT_TRUE(Received().empty());
}

TEST_F(ClProtocol, BadReadsLeaveTheBufferAndSayWhy) {
  const CLUINT32 cookie = Connect();
  std::array<CLINT8, 4> w = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(clpReadRegister(&serial, cookie, 0x5000, w.data(), 4, kTimeOut),
            VEXQ4_CLP_E_NO_REGISTER);
  EXPECT_EQ(clpReadRegister(&serial, cookie, SettingAddress(GA), w.data(), 2, kTimeOut),
            VEXQ4_CLP_E_PART_OF_INTEGER);
  EXPECT_EQ(clpReadRegister(&serial, cookie, 0x100000000ll, w.data(), 4, kTimeOut),
            VEXQ4_CLP_E_ACCESS_TOO_LARGE);
  EXPECT_EQ(clpReadRegister(&serial, cookie, -4, w.data(), 4, kTimeOut),
            VEXQ4_CLP_E_ACCESS_TOO_LARGE);
  EXPECT_EQ(clpReadRegister(&serial, cookie, SettingAddress(GA), w.data(), 0, kTimeOut),
            VEXQ4_CLP_E_ACCESS_TOO_LARGE);
  EXPECT_EQ(clpReadRegister(&serial, cookie, SettingAddress(GA), w.data(), 1ll << 40, kTimeOut),
            VEXQ4_CLP_E_NO_REGISTER);
  EXPECT_EQ(clpReadRegister(nullptr, cookie, SettingAddress(GA), w.data(), 4, kTimeOut),
            CL_ERR_INVALID_PTR);
  EXPECT_EQ(clpReadRegister(&serial, cookie, SettingAddress(GA), nullptr, 4, kTimeOut),
            CL_ERR_INVALID_PTR);
  // The camera stops answering: a time-out, the buffer untouched.
  link.camera().faults().silent = true;
  EXPECT_EQ(clpReadRegister(&serial, cookie, SettingAddress(GA), w.data(), 4, kTimeOut),
            CL_ERR_TIMEOUT);
  EXPECT_EQ(std::string(w.data(), 4), "abcd");
  std::array<CLINT8, 256> text{};
  CLUINT32 size = text.size();
  ASSERT_EQ(clpGetErrorText(CL_ERR_GET_LAST_ERROR, text.data(), &size, cookie), CL_ERR_NO_ERR);
  EXPECT_NE(std::string(text.data()).find("0x100C0 (Gain[All])"), std::string::npos) << text.data();
}

TEST_F(ClProtocol, WritesSendTheCamerasCommandsAfterTheCommandGap) {
  const CLUINT32 cookie = Connect();
  ASSERT_EQ(WriteInt(cookie, SettingAddress(GA), 100), CL_ERR_NO_ERR);
  ASSERT_EQ(WriteInt(cookie, SettingAddress(GAR), -20), CL_ERR_NO_ERR);
  ASSERT_EQ(WriteInt(cookie, SettingAddress(SA), 2), CL_ERR_NO_ERR);  // UserSetSave, UserSet2
  const std::array<CLINT8, 16> user = {'L', 'I', 'N', 'E', '7'};
  ASSERT_EQ(clpWriteRegister(&serial, cookie, TextAddress(UD), user.data(), 16, kWriteTimeOut),
            CL_ERR_NO_ERR);
  EXPECT_EQ(Received(), (std::vector<std::string>{"GA=100", "GAR=-20", "SA=2", "UD=LINE7"}));
  EXPECT_EQ(link.camera().Value("GA"), 100);
  EXPECT_EQ(link.camera().AreaValue(2, "GAR"), -20);
  EXPECT_EQ(link.camera().identity().userId, "LINE7");
  // Each command at least 600 ms after the acknowledgement of the one before.
  const auto& log = link.camera().log();
  for (std::size_t i = 1; i < log.size(); ++i)
    EXPECT_GE(log[i].timeMs - log[i - 1].timeMs, 600u) << log[i].text;
}

TEST_F(ClProtocol, RefusedWritesSendNothing) {
  const CLUINT32 cookie = Connect();
  EXPECT_EQ(WriteInt(cookie, SettingAddress(GA), 10000), VEXQ4_CLP_E_VALUE_REFUSED);
  EXPECT_EQ(WriteInt(cookie, SettingAddress(SA), 0), VEXQ4_CLP_E_VALUE_REFUSED);  // Default
  EXPECT_EQ(WriteInt(cookie, SettingAddress(EA), 1), VEXQ4_CLP_E_READ_ONLY);
  EXPECT_EQ(WriteInt(cookie, 0x5000, 1), VEXQ4_CLP_E_NO_REGISTER);
  EXPECT_EQ(WriteInt(cookie, genicam::kXmlAddress, 1), VEXQ4_CLP_E_READ_ONLY);
  const std::array<CLINT8, 2> half{};
  EXPECT_EQ(clpWriteRegister(&serial, cookie, SettingAddress(GA), half.data(), 2, kWriteTimeOut),
            VEXQ4_CLP_E_PART_OF_INTEGER);
  EXPECT_EQ(clpWriteRegister(nullptr, cookie, SettingAddress(GA), half.data(), 4, kWriteTimeOut),
            CL_ERR_INVALID_PTR);
  EXPECT_TRUE(Received().empty());
  EXPECT_EQ(clpContinueWriteRegister(&serial, cookie, 1, kTimeOut), VEXQ4_CLP_E_NO_WRITE_PENDING);
}

TEST_F(ClProtocol, AutoShadingAndUserSetLoadFinish) {
  const CLUINT32 cookie = Connect();
  ASSERT_EQ(WriteInt(cookie, SettingAddress(ATSH), 1), CL_ERR_NO_ERR);
  ASSERT_EQ(WriteInt(cookie, SettingAddress(LD), 0), CL_ERR_NO_ERR);
  const auto lines = Received();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ATSH=0");
  EXPECT_EQ(lines[1], "LD=0");
}

}  // namespace
}  // namespace vexq4::clprotocol::test
