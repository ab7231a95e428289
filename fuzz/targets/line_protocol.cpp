// The reply-line reader and value parser: whatever bytes the camera sends
// after a query or a command, the call returns one of its codes within its
// bounded time, never writes past the caller's buffer, and leaves it
// untouched on failure.
#include <array>
#include <cstring>
#include <vector>

#include "VexQ4Comm.h"
#include "model_checks.h"
#include "scripted_camera.h"
#include "vexq4/platform/clock.h"

using namespace vexq4;
using vexq4::fuzz::Fail;

namespace {

constexpr std::array<unsigned, 8> kQueryCodes = {SH, GA, CBAR, WPB3, EA, VN, AWRS, BL};
constexpr std::array<unsigned, 5> kCommandCodes = {SH, GA, CBAR, WPB3, AW};
constexpr unsigned kPort = fuzz::kFuzzPort;

void CheckText(int rc, const std::vector<char>& buffer, char fill) {
  VEXQ4_FUZZ_CHECK(rc == VEXQ4_OK || rc == VEXQ4_E_MALFORMED || rc == VEXQ4_E_TIMEOUT,
                   "text query: undocumented code");
  if (rc != VEXQ4_OK) {
    for (char c : buffer) VEXQ4_FUZZ_CHECK(c == fill, "text query: buffer changed on failure");
    return;
  }
  VEXQ4_FUZZ_CHECK(std::memchr(buffer.data(), '\0', buffer.size()) != nullptr,
                   "text query: result not terminated inside the buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in({data, size});
  const std::uint8_t op = in.Byte();
  const std::uint8_t pick = in.Byte();
  fuzz::ScriptedLink link(true);
  if (VexQ4InitComm(0, kPort, 0) != VEXQ4_OK) Fail("the simulated camera did not answer the probe");
  link.ReplyWith(in.Rest());

  const std::uint32_t start = platform::TickCount();
  std::uint32_t bound = reliability::ExchangeBoundMs(600);
  switch (op % 7) {
    case 0: {
      int value = 0x5A5A5A5A;
      const int rc = VexQ4GetCameraData(kPort, kQueryCodes[pick % kQueryCodes.size()], &value);
      VEXQ4_FUZZ_CHECK(rc == VEXQ4_OK || rc == VEXQ4_E_MALFORMED || rc == VEXQ4_E_TIMEOUT,
                       "query: undocumented code");
      if (rc != VEXQ4_OK) VEXQ4_FUZZ_CHECK(value == 0x5A5A5A5A, "query: value changed on failure");
      break;
    }
    case 1:
    case 2:
    case 3: {
      // Heap buffers of the exact documented size, so an overrun is seen.
      static constexpr std::array<std::size_t, 3> kSizes = {
          VEXQ4_CAMERA_ID_SIZE, VEXQ4_MODEL_NAME_SIZE, VEXQ4_USER_ID_SIZE};
      std::vector<char> buffer(kSizes[op % 7 - 1], '\x7e');
      int rc = 0;
      if (op % 7 == 1) rc = VexQ4GetCameraID(kPort, buffer.data());
      if (op % 7 == 2) rc = VexQ4GetModelName(kPort, buffer.data());
      if (op % 7 == 3) rc = VexQ4GetUserID(kPort, buffer.data());
      CheckText(rc, buffer, '\x7e');
      break;
    }
    case 4: {
      const int value = static_cast<int>(pick) * 7919 - 1000;
      const int rc = VexQ4SendCameraData(kPort, kCommandCodes[pick % kCommandCodes.size()], value);
      VEXQ4_FUZZ_CHECK(rc == VEXQ4_OK || rc == VEXQ4_E_NOT_ACKNOWLEDGED || rc == VEXQ4_E_TIMEOUT,
                       "command: undocumented code");
      break;
    }
    case 5: {
      const int rc = VexQ4SetUserID(kPort, "LINE 7");
      VEXQ4_FUZZ_CHECK(rc == VEXQ4_OK || rc == VEXQ4_E_NOT_ACKNOWLEDGED || rc == VEXQ4_E_TIMEOUT,
                       "user ID: undocumented code");
      break;
    }
    default: {
      bound = reliability::ExchangeBoundMs(10000);
      const int rc = VexQ4SendCameraData(kPort, ATSH, 0);
      VEXQ4_FUZZ_CHECK(rc == VEXQ4_OK || rc == VEXQ4_E_NOT_ACKNOWLEDGED || rc == VEXQ4_E_TIMEOUT,
                       "auto shading: undocumented code");
      break;
    }
  }
  VEXQ4_FUZZ_CHECK(fuzz::ElapsedSince(start) <= bound, "transaction took longer than its bound");
  VexQ4ExitComm(kPort);
  return 0;
}
