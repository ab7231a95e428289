// The quiet time of the drain before a query (fast reads), set by the host
// or by VEXQ4_QUERY_DRAIN_MS, on a fake COM port in virtual time.
#include <stdlib.h>

#include <string>

#include "comm_fixture.h"

namespace vexq4::test {
namespace {

class QueryDrainTest : public CommTest {
 protected:
  void TearDown() override {
    // Both are process-wide: leave them as the next test expects them.
    VexQ4SetQueryDrainTime(-1);
    unsetenv("VEXQ4_QUERY_DRAIN_MS");
    CommTest::TearDown();
  }

  // Milliseconds from the call until its line went out: the drain's length.
  template <typename Call>
  std::uint32_t DrainOf(FakeLine& line, Call call) {
    const std::uint32_t start = clock.now;
    const std::size_t before = line.writes.size();
    call();
    EXPECT_GT(line.writes.size(), before);
    return line.writes.size() > before ? line.writes[before].timeMs - start : 0;
  }

  std::uint32_t QueryDrain(FakeLine& line) {
    int value = 0;
    return DrainOf(line, [&] { EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK); });
  }

  // Reopens port 1 so that the environment is read again.
  FakeLine& Reopen() {
    VexQ4ExitComm(1);
    return Open();
  }
};

TEST_F(QueryDrainTest, OnlyQueriesDrainOnTheShortQuietTime) {
  FakeLine& line = Open();
  EXPECT_EQ(QueryDrain(line), 101u);  // one empty read of the COM time-outs

  ASSERT_EQ(VexQ4SetQueryDrainTime(15), VEXQ4_OK);
  EXPECT_EQ(QueryDrain(line), 15u);
  char text[VEXQ4_USER_ID_SIZE] = {};
  EXPECT_EQ(DrainOf(line, [&] { VexQ4GetCameraID(1, text); }), 15u);
  EXPECT_EQ(DrainOf(line, [&] { VexQ4GetUserID(1, text); }), 15u);

  // Commands and the shading frame keep the standard drain (a command's
  // runs inside its 600 ms gap anyway).
  EXPECT_EQ(DrainOf(line, [&] { EXPECT_EQ(VexQ4SendCameraData(1, GA, 3), VEXQ4_OK); }), 101u);
  clock.now += 1000;
  EXPECT_EQ(DrainOf(line, [&] { EXPECT_EQ(VexQ4SetUserID(1, "cell 4"), VEXQ4_OK); }), 101u);
  int table[VEXQ4_SHADING_READ_INTS] = {};
  EXPECT_EQ(DrainOf(line, [&] { VexQ4GetShadingData(1, table); }), 101u);

  ASSERT_EQ(VexQ4SetQueryDrainTime(0), VEXQ4_OK);
  EXPECT_EQ(QueryDrain(line), 101u);
}

TEST_F(QueryDrainTest, ShortDrainStillEmptiesWhatIsPending) {
  FakeLine& line = Open();
  ASSERT_EQ(VexQ4SetQueryDrainTime(15), VEXQ4_OK);
  // 16 bytes of an old exchange, arriving 1 ms apart from now on.
  line.Send("SH=9\r\nCOMPLETE\r\n", 0);
  line.values["SH"] = "4";
  int value = 0;
  const std::uint32_t drain =
      DrainOf(line, [&] { EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK); });
  EXPECT_EQ(value, 4);
  EXPECT_EQ(drain, 15u + 15u);  // the last byte arrives at +15, then 15 ms of quiet
}

TEST_F(QueryDrainTest, LateAnswerAfterTheShortDrainIsNotTakenForTheNextQuery) {
  FakeLine& line = Open();
  ASSERT_EQ(VexQ4SetQueryDrainTime(15), VEXQ4_OK);
  line.values["GA"] = "77";
  line.values["SH"] = "8";
  // The GA answer comes 650 ms late: after its query gave up and after the
  // next query's short drain, but before that query's own answer.
  line.onLine = [&](std::string_view text) {
    if (text == "GA?\r\n") {
      line.Send("GA=77\r\n", 650);
    } else {
      line.Answer(text);
    }
  };
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 8);
  EXPECT_TRUE(line.incoming.empty());
}

