// Faults the fuzzers and the soak found, each kept as a test.
#include <gtest/gtest.h>

#include "VexQ4Comm.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::reliability {
namespace {

// A reply that comes after its query's time-out must not be taken as the
// answer to the next query: "GA=77" arriving while "SH?" waits would make
// the shutter speed read 77.
TEST(Regressions, LateAnswerIsNotTakenForTheNextQuery) {
  sim::VirtualLink link;
  link.camera().SetValue("GA", 77);
  link.camera().SetValue("SH", 3);
  ASSERT_EQ(VexQ4InitComm(0, 1, 0), VEXQ4_OK);

  // Late enough to miss its time-out and the next query's drain.
  link.camera().faults().lateReplyMs = 894;
  int value = -1;
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
  link.camera().faults().lateReplyMs = 0;

  value = -1;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 3);
  VexQ4ExitComm(1);
}

}  // namespace
}  // namespace vexq4::reliability
