// The byte transports under the line protocol, and the library-wide choice
// between them.
//
// Which transport carries a port's bytes is decided afresh on every
// operation from TransportState:
//   grabberIndex 0,     allSerialMode 0  -> the slot's COM device
//   grabberIndex not 0, allSerialMode 0  -> linkport (linkportRef)
//   any,                allSerialMode 1  -> clallserial (allSerialRef)
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "vexq4/platform/clock.h"

namespace vexq4::comm {

// The drain every transaction starts with, unless a query drain quiet time
// is set (ports.h).
inline constexpr std::uint32_t kStandardDrain = 0;
// Once a query drain is set (fast reads), the drain before a command (and a
// shading frame) ends after this much silence on every line: a COM port's
// standard drain, one empty read of its time-outs. On linkport it takes the
// place of two 600 ms reads, which would not pass inside the command gap.
inline constexpr std::uint32_t kCommandQuietMs = 101;

class ByteTransport {
 public:
  virtual ~ByteTransport() = default;
  // Writes the whole block; false when it could not (Camera Link: a
  // clSerialWrite with a 600 ms time-out that did not return 0).
  virtual bool WriteBlock(std::span<const std::uint8_t> bytes) = 0;
  // Reads at most one byte. A COM port returns within its own read time-outs
  // (about 101 ms) and ignores `timeoutMs`; Camera Link passes it down.
  virtual bool ReadByte(std::uint8_t& out, std::uint32_t timeoutMs) = 0;
  // Discards whatever the camera sent that nobody read: reads until a read
  // brings nothing. With kStandardDrain each read waits as the transport
  // does (a COM port about 101 ms, linkport pairs of 600 ms); otherwise an
  // empty read ends after `quietMs` (linkport flushes first where the
  // vendor library can). clallserial flushes and ignores it.
  virtual void DrainInput(std::uint32_t quietMs) = 0;
  // Writes one byte of a shading frame (a COM port also waits for it to
  // leave the port).
  virtual bool WriteSingleByte(std::uint8_t byte) = 0;
  // How long until the bytes written so far can have crossed the line to
  // the camera. A COM port's single-byte writes already wait for each
  // byte; a frame grabber may only buffer them.
  virtual std::uint32_t MsUntilSent() const { return 0; }

  // One byte of a reply line, for a reader with `leftMs` of its time-out
  // `lineTimeoutMs` left. A COM port waits up to `leftMs` for it, sleeping
  // until it comes. Camera Link passes the whole time-out down, as its
  // reads take it, and pauses 1 ms after an empty read, so that a library
  // that returns at once cannot make the reader spin.
  virtual bool ReadReplyByte(std::uint8_t& out, std::uint32_t /*leftMs*/,
                             std::uint32_t lineTimeoutMs) {
    if (ReadByte(out, lineTimeoutMs)) return true;
    platform::SleepMs(1);
    return false;
  }

  // True once the line is known to be gone for good (a network connection
  // closed by the other end): nothing more will come, so a reader stops at
  // once instead of waiting out its time-out.
  virtual bool LineLost() const { return false; }
};

struct TransportState {
  // Read by every transaction, on any thread; written when a connection
  // opens or closes.
  std::atomic<int> grabberIndex{-1};  // 0: COM ports; other: Camera Link; -1: none
  std::atomic<int> allSerialMode{0};  // 1: clallserial
  // One Camera Link connection at a time: set while it opens, read by its
  // transactions.
  void* linkportRef = nullptr;
  void* allSerialRef = nullptr;
};

// The one library-wide selection.
TransportState& Transport();

// The transport that serves `port` now, or nullptr when the port has no
// ready connection or no transport.
ByteTransport* TransportFor(int port);

}  // namespace vexq4::comm
