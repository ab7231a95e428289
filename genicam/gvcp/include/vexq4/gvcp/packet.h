// GVCP, the GigE Vision control protocol, as datagrams: the command header
// an application sends (key 0x42, flags, command, length, request id), the
// acknowledge header a device answers with (status, answer, length, ack id),
// and the commands and status codes this device knows. Every field is
// big-endian.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexq4::gvcp {

inline constexpr std::uint16_t kPort = 3956;
inline constexpr std::uint8_t kKey = 0x42;
inline constexpr std::uint8_t kFlagAckRequired = 0x01;
inline constexpr std::uint8_t kFlagAllowBroadcastAck = 0x10;  // discovery
inline constexpr std::size_t kHeaderSize = 8;
// The largest payload: 576-byte datagrams less IP, UDP and GVCP headers.
inline constexpr std::size_t kMaxPayload = 540;
inline constexpr std::size_t kMaxReadMem = kMaxPayload - 4;    // 536 bytes of data
inline constexpr std::size_t kMaxRegisters = kMaxPayload / 8;  // per WRITEREG (67); READREG: 135

enum Command : std::uint16_t {
  kDiscoveryCmd = 0x0002,
  kDiscoveryAck = 0x0003,
  kForceIpCmd = 0x0004,
  kPacketResendCmd = 0x0040,
  kReadRegCmd = 0x0080,
  kReadRegAck = 0x0081,
  kWriteRegCmd = 0x0082,
  kWriteRegAck = 0x0083,
  kReadMemCmd = 0x0084,
  kReadMemAck = 0x0085,
  kWriteMemCmd = 0x0086,
  kWriteMemAck = 0x0087,
  kPendingAck = 0x0089,
  kEventCmd = 0x00C0,
  kActionCmd = 0x0100,
};

enum Status : std::uint16_t {
  kSuccess = 0x0000,
  kNotImplemented = 0x8001,
  kInvalidParameter = 0x8002,
  kInvalidAddress = 0x8003,
  kWriteProtect = 0x8004,
  kBadAlignment = 0x8005,
  kAccessDenied = 0x8006,
  kBusy = 0x8007,
  kLocalProblem = 0x8008,  // deprecated in version 2.0; kError instead
  kInvalidHeader = 0x800E,
  kError = 0x8FFF,
};

// A command datagram as read: nullopt for one that is no GVCP command
// (shorter than a header, another key), which is dropped unanswered.
struct Request {
  std::uint8_t flags = 0;
  std::uint16_t command = 0;
  std::uint16_t length = 0;  // as the header says
  std::uint16_t id = 0;
  std::span<const std::uint8_t> payload;  // what the datagram holds after the header
  bool ackRequired() const { return (flags & kFlagAckRequired) != 0; }
  // The acknowledge that answers it: the command's value plus one.
  std::uint16_t answer() const { return static_cast<std::uint16_t>(command + 1); }
};
std::optional<Request> ParseRequest(std::span<const std::uint8_t> datagram);

// An acknowledge datagram.
std::vector<std::uint8_t> MakeAck(std::uint16_t status, std::uint16_t answer, std::uint16_t id,
                                  std::span<const std::uint8_t> payload = {});
// A PENDING_ACK announcing the time the command still needs.
std::vector<std::uint8_t> MakePendingAck(std::uint16_t id, std::uint32_t timeToCompletionMs);
// A command datagram (for tests and clients).
std::vector<std::uint8_t> MakeCommand(std::uint16_t command, std::uint16_t id,
                                      std::span<const std::uint8_t> payload,
                                      std::uint8_t flags = kFlagAckRequired);

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint16_t GetU16(std::span<const std::uint8_t> bytes, std::size_t at);
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value);
void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value);

}  // namespace vexq4::gvcp
