// Moving the camera's shading-correction table.
#include "shading.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "VexQ4Comm.h"
#include "ports.h"
#include "protocol.h"
#include "vexq4/platform/clock.h"

namespace vexq4::comm {
namespace {

constexpr std::string_view kShadingQuery = "SHD?1024,768\r\n";
constexpr std::uint32_t kFramePauseMs = 1000;  // the camera prepares or stores the frame
constexpr std::uint32_t kFrameByteTimeoutMs = 600;
constexpr std::uint32_t kStopCheckMs = 50;  // how soon a stopped transfer notices

// The pause around a frame, in short sleeps so that a stop ends it; false
// when the transfer was stopped.
bool PauseUnlessStopped(int port, std::uint32_t ms) {
  for (std::uint32_t slept = 0; slept < ms; slept += kStopCheckMs) {
    if (ShadingTransferStopped(port)) return false;
    platform::SleepMs(std::min(kStopCheckMs, ms - slept));
  }
  return !ShadingTransferStopped(port);
}

int BigEndian16(std::span<const std::uint8_t> frame, std::size_t offset) {
  return (frame[offset] << 8) | frame[offset + 1];
}

}  // namespace

std::uint16_t ShadingCrc(std::span<const std::uint8_t> bytes) {
  std::uint16_t reg = 0;
  for (const std::uint8_t byte : bytes) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = reg & 1u;
      reg = static_cast<std::uint16_t>((reg >> 1) | (((byte >> bit) & 1u) << 15));
      if (carry) reg ^= 0xA001;
    }
  }
  return reg;
}

void BuildShadingFrame(std::span<const int, kShadingValueCount> values,
                       std::span<std::uint8_t, kShadingFrameSize> frame) {
  std::fill(frame.begin(), frame.end(), 0);
  constexpr std::array<std::uint8_t, 8> header{'S', 'H', 'D', '=', 0x04, 0x00, 0x03, 0x00};
  std::copy(header.begin(), header.end(), frame.begin());
  for (std::size_t i = 0; i < kShadingValueCount; ++i) {
    const auto v = static_cast<std::uint32_t>(values[i]);
    frame[kShadingValuesOffset + 2 * i] = static_cast<std::uint8_t>(v >> 8);
    frame[kShadingValuesOffset + 2 * i + 1] = static_cast<std::uint8_t>(v);
  }
  const std::uint16_t crc = ShadingCrc(
      std::span<const std::uint8_t>(frame).subspan(kShadingValuesOffset, 2 * kShadingValueCount));
  frame[kShadingChecksumOffset] = static_cast<std::uint8_t>(crc >> 8);
  frame[kShadingChecksumOffset + 1] = static_cast<std::uint8_t>(crc);
}

int ReceiveShadingFrame(int port, std::span<int, kShadingReadInts> values) {
  ByteTransport* transport = IsReady(port) ? TransportFor(port) : nullptr;
  if (!transport) return VEXQ4_E_NO_CONNECTION;
  if (ShadingTransferStopped(port)) return VEXQ4_E_TIMEOUT;
  DrainInput(port);
  if (!transport->WriteBlock(std::span(reinterpret_cast<const std::uint8_t*>(kShadingQuery.data()),
                                       kShadingQuery.size()))) {
    return VEXQ4_E_NOT_ACKNOWLEDGED;
  }
  if (!PauseUnlessStopped(port, kFramePauseMs)) return VEXQ4_E_TIMEOUT;

  // One single-byte read per position, in order; a read that brings nothing
  // leaves its position empty. Every read is bounded, so the whole frame is.
  std::array<std::uint8_t, kShadingFrameSize> frame{};
  std::size_t filled = 0;
  for (std::size_t i = 0; i < frame.size(); ++i) {
    if (ShadingTransferStopped(port)) return VEXQ4_E_TIMEOUT;
    std::uint8_t byte = 0;
    if (transport->ReadByte(byte, kFrameByteTimeoutMs)) {
      frame[i] = byte;
      ++filled;
    }
  }

  std::fill(values.begin(), values.end(), 0);
  values[0] = BigEndian16(frame, 4);
  values[1] = BigEndian16(frame, 6);
  for (std::size_t i = 0; i < kShadingValueCount; ++i) {
    values[2 + i] = BigEndian16(frame, kShadingValuesOffset + 2 * i);
  }
  const int received = BigEndian16(frame, kShadingChecksumOffset);
  values[2 + kShadingValueCount] = received;

  if (filled != frame.size()) return VEXQ4_E_NOT_ACKNOWLEDGED;
  const std::uint16_t crc = ShadingCrc(
      std::span<const std::uint8_t>(frame).subspan(kShadingValuesOffset, 2 * kShadingValueCount));
  return crc == received ? VEXQ4_OK : VEXQ4_E_NOT_ACKNOWLEDGED;
}

int TransmitShadingFrame(int port, std::span<const std::uint8_t, kShadingFrameSize> frame) {
  ByteTransport* transport = IsReady(port) ? TransportFor(port) : nullptr;
  if (!transport) return VEXQ4_E_NO_CONNECTION;
  if (ShadingTransferStopped(port)) return VEXQ4_E_TIMEOUT;
  DrainInput(port);
  WaitCommandGap(port);
  // Byte by byte, each one out of the port before the next, so the camera
  // is not overrun while it stores the table. A frame cut short by a stop
  // is one the camera drops: it keeps its table.
  for (const std::uint8_t byte : frame) {
    if (ShadingTransferStopped(port)) return VEXQ4_E_TIMEOUT;
    if (!transport->WriteSingleByte(byte)) return VEXQ4_E_NOT_ACKNOWLEDGED;
  }
  if (!PauseUnlessStopped(port, transport->MsUntilSent() + kFramePauseMs)) return VEXQ4_E_TIMEOUT;
  if (const int rc = ReadAcknowledgement(port, kReplyTimeoutMs); rc != VEXQ4_OK) return rc;
  NoteAcknowledged(port);
  return VEXQ4_OK;
}

}  // namespace vexq4::comm

using namespace vexq4::comm;

extern "C" {

int VexQ4GetShadingData(int port, int* values) {
  if (!values || !Slot(port)) return VEXQ4_E_ARGUMENT;
  const auto lock = LockReadyPort(port);
  if (!lock) return VEXQ4_E_NO_CONNECTION;
  std::array<int, kShadingReadInts> local{};
  const int rc = ReceiveShadingFrame(port, local);
  // The caller's array changes only for a whole, checked frame.
  if (rc == VEXQ4_OK) std::copy(local.begin(), local.end(), values);
  return rc;
}

int VexQ4SendShadingData(int port, const int* values) {
  if (!values || !Slot(port)) return VEXQ4_E_ARGUMENT;
  if (!IsReady(port)) return VEXQ4_E_NO_CONNECTION;
  {
    // An empty line first; its answer does not matter.
    const auto lock = LockReadyPort(port);
    if (!lock) return VEXQ4_E_NO_CONNECTION;
    SendCommandLine(port, EB, "\r\n");
  }
  std::array<std::uint8_t, kShadingFrameSize> frame{};
  BuildShadingFrame(std::span<const int, kShadingValueCount>(values, kShadingValueCount), frame);
  const auto lock = LockReadyPort(port);
  if (!lock) return VEXQ4_E_NO_CONNECTION;
  return TransmitShadingFrame(port, frame);
}

}  // extern "C"
