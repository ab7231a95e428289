// The communication library's byte transport over the producer's serial
// object (ISerial): the camera's protocol (mnemonic replies, the 600 ms
// command gap, the acknowledgement rules, the drains) runs unchanged over a
// frame grabber's port that the producer opened.
//
// ISerial has only the Camera Link 1.0 functions (CLProtocol section 6.1):
// no flush and no count of the bytes waiting. Bytes are read one at a time
// with the time-out passed down, and a drain reads until the line has been
// quiet for its quiet time.
#pragma once

#include <atomic>

#include "vexq4/clprotocol/clprotocol.h"
#include "vexq4/comm/byte_transport.h"

namespace vexq4::clprotocol {

class SerialTransport final : public comm::ByteTransport {
 public:
  // The serial object of the call under way: the producer hands it to
  // every call and may hand another one.
  void Use(ISerial* serial) { serial_.store(serial); }
  ISerial* serial() const { return serial_.load(); }

  bool WriteBlock(std::span<const std::uint8_t> bytes) override;
  bool ReadByte(std::uint8_t& out, std::uint32_t timeoutMs) override;
  void DrainInput(std::uint32_t quietMs) override;
  bool WriteSingleByte(std::uint8_t byte) override;
  bool ReadReplyByte(std::uint8_t& out, std::uint32_t leftMs, std::uint32_t lineTimeoutMs) override;

 private:
  std::atomic<ISerial*> serial_{nullptr};
};

}  // namespace vexq4::clprotocol
