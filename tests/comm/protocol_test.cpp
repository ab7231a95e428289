// The line protocol on a fake COM port: wire bytes, reply parsing, the
// command gap and the reply time-outs, in virtual time.
#include <climits>
#include <initializer_list>
#include <string>
#include <utility>

#include "comm_fixture.h"

namespace vexq4::test {
namespace {

using ProtocolTest = CommTest;

TEST_F(ProtocolTest, QueriesAndCommandsGoOutExactly) {
  FakeLine& line = Open();
  line.values["WPB2"] = "7";
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, WPB2, &value), VEXQ4_OK);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(VexQ4GetCameraData(1, WPB3, &value), VEXQ4_OK);
  EXPECT_EQ(VexQ4GetCameraData(1, CBAR, &value), VEXQ4_OK);
  EXPECT_EQ(VexQ4SendCameraData(1, GA, -132), VEXQ4_OK);
  EXPECT_EQ(VexQ4SendCameraData(1, WPB3, INT_MIN), VEXQ4_OK);
  EXPECT_EQ(VexQ4SendCameraData(1, AW, 0), VEXQ4_OK);
  ASSERT_EQ(line.writes.size(), 6u);
  EXPECT_EQ(line.writes[0].bytes, "WPB2?\r\n");
  EXPECT_EQ(line.writes[1].bytes, "WPB3?\r\n");
  EXPECT_EQ(line.writes[2].bytes, "CBAR?\r\n");
  EXPECT_EQ(line.writes[3].bytes, "GA=-132\r\n");
  EXPECT_EQ(line.writes[4].bytes, "WPB3=-2147483648\r\n");
  EXPECT_EQ(line.writes[5].bytes, "AW=0\r\n");
}

