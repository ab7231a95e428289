#include "vexq4/gvcp/server.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vexq4::gvcp {
namespace {

constexpr std::size_t kDatagramRoom = 2048;
// Datagrams taken in one turn before the finished jobs and timers get theirs.
constexpr int kBurst = 64;

sockaddr_in SocketAddress(std::uint32_t ip, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(ip);
  a.sin_port = htons(port);
  return a;
}

std::string AddressText(std::uint32_t ip) {
  in_addr a{htonl(ip)};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

// Whether a socket of this machine is bound to ip:3956 already (another
// bridge): SO_REUSEADDR, which the discovery sockets need, would let a
// second one bind and take half of the datagrams.
bool AlreadyServed(std::uint32_t ip) {
  std::ifstream table("/proc/net/udp");
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, "%08X:%04X", htonl(ip), kPort);
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    if (fields >> slot >> local && local == wanted) return true;
  }
  return false;
}

// A UDP socket on ip:3956, non-blocking. SO_REUSEADDR: the discovery
// sockets of bridges on this machine hold 0.0.0.0:3956 too.
int BindUdp(std::uint32_t ip, std::string& error) {
  if (ip != INADDR_ANY && AlreadyServed(ip)) {
    error = "cannot listen on " + AddressText(ip) + ":" + std::to_string(kPort) +
            ": another program serves it already";
    return -1;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("cannot make a UDP socket: ") + std::strerror(errno);
    return -1;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in a = SocketAddress(ip, kPort);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    error = "cannot listen on " + AddressText(ip) + ":" + std::to_string(kPort) + ": " +
            std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::uint32_t NetmaskOf(std::uint32_t ip) {
  ifaddrs* list = nullptr;
  std::uint32_t mask = (ip >> 24) == 127 ? 0xFF000000u : 0xFFFFFFFFu;
  if (::getifaddrs(&list) != 0) return mask;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_netmask) continue;
    const auto* a = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
    if (ntohl(a->sin_addr.s_addr) == ip)
      mask = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
  }
  ::freeifaddrs(list);
  return mask;
}

Server::Server(Device& device, ChannelOptions options)
    : device_(device), options_(options), channel_(device, options) {}

Server::~Server() {
  Stop();
  if (socket_ >= 0) ::close(socket_);
  if (wake_ >= 0) ::close(wake_);
}

bool Server::Open(std::string& error) {
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) {
    error = std::string("cannot make an event: ") + std::strerror(errno);
    return false;
  }
  socket_ = BindUdp(options_.ip, error);
  return socket_ >= 0;
}

void Server::SetIdle(std::function<void()> idle, std::chrono::milliseconds gap) {
  idle_ = std::move(idle);
  idleGap_ = gap;
}

void Server::Start() {
  server_ = std::thread([this] { Serve(); });
  worker_ = std::thread([this] { Work(); });
}

void Server::Stop() {
  stop_ = true;
  Wake();
  work_.notify_all();
  if (server_.joinable()) server_.join();
  if (worker_.joinable()) worker_.join();
}

void Server::Wake() {
  if (wake_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

std::vector<std::uint8_t> Server::DiscoveryAck(std::uint16_t id) const {
  BootstrapState state{.ip = options_.ip,
                       .netmask = options_.netmask,
                       .heartbeatMs = options_.defaultHeartbeatMs,
                       .pendingTimeoutMs = options_.pendingTimeoutMs};
  std::vector<std::uint8_t> data = BootstrapImage(device_.Info(), state);
  data.resize(kDiscoveryDataSize);
  return MakeAck(kSuccess, kDiscoveryAck, id, data);
}

void Server::Send(const Endpoint& to, const std::vector<std::uint8_t>& datagram) {
  if (datagram.empty()) return;
  const sockaddr_in a = SocketAddress(to.ip, to.port);
  // A full socket buffer drops it, as the network could: the client retries.
  [[maybe_unused]] const ssize_t n =
      ::sendto(socket_, datagram.data(), datagram.size(), MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

void Server::Serve() {
  std::vector<std::uint8_t> buffer(kDatagramRoom);
  while (!stop_) {
    const auto now = Clock::now();
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(channel_.NextDeadline(now) - now);
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    ::poll(fds, 2, static_cast<int>(std::clamp<long long>(wait.count() + 1, 0, 1000)));
    if (stop_) break;
    for (int i = 0; i < kBurst; ++i) {
      sockaddr_in from{};
      socklen_t fromSize = sizeof from;
      const ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromSize);
      if (n < 0) break;
      const Endpoint client{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
      ControlChannel::Outcome out =
          channel_.Receive(client, {buffer.data(), static_cast<std::size_t>(n)}, Clock::now());
      Send(client, out.reply);
      if (out.job) {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(*out.job));
        work_.notify_one();
      }
    }
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t r = ::read(wake_, &count, sizeof count);
    std::deque<Job> done;
    {
      std::lock_guard lock(mutex_);
      done.swap(finished_);
    }
    for (const Job& job : done) Send(job.client, channel_.Finished(job, Clock::now()));
    for (const auto& [to, datagram] : channel_.Tick(Clock::now())) Send(to, datagram);
  }
}

void Server::Work() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (jobs_.empty()) {
      const bool woke = work_.wait_for(lock, idleGap_, [this] { return stop_ || !jobs_.empty(); });
      if (stop_) break;
      if (!woke) {
        if (idle_) {
          lock.unlock();
          idle_();
          lock.lock();
        }
        continue;
      }
    }
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    Run(device_, job);
    lock.lock();
    finished_.push_back(std::move(job));
    Wake();
  }
}

DiscoveryResponder::DiscoveryResponder(std::vector<const Server*> servers)
    : servers_(std::move(servers)) {}

DiscoveryResponder::~DiscoveryResponder() {
  Stop();
  if (socket_ >= 0) ::close(socket_);
  if (wake_ >= 0) ::close(wake_);
}

bool DiscoveryResponder::Open(std::string& error) {
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  socket_ = BindUdp(INADDR_ANY, error);
  return socket_ >= 0 && wake_ >= 0;
}

void DiscoveryResponder::Start() {
  thread_ = std::thread([this] { Serve(); });
}

void DiscoveryResponder::Stop() {
  stop_ = true;
  if (wake_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
}

void DiscoveryResponder::Serve() {
  std::vector<std::uint8_t> buffer(kDatagramRoom);
  while (!stop_) {
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    ::poll(fds, 2, 1000);
    for (int i = 0; i < kBurst && !stop_; ++i) {
      sockaddr_in from{};
      socklen_t fromSize = sizeof from;
      const ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromSize);
      if (n < 0) break;
      const auto request = ParseRequest({buffer.data(), static_cast<std::size_t>(n)});
      if (!request || request->command != kDiscoveryCmd) continue;
      for (const Server* server : servers_) {
        const std::vector<std::uint8_t> ack = server->DiscoveryAck(request->id);
        [[maybe_unused]] const ssize_t s =
            ::sendto(server->socket(), ack.data(), ack.size(), MSG_DONTWAIT,
                     reinterpret_cast<const sockaddr*>(&from), sizeof from);
      }
    }
  }
}

}  // namespace vexq4::gvcp
