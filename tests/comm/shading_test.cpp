// The binary shading frame: checksum, layout both ways, failures that must
// leave the caller's table alone.
#include "../../comm/src/shading.h"

#include <cstdint>
#include <string>
#include <vector>

#include "comm_fixture.h"

namespace vexq4::test {
namespace {

using comm::ShadingCrc;

std::uint16_t Crc(std::string_view text) {
  return ShadingCrc(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// A frame as the camera sends it, built independently of the library.
std::string CameraFrame(const std::vector<std::uint16_t>& table) {
  std::string frame = "SHD=";
  frame += {'\x04', '\x00', '\x03', '\x00'};
  for (const std::uint16_t v : table) {
    frame += static_cast<char>(v >> 8);
    frame += static_cast<char>(v & 0xFF);
  }
  const std::uint16_t crc = Crc(std::string_view(frame).substr(8));
  frame += static_cast<char>(crc >> 8);
  frame += static_cast<char>(crc & 0xFF);
  return frame;
}

std::vector<std::uint16_t> SampleTable() {
  std::vector<std::uint16_t> table(768);
  for (int i = 0; i < 768; ++i) table[i] = static_cast<std::uint16_t>(0x0D0A + i * 37);
  return table;
}

class ShadingTest : public CommTest {
 protected:
  // Answers the shading query with `frame`; every other line as usual.
  void ServeFrame(FakeLine& line, const std::string& frame) {
    line.onLine = [&line, frame](std::string_view text) {
      if (text == "SHD?1024,768\r\n") {
        line.Send(frame, 50);
      } else {
        line.Answer(text);
      }
    };
  }
  // Takes an upload: acknowledges the empty line and then the whole frame.
  void AcceptUpload(FakeLine& line) {
    line.onBytes = [this, &line](std::span<const std::uint8_t> bytes) {
      received.append(bytes.begin(), bytes.end());
      if (received == "\r\n") {
        received.clear();
        line.Send("COMPLETE\r\n");
      } else if (received.size() == 1546) {
        line.Send("SHD=OK\r\nCOMPLETE\r\n", 20);
      }
    };
  }
  std::string received;
};

TEST_F(ShadingTest, ChecksumIsTheShiftRegisterCode) {
  EXPECT_EQ(Crc("abc"), 0x8BA3);
  EXPECT_EQ(Crc(std::string(1536, '\0')), 0);
  EXPECT_EQ(Crc(""), 0);
  EXPECT_NE(Crc("abd"), Crc("abc"));
}

TEST_F(ShadingTest, ReadFillsTheArrayAsLaidOut) {
  FakeLine& line = Open();
  const auto table = SampleTable();
  const std::string frame = CameraFrame(table);
  ServeFrame(line, frame);
  std::vector<int> values(1546, -7);
  ASSERT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_OK);
  EXPECT_EQ(line.writes[0].bytes, "SHD?1024,768\r\n");
  EXPECT_EQ(values[0], 1024);
  EXPECT_EQ(values[1], 768);
  for (int i = 0; i < 768; ++i) ASSERT_EQ(values[2 + i], table[i]) << i;
  EXPECT_EQ(values[770],
            (static_cast<std::uint8_t>(frame[1544]) << 8) | static_cast<std::uint8_t>(frame[1545]));
  for (int i = 771; i < 1546; ++i) ASSERT_EQ(values[i], 0) << i;

  // All-zero values with a zero checksum are a valid frame.
  ServeFrame(line, CameraFrame(std::vector<std::uint16_t>(768, 0)));
  EXPECT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_OK);
  EXPECT_EQ(values[2], 0);
}

TEST_F(ShadingTest, BadOrShortFramesLeaveTheCallersArrayAlone) {
  FakeLine& line = Open();
  std::string frame = CameraFrame(SampleTable());
  frame[500] ^= 0x01;
  ServeFrame(line, frame);
  std::vector<int> values(1546, -7);
  EXPECT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_E_NOT_ACKNOWLEDGED);
  ServeFrame(line, CameraFrame(SampleTable()).substr(0, 1000));
  EXPECT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_E_NOT_ACKNOWLEDGED);
  EXPECT_EQ(values, std::vector<int>(1546, -7));
  EXPECT_EQ(VexQ4GetShadingData(1, nullptr), VEXQ4_E_ARGUMENT);
}

