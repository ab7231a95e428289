// What the tests of the CLProtocol library in virtual time share: the
// producer's serial object on the simulated camera's grabber port, the
// register words, and the fixture that probes and reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "VexQ4Comm.h"
#include "device_id.h"
#include "vexq4/clprotocol/clprotocol.h"
#include "vexq4/genicam/features.h"
#include "vexq4/genicam/genapi_xml.h"
#include "vexq4/genicam/register_map.h"
#include "vexq4/gvcp/map_device.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/model/settings.h"
#include "vexq4/sim/virtual_grabber.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::clprotocol::test {

using genicam::SettingAddress;
using genicam::TextAddress;

inline constexpr CLUINT32 kTimeOut = 500;
// Long enough that a write in virtual time is never reported pending.
inline constexpr CLUINT32 kWriteTimeOut = 10000;

// The producer's serial object: the grabber port of the simulated camera.
// It records the calls a test looks at.
class VirtualSerial final : public ISerial {
 public:
  explicit VirtualSerial(sim::VirtualLink& link) : port_(link) { port_.Open(); }
  ~VirtualSerial() { port_.Close(); }

  CLINT32 clSerialRead(CLINT8* buffer, CLUINT32* size, CLUINT32 timeout) override {
    ++reads;
    if (onRead) onRead();
    return port_.Read(buffer, size, timeout);
  }
  CLINT32 clSerialWrite(CLINT8* buffer, CLUINT32* size, CLUINT32) override {
    calls.push_back("write");
    return port_.Write(buffer, size);
  }
  CLINT32 clGetSupportedBaudRates(CLUINT32* rates) override {
    *rates = CL_BAUDRATE_9600 | CL_BAUDRATE_19200 | CL_BAUDRATE_115200;
    return CL_ERR_NO_ERR;
  }
  CLINT32 clSetBaudRate(CLUINT32 rate) override {
    calls.push_back("baud " + std::to_string(rate));
    return CL_ERR_NO_ERR;
  }

  std::vector<std::string> calls;
  int reads = 0;
  std::function<void()> onRead;

 private:
  sim::VirtualGrabberPort port_;
};

inline std::array<CLINT8, 4> Word(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return {static_cast<CLINT8>(u >> 24), static_cast<CLINT8>(u >> 16), static_cast<CLINT8>(u >> 8),
          static_cast<CLINT8>(u)};
}

inline std::int32_t Value(const std::array<CLINT8, 4>& w) {
  auto b = [&](int i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(w[i])); };
  return static_cast<std::int32_t>(b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3));
}

inline sim::Config Camera(std::string model = sim::kDefaultModelName,
                          std::string id = sim::kDefaultCameraId) {
  sim::Config config;
  config.identity.modelName = std::move(model);
  config.identity.cameraId = std::move(id);
  return config;
}

class ClProtocol : public ::testing::Test {
 protected:
  explicit ClProtocol(sim::Config config = {}) : link(std::move(config)), serial(link) {}
  ~ClProtocol() override { clpCloseLib(); }

  // Probes with `hint`: the code, the DeviceID and the cookie.
  CLINT32 Probe(const char* hint, std::string& deviceId, CLUINT32& cookie) {
    std::array<CLINT8, 256> id{};
    CLUINT32 size = id.size();
    cookie = 0;
    const CLINT32 rc = clpProbeDevice(&serial, hint, id.data(), &size, &cookie, kTimeOut);
    deviceId = rc == CL_ERR_NO_ERR ? std::string(id.data(), size - 1) : "";
    return rc;
  }
  CLUINT32 Connect() {
    std::string id;
    CLUINT32 cookie = 0;
    EXPECT_EQ(Probe("VEX#RXQ4", id, cookie), CL_ERR_NO_ERR);
    link.camera().ClearLog();
    return cookie;
  }

  CLINT32 ReadInt(CLUINT32 cookie, std::uint32_t address, std::int32_t& value) {
    std::array<CLINT8, 4> w{};
    const CLINT32 rc = clpReadRegister(&serial, cookie, address, w.data(), 4, kTimeOut);
    value = Value(w);
    return rc;
  }
  CLINT32 WriteInt(CLUINT32 cookie, std::uint32_t address, std::int32_t value) {
    const auto w = Word(value);
    return clpWriteRegister(&serial, cookie, address, w.data(), 4, kWriteTimeOut);
  }
  std::vector<std::string> Received() {
    std::vector<std::string> lines;
    for (const auto& l : link.camera().log()) lines.push_back(l.text);
    return lines;
  }

  sim::VirtualLink link;
  VirtualSerial serial;
};

}  // namespace vexq4::clprotocol::test