TEST_F(ProtocolTest, CodesWithoutTheFormAreRejectedBeforeAnythingIsWritten) {
  FakeLine& line = Open();
  int value = 42;
  for (unsigned code : {39u, 48u, 7u, 55u, 36u, 37u, 38u, 1000u}) {
    EXPECT_EQ(VexQ4GetCameraData(1, code, &value), VEXQ4_E_ARGUMENT) << code;
  }
  for (unsigned code : {42u, 36u, 37u, 38u, 43u, 45u, 9u, 55u}) {
    EXPECT_EQ(VexQ4SendCameraData(1, code, 1), VEXQ4_E_ARGUMENT) << code;
  }
  EXPECT_EQ(VexQ4GetCameraData(1, SH, nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(value, 42);
  EXPECT_TRUE(line.writes.empty());
}

// The camera's mnemonic of every code, "" where the code is unassigned.
constexpr const char* kMnemonics[55] = {
    "EB",  "SC",   "TR",  "SH",  "TP",   "SL",   "RF",   "",     "CBAR", "",     "",
    "KN",  "GA",   "SA",  "LD",  "SM",   "PE",   "",     "",     "TI",   "LS",   "BA",
    "BI",  "GAB",  "BLB", "PER", "PEG",  "PEB",  "KPB",  "KSR",  "GAR",  "BL",   "BLR",
    "KPG", "KPR",  "WB",  "ID",  "MD",   "UD",   "AW",   "KSG",  "KSB",  "VN",   "EA",
    "BLG", "AWRS", "SDM", "WA",  "ATSH", "WPR1", "WPB1", "WPR2", "WPB2", "WPR3", "WPB3"};

bool InRanges(unsigned code, std::initializer_list<std::pair<unsigned, unsigned>> ranges) {
  for (const auto& [low, high] : ranges) {
    if (code >= low && code <= high) return true;
  }
  return false;
}

TEST_F(ProtocolTest, EachCodeIsAcceptedExactlyByItsFormsAndNamesItsMnemonic) {
  FakeLine& line = Open();
  for (unsigned code = 0; code <= 56; ++code) {
    const bool query = InRanges(code, {{0, 6}, {8, 8}, {11, 16}, {19, 35}, {40, 47}, {49, 54}});
    const bool set =
        InRanges(code, {{0, 6}, {8, 8}, {11, 16}, {19, 35}, {39, 41}, {44, 44}, {46, 54}});
    line.writes.clear();
    int value = -99;
    const int got = VexQ4GetCameraData(1, code, &value);
    if (query) {
      EXPECT_EQ(got, VEXQ4_OK) << code;
      ASSERT_EQ(line.writes.size(), 1u) << code;
      EXPECT_EQ(line.writes[0].bytes, std::string(kMnemonics[code]) + "?\r\n") << code;
    } else {
      EXPECT_EQ(got, VEXQ4_E_ARGUMENT) << code;
      EXPECT_EQ(value, -99) << code;
      EXPECT_TRUE(line.writes.empty()) << code;
    }

    line.writes.clear();
    const int sent = VexQ4SendCameraData(1, code, 5);
    if (set) {
      EXPECT_EQ(sent, VEXQ4_OK) << code;
      ASSERT_EQ(line.writes.size(), 1u) << code;
      EXPECT_EQ(line.writes[0].bytes, std::string(kMnemonics[code]) + "=5\r\n") << code;
    } else {
      EXPECT_EQ(sent, VEXQ4_E_ARGUMENT) << code;
      EXPECT_TRUE(line.writes.empty()) << code;
    }
  }
}

TEST_F(ProtocolTest, ValueTextIsParsedAsTheCameraMeansIt) {
  FakeLine& line = Open();
  const std::pair<const char*, int> cases[] = {
      {"12abc", 12},
      {"", 0},
      {"abc", 0},
      {"  -42", -42},
      {"+7", 7},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
  };
  for (const auto& [text, expected] : cases) {
    line.values["SH"] = text;
    int value = 1234;
    EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK) << text;
    EXPECT_EQ(value, expected) << text;
  }
}

// A query's answer names the query's own setting: a line naming another
// one (a late answer to an earlier query) is skipped, also when it is the
// only line, and the wait for the answer is not started again by it.
TEST_F(ProtocolTest, AnswerNamingAnotherSettingIsNeverTaken) {
  FakeLine& line = Open();
  std::string reply;
  line.onLine = [&](std::string_view) { line.Send(reply); };
  int value = 99;

  reply = "GA=77\r\nSH=3\r\n";  // a late "GA=" first, then the answer
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 3);

  value = 99;
  reply = "SH=42\r\n";  // the only line
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
  reply = "GAR=1\r\nGAB=2\r\n G=3\r\nga=4\r\n=5\r\n";  // near misses
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(value, 99);
  reply = "SH=1\r\nBLR=2\r\nKPG=3\r\nWB=4\r\nSC=5\r\nGA=6\r\n";
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 6);

  // Lines of other settings trickling in keep nobody waiting longer than
  // the drain (an empty read of 101 ms) and the one reply time-out.
  line.onLine = [&](std::string_view) {
    for (int i = 1; i <= 10; ++i) line.Send("SH=" + std::to_string(i) + "\r\n", 100 * i);
  };
  const std::uint32_t start = vexq4::platform::TickCount();
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
  EXPECT_LE(vexq4::platform::TickCount() - start, 101u + 600u + 5u);
}

TEST_F(ProtocolTest, QueryRepliesOfOddShape) {
  FakeLine& line = Open();
  std::string reply;
  line.onLine = [&](std::string_view) { line.Send(reply); };
  int value = 99;

  reply = "SH?\r\nSH=5\r\n";  // the camera echoes the query first
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 5);

  value = 99;
  reply = "GAB?\r\nGAB=-7\r\n";  // the echo of our own line, whatever its length
  EXPECT_EQ(VexQ4GetCameraData(1, GAB, &value), VEXQ4_OK);
  EXPECT_EQ(value, -7);
  value = 99;
  reply = "GAB?\r\n";  // an echo and nothing after it
  EXPECT_EQ(VexQ4GetCameraData(1, GAB, &value), VEXQ4_E_TIMEOUT);
  reply = "GAB?\r\n";  // not our line, third byte not '?': a reply without '='
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_MALFORMED);
  reply = "SH5\r\n";
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_MALFORMED);
  reply = "SH=5";  // never completed
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  reply = std::string(150, 'A') + "SH=5\r\n";  // longer than the line buffer
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  reply = std::string(98, 'A') + "\r\n";  // one byte too long with its NUL
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  reply.clear();
  for (int i = 0; i < 60; ++i) reply += "SH?\r\n";  // echoes without end
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(value, 99);

  reply = "SH=" + std::string(90, '1') + "\r\n";  // longest line that fits
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, INT_MAX);
}

