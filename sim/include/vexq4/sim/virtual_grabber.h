// The simulated camera behind a frame grabber's Camera Link serial port, in
// virtual time: the standard's serial calls (read, write, flush, count)
// over the camera and clock of a VirtualLink, with the grabber's receive
// buffer in between. A test's vendor library forwards its calls here, so
// the library's Camera Link path runs in virtual time like a COM port.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "vexq4/sim/virtual_link.h"

namespace vexq4::sim {

class VirtualGrabberPort {
 public:
  // The Camera Link standard's codes the port answers with.
  static constexpr std::int32_t kOk = 0;
  static constexpr std::int32_t kPortInUse = -10003;
  static constexpr std::int32_t kTimeout = -10004;

  // The port of `link`'s camera; it shares the link's clock, its plug and
  // its one opening with the COM device the link hands out.
  explicit VirtualGrabberPort(VirtualLink& link);
  ~VirtualGrabberPort();
  VirtualGrabberPort(const VirtualGrabberPort&) = delete;
  VirtualGrabberPort& operator=(const VirtualGrabberPort&) = delete;

  // clSerialInit and clSerialClose: kPortInUse while the line is open.
  std::int32_t Open();
  void Close();

  // Waits until *size bytes are there or `timeoutMs` has passed (the clock
  // moves to the last byte's arrival, or by the whole time-out); *size
  // becomes the count read, kTimeout when fewer came.
  std::int32_t Read(char* buffer, std::uint32_t* size, std::uint32_t timeoutMs);
  // Every byte goes out (paced as on the COM device); kTimeout with *size 0
  // when the line is unplugged.
  std::int32_t Write(const char* buffer, std::uint32_t* size);
  // What has arrived by now: discarded, or counted.
  std::int32_t Flush();
  std::int32_t BytesAvailable(std::uint32_t* count);

  // How often each call came, for tests of how the library reads.
  int reads() const { return reads_; }
  int flushes() const { return flushes_; }

 private:
  // Moves the camera's bytes that have arrived by now into the buffer.
  void Receive();

  std::shared_ptr<detail::LinkState> state_;
  std::unique_ptr<SimSerialDevice> device_;  // while open
  std::deque<std::uint8_t> received_;
  int reads_ = 0;
  int flushes_ = 0;
};

}  // namespace vexq4::sim
