// One GigE Vision device's control channel, without sockets or threads:
// it takes each command datagram with its sender and the time, and says
// what to answer at once and which register accesses the device must do
// (a Job, run elsewhere and handed back when done). It keeps the bootstrap
// registers, the control channel privilege with its heartbeat, the last
// answer to each application (a repeated request id is answered again, not
// run again), and the pending acknowledgements of slow jobs.
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vexq4/gvcp/bootstrap.h"
#include "vexq4/gvcp/packet.h"

namespace vexq4::gvcp {

using Clock = std::chrono::steady_clock;

struct Endpoint {
  std::uint32_t ip = 0;  // host order
  std::uint16_t port = 0;
  auto operator<=>(const Endpoint&) const = default;
};

// What the bootstrap registers and discovery tell about the device.
struct DeviceInfo {
  std::string manufacturer;      // 32 bytes
  std::string model;             // 32 bytes
  std::string version;           // 32 bytes
  std::string manufacturerInfo;  // 48 bytes
  std::string serial;            // 16 bytes
  std::string userName;          // 16 bytes
};

// The device behind the channel: its own registers (from 0xA000 on).
class Device {
 public:
  virtual ~Device() = default;
  // An access that needs no slow work: answered at once, on any thread.
  virtual bool IsImmediate(std::uint32_t address, std::uint32_t size) const = 0;
  // The rest run one at a time on the device's own thread.
  virtual std::uint16_t Read(std::uint32_t address, std::span<std::uint8_t> out) = 0;
  virtual std::uint16_t Write(std::uint32_t address, std::span<const std::uint8_t> data) = 0;
  // The user-defined name register (0xE8): the device stores the name.
  virtual std::uint16_t WriteUserName(std::string_view name) = 0;
  // The longest an access may take.
  virtual std::chrono::milliseconds Duration(std::uint32_t address, bool write) const = 0;
  // Any thread, at any time: what the device says about itself now.
  virtual DeviceInfo Info() const = 0;
  // The first URL register's text.
  virtual std::string XmlUrl() const = 0;
};

// Register accesses of one command for the device's thread.
struct Job {
  Endpoint client;
  std::uint16_t id = 0;
  std::uint16_t command = 0;  // kReadRegCmd, kWriteRegCmd, kReadMemCmd, kWriteMemCmd
  bool ackRequired = true;
  std::vector<std::uint32_t> addresses = {};  // READREG; WRITEREG's with `values`
  std::vector<std::uint32_t> values = {};
  std::uint32_t address = 0;  // READMEM, WRITEMEM
  std::uint32_t count = 0;
  std::vector<std::uint8_t> data = {};
  bool userName = false;  // WRITEMEM of the user-defined name
  std::chrono::milliseconds duration{0};
  // Filled by Run():
  std::uint16_t status = kSuccess;
  std::vector<std::uint8_t> payload = {};
};

// Runs a job's accesses on `device` (on the device's thread).
void Run(Device& device, Job& job);

struct ChannelOptions {
  std::uint32_t ip = 0x7F000001;  // the address served, host order
  std::uint32_t netmask = 0xFF000000;
  std::uint32_t defaultHeartbeatMs = 3000;
  std::uint32_t pendingTimeoutMs = 200;  // a job not done by then gets a PENDING_ACK
  std::size_t maxQueuedJobs = 16;        // beyond: BUSY
};

class ControlChannel {
 public:
  ControlChannel(Device& device, ChannelOptions options);

  struct Outcome {
    std::vector<std::uint8_t> reply;  // empty: nothing to send now
    std::optional<Job> job;           // for the device's thread
  };
  Outcome Receive(const Endpoint& from, std::span<const std::uint8_t> datagram,
                  Clock::time_point now);
  // A job the device's thread finished: the acknowledge for its client.
  std::vector<std::uint8_t> Finished(const Job& job, Clock::time_point now);
  // Lapses the privilege whose heartbeat ran out, and gives the PENDING_ACKs
  // due now with their clients.
  std::vector<std::pair<Endpoint, std::vector<std::uint8_t>>> Tick(Clock::time_point now);
  // When Tick() next has something to do.
  Clock::time_point NextDeadline(Clock::time_point now) const;

  // The discovery acknowledge's payload (the first 0xF8 bootstrap bytes).
  std::vector<std::uint8_t> DiscoveryData() const;
  std::optional<Endpoint> controller() const { return holder_; }
  std::uint32_t heartbeatTimeoutMs() const { return heartbeatMs_; }

 private:
  struct Answered {
    Endpoint client;
    std::uint16_t id = 0;
    std::uint16_t command = 0;
    bool running = false;
    std::vector<std::uint8_t> ack;
  };
  struct Pending {
    Endpoint client;
    std::uint16_t id = 0;
    Clock::time_point due;          // when the next PENDING_ACK goes out
    Clock::time_point expectedEnd;  // receipt + the job's duration
  };

  Outcome Execute(const Endpoint& from, const Request& r, Clock::time_point now);
  Outcome ReadRegisters(const Endpoint& from, const Request& r);
  Outcome WriteRegisters(const Endpoint& from, const Request& r);
  Outcome ReadMemory(const Endpoint& from, const Request& r);
  Outcome WriteMemory(const Endpoint& from, const Request& r);
  std::vector<std::uint8_t> Discovery(const Request& r) const;
  Outcome Queue(Job job);

  std::optional<std::uint32_t> ReadBootstrap(std::uint32_t address) const;
  std::uint16_t WriteBootstrap(const Endpoint& from, std::uint32_t address, std::uint32_t value,
                               Clock::time_point now);
  bool IsBootstrap(std::uint32_t address) const { return address < 0xA000; }
  bool Holds(const Endpoint& e) const { return holder_ && *holder_ == e; }
  bool MayWrite(const Endpoint& e) const { return Holds(e); }
  bool MayRead(const Endpoint& e) const { return !holder_ || Holds(e) || (ccp_ & 1u) == 0; }
  void Release();
  BootstrapState State() const;
  Answered* Remember(const Endpoint& client, const Request& r);

  Device& device_;
  ChannelOptions options_;
  std::optional<Endpoint> holder_;
  std::uint32_t ccp_ = 0;
  Clock::time_point lastHeard_{};
  std::uint32_t heartbeatMs_;
  std::uint32_t gvcpConfig_;
  std::deque<Answered> answered_;  // the last request of each recent client
  std::vector<Pending> pending_;
  std::size_t running_ = 0;  // jobs handed out, not yet finished
  Clock::time_point now_{};  // the time of the datagram being handled
};

}  // namespace vexq4::gvcp
