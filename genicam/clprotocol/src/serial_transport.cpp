#include "serial_transport.h"

#include <vector>

#include "vexq4/platform/clock.h"

namespace vexq4::clprotocol {
namespace {

// The Camera Link serial interface's write time-out the library uses for
// the grabbers' own libraries too (comm/src/cameralink.cpp).
constexpr CLUINT32 kWriteTimeoutMs = 600;
// A flooding line must not hold a drain forever (as on every transport).
constexpr int kMaxDrainBytes = 4096;

}  // namespace

bool SerialTransport::WriteBlock(std::span<const std::uint8_t> bytes) {
  ISerial* serial = serial_.load();
  if (!serial || bytes.empty() || bytes.size() > 0xFFFFFFFFu) return false;
  // The interface takes a mutable buffer: hand it a copy.
  std::vector<CLINT8> copy(bytes.begin(), bytes.end());
  auto size = static_cast<CLUINT32>(copy.size());
  const CLINT32 rc = serial->clSerialWrite(copy.data(), &size, kWriteTimeoutMs);
  return rc == CL_ERR_NO_ERR && size == copy.size();
}

bool SerialTransport::ReadByte(std::uint8_t& out, std::uint32_t timeoutMs) {
  ISerial* serial = serial_.load();
  if (!serial) return false;
  CLINT8 byte[1] = {0};
  CLUINT32 size = 1;
  const CLINT32 rc = serial->clSerialRead(byte, &size, timeoutMs);
  if (rc != CL_ERR_NO_ERR || size != 1) return false;
  out = static_cast<std::uint8_t>(byte[0]);
  return true;
}

void SerialTransport::DrainInput(std::uint32_t quietMs) {
  // Without a flush, the standard drain is a COM port's: an empty read of
  // about 101 ms (two reads of 600 ms as on linkport would not pass inside
  // the command gap).
  const std::uint32_t quiet = quietMs == comm::kStandardDrain ? comm::kCommandQuietMs : quietMs;
  std::uint8_t byte = 0;
  for (int i = 0; i < kMaxDrainBytes && ReadByte(byte, quiet); ++i) {
  }
}

bool SerialTransport::WriteSingleByte(std::uint8_t byte) { return WriteBlock(std::span(&byte, 1)); }

bool SerialTransport::ReadReplyByte(std::uint8_t& out, std::uint32_t leftMs,
                                    std::uint32_t /*lineTimeoutMs*/) {
  // The time left of the line goes down; a read that came back early
  // without a byte pauses 1 ms, so a serial object that returns at once
  // cannot make the reader spin.
  const std::uint32_t start = platform::TickCount();
  if (ReadByte(out, leftMs)) return true;
  if (static_cast<std::uint32_t>(platform::TickCount() - start) < leftMs) platform::SleepMs(1);
  return false;
}

}  // namespace vexq4::clprotocol
