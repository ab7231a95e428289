// libvexq4_clprotocol.so as a frame grabber's GenTL producer uses it, in
// real time: found through GENICAM_CLPROTOCOL and its platform subfolder
// (CLProtocol section 2), loaded with dlopen, its functions looked up by
// name, and driven over a serial object of the test's own on the simulated
// camera's pseudo-terminal. The pending writes (the command gap, auto
// shading) run here, on the real clock.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VexQ4Comm.h"
#include "vexq4/clprotocol/clprotocol.h"
#include "vexq4/genicam/features.h"
#include "vexq4/genicam/genapi_xml.h"
#include "vexq4/platform/serial_device.h"
#include "vexq4/sim/pty_server.h"

namespace {

using vexq4::genicam::SettingAddress;
using Clock = std::chrono::steady_clock;

// The functions of one CLProtocol library, by name.
struct Library {
  void* handle = nullptr;
  std::string path;
  decltype(&clpGetCLProtocolVersion) version = nullptr;
  decltype(&clpInitLib) init = nullptr;
  decltype(&clpCloseLib) close = nullptr;
  decltype(&clpGetShortDeviceIDTemplates) templates = nullptr;
  decltype(&clpProbeDevice) probe = nullptr;
  decltype(&clpGetXMLIDs) xmlIds = nullptr;
  decltype(&clpGetXMLDescription) xml = nullptr;
  decltype(&clpReadRegister) read = nullptr;
  decltype(&clpWriteRegister) write = nullptr;
  decltype(&clpContinueWriteRegister) carryOn = nullptr;
  decltype(&clpGetErrorText) errorText = nullptr;
  decltype(&clpDisconnect) disconnect = nullptr;
  decltype(&clpGetParam) getParam = nullptr;
  decltype(&clpSetParam) setParam = nullptr;
  decltype(&clpIsParamSupported) isParamSupported = nullptr;
  decltype(&clpGetEventData) eventData = nullptr;
};

template <typename F>
bool Bind(void* handle, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(handle, name));
  return out != nullptr;
}

// What a producer's loader does: every lib*.so in the platform subfolder
// of each folder GENICAM_CLPROTOCOL lists, with the sixteen functions.
std::vector<Library> LoadFromEnvironment() {
  std::vector<Library> found;
  const char* variable = std::getenv("GENICAM_CLPROTOCOL");
  std::string list = variable ? variable : "";
  for (char& c : list)
    if (c == ';') c = ':';
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t end = std::min(list.find(':', at), list.size());
    const std::string folder = list.substr(at, end - at) + "/" VEXQ4_CLPROTOCOL_PLATFORM_DIR;
    at = end + 1;
    DIR* dir = opendir(folder.c_str());
    if (!dir) continue;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (!name.starts_with("lib") || !name.ends_with(".so")) continue;
      Library lib;
      lib.path = folder + "/" + name;
      lib.handle = dlopen(lib.path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!lib.handle) continue;
      const bool all = Bind(lib.handle, "clpGetCLProtocolVersion", lib.version) &&
                       Bind(lib.handle, "clpInitLib", lib.init) &&
                       Bind(lib.handle, "clpCloseLib", lib.close) &&
                       Bind(lib.handle, "clpGetShortDeviceIDTemplates", lib.templates) &&
                       Bind(lib.handle, "clpProbeDevice", lib.probe) &&
                       Bind(lib.handle, "clpGetXMLIDs", lib.xmlIds) &&
                       Bind(lib.handle, "clpGetXMLDescription", lib.xml) &&
                       Bind(lib.handle, "clpReadRegister", lib.read) &&
                       Bind(lib.handle, "clpWriteRegister", lib.write) &&
                       Bind(lib.handle, "clpContinueWriteRegister", lib.carryOn) &&
                       Bind(lib.handle, "clpGetErrorText", lib.errorText) &&
                       Bind(lib.handle, "clpDisconnect", lib.disconnect) &&
                       Bind(lib.handle, "clpGetParam", lib.getParam) &&
                       Bind(lib.handle, "clpSetParam", lib.setParam) &&
                       Bind(lib.handle, "clpIsParamSupported", lib.isParamSupported) &&
                       Bind(lib.handle, "clpGetEventData", lib.eventData);
      if (all) found.push_back(lib);
    }
    closedir(dir);
  }
  return found;
}

// The test's serial object: the camera simulator's pseudo-terminal, opened
// raw at 9600 baud as every host opens a device.
class PtySerial final : public ISerial {
 public:
  explicit PtySerial(const std::string& path)
      : device_(vexq4::platform::OpenSerialDevice(path).device) {}
  bool open() const { return device_ != nullptr; }

