// The CLProtocol library against random serial answers: its probe and its
// register reads go through a producer's serial object whose every answer
// the fuzz input decides (the camera's true answer, fuzz bytes before or
// instead of it, nothing, late, or a pulled plug; fuzz/scripted_camera.h),
// in virtual time. Every call returns one of its documented codes within
// its bounded time; a DeviceID is one of the library's; a failed read
// leaves the caller's buffer as it was; nothing crashes or hangs.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "model_checks.h"
#include "scripted_camera.h"
#include "vexq4/clprotocol/clprotocol.h"
#include "vexq4/genicam/features.h"
#include "vexq4/genicam/genapi_xml.h"
#include "vexq4/platform/clock.h"
#include "vexq4/platform/serial_device.h"

using namespace vexq4;

namespace {

// The producer's serial object over the scripted line: what the camera
// sends is what the script lets through.
class ScriptedSerial final : public ISerial {
 public:
  explicit ScriptedSerial(std::unique_ptr<platform::SerialDevice> device)
      : device_(std::move(device)) {}

  CLINT32 clSerialRead(CLINT8* buffer, CLUINT32* size, CLUINT32 timeout) override {
    CLUINT32 got = 0;
    const std::uint32_t start = platform::TickCount();
    while (got < *size) {
      const std::uint32_t elapsed = platform::TickCount() - start;
      std::uint8_t byte = 0;
      if (elapsed >= timeout || !device_->ReadByteWithin(byte, timeout - elapsed)) break;
      buffer[got++] = static_cast<CLINT8>(byte);
    }
    const bool complete = got == *size;
    *size = got;
    return complete ? CL_ERR_NO_ERR : CL_ERR_TIMEOUT;
  }
  CLINT32 clSerialWrite(CLINT8* buffer, CLUINT32* size, CLUINT32) override {
    if (device_->Write({reinterpret_cast<const std::uint8_t*>(buffer), *size}))
      return CL_ERR_NO_ERR;
    *size = 0;
    return CL_ERR_TIMEOUT;
  }
  CLINT32 clGetSupportedBaudRates(CLUINT32* rates) override {
    *rates = CL_BAUDRATE_9600;
    return CL_ERR_NO_ERR;
  }
  CLINT32 clSetBaudRate(CLUINT32) override { return CL_ERR_NO_ERR; }