// A bare CR LF does not end a line: an empty line before the answer comes
// as the front of the answer's own line, and the answer is still known by
// the setting it names. Two CR LF in a row do end a line, an empty one.
TEST_F(ProtocolTest, EmptyLineBeforeTheAnswer) {
  FakeLine& line = Open();
  std::string reply;
  line.onLine = [&](std::string_view) { line.Send(reply); };
  int value = 99;

  reply = "\r\nSH=6\r\n";
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 6);
  reply = "\r\nSH=\r\n";
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 0);
  reply = "\r\nGA=77\r\n\r\nSH=4\r\n";  // another setting's line is still skipped
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 4);
  reply = "\r\nGA=77\r\n";
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  reply = "\r\nSH=" + std::string(92, '1') + "\r\n";  // the CR LF counts in the 100 bytes
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  reply = "\r\nSH=" + std::string(93, '1') + "\r\n";
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);

  value = 99;
  reply = "\r\n\r\nSH=6\r\n";  // an empty line of its own, without "="
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_MALFORMED);
  reply = "\r\nSH?\r\nSH=6\r\n";  // third byte not '?': no echo, no "="
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_MALFORMED);
  EXPECT_EQ(value, 99);

  reply = "\r\nCOMPLETE\r\n";
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_OK);
  reply = "\r\nGA=1\r\nCOMPLETE\r\n";
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_OK);
}

TEST_F(ProtocolTest, LateBytesOfAFailedReplyAreDrainedBeforeTheNextQuery) {
  FakeLine& line = Open();
  line.onLine = [&](std::string_view) { line.Send("SH=3\r\n", 700); };
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_E_TIMEOUT);
  line.onLine = [&](std::string_view text) { line.Answer(text); };
  line.values["SH"] = "8";
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_EQ(value, 8);
}

TEST_F(ProtocolTest, CommandAcknowledgements) {
  FakeLine& line = Open();
  std::string reply;
  line.onLine = [&](std::string_view) { line.Send(reply); };
  reply = "GA=100\r\nCOMPLETE\r\n";
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 100), VEXQ4_OK);
  reply = "COMPLETE\r\n";
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 100), VEXQ4_OK);
  reply = "ERROR\r\n";
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 100), VEXQ4_E_NOT_ACKNOWLEDGED);
  reply = "GA=100\r\nERROR\r\n";
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 100), VEXQ4_E_NOT_ACKNOWLEDGED);
  reply = "GA=100\r\n";  // echo, then silence
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 100), VEXQ4_E_TIMEOUT);
  line.failWrites = true;
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 100), VEXQ4_E_NOT_ACKNOWLEDGED);
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_NOT_ACKNOWLEDGED);
}

TEST_F(ProtocolTest, CommandsKeepTheirGapFromTheLastAcknowledgement) {
  FakeLine& line = Open();
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_OK);
  const std::uint32_t ack = clock.now;

  // A query right after a command is not held back by the gap.
  int value = 0;
  ASSERT_EQ(VexQ4GetCameraData(1, SH, &value), VEXQ4_OK);
  EXPECT_LT(line.writes[1].timeMs - ack, 200u);

  ASSERT_EQ(VexQ4SendCameraData(1, GA, 2), VEXQ4_OK);
  const std::uint32_t gap = line.writes[2].timeMs - ack;
  EXPECT_GE(gap, 600u);
  EXPECT_LE(gap, 602u);

  // A failed command does not count as acknowledged.
  const std::uint32_t secondAck = clock.now;
  line.silent = true;
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 3), VEXQ4_E_TIMEOUT);
  line.silent = false;
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 4), VEXQ4_OK);
  EXPECT_GE(line.writes[3].timeMs - secondAck, 600u);
  EXPECT_LT(line.writes[4].timeMs - line.writes[3].timeMs, 900u);
}