  CLINT32 clSerialRead(CLINT8* buffer, CLUINT32* size, CLUINT32 timeout) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
    CLUINT32 got = 0;
    while (got < *size) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      std::uint8_t byte = 0;
      if (left <= 0 || !device_->ReadByteWithin(byte, static_cast<std::uint32_t>(left))) break;
      buffer[got++] = static_cast<CLINT8>(byte);
    }
    const bool complete = got == *size;
    *size = got;
    return complete ? CL_ERR_NO_ERR : CL_ERR_TIMEOUT;
  }
  CLINT32 clSerialWrite(CLINT8* buffer, CLUINT32* size, CLUINT32) override {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer);
    if (device_->Write({bytes, *size})) return CL_ERR_NO_ERR;
    *size = 0;
    return CL_ERR_TIMEOUT;
  }
  CLINT32 clGetSupportedBaudRates(CLUINT32* rates) override {
    *rates = CL_BAUDRATE_9600 | CL_BAUDRATE_19200;
    return CL_ERR_NO_ERR;
  }
  CLINT32 clSetBaudRate(CLUINT32 rate) override {
    rates.push_back(rate);
    return rate == CL_BAUDRATE_9600 ? CL_ERR_NO_ERR : CL_ERR_BAUD_RATE_NOT_SUPPORTED;
  }
  std::vector<CLUINT32> rates;

 private:
  std::unique_ptr<vexq4::platform::SerialDevice> device_;
};

std::array<CLINT8, 4> Word(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return {static_cast<CLINT8>(u >> 24), static_cast<CLINT8>(u >> 16), static_cast<CLINT8>(u >> 8),
          static_cast<CLINT8>(u)};
}

class ClProtocolProducer : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto libraries = LoadFromEnvironment();
    const char* variable = std::getenv("GENICAM_CLPROTOCOL");
    ASSERT_EQ(libraries.size(), 1u) << "GENICAM_CLPROTOCOL=" << (variable ? variable : "(unset)");
    lib = libraries.front();
    EXPECT_NE(lib.path.find("/" VEXQ4_CLPROTOCOL_PLATFORM_DIR "/libvexq4_clprotocol.so"),
              std::string::npos);
    ASSERT_EQ(lib.init(nullptr, CLP_LOG_WARN), CL_ERR_NO_ERR);
  }
  void TearDown() override {
    if (lib.close) {
      EXPECT_EQ(lib.close(), CL_ERR_NO_ERR);
    }
    // The library stays loaded, as a producer keeps it: unloaded, the heap
    // its globals hold would look leaked to the leak checker.
  }

  // Starts a camera simulator and opens its pty.
  std::unique_ptr<PtySerial> StartCamera(vexq4::sim::PtyServer& server) {
    std::string error;
    EXPECT_TRUE(server.Start(&error)) << error;
    auto serial = std::make_unique<PtySerial>(server.slavePath());
    EXPECT_TRUE(serial->open());
    return serial;
  }

  // A write to completion through clpContinueWriteRegister; how many
  // times the write was reported pending.
  CLINT32 WriteToTheEnd(ISerial* serial, CLUINT32 cookie, std::uint32_t address, std::int32_t value,
                        CLUINT32 timeout, int& pending) {
    const auto w = Word(value);
    CLINT32 rc = lib.write(serial, cookie, address, w.data(), 4, timeout);
    pending = 0;
    while (rc == CL_ERR_PENDING_WRITE && pending < 200) {
      ++pending;
      rc = lib.carryOn(serial, cookie, 1, timeout);
    }
    return rc;
  }

  Library lib;
};

TEST_F(ClProtocolProducer, FoundThroughGenicamClprotocolWithItsVersion) {
  CLUINT32 major = 0, minor = 0;
  EXPECT_EQ(lib.version(&major, &minor), CL_ERR_NO_ERR);
  EXPECT_EQ(major, 1u);
  EXPECT_EQ(minor, 2u);
  std::array<CLINT8, 64> templates{};
  CLUINT32 size = templates.size();
  EXPECT_EQ(lib.templates(templates.data(), &size), CL_ERR_NO_ERR);
  EXPECT_STREQ(templates.data(), "VEX#RXQ4");
  EXPECT_EQ(lib.isParamSupported(CLP_DEVICE_BAUDERATE), CL_ERR_NO_ERR);
}

