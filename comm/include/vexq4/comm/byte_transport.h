// The byte transport under the camera's line protocol, and the way to put
// one of your own under a port: for code of this project that links the
// communication library in statically and brings its own line (the
// CLProtocol library serves a frame grabber producer's serial object this
// way). Not part of the installed C interface (VexQ4Comm.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "vexq4/platform/clock.h"

namespace vexq4::comm {

// The drain every transaction starts with, unless a query drain quiet time
// is set (VexQ4SetQueryDrainTime).
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

// ---- A port on a transport of the caller's.
//
// After AttachTransport(port, t), VexQ4InitComm(0, port, 0) opens `port`
// on `t` instead of a COM device (no device is opened; the probe and every
// transaction go through `t`, with the protocol's drains, gaps, time-outs
// and acknowledgement rules unchanged), and so does every later opening of
// that port until DetachTransport. The caller keeps `t` alive while it is
// attached; detach only while the port is closed (VexQ4ExitComm).
// Attached ports do not depend on the library-wide Camera Link selection:
// several can be open at once, each from its own thread.
//
// 0, or -1 (VEXQ4_E_ARGUMENT) for a port outside 1..254 or a null transport.
int AttachTransport(int port, ByteTransport* transport);
void DetachTransport(int port);

// Milliseconds until the command gap (600 ms after the port's last
// acknowledged command) has passed: 0 when a command may go now. The port's
// own thread asks this before it sends.
std::uint32_t CommandGapLeftMs(int port);

// The query "MNEMONIC?" on an open port: the reply's value text (between
// "=" and CR), NUL-terminated into `valueOut`, which stays untouched on
// failure, exactly as the protocol takes it (for a caller that checks the
// answer's form itself rather than its number). 0 or the library's codes
// (-4 when the value does not fit).
int QueryValueText(int port, std::string_view mnemonic, std::span<char> valueOut);

}  // namespace vexq4::comm
