// Lines on serial device servers: their names, and connecting to the
// server (name lookup, TCP, the RFC 2217 opening) within the connect
// time-out. The line itself is network_line.cpp.
#include "vexq4/platform/network_device.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "line_problems.h"
#include "network_line.h"
#include "telnet.h"
#include "vexq4/platform/abandon.h"
#include "vexq4/platform/ini_file.h"
#include "wait.h"

namespace vexq4::platform {
namespace {

using detail::SteadyClock;
using Ms = std::chrono::milliseconds;

using detail::kRfc2217Prefix;
using detail::kSocketPrefix;

// Whether `name` starts with `prefix` (its scheme in lower case), the
// scheme in any letter case: RFC 3986 makes schemes case-insensitive.
bool HasScheme(std::string_view name, std::string_view prefix) {
  if (name.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = name[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[i]) return false;
  }
  return true;
}
// A dead network (a cable pulled, the server's power gone) ends the
// connection after this long without an acknowledgement of data sent,
// instead of the system's many minutes.
constexpr unsigned kUserTimeoutMs = 5000;

struct Resolved {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int status = 0;
  addrinfo* list = nullptr;
  ~Resolved() {
    if (list) ::freeaddrinfo(list);
  }
};

std::string Where(const NetworkAddress& a) {
  const bool v6 = a.host.find(':') != std::string::npos;
  return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

OpenResult Failure(OpenError kind, std::string detail) {
  OpenResult result;
  result.error = kind;
  result.detail = std::move(detail);
  return result;
}

// getaddrinfo() has no time-out of its own (a resolver that does not
// answer holds it for many seconds): it runs on a thread of its own, and
// the caller stops waiting at its deadline. Numeric addresses need none.
std::shared_ptr<Resolved> Resolve(const NetworkAddress& address, SteadyClock::time_point deadline,
                                  std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
  const std::string port = std::to_string(address.port);
  auto state = std::make_shared<Resolved>();
  if (::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &state->list) == 0) return state;
  state->list = nullptr;

  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  std::thread([state, host = address.host, port, hints] {
    addrinfo* list = nullptr;
    const int status = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    std::lock_guard lock(state->mutex);
    state->status = status;
    state->list = status == 0 ? list : nullptr;
    state->finished = true;
    state->done.notify_all();
  }).detach();
  std::unique_lock lock(state->mutex);
  // Woken now and then to notice a stop request.
  while (!state->finished && SteadyClock::now() < deadline && !AbandonRequested())
    state->done.wait_until(lock, std::min(deadline, SteadyClock::now() + Ms(100)));
  if (!state->finished) {
    *error = AbandonRequested() ? "stopped while looking the host up"
                                : "the host name was not resolved in time";
    return nullptr;
  }
  if (state->status != 0) {
    *error = state->status == EAI_NONAME || state->status == EAI_NODATA
                 ? "unknown host"
                 : std::string("cannot look the host up: ") + ::gai_strerror(state->status);
    return nullptr;
  }
  return state;
}

// A connected socket to one of the addresses, or -1 with the cause.
int Connect(const addrinfo* list, SteadyClock::time_point deadline, std::string* error) {
  *error = "no address";
  for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
    const int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      *error = std::strerror(errno);
      continue;
    }
    int err = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        short revents = 0;
        const detail::Wait waited = detail::WaitForDescriptor(fd, POLLOUT, deadline, &revents);
        if (waited == detail::Wait::kReady) {
          socklen_t length = sizeof err;
          if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
        } else {
          ::close(fd);
          *error = waited == detail::Wait::kAbandoned ? "stopped while connecting"
                                                      : "no answer in time (connection timed out)";
          return -1;  // the time is used up: no other address is tried
        }
      }
    }
    if (err == 0) return fd;
    ::close(fd);
    *error = err == ECONNREFUSED ? "connection refused (nothing listens on that port)"
                                 : std::strerror(err);
  }
  return -1;
}

void TuneSocket(int fd) {
  const int on = 1;
  // Lines are a few bytes each and wait for their answer: send each at once.
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
  // An idle connection to a vanished server is noticed within a minute.
  const int idle = 20, interval = 5, count = 4;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

}  // namespace

bool IsNetworkDeviceName(std::string_view name) {
  return HasScheme(name, kRfc2217Prefix) || HasScheme(name, kSocketPrefix);
}