TEST_F(ClProtocolProducer, ASessionWithPendingWritesOnTheRealClock) {
  vexq4::sim::Config config;
  config.autoShadingMs = 1200;
  vexq4::sim::PtyServer server(config);
  const auto serial = StartCamera(server);
  ASSERT_TRUE(serial && serial->open());

  // Probe and XML.
  std::array<CLINT8, 128> id{};
  CLUINT32 size = id.size();
  CLUINT32 cookie = 0;
  ASSERT_EQ(lib.probe(serial.get(), "VEX#RXQ4", id.data(), &size, &cookie, 500), CL_ERR_NO_ERR);
  EXPECT_STREQ(id.data(), "VEX#RXQ4#RX_Q4CL#V120#SN10042");
  EXPECT_EQ(serial->rates.front(), CL_BAUDRATE_9600);
  std::array<CLINT8, 128> xmlId{};
  size = xmlId.size();
  ASSERT_EQ(lib.xmlIds(serial.get(), cookie, xmlId.data(), &size, 500), CL_ERR_NO_ERR);
  std::vector<CLINT8> xml(vexq4::genicam::XmlText().size() + 1);
  size = static_cast<CLUINT32>(xml.size());
  ASSERT_EQ(lib.xml(serial.get(), cookie, xmlId.data(), xml.data(), &size, 500), CL_ERR_NO_ERR);
  EXPECT_EQ(std::string(xml.data()), vexq4::genicam::XmlText());

  // A read, and a first write that needs no wait: done within 500 ms.
  {
    auto camera = server.camera();
    camera->SetValue("BLR", 40);
    camera->ClearLog();
  }
  std::array<CLINT8, 4> w{};
  ASSERT_EQ(lib.read(serial.get(), cookie, SettingAddress(BLR), w.data(), 4, 500), CL_ERR_NO_ERR);
  EXPECT_EQ(w[3], 40);
  int pending = 0;
  ASSERT_EQ(WriteToTheEnd(serial.get(), cookie, SettingAddress(GA), 100, 500, pending),
            CL_ERR_NO_ERR);
  EXPECT_EQ(pending, 0);

  // The next command waits for the 600 ms gap: pending, then done.
  const auto start = Clock::now();
  ASSERT_EQ(WriteToTheEnd(serial.get(), cookie, SettingAddress(GAR), 50, 100, pending),
            CL_ERR_NO_ERR);
  EXPECT_GE(pending, 3);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(500));

  // Abandoned while it waits for the gap: never sent, and the camera takes
  // the next command.
  const auto gab = Word(5);
  ASSERT_EQ(lib.write(serial.get(), cookie, SettingAddress(GAB), gab.data(), 4, 50),
            CL_ERR_PENDING_WRITE);
  EXPECT_EQ(lib.carryOn(serial.get(), cookie, 0, 50), CL_ERR_NO_ERR);
  EXPECT_EQ(lib.carryOn(serial.get(), cookie, 1, 50), VEXQ4_CLP_E_NO_WRITE_PENDING);

  // Auto shading: its acknowledgement comes after 1.2 s.
  ASSERT_EQ(WriteToTheEnd(serial.get(), cookie, SettingAddress(ATSH), 1, 200, pending),
            CL_ERR_NO_ERR);
  EXPECT_GE(pending, 5);

  std::vector<std::string> lines;
  for (const auto& line : server.camera()->log()) lines.push_back(line.text);
  EXPECT_EQ(lines, (std::vector<std::string>{"BLR?", "GA=100", "GAR=50", "ATSH=0"}));

  // Error text of the last error, disconnect, and the stale cookie.
  std::array<CLINT8, 256> text{};
  size = text.size();
  EXPECT_EQ(lib.errorText(CL_ERR_GET_LAST_ERROR, text.data(), &size, cookie), CL_ERR_NO_ERR);
  EXPECT_NE(std::string(text.data()).find("abandoned"), std::string::npos) << text.data();
  size = text.size();
  EXPECT_EQ(lib.errorText(CL_ERR_PENDING_WRITE, text.data(), &size, 0), CL_ERR_NO_ERR);
  CLUINT32 rate = 0;
  EXPECT_EQ(lib.getParam(serial.get(), CLP_DEVICE_BAUDERATE, cookie,
                         reinterpret_cast<CLINT8*>(&rate), 4, 500),
            CL_ERR_NO_ERR);
  EXPECT_EQ(rate, CL_BAUDRATE_9600);
  size = text.size();
  EXPECT_EQ(lib.eventData(cookie, text.data(), &size), CL_ERR_TIMEOUT);
  EXPECT_EQ(lib.disconnect(cookie), CL_ERR_NO_ERR);
  EXPECT_EQ(lib.read(serial.get(), cookie, SettingAddress(GA), w.data(), 4, 500),
            CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(lib.disconnect(cookie), CL_ERR_INVALID_COOKIE);
  CLUINT32 level = CLP_LOG_ERROR;
  EXPECT_EQ(lib.setParam(nullptr, CLP_LOG_LEVEL, 0, reinterpret_cast<CLINT8*>(&level), 4, 500),
            CL_ERR_NO_ERR);
}

TEST_F(ClProtocolProducer, ACameraThatIsNoRxq4IsNotClaimed) {
  vexq4::sim::Config config;
  config.identity.modelName = "XC-56";
  vexq4::sim::PtyServer server(config);
  const auto serial = StartCamera(server);
  ASSERT_TRUE(serial && serial->open());
  std::array<CLINT8, 128> id{};
  CLUINT32 size = id.size();
  CLUINT32 cookie = 0;
  EXPECT_EQ(lib.probe(serial.get(), "VEX#RXQ4", id.data(), &size, &cookie, 500),
            CL_ERR_NO_DEVICE_FOUND);
  EXPECT_EQ(cookie, 0u);
  for (const auto& line : server.camera()->log()) EXPECT_EQ(line.text.back(), '?') << line.text;
}

}  // namespace
