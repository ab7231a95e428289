// The connection records of the library: one slot per port number 0..254.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "VexQ4Comm.h"
#include "transport.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::comm {

inline constexpr int kPortSlots = VEXQ4_MAX_PORT + 1;  // port numbers 0..254

// The byte transport of a COM port: the slot's serial device.
class ComTransport final : public ByteTransport {
 public:
  void Attach(platform::SerialDevice* device) { device_ = device; }
  bool WriteBlock(std::span<const std::uint8_t> bytes) override;
  bool ReadByte(std::uint8_t& out, std::uint32_t timeoutMs) override;
  void DrainInput(std::uint32_t quietMs) override;
  bool WriteSingleByte(std::uint8_t byte) override;
  bool ReadReplyByte(std::uint8_t& out, std::uint32_t leftMs, std::uint32_t lineTimeoutMs) override;
  bool LineLost() const override;

 private:
  platform::SerialDevice* device_ = nullptr;
};

struct PortSlot {
  int isOpen = 0;
  int isReady = 0;                              // every transaction checks this first
  std::uint32_t lastCommandTick = 0;            // tick of the last acknowledged command
  std::unique_ptr<platform::SerialDevice> com;  // the open COM port, if any
  std::optional<std::mutex> lock;               // exists only while the slot is open
  ComTransport comTransport;
  // Set from any thread or a signal handler (VexQ4StopShadingTransfer):
  // this port's shading frame ends at its next byte.
  std::atomic<bool> shadingStopped{false};
};

// The slot of `port`, or nullptr for a number outside 0..254.
PortSlot* Slot(int port);

// Takes the lock of a ready port; an empty lock when the port has no ready
// connection.
std::unique_lock<std::mutex> LockReadyPort(int port);

// True when `port` is a valid number with a ready connection.
bool IsReady(int port);

// True when the shading transfer on `port` is to end now: the port's own
// stop, or the library-wide abandon of a program asked to stop.
bool ShadingTransferStopped(int port);

// Quiet time of the drain before a query: kStandardDrain, or 1 to
// kMaxQueryDrainMs. Set for the process by VexQ4SetQueryDrainTime, else by
// VEXQ4_QUERY_DRAIN_MS as read when the last connection was opened.
inline constexpr int kMaxQueryDrainMs = 100;
std::uint32_t QueryDrainMs();
// The drain before a command or a shading frame: kStandardDrain, or
// kCommandQuietMs while a query drain quiet time is set.
std::uint32_t CommandDrainMs();

}  // namespace vexq4::comm