std::optional<NetworkAddress> ParseNetworkDeviceName(std::string_view name, std::string* error) {
  std::string ignored;
  std::string& why = error ? *error : ignored;
  NetworkAddress address;
  std::string_view rest;
  if (HasScheme(name, kRfc2217Prefix)) {
    rest = name.substr(kRfc2217Prefix.size());
  } else if (HasScheme(name, kSocketPrefix)) {
    address.scheme = NetworkScheme::kSocket;
    rest = name.substr(kSocketPrefix.size());
  } else {
    why = "not rfc2217://HOST:PORT or socket://HOST:PORT";
    return std::nullopt;
  }
  std::string_view host;
  std::string_view port;
  if (rest.starts_with('[')) {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      why = "an IPv6 address goes in brackets, followed by :PORT ([::1]:4001)";
      return std::nullopt;
    }
    host = rest.substr(1, close - 1);
    port = rest.substr(close + 2);
  } else {
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
      why = "no :PORT after the host";
      return std::nullopt;
    }
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) {
      why = "an IPv6 address goes in brackets ([::1]:4001)";
      return std::nullopt;
    }
  }
  if (host.empty()) {
    why = "no host";
    return std::nullopt;
  }
  for (const char c : host) {
    // Names, dotted and IPv6 addresses, with an IPv6 zone after '%'.
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_' || c == ':' || c == '%';
    if (!ok) {
      why = "the host holds a character no host name has";
      return std::nullopt;
    }
  }
  const std::optional<unsigned> number = PlainNumber(port, 65535);
  if (!number || *number == 0) {
    why = "the port is not a number from 1 to 65535";
    return std::nullopt;
  }
  address.host = std::string(host);
  address.port = static_cast<std::uint16_t>(*number);
  return address;
}

namespace {

constexpr char kConnectTimeoutVariable[] = "VEXQ4_CONNECT_TIMEOUT_MS";

std::optional<Ms> ConnectTimeoutVariable(std::string_view text) {
  const std::optional<unsigned> ms = PlainNumber(text, kMaxConnectTimeoutMs);
  if (!ms || *ms < kMinConnectTimeoutMs) return std::nullopt;
  return Ms(*ms);
}

}  // namespace

std::chrono::milliseconds NetworkConnectTimeout() {
  const char* text = std::getenv(kConnectTimeoutVariable);
  return ConnectTimeoutVariable(text ? text : "").value_or(kDefaultConnectTimeout);
}

std::string ConnectTimeoutVariableProblem() {
  const char* text = std::getenv(kConnectTimeoutVariable);
  if (!text || !*text || ConnectTimeoutVariable(text)) return {};
  return std::string(kConnectTimeoutVariable) + "=" + text + " is not " +
         std::to_string(kMinConnectTimeoutMs) + " to " + std::to_string(kMaxConnectTimeoutMs) +
         " milliseconds; connecting gives up after the standard " +
         std::to_string(kDefaultConnectTimeout.count()) + " ms";
}

OpenResult OpenNetworkDevice(const std::string& name) {
  std::string why;
  const std::optional<NetworkAddress> address = ParseNetworkDeviceName(name, &why);
  if (!address) return Failure(OpenError::kNoDevice, name + ": " + why);
  const std::string where = Where(*address);
  const Ms limit = NetworkConnectTimeout();
  const auto deadline = SteadyClock::now() + limit;

  const std::shared_ptr<Resolved> resolved = Resolve(*address, deadline, &why);
  if (!resolved) return Failure(OpenError::kNetwork, where + ": " + why);
  const int fd = Connect(resolved->list, deadline, &why);
  if (fd < 0) return Failure(OpenError::kNetwork, where + ": " + why);
  TuneSocket(fd);

  const bool rfc2217 = address->scheme == NetworkScheme::kRfc2217;
  auto line = std::make_unique<detail::NetworkLine>(fd, rfc2217, name);
  if (rfc2217) {
    if (std::string refused = line->Negotiate(deadline, limit); !refused.empty())
      return Failure(line->Lost() ? OpenError::kNetwork : OpenError::kSettings,
                     where + ": " + refused);
  }
  OpenResult result;
  result.device = std::move(line);
  return result;
}

}  // namespace vexq4::platform
