// A serial device server in the test's own process, on the loopback
// address: it accepts connections one after another and plays an RFC 2217
// server (or a raw TCP port) in front of a tiny camera, with switches for
// the ways a server can refuse, mislead or vanish.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexq4::test {

struct ServerBehaviour {
  bool telnet = true;          // false: raw TCP, every byte is the camera's
  bool refuseComPort = false;  // DONT COM-PORT-OPTION
  bool answerPurge = true;
  std::uint32_t baudAnswer = 0;   // 0: confirms what was asked
  int controlAnswer = -1;         // -1: confirms what was asked
  std::string staleOnPurge;       // sent just before the purge answer
  int closeAfterLines = -1;       // hangs up once this many lines came
  bool optionsMidStream = false;  // a DO ECHO inside every answer
  // Sent as soon as a client connects, as it is (Telnet commands too);
  // with hangUp the server then closes (a port already in use).
  std::string greeting;
  bool hangUp = false;
  // A server that keeps sending for floodMs: Telnet option offers without
  // end, or data; at once, or once the RFC 2217 opening is answered.
  enum class Flood { kNone, kOptions, kData } flood = Flood::kNone;
  bool floodAfterOpening = false;
  int floodMs = 4000;
};

class FakeServer {
 public:
  explicit FakeServer(ServerBehaviour behaviour = {}) : behaviour_(behaviour) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listen_, 4);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  int port() const { return port_; }
  std::string Name(const char* scheme = "rfc2217") const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
  }
  // Takes effect for the next connection.
  void Set(const ServerBehaviour& behaviour) {
    std::lock_guard lock(mutex_);
    behaviour_ = behaviour;
  }

  // What the clients sent so far, Telnet framing removed.
  std::string data() {
    std::lock_guard lock(mutex_);
    return data_;
  }
  // Every COM-PORT-OPTION request as (command, first value byte).
  std::vector<std::pair<int, int>> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  int connections() const { return connections_; }

 private:
  using Bytes = std::vector<std::uint8_t>;

  void Serve() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      ServerBehaviour b;
      {
        std::lock_guard lock(mutex_);
        b = behaviour_;
      }
      Put(fd, Bytes(b.greeting.begin(), b.greeting.end()));
      if (b.flood != ServerBehaviour::Flood::kNone && !b.floodAfterOpening) {
        Flood(fd, b);
      } else if (!b.hangUp) {
        Connection(fd, b);
      }
      ::close(fd);
    }
  }

  // Sends without end (within floodMs), reading and dropping what the
  // client says meanwhile.
  void Flood(int fd, const ServerBehaviour& b) {
    Bytes unit;
    if (b.flood == ServerBehaviour::Flood::kOptions) {
      // More than the client reads at once, so that it always finds more.
      for (int round = 0; round < 64; ++round)
        for (int option = 100; option < 200; ++option)
          unit.insert(unit.end(), {255, 251, static_cast<std::uint8_t>(option)});  // WILL
    } else {
      unit.assign(65536, 'x');
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(b.floodMs);
    while (!stop_ && std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN | POLLOUT, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      if (p.revents & POLLIN) {
        std::uint8_t sink[4096];
        const ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
      }
      if (p.revents & POLLOUT) ::send(fd, unit.data(), unit.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
  }

  static void Put(int fd, const Bytes& bytes) {
    if (!bytes.empty()) ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }

  // The camera: "XX?" gets "XX=5", "XX=v" gets "COMPLETE"; 0xFF doubled.
  Bytes Answer(const std::string& line, const ServerBehaviour& b) const {
    std::string text;
    const std::string body = line.substr(0, line.size() - 2);
    if (!body.empty() && body.back() == '?') {
      text = body.substr(0, body.size() - 1) + "=5\r\n";
    } else {
      text = "COMPLETE\r\n";
    }
    Bytes out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (b.telnet && b.optionsMidStream && i == 2) out.insert(out.end(), {255, 253, 1});
      out.push_back(static_cast<std::uint8_t>(text[i]));
      if (b.telnet && out.back() == 255) out.push_back(255);
    }
    return out;
  }

  void Connection(int fd, const ServerBehaviour& b) {
    enum { kData, kIac, kOption, kSub, kSubIac } state = kData;
    int verb = 0;
    Bytes sub;
    std::string line;
    int lines = 0;
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      std::uint8_t chunk[512];
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return;
      for (ssize_t i = 0; i < n; ++i) {
        const std::uint8_t c = chunk[i];
        if (!b.telnet) state = kData;
        switch (state) {
          case kData:
            if (b.telnet && c == 255) {
              state = kIac;
              break;
            }
            {
              std::lock_guard lock(mutex_);
              data_.push_back(static_cast<char>(c));
            }
            line.push_back(static_cast<char>(c));
            if (line.size() >= 2 && line.ends_with("\r\n")) {
              ++lines;
              if (b.closeAfterLines >= 0 && lines > b.closeAfterLines) return;
              Put(fd, Answer(line, b));
              line.clear();
            }
            break;
          case kIac:
            state = kData;
            if (c == 255) {
              std::lock_guard lock(mutex_);
              data_.push_back(static_cast<char>(c));
              line.push_back(static_cast<char>(c));
            } else if (c >= 251) {
              verb = c;
              state = kOption;
            } else if (c == 250) {
              sub.clear();
              state = kSub;
            }
            break;
          case kOption:
            state = kData;
            if (verb == 251 && c == 44)
              Put(fd, {255, b.refuseComPort ? std::uint8_t{254} : std::uint8_t{253}, 44});
            if (verb == 251 && c == 0) Put(fd, {255, 253, 0});
            if (verb == 253 && c == 0) Put(fd, {255, 251, 0});
            break;
          case kSub:
            if (c == 255) {
              state = kSubIac;
            } else {
              sub.push_back(c);
            }
            break;
          case kSubIac:
            if (c == 255) {
              sub.push_back(c);
              state = kSub;
              break;
            }
            state = kData;
            Subnegotiation(fd, sub, b);
            break;
        }
      }
      if (flooding_) {
        flooding_ = false;
        Flood(fd, b);
        return;
      }
    }
  }

  void Subnegotiation(int fd, const Bytes& sub, const ServerBehaviour& b) {
    if (sub.size() < 3 || sub[0] != 44) return;
    const int command = sub[1];
    {
      std::lock_guard lock(mutex_);
      requests_.emplace_back(command, sub[2]);
    }
    Bytes value(sub.begin() + 2, sub.end());
    if (command == 1 && b.baudAnswer != 0)
      value = {static_cast<std::uint8_t>(b.baudAnswer >> 24),
               static_cast<std::uint8_t>(b.baudAnswer >> 16),
               static_cast<std::uint8_t>(b.baudAnswer >> 8),
               static_cast<std::uint8_t>(b.baudAnswer)};
    if (command == 5 && b.controlAnswer >= 0) value = {static_cast<std::uint8_t>(b.controlAnswer)};
    if (command == 12) {
      if (b.flood != ServerBehaviour::Flood::kNone && b.floodAfterOpening) {
        flooding_ = true;  // after the purge's answer
      }
      if (!b.answerPurge) return;
      Put(fd, Bytes(b.staleOnPurge.begin(), b.staleOnPurge.end()));
    }
    Bytes answer{255, 250, 44, static_cast<std::uint8_t>(command + 100)};
    for (const std::uint8_t v : value) {
      answer.push_back(v);
      if (v == 255) answer.push_back(255);
    }
    answer.insert(answer.end(), {255, 240});
    Put(fd, answer);
  }

  ServerBehaviour behaviour_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  bool flooding_ = false;  // the server's thread only
  std::mutex mutex_;
  std::string data_;
  std::vector<std::pair<int, int>> requests_;
  std::thread thread_;
};

}  // namespace vexq4::test