TEST_F(ProtocolTest, GapCoversTheWholeTickOfTheAcknowledgement) {
  // The acknowledgement may arrive at the end of its millisecond tick; the
  // next command must still be a full 600 ms later in real time.
  FakeLine& line = Open();
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_OK);
  const std::uint32_t ack = clock.now;
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 2), VEXQ4_OK);
  EXPECT_GE(line.writes[1].timeMs - ack, 601u);
}

TEST_F(ProtocolTest, GapSurvivesTheTickCounterWrapping) {
  clock.now = 0xFFFFFF00u;
  FakeLine& line = Open();
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_OK);
  const std::uint32_t ack = clock.now;
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 2), VEXQ4_OK);
  const std::uint32_t gap = line.writes[1].timeMs - ack;
  EXPECT_GE(gap, 600u);
  EXPECT_LE(gap, 602u);
}

TEST_F(ProtocolTest, AutoShadingWaitsTenSecondsOtherCommandsSixHundredMilliseconds) {
  FakeLine& line = Open();
  line.silent = true;
  std::uint32_t start = clock.now;
  EXPECT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_E_TIMEOUT);
  std::uint32_t waited = clock.now - line.writes.back().timeMs;
  EXPECT_GE(waited, 600u);
  EXPECT_LT(waited, 800u);

  start = clock.now;
  EXPECT_EQ(VexQ4SendCameraData(1, ATSH, 0), VEXQ4_E_TIMEOUT);
  waited = clock.now - line.writes.back().timeMs;
  EXPECT_GE(waited, 10000u);
  EXPECT_LT(waited, 10200u);
  EXPECT_EQ(line.writes.back().bytes, "ATSH=0\r\n");

  // A camera that finishes auto shading after 8 s is heard.
  line.silent = false;
  line.onLine = [&](std::string_view) { line.Send("COMPLETE\r\n", 8000); };
  EXPECT_EQ(VexQ4SendCameraData(1, ATSH, 0), VEXQ4_OK);
  (void)start;
}

// The reply is awaited for the whole time left in one wait (not in
// read-and-sleep steps): a silent camera's time-out is exact, and a late
// answer is read by the wait already under way.
TEST_F(ProtocolTest, EachWaitIsOneWaitForTheTimeLeft) {
  FakeLine& line = Open();
  line.silent = true;
  line.reads = 0;
  int value = 0;
  EXPECT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(clock.now - line.writes.back().timeMs, 600u);
  EXPECT_EQ(line.reads, 2);  // the drain's empty read, then the reply's

  // An answer that starts late is read from the wait already under way.
  line.silent = false;
  line.onLine = [&](std::string_view) { line.Send("GA=5\r\n", 450); };
  line.reads = 0;
  ASSERT_EQ(VexQ4GetCameraData(1, GA, &value), VEXQ4_OK);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(line.reads, 1 + 6);  // the drain, then one read per byte
}

TEST_F(ProtocolTest, TransactionsOnPortsWithoutConnection) {
  int value = 5;
  EXPECT_EQ(VexQ4GetCameraData(2, SH, &value), VEXQ4_E_NO_CONNECTION);
  EXPECT_EQ(VexQ4SendCameraData(2, SH, 1), VEXQ4_E_NO_CONNECTION);
  EXPECT_EQ(VexQ4GetCameraData(255, SH, &value), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4SendCameraData(-1, SH, 1), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(value, 5);
  EXPECT_TRUE(openedPorts.empty());
}

}  // namespace
}  // namespace vexq4::test
