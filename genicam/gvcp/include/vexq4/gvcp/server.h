// A GigE Vision control device on the network: a ControlChannel behind a
// UDP socket on ADDRESS:3956, with a thread that answers datagrams at once
// and a second one that does the device's register accesses one after the
// other, so that a slow camera exchange never holds up the heartbeat, the
// description or another application's reads of constant registers.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "vexq4/gvcp/control_channel.h"

namespace vexq4::gvcp {

class Server {
 public:
  Server(Device& device, ChannelOptions options);
  ~Server();  // stops
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds the served address, port 3956. False with the reason.
  bool Open(std::string& error);
  // `idle` runs on the device's thread whenever it had nothing to do for
  // `gap` (to take back a camera that answers again). Before Start().
  void SetIdle(std::function<void()> idle, std::chrono::milliseconds gap);
  void Start();
  // Ends both threads; a register access under way finishes first.
  void Stop();

  std::uint32_t ip() const { return options_.ip; }
  int socket() const { return socket_; }
  // A discovery acknowledge for this device, from any thread.
  std::vector<std::uint8_t> DiscoveryAck(std::uint16_t id) const;

 private:
  void Serve();
  void Work();
  void Send(const Endpoint& to, const std::vector<std::uint8_t>& datagram);
  void Wake();

  Device& device_;
  ChannelOptions options_;
  ControlChannel channel_;
  int socket_ = -1;
  int wake_ = -1;  // eventfd: a finished job, or stop
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable work_;
  std::deque<Job> jobs_;
  std::deque<Job> finished_;
  std::function<void()> idle_;
  std::chrono::milliseconds idleGap_{2000};
  std::thread server_, worker_;
};

// Answers the discovery broadcast (255.255.255.255:3956) for several
// served devices at once: a socket on 0.0.0.0:3956 with SO_REUSEADDR, so
// that bridges side by side on one machine all answer. Each device answers
// from its own socket, with its own address as current IP. Every other
// datagram that reaches it is dropped.
class DiscoveryResponder {
 public:
  explicit DiscoveryResponder(std::vector<const Server*> servers);
  ~DiscoveryResponder();
  DiscoveryResponder(const DiscoveryResponder&) = delete;
  DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

  bool Open(std::string& error);
  void Start();
  void Stop();

 private:
  void Serve();
  std::vector<const Server*> servers_;
  int socket_ = -1;
  int wake_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The address and its netmask as the machine's interfaces have it
// (255.0.0.0 for 127.x.y.z); 255.255.255.255 when no interface has it.
std::uint32_t NetmaskOf(std::uint32_t ip);

}  // namespace vexq4::gvcp