TEST_F(ShadingTest, SilentCameraEndsAfterOneBoundedReadPerByte) {
  FakeLine& line = Open();
  line.silent = true;
  std::vector<int> values(1546, -7);
  const std::uint32_t start = clock.now;
  EXPECT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_E_NOT_ACKNOWLEDGED);
  const std::uint32_t took = clock.now - start;
  // The query, 1 s pause, then 1546 reads of about 101 ms each.
  EXPECT_GE(took, 1000u + 1546u * 101u);
  EXPECT_LE(took, 1000u + 1548u * 101u);
  EXPECT_EQ(values[0], -7);
}

TEST_F(ShadingTest, SendWritesTheFrameByteByByte) {
  FakeLine& line = Open();
  AcceptUpload(line);
  std::vector<int> table(768, 0);
  table[0] = 0x12345;
  table[767] = -1;
  ASSERT_EQ(VexQ4SendShadingData(1, table.data()), VEXQ4_OK);
  ASSERT_EQ(received.size(), 1546u);
  EXPECT_EQ(received.substr(0, 8), std::string("SHD=\x04\x00\x03\x00", 8));
  EXPECT_EQ(static_cast<std::uint8_t>(received[8]), 0x23);
  EXPECT_EQ(static_cast<std::uint8_t>(received[9]), 0x45);
  EXPECT_EQ(static_cast<std::uint8_t>(received[1542]), 0xFF);
  EXPECT_EQ(static_cast<std::uint8_t>(received[1543]), 0xFF);
  const std::uint16_t crc = Crc(std::string_view(received).substr(8, 1536));
  EXPECT_EQ(static_cast<std::uint8_t>(received[1544]), crc >> 8);
  EXPECT_EQ(static_cast<std::uint8_t>(received[1545]), crc & 0xFF);

  // The empty line first, then one write and one drain per frame byte,
  // starting no sooner than the gap after the empty line's acknowledgement.
  ASSERT_EQ(line.writes.size(), 1u + 1546u);
  EXPECT_EQ(line.writes[0].bytes, "\r\n");
  EXPECT_EQ(line.drains, 1546);
  EXPECT_GE(line.writes[1].timeMs - line.writes[0].timeMs, 600u);
}

TEST_F(ShadingTest, ZeroTableEndsWithZeroChecksum) {
  FakeLine& line = Open();
  AcceptUpload(line);
  std::vector<int> table(768, 0);
  ASSERT_EQ(VexQ4SendShadingData(1, table.data()), VEXQ4_OK);
  EXPECT_EQ(received, CameraFrame(std::vector<std::uint16_t>(768, 0)));
}

TEST_F(ShadingTest, ReadThenSendReproducesTheCamerasFrame) {
  FakeLine& line = Open();
  const std::string frame = CameraFrame(SampleTable());
  ServeFrame(line, frame);
  std::vector<int> values(1546);
  ASSERT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_OK);
  AcceptUpload(line);
  ASSERT_EQ(VexQ4SendShadingData(1, values.data() + 2), VEXQ4_OK);
  EXPECT_EQ(received, frame);
}

TEST_F(ShadingTest, ReadTakesExactlyOneReadPerFrameByte) {
  FakeLine& line = Open();
  // Bytes after the frame are not part of it and are not read.
  ServeFrame(line, CameraFrame(SampleTable()) + "\r\nEXTRA");
  std::vector<int> values(1546);
  line.reads = 0;
  ASSERT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_OK);
  // One empty read ends the drain before the query.
  EXPECT_EQ(line.reads, 1 + 1546);
  EXPECT_EQ(line.incoming.size(), 7u);
}

