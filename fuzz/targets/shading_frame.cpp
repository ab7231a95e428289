// The shading frame receiver (and the acknowledgement of an upload): any
// bytes as the camera's frame give 0 only for a whole frame with a right
// checksum, and the caller's table changes only then.
#include <array>
#include <vector>

#include "VexQ4Comm.h"
#include "model_checks.h"
#include "scripted_camera.h"
#include "vexq4/platform/clock.h"
#include "vexq4/sim/sim_camera.h"

using namespace vexq4;
using vexq4::fuzz::Fail;

namespace {
constexpr unsigned kPort = fuzz::kFuzzPort;
constexpr int kUntouched = 0x3C3C3C3C;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in({data, size});
  const std::uint8_t op = in.Byte();
  fuzz::ScriptedLink link(true);
  if (VexQ4InitComm(0, kPort, 0) != VEXQ4_OK) Fail("the simulated camera did not answer the probe");
  link.ReplyWith(in.Rest());
  const std::uint32_t start = platform::TickCount();

  if (op % 2 == 0) {
    std::vector<int> values(VEXQ4_SHADING_READ_INTS, kUntouched);
    const int rc = VexQ4GetShadingData(kPort, values.data());
    VEXQ4_FUZZ_CHECK(rc == VEXQ4_OK || rc == VEXQ4_E_NOT_ACKNOWLEDGED, "read: undocumented code");
    if (rc == VEXQ4_OK) {
      std::vector<std::uint8_t> bytes;
      for (int i = 0; i < 768; ++i) {
        const int v = values[2 + static_cast<std::size_t>(i)];
        VEXQ4_FUZZ_CHECK(v >= 0 && v <= 0xFFFF, "read: value outside 16 bits");
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        bytes.push_back(static_cast<std::uint8_t>(v));
      }
      VEXQ4_FUZZ_CHECK(sim::ShadingChecksum(bytes) == values[770], "read: accepted a bad checksum");
      for (std::size_t i = 771; i < values.size(); ++i)
        VEXQ4_FUZZ_CHECK(values[i] == 0, "read: tail of the table not zero");
    } else {
      for (int v : values) VEXQ4_FUZZ_CHECK(v == kUntouched, "read: table changed on failure");
    }
    VEXQ4_FUZZ_CHECK(fuzz::ElapsedSince(start) <= reliability::kShadingReadBoundMs,
                     "read took longer than its bound");
  } else {
    std::array<int, VEXQ4_SHADING_SEND_INTS> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<int>(i * 131 + op);
    const int rc = VexQ4SendShadingData(kPort, table.data());
    VEXQ4_FUZZ_CHECK(rc == VEXQ4_OK || rc == VEXQ4_E_NOT_ACKNOWLEDGED || rc == VEXQ4_E_TIMEOUT,
                     "send: undocumented code");
    VEXQ4_FUZZ_CHECK(fuzz::ElapsedSince(start) <= 2 * reliability::ExchangeBoundMs(600) + 4000,
                     "send took longer than its bound");
  }
  VexQ4ExitComm(kPort);
  return 0;
}
