#include "vexq4/gvcp/packet.h"

namespace vexq4::gvcp {

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) << 24 |
         static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

std::uint16_t GetU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 24));
  out.push_back(static_cast<std::uint8_t>(value >> 16));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

std::optional<Request> ParseRequest(std::span<const std::uint8_t> datagram) {
  if (datagram.size() < kHeaderSize || datagram[0] != kKey) return std::nullopt;
  Request r;
  r.flags = datagram[1];
  r.command = GetU16(datagram, 2);
  r.length = GetU16(datagram, 4);
  r.id = GetU16(datagram, 6);
  r.payload = datagram.subspan(kHeaderSize);
  return r;
}

std::vector<std::uint8_t> MakeAck(std::uint16_t status, std::uint16_t answer, std::uint16_t id,
                                  std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> out;
  out.reserve(kHeaderSize + payload.size());
  PutU16(out, status);
  PutU16(out, answer);
  PutU16(out, static_cast<std::uint16_t>(payload.size()));
  PutU16(out, id);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<std::uint8_t> MakePendingAck(std::uint16_t id, std::uint32_t timeToCompletionMs) {
  std::vector<std::uint8_t> payload;
  PutU16(payload, 0);  // reserved
  PutU16(payload,
         static_cast<std::uint16_t>(timeToCompletionMs > 0xFFFF ? 0xFFFF : timeToCompletionMs));
  return MakeAck(kSuccess, kPendingAck, id, payload);
}

std::vector<std::uint8_t> MakeCommand(std::uint16_t command, std::uint16_t id,
                                      std::span<const std::uint8_t> payload, std::uint8_t flags) {
  std::vector<std::uint8_t> out{kKey, flags};
  PutU16(out, command);
  PutU16(out, static_cast<std::uint16_t>(payload.size()));
  PutU16(out, id);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

}  // namespace vexq4::gvcp