TEST_F(ShadingTest, UploadIgnoresTheEmptyLineAndCountsAsACommand) {
  FakeLine& line = Open();
  AcceptUpload(line);
  // A camera that does not answer the empty line still takes the frame.
  line.onBytes = [this, &line](std::span<const std::uint8_t> bytes) {
    received.append(bytes.begin(), bytes.end());
    if (received == "\r\n") received.clear();
    if (received.size() == 1546) line.Send("COMPLETE\r\n", 2);
  };
  std::vector<int> table(768, 3);
  ASSERT_EQ(VexQ4SendShadingData(1, table.data()), VEXQ4_OK);
  ASSERT_EQ(received.size(), 1546u);
  // The acknowledgement is read only after the 1 s pause.
  EXPECT_GE(clock.now - line.writes.back().timeMs, 1000u);

  // The acknowledged upload starts the gap for the next command.
  const std::uint32_t ack = clock.now;
  line.onBytes = nullptr;
  ASSERT_EQ(VexQ4SendCameraData(1, GA, 1), VEXQ4_OK);
  EXPECT_GE(line.writes.back().timeMs - ack, 600u);
}

TEST_F(ShadingTest, InterruptedOrUnacknowledgedUploads) {
  FakeLine& line = Open();
  AcceptUpload(line);
  line.failAfterBytes = 2 + 700;  // the empty line, then 700 frame bytes
  std::vector<int> table(768, 1);
  EXPECT_EQ(VexQ4SendShadingData(1, table.data()), VEXQ4_E_NOT_ACKNOWLEDGED);
  EXPECT_EQ(received.size(), 700u);

  line.failAfterBytes = -1;
  received.clear();
  line.onBytes = [](std::span<const std::uint8_t>) {};  // never acknowledged
  EXPECT_EQ(VexQ4SendShadingData(1, table.data()), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(VexQ4SendShadingData(1, nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4SendShadingData(3, table.data()), VEXQ4_E_NO_CONNECTION);
}

TEST_F(ShadingTest, AStoppedPortEndsItsFrameAtOnceAndOthersGoOn) {
  FakeLine& line = Open(1);
  FakeLine& other = Open(2);
  std::vector<int> table(768, 1);
  // Stopped after 300 frame bytes: nothing more goes out, no pause, no
  // acknowledgement awaited.
  AcceptUpload(line);
  line.onBytes = [this, accept = line.onBytes](std::span<const std::uint8_t> bytes) {
    accept(bytes);
    if (received.size() == 300) VexQ4StopShadingTransfer(1, 1);
  };
  std::uint32_t start = clock.now;
  EXPECT_EQ(VexQ4SendShadingData(1, table.data()), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(received.size(), 300u);
  EXPECT_LT(clock.now - start, 1000u + 300u);  // the gap and the bytes, not the pause

  // A read stopped while the camera prepares its frame: the pause ends, no
  // byte of the frame is waited for, and the caller's array stays.
  line.onBytes = nullptr;
  ServeFrame(line, CameraFrame(SampleTable()));
  VexQ4StopShadingTransfer(1, 0);
  const auto serve = line.onLine;
  line.onLine = [serve](std::string_view text) {
    serve(text);
    if (text == "SHD?1024,768\r\n") VexQ4StopShadingTransfer(1, 1);
  };
  std::vector<int> values(1546, -7);
  start = clock.now;
  EXPECT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_E_TIMEOUT);
  EXPECT_LT(clock.now - start, 1000u);
  EXPECT_EQ(values[0], -7);

  // Until cleared, a transfer on the port sends nothing; other ports and
  // other exchanges go on.
  line.writes.clear();
  EXPECT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_E_TIMEOUT);
  EXPECT_TRUE(line.writes.empty());
  int shutter = -1;
  EXPECT_EQ(VexQ4GetCameraData(1, SH, &shutter), VEXQ4_OK);
  ServeFrame(other, CameraFrame(SampleTable()));
  EXPECT_EQ(VexQ4GetShadingData(2, values.data()), VEXQ4_OK);
  VexQ4StopShadingTransfer(1, 0);
  line.onLine = serve;
  EXPECT_EQ(VexQ4GetShadingData(1, values.data()), VEXQ4_OK);

  EXPECT_EQ(VexQ4StopShadingTransfer(255, 1), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4StopShadingTransfer(-1, 0), VEXQ4_E_ARGUMENT);
}

}  // namespace
}  // namespace vexq4::test