 private:
  std::unique_ptr<platform::SerialDevice> device_;
};

bool IsCName(std::string_view token) {
  if (token.empty() || (token.front() >= '0' && token.front() <= '9')) return false;
  return std::all_of(token.begin(), token.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

bool IsDeviceId(std::string_view id) {
  if (!id.starts_with("VEX#RXQ4#")) return false;
  int tokens = 0;
  for (std::size_t at = 0; at <= id.size();) {
    const std::size_t end = std::min(id.find('#', at), id.size());
    if (!IsCName(id.substr(at, end - at))) return false;
    ++tokens;
    at = end + 1;
  }
  return tokens == 5;
}

// The registers a producer reads: every feature's, the ranges of the
// selected ones, the constants.
std::vector<std::pair<std::uint32_t, std::uint32_t>> Registers() {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
  for (const genicam::Feature& f : genicam::Features()) {
    if (f.isSelector) continue;
    if (f.selector.empty() || f.type != genicam::FeatureType::kInteger) {
      out.emplace_back(f.address, f.length);
      continue;
    }
    for (const model::SettingRow* row : f.rows) {
      out.emplace_back(genicam::SettingAddress(row->code), 4);
      out.emplace_back(genicam::SettingAddress(row->code, genicam::kMaxOffset), 4);
    }
  }
  out.emplace_back(genicam::kVendorNameAddress, 32);
  out.emplace_back(genicam::kXmlAddress, 64);
  return out;
}

bool IsReadCode(CLINT32 rc) {
  switch (rc) {
    case CL_ERR_NO_ERR:
    case CL_ERR_TIMEOUT:
    case VEXQ4_CLP_E_NO_REGISTER:
    case VEXQ4_CLP_E_PART_OF_INTEGER:
    case VEXQ4_CLP_E_CAMERA_OFFLINE:
    case VEXQ4_CLP_E_NOT_ACKNOWLEDGED:
    case VEXQ4_CLP_E_MALFORMED_ANSWER:
    case VEXQ4_CLP_E_CAMERA_FAILED:
    case VEXQ4_CLP_E_ACCESS_TOO_LARGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto registers = Registers();
  fuzz::FuzzInput in({data, size});
  fuzz::ScriptedLink link(true);
  auto opened = platform::OpenComPort(fuzz::kFuzzPort);
  VEXQ4_FUZZ_CHECK(opened.device != nullptr, "the scripted line does not open");
  ScriptedSerial serial(std::move(opened.device));
  link.Follow(&in);

  // The probe: a DeviceID of this library, or no device.
  std::array<CLINT8, 128> id{};
  CLUINT32 idSize = id.size();
  CLUINT32 cookie = 0;
  std::uint32_t start = platform::TickCount();
  const CLINT32 probed = clpProbeDevice(&serial, "VEX#RXQ4", id.data(), &idSize, &cookie, 500);
  VEXQ4_FUZZ_CHECK(fuzz::ElapsedSince(start) <= 8 * reliability::ExchangeBoundMs(600),
                   "probe took too long");
  VEXQ4_FUZZ_CHECK(probed == CL_ERR_NO_ERR || probed == CL_ERR_NO_DEVICE_FOUND,
                   "probe gave an undocumented code");
  if (probed != CL_ERR_NO_ERR) {
    VEXQ4_FUZZ_CHECK(cookie == 0, "a cookie without a connection");
    clpCloseLib();
    return 0;
  }
  VEXQ4_FUZZ_CHECK(cookie != 0, "cookie 0");
  VEXQ4_FUZZ_CHECK(idSize == std::strlen(id.data()) + 1, "DeviceID size");
  VEXQ4_FUZZ_CHECK(IsDeviceId(id.data()), "not a DeviceID of this library");

  // Register reads, as a producer's GenApi makes them.
  for (int n = 0; n < 24 && !in.empty(); ++n) {
    const std::uint8_t pick = in.Byte();
    std::uint32_t address = 0;
    std::uint32_t length = 4;
    if (pick < 0xF0) {
      const auto& reg = registers[pick % registers.size()];
      address = reg.first;
      length = reg.second;
    } else {  // anywhere, any size
      address = static_cast<std::uint32_t>(in.Word()) << 8 | in.Byte();
      length = 1 + in.Byte() % 64;
    }
    std::vector<CLINT8> buffer(length, '\x5a');
    start = platform::TickCount();
    const CLINT32 rc = clpReadRegister(&serial, cookie, address, buffer.data(), length, 500);
    VEXQ4_FUZZ_CHECK(fuzz::ElapsedSince(start) <= 4 * reliability::ExchangeBoundMs(600),
                     "read took too long");
    VEXQ4_FUZZ_CHECK(IsReadCode(rc), "read gave an undocumented code");
    if (rc != CL_ERR_NO_ERR)
      VEXQ4_FUZZ_CHECK(
          std::all_of(buffer.begin(), buffer.end(), [](CLINT8 c) { return c == '\x5a'; }),
          "a failed read wrote into the buffer");
    std::array<CLINT8, 512> text{};
    CLUINT32 textSize = text.size();
    VEXQ4_FUZZ_CHECK(clpGetErrorText(rc == CL_ERR_NO_ERR ? CL_ERR_GET_LAST_ERROR : rc, text.data(),
                                     &textSize, cookie) == CL_ERR_NO_ERR,
                     "a code without a text");
  }
  VEXQ4_FUZZ_CHECK(clpDisconnect(cookie) == CL_ERR_NO_ERR, "disconnect failed");
  VEXQ4_FUZZ_CHECK(clpDisconnect(cookie) == CL_ERR_INVALID_COOKIE, "stale cookie taken");
  clpCloseLib();
  return 0;
}