// A line naming another setting is never the answer, with either drain:
// our own answer may be the one still on its way.
TEST_F(QueryDrainTest, LineNamingAnotherSettingIsNeverTheAnswerWithEitherDrain) {
  FakeLine& line = Open();
  std::string reply;
  line.onLine = [&](std::string_view) { line.Send(reply); };
  for (const int drain : {0, 15}) {
    SCOPED_TRACE("drain " + std::to_string(drain));
    ASSERT_EQ(VexQ4SetQueryDrainTime(drain), VEXQ4_OK);
    int value = 99;
    reply = "SH=42\r\n";
    EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
    reply = "SH=1\r\nBLR=2\r\nKPG=3\r\nWB=4\r\n";
    EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
    EXPECT_EQ(value, 99);
    reply = "SH=1\r\nBLR=2\r\nKPG=3\r\nGA=4\r\n";
    EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_OK);
    EXPECT_EQ(value, 4);
  }
}

TEST_F(QueryDrainTest, LateCompleteIsNeverTheNextCommandsAcknowledgement) {
  FakeLine& line = Open();
  ASSERT_EQ(VexQ4SetQueryDrainTime(15), VEXQ4_OK);
  // GA=1 is acknowledged 650 ms late; the camera refuses SC=9 at once.
  line.onLine = [&](std::string_view text) {
    if (text == "GA=1\r\n") {
      line.Send("COMPLETE\r\n", 650);
    } else if (text == "SC=9\r\n") {
      line.Send("ERROR\r\n");
    } else {
      line.Answer(text);
    }
  };
  // The command's own, standard drain takes the late line away: with the
  // short one it would have been SC=9's "acknowledgement".
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(VexQ4SendCameraData(1, SC, 9), VEXQ4_E_NOT_ACKNOWLEDGED);

  // Between two commands a query meets the late acknowledgement: it is no
  // answer to the query either.
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_E_TIMEOUT);
  int value = 5;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_MALFORMED);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(VexQ4SendCameraData(1, SC, 9), VEXQ4_E_NOT_ACKNOWLEDGED);
}

TEST_F(QueryDrainTest, EnvironmentIsReadWhenAConnectionOpens) {
  setenv("VEXQ4_QUERY_DRAIN_MS", "15", 1);
  FakeLine* line = &Open();
  EXPECT_EQ(QueryDrain(*line), 15u);
  setenv("VEXQ4_QUERY_DRAIN_MS", "30", 1);
  EXPECT_EQ(QueryDrain(*line), 15u);  // not before the next opening
  line = &Reopen();
  EXPECT_EQ(QueryDrain(*line), 30u);

  // The host's choice wins until it gives it back with -1.
  ASSERT_EQ(VexQ4SetQueryDrainTime(0), VEXQ4_OK);
  EXPECT_EQ(QueryDrain(*line), 101u);
  ASSERT_EQ(VexQ4SetQueryDrainTime(5), VEXQ4_OK);
  EXPECT_EQ(QueryDrain(*line), 5u);
  ASSERT_EQ(VexQ4SetQueryDrainTime(-1), VEXQ4_OK);
  EXPECT_EQ(QueryDrain(*line), 30u);

  // A value outside 1..100, or not a plain number, keeps the standard drain.
  for (const char* text : {"", "0", "101", "1000", "15ms", " 15", "-15", "+15", "0x0f", "0015"}) {
    SCOPED_TRACE(std::string("VEXQ4_QUERY_DRAIN_MS=\"") + text + "\"");
    setenv("VEXQ4_QUERY_DRAIN_MS", text, 1);
    line = &Reopen();
    EXPECT_EQ(QueryDrain(*line), 101u);
  }
  setenv("VEXQ4_QUERY_DRAIN_MS", "100", 1);
  line = &Reopen();
  EXPECT_EQ(QueryDrain(*line), 100u);
}

TEST_F(QueryDrainTest, RefusedValuesChangeNothing) {
  FakeLine& line = Open();
  ASSERT_EQ(VexQ4SetQueryDrainTime(20), VEXQ4_OK);
  for (int ms : {-2, 101, 600, -2147483647 - 1})
    EXPECT_EQ(VexQ4SetQueryDrainTime(ms), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(QueryDrain(line), 20u);
  ASSERT_EQ(VexQ4SetQueryDrainTime(100), VEXQ4_OK);
  ASSERT_EQ(VexQ4SetQueryDrainTime(1), VEXQ4_OK);
  EXPECT_EQ(QueryDrain(line), 1u);
}

}  // namespace
}  // namespace vexq4::test
