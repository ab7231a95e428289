// Virtual time for tests: a clock that moves only when the code under test
// sleeps or waits for a byte, and a serial device whose other end is a
// SimCamera. A whole write-all (32 commands, 600 ms apart) runs in
// milliseconds and every gap on the line can be asserted exactly.
#pragma once

#include <cstdint>
#include <memory>

#include "vexq4/platform/clock.h"
#include "vexq4/platform/serial_device.h"
#include "vexq4/sim/sim_camera.h"

namespace vexq4::sim {

class VirtualClock final : public platform::Clock {
 public:
  explicit VirtualClock(std::uint32_t startMs = 1'000'000) : now_(startMs) {}
  std::uint32_t TickCount() override { return now_; }
  void Sleep(std::uint32_t ms) override { now_ += ms; }
  void Advance(std::uint32_t ms) { now_ += ms; }
  std::uint32_t now() const { return now_; }

 private:
  std::uint32_t now_;
};

namespace detail {
struct LinkState;  // camera, clock, plug and open state shared with the devices
}

// A serial device wired to `camera`, in the time of `clock`. A read returns
// the camera's next byte if it is there within the COM read time-out
// (101 ms, or ReadByteWithin's own; the clock moves to its arrival), else
// moves the clock by that time-out.
// Writes take no time on the host side; the camera sees each line complete
// when its last byte has crossed the line at 9600 baud. Drain, like tcdrain,
// moves the clock until the bytes written have crossed.
class SimSerialDevice final : public platform::SerialDevice {
 public:
  // A stand-alone device: the caller keeps `clock` alive while it is used
  // (the camera is a shared handle and stays alive with the device).
  SimSerialDevice(SimCamera& camera, VirtualClock& clock);
  // A device handed out by VirtualLink; it may outlive the link safely.
  explicit SimSerialDevice(std::shared_ptr<detail::LinkState> state);
  ~SimSerialDevice() override;
  SimSerialDevice(const SimSerialDevice&) = delete;
  SimSerialDevice& operator=(const SimSerialDevice&) = delete;

  bool Write(std::span<const std::uint8_t> bytes) override;
  bool ReadByte(std::uint8_t& out) override;
  bool ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) override;
  bool Drain() override;

  // Makes the device behave as unplugged: writes fail, reads bring nothing.
  void SetUnplugged(bool unplugged);

 private:
  std::shared_ptr<detail::LinkState> state_;
};

// Installs a virtual clock and a simulated camera behind COM port
// `comPort` (other ports do not open) for the lifetime of the object, and
// restores the system clock and the real serial opener afterwards.
class VirtualLink {
 public:
  explicit VirtualLink(Config config = {}, unsigned comPort = 1);
  ~VirtualLink();
  VirtualLink(const VirtualLink&) = delete;
  VirtualLink& operator=(const VirtualLink&) = delete;

  SimCamera& camera();
  VirtualClock& clock();
  unsigned comPort() const { return comPort_; }
  // Opening count, and whether the port is open now.
  int opens() const;
  bool isOpen() const;
  // Pulls the plug of the open device (and of later ones) or puts it back.
  void SetUnplugged(bool unplugged);
  // Shared with the other ways to the camera (virtual_grabber.h).
  const std::shared_ptr<detail::LinkState>& state() const { return state_; }

 private:
  // Shared with the devices handed out: the library owns and destroys them.
  std::shared_ptr<detail::LinkState> state_;
  unsigned comPort_;
};

}  // namespace vexq4::sim
