// The simulated camera driven byte by byte in virtual time: replies, areas,
// identity, the shading frame in both directions, faults and line timing.
#include "vexq4/sim/sim_camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace vexq4::sim {
namespace {

constexpr std::uint32_t kT0 = 1'000'000;

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

struct Reply {
  std::string text;
  std::vector<std::uint32_t> times;  // arrival time of each byte
};

// Everything the camera sends up to `until`.
Reply Collect(SimCamera& cam, std::uint32_t until = kT0 + 60'000) {
  Reply r;
  while (auto t = cam.NextByteTime()) {
    if (static_cast<std::int32_t>(*t - until) > 0) break;
    auto b = cam.PopByte(*t);
    if (!b) break;
    r.text.push_back(static_cast<char>(*b));
    r.times.push_back(*t);
  }
  return r;
}

std::string Ask(SimCamera& cam, std::string_view line, std::uint32_t at = kT0) {
  cam.Receive(Bytes(line), at);
  return Collect(cam, at + 60'000).text;
}

std::vector<std::uint8_t> Frame(const std::array<std::uint16_t, kShadingValues>& table) {
  std::vector<std::uint8_t> f = {'S', 'H', 'D', '=', 4, 0, 3, 0};
  for (auto v : table) {
    f.push_back(static_cast<std::uint8_t>(v >> 8));
    f.push_back(static_cast<std::uint8_t>(v));
  }
  const auto sum = ShadingChecksum(std::span<const std::uint8_t>(f).subspan(8));
  f.push_back(static_cast<std::uint8_t>(sum >> 8));
  f.push_back(static_cast<std::uint8_t>(sum));
  return f;
}

TEST(SimCamera, AnswersQueriesWithFactoryDefaultsAndIdentity) {
  SimCamera cam;
  EXPECT_EQ(Ask(cam, "SH?\r\n"), "SH=0\r\n");
  EXPECT_EQ(Ask(cam, "WB?\r\n"), "WB=1\r\n");
  EXPECT_EQ(Ask(cam, "WPB3?\r\n"), "WPB3=-30\r\n");
  for (const char* m : {"KSR", "KSG", "KSB"}) EXPECT_GE(cam.Value(m), 1) << m;
  EXPECT_EQ(Ask(cam, "ID?\r\n"), std::string("ID=") + kDefaultCameraId + "\r\n");
  EXPECT_EQ(Ask(cam, "MD?\r\n"), "MD=RX-Q4CL\r\n");
  EXPECT_EQ(Ask(cam, "UD?\r\n"), "UD=\r\n");
  EXPECT_EQ(Ask(cam, "VN?\r\n"), "VN=120\r\n");
  EXPECT_EQ(Ask(cam, "EA?\r\n"), "EA=0\r\n");
  // A lone LF ends a line too.
  EXPECT_EQ(Ask(cam, "GA?\n"), "GA=0\r\n");
}

TEST(SimCamera, CommandsAreAcknowledgedInBothShapes) {
  SimCamera cam;
  EXPECT_EQ(Ask(cam, "GA=-132\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(cam.Value("GA"), -132);
  cam.config().shape = ReplyShape::kEchoThenComplete;
  EXPECT_EQ(Ask(cam, "SH=4\r\n"), "SH=4\r\nCOMPLETE\r\n");
  EXPECT_EQ(Ask(cam, "SH?\r\n"), "SH=4\r\n");
  EXPECT_EQ(Ask(cam, "UD=LINE 7 a\r\n"), "UD=LINE 7 a\r\nCOMPLETE\r\n");
  EXPECT_EQ(cam.identity().userId, "LINE 7 a");
}

TEST(SimCamera, RefusesLinesItDoesNotTakeWithoutChangingState) {
  SimCamera cam;
  const std::vector<std::string> refused = {
      "\r\n",
      "XX?\r\n",
      "AW?\r\n",
      "ATSH?\r\n",
      "SA?\r\n",
      "ID=5\r\n",
      "VN=3\r\n",
      "GA=abc\r\n",
      "GA=\r\n",
      "GA=+5\r\n",
      "GA=5 \r\n",
      "ga=5\r\n",
      "GA=99999999999\r\n",
      "SH?x\r\n",
      "SHD?1,2\r\n",
      "UD=12345678901234567\r\n",
  };
  for (const auto& line : refused) {
    EXPECT_EQ(Ask(cam, line), kErrorReply) << line;
  }
  EXPECT_EQ(cam.Value("GA"), 0);
  EXPECT_EQ(cam.identity().userId, "");
  // Exactly 16 characters are accepted.
  EXPECT_EQ(Ask(cam, "UD=1234567890123456\r\n"), "COMPLETE\r\n");
}

TEST(SimCamera, OverlongLineIsRefusedAndTheNextLineWorks) {
  SimCamera cam;
  EXPECT_EQ(Ask(cam, std::string(500, 'A') + "\r\n"), kErrorReply);
  EXPECT_EQ(Ask(cam, "SH?\r\n"), "SH=0\r\n");
  ASSERT_EQ(cam.log().size(), 2u);
  EXPECT_LE(cam.log()[0].text.size(), 110u);
}

TEST(SimCamera, AreasStoreAndLoadWorkingSettings) {
  Config config;
  config.areas[3]["GA"] = 77;
  config.areas[0]["SH"] = 2;
  SimCamera cam(config);
  EXPECT_EQ(cam.AreaValue(3, "GA"), 77);
  EXPECT_EQ(cam.AreaValue(3, "KSR"), cam.AreaValue(0, "KSR"));  // others factory

  EXPECT_EQ(Ask(cam, "SA=0\r\n"), kErrorReply);  // factory area is read-only
  EXPECT_EQ(Ask(cam, "SA=4\r\n"), kErrorReply);
  EXPECT_EQ(Ask(cam, "LD=4\r\n"), kErrorReply);
  EXPECT_EQ(Ask(cam, "LD=-1\r\n"), kErrorReply);

  EXPECT_EQ(Ask(cam, "GA=100\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(Ask(cam, "SA=2\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(cam.AreaValue(2, "GA"), 100);
  EXPECT_EQ(Ask(cam, "EA?\r\n"), "EA=2\r\n");

  EXPECT_EQ(Ask(cam, "LD=3\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(Ask(cam, "GA?\r\n"), "GA=77\r\n");
  EXPECT_EQ(Ask(cam, "EA?\r\n"), "EA=3\r\n");
  EXPECT_EQ(Ask(cam, "LD=2\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(cam.Value("GA"), 100);
  EXPECT_EQ(Ask(cam, "LD=0\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(cam.Value("GA"), 0);
  EXPECT_EQ(cam.Value("SH"), 2);
}

TEST(SimCamera, WorkingSettingsStartFromTheCurrentAreaWithExplicitValuesOnTop) {
  Config config;
  config.identity.eepromArea = 1;
  config.areas[1]["GA"] = 50;
  config.areas[1]["BLR"] = 60;
  config.values["BLR"] = 61;
  SimCamera cam(config);
  EXPECT_EQ(cam.Value("GA"), 50);
  EXPECT_EQ(cam.Value("BLR"), 61);
  EXPECT_EQ(cam.Value("EA"), 1);
}

TEST(SimCamera, OnePushMeasuresGainsAndReportsItsResult) {
  SimCamera cam;
  EXPECT_EQ(Ask(cam, "AW=0\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(Ask(cam, "AWRS?\r\n"), "AWRS=0\r\n");
  EXPECT_EQ(cam.Value("GAR"), kOnePushRedGain);
  EXPECT_EQ(cam.Value("GAB"), kOnePushBlueGain);

  Config config;
  config.onePushResult = 2;  // "Too Dark": nothing measured
  SimCamera dark(config);
  EXPECT_EQ(Ask(dark, "AW=0\r\n"), "COMPLETE\r\n");
  EXPECT_EQ(Ask(dark, "AWRS?\r\n"), "AWRS=2\r\n");
  EXPECT_EQ(dark.Value("GAR"), 0);
}

TEST(ShadingChecksum, KnownValues) {
  EXPECT_EQ(ShadingChecksum(Bytes("abc")), 0x8BA3);
  const std::vector<std::uint8_t> zeros(1536, 0);
  EXPECT_EQ(ShadingChecksum(zeros), 0);
}

TEST(SimCamera, ShadingQueryAnswersTheWholeFrame) {
  SimCamera cam;
  cam.shadingTable()[0] = 0x1234;
  cam.shadingTable()[767] = 0xABCD;
  const std::string got = Ask(cam, "SHD?1024,768\r\n");
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kShadingFrameBytes));
  const std::vector<std::uint8_t> frame(got.begin(), got.end());
  EXPECT_EQ(frame, Frame(cam.shadingTable()));
  EXPECT_EQ(frame[8], 0x12);
  EXPECT_EQ(frame[9], 0x34);
  EXPECT_EQ(frame[1542], 0xAB);
}

TEST(SimCamera, ShadingUploadIsCheckedAndStored) {
  SimCamera cam;
  std::array<std::uint16_t, kShadingValues> table{};
  for (int i = 0; i < kShadingValues; ++i) table[i] = static_cast<std::uint16_t>(i * 85);
  table[5] = 0x0D0A;  // CR LF inside the frame is data
  std::vector<std::uint8_t> frame = Frame(table);

  // Byte by byte, as the host sends it, ~1 ms apart.
  std::uint32_t t = kT0;
  for (auto b : frame) cam.Receive(std::span(&b, 1), t++);
  EXPECT_EQ(Collect(cam).text, "COMPLETE\r\n");
  EXPECT_EQ(cam.shadingTable(), table);
  EXPECT_EQ(cam.log().back().text, "<SHD frame>");

  frame[200] ^= 0x10;  // the checksum no longer matches
  cam.Receive(frame, t);
  EXPECT_EQ(Collect(cam).text, kErrorReply);
  EXPECT_EQ(cam.shadingTable(), table);
}

TEST(SimCamera, ShortShadingUploadIsDroppedAfterAGap) {
  SimCamera cam;
  const auto before = cam.shadingTable();
  std::vector<std::uint8_t> frame = Frame({});
  frame.resize(900);
  cam.Receive(frame, kT0);
  EXPECT_EQ(cam.PendingBytes(), 0u);
  // 400 ms later the frame is still open and takes the bytes as data...
  cam.Receive(Bytes("X"), kT0 + 400);
  // ...but after a 600 ms gap the parser is back on lines.
  EXPECT_EQ(Ask(cam, "SH?\r\n", kT0 + 1000), "SH=0\r\n");
  EXPECT_EQ(cam.shadingTable(), before);
  ASSERT_GE(cam.log().size(), 2u);
  EXPECT_NE(cam.log()[0].text.find("dropped"), std::string::npos);
}

TEST(SimCamera, AutoShadingIsAcknowledgedAfterItsComputingTime) {
  Config config;
  config.autoShadingMs = 7000;
  SimCamera cam(config);
  const auto flat = cam.shadingTable();
  cam.Receive(Bytes("ATSH=0\r\n"), kT0);
  ASSERT_TRUE(cam.NextByteTime());
  EXPECT_GE(*cam.NextByteTime(), kT0 + 7000);
  EXPECT_LT(*cam.NextByteTime(), kT0 + 7020);
  EXPECT_EQ(Collect(cam).text, "COMPLETE\r\n");
  EXPECT_NE(cam.shadingTable(), flat);
}

TEST(SimCamera, RepliesArePacedAt9600BaudAfterTheLatency) {
  SimCamera cam;  // 5 ms latency
  cam.Receive(Bytes("SH?\r\n"), kT0);
  const Reply r = Collect(cam);
  ASSERT_EQ(r.text, "SH=0\r\n");
  EXPECT_EQ(r.times.front(), kT0 + 7);  // 5 + 1.04, rounded up
  EXPECT_EQ(r.times.back(), kT0 + 12);  // 5 + 6 * 1.0417 = 11.25

  // A whole frame: 1546 bytes take 1610.4 ms, without drift.
  cam.Receive(Bytes("SHD?1024,768\r\n"), kT0 + 100);
  const Reply f = Collect(cam);
  ASSERT_EQ(f.times.size(), 1546u);
  EXPECT_EQ(f.times.back(), kT0 + 100 + 5 + 1611);

  // Without pacing every byte is there after the latency; a late camera
  // adds its delay.
  cam.config().paceAt9600 = false;
  cam.faults().lateReplyMs = 300;
  cam.Receive(Bytes("SH?\r\n"), kT0 + 5000);
  const Reply late = Collect(cam);
  EXPECT_EQ(late.times.front(), kT0 + 5305);
  EXPECT_EQ(late.times.back(), kT0 + 5305);
}

TEST(SimCamera, SpreadLatenessAndChanceRefusalsVaryButRepeat) {
  // Each answer 0..700 ms late (after 5 ms latency and 6 ms crossing);
  // about one command in three refused.
  const auto run = [] {
    SimCamera cam;
    cam.config().paceAt9600 = false;
    cam.faults().lateReplySpreadMs = 700;
    cam.faults().rejectOneIn = 3;
    std::vector<std::uint32_t> late;
    int refused = 0;
    for (std::uint32_t i = 0; i < 60; ++i) {
      const std::uint32_t at = kT0 + i * 2000;
      cam.Receive(Bytes("SH?\r\n"), at);
      const Reply r = Collect(cam, at + 1000);
      EXPECT_EQ(r.text, "SH=0\r\n");
      if (!r.times.empty()) late.push_back(r.times.front() - at - 5);
      cam.Receive(Bytes("GA=1\r\n"), at + 1000);
      refused += Collect(cam, at + 2000).text == kErrorReply;
    }
    return std::pair(late, refused);
  };
  const auto [late, refused] = run();
  ASSERT_EQ(late.size(), 60u);
  EXPECT_LE(*std::max_element(late.begin(), late.end()), 700u);
  EXPECT_GE(*std::max_element(late.begin(), late.end()), 600u);  // some after a time-out
  EXPECT_LE(*std::min_element(late.begin(), late.end()), 100u);  // some at once
  EXPECT_GT(refused, 5);
  EXPECT_LT(refused, 40);
  EXPECT_EQ(run(), std::pair(late, refused));  // the same run again
}

TEST(SimCamera, ReplyTimesSurviveTheTickCountWrap) {
  SimCamera cam;
  const std::uint32_t t = 0xFFFFFFFFu - 3;
  cam.Receive(Bytes("SH?\r\n"), t);
  const Reply r = Collect(cam, t + 100);
  EXPECT_EQ(r.text, "SH=0\r\n");
  EXPECT_EQ(r.times.back(), t + 12);  // wrapped past zero
}

TEST(SimCamera, LineFaults) {
  SimCamera cam;
  cam.faults().silent = true;
  EXPECT_EQ(Ask(cam, "GA=5\r\n"), "");
  EXPECT_EQ(cam.Value("GA"), 0);
  EXPECT_EQ(cam.log().size(), 1u);  // still logged
  cam.faults() = {};

  cam.faults().garble = true;
  const std::string garbled = Ask(cam, "GA=5\r\n");
  ASSERT_EQ(garbled.size(), 10u);
  EXPECT_TRUE(garbled.ends_with("\r\n"));
  EXPECT_EQ(garbled.find_first_of("=?COMPLETE"), std::string::npos);
  cam.faults() = {};

  cam.faults().truncate = true;
  EXPECT_EQ(Ask(cam, "SH?\r\n"), "SH=0");
  cam.faults() = {};

  cam.faults().echoQuery = true;
  EXPECT_EQ(Ask(cam, "SH?\r\n"), "SH?\r\nSH=0\r\n");
  cam.faults() = {};

  cam.faults().overlongLine = true;
  const std::string longLine = Ask(cam, "SH?\r\n");
  EXPECT_EQ(longLine.size(), 150u);
  EXPECT_EQ(longLine.find('\n'), std::string::npos);
  cam.faults() = {};

  cam.faults().rejectCommands = true;
  EXPECT_EQ(Ask(cam, "GA=9\r\n"), kErrorReply);
  EXPECT_EQ(cam.Value("GA"), 5);
  EXPECT_EQ(Ask(cam, "GA?\r\n"), "GA=5\r\n");  // queries still answered
}

TEST(SimCamera, ShadingFrameFaults) {
  SimCamera cam;
  const std::vector<std::uint8_t> good = Frame(cam.shadingTable());
  cam.faults().corruptShading = true;
  const std::string bad = Ask(cam, "SHD?1024,768\r\n");
  ASSERT_EQ(bad.size(), good.size());
  const std::vector<std::uint8_t> badBytes(bad.begin(), bad.end());
  const auto sum = ShadingChecksum(std::span(badBytes).subspan(8, 1536));
  EXPECT_NE(sum, (badBytes[1544] << 8) | badBytes[1545]);
  cam.faults() = {};

  cam.faults().shortShading = true;
  EXPECT_EQ(Ask(cam, "SHD?1024,768\r\n").size(), 1000u);
}

}  // namespace
}  // namespace vexq4::sim
