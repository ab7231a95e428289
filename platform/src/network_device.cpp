// Lines on serial device servers: a TCP connection, raw (socket://) or with
// RFC 2217's Telnet framing and Com Port Control (rfc2217://), behaving
// towards the line protocol as a serial device does.
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

constexpr std::string_view kRfc2217Prefix = "rfc2217://";
constexpr std::string_view kSocketPrefix = "socket://";

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

constexpr std::uint32_t kBaudRate = 9600;
constexpr std::uint8_t kDataBits = 8;
// After the settings are confirmed, how much longer the opening waits for
// the answer to its purge before taking the server for one without it.
constexpr Ms kPurgeGrace{250};
// A purge unanswered this long means the server stopped answering them.
constexpr Ms kPurgeAnswerTime{600};
// The most of the camera's bytes kept unread (its longest answer is the
// 1546-byte shading frame).
constexpr std::size_t kMaxBuffered = 16384;
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

std::chrono::milliseconds NetworkConnectTimeout() {
  const char* text = std::getenv("VEXQ4_CONNECT_TIMEOUT_MS");
  const std::optional<unsigned> ms = PlainNumber(text ? text : "", 60000);
  return ms && *ms >= 100 ? Ms(*ms) : kDefaultConnectTimeout;
}

namespace detail {

// ---- NetworkLine -------------------------------------------------------

NetworkLine::NetworkLine(int fd, bool rfc2217, std::string name)
    : fd_(fd), rfc2217_(rfc2217), name_(std::move(name)) {}

NetworkLine::~NetworkLine() { ::close(fd_); }

void NetworkLine::MarkLost(int err) {
  if (lost_) return;
  lost_ = true;
  std::string cause = err == 0            ? "closed by the server"
                      : err == ECONNRESET ? "reset by the server"
                      : err == ETIMEDOUT  ? "the server stopped answering"
                                          : std::strerror(err);
  RecordLineProblem(name_, OpenError::kNetwork, "connection to " + name_ + " lost: " + cause);
}

bool NetworkLine::SendRaw(std::span<const std::uint8_t> bytes, SteadyClock::time_point deadline) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (lost_) return false;
    const ssize_t n =
        ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      MarkLost(errno);
      return false;
    }
    short revents = 0;
    if (WaitForDescriptor(fd_, POLLOUT, deadline, &revents) != Wait::kReady) return false;
    if (revents & (POLLERR | POLLHUP)) {
      Fill();  // learns why
      if (!lost_) MarkLost(EPIPE);
      return false;
    }
  }
  return true;
}

void NetworkLine::Fill() {
  std::uint8_t chunk[4096];
  ssize_t n = 0;
  do {
    n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n == 0) {
    MarkLost(0);
    return;
  }
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) MarkLost(errno);
    return;
  }
  const std::span<const std::uint8_t> got(chunk, static_cast<std::size_t>(n));
  if (!rfc2217_) {
    data_.insert(data_.end(), got.begin(), got.end());
  } else {
    std::vector<std::uint8_t> reply;
    codec_.Receive(got, data_, reply);
    if (purgePending_) {
      // Everything before the purge's answer is what the server had
      // already sent on: stale.
      dataStart_ = codec_.answers().purges >= purgeAnswers_
                       ? std::max(dataStart_, codec_.answers().purgeMark)
                       : data_.size();
    }
    // Answers to options the server asks about mid-stream; a few bytes
    // that go out at once unless the connection is failing.
    if (!reply.empty()) SendRaw(reply, SteadyClock::now() + Ms(1000));
  }
  // No answer of the camera is this long: a flooding line keeps only its
  // latest bytes.
  if (data_.size() - dataStart_ > kMaxBuffered) dataStart_ = data_.size() - kMaxBuffered;
  if (dataStart_ == data_.size()) {
    data_.clear();
    dataStart_ = 0;
  }
}

bool NetworkLine::WaitAndFill(SteadyClock::time_point deadline) {
  if (lost_) return false;
  short revents = 0;
  if (WaitForDescriptor(fd_, POLLIN, deadline, &revents) != Wait::kReady) return false;
  Fill();
  return true;
}

bool NetworkLine::Write(std::span<const std::uint8_t> bytes) {
  if (AbandonRequested() || lost_) return false;
  std::vector<std::uint8_t> framed;
  if (rfc2217_) {
    codec_.Encode(bytes, framed);
    bytes = framed;
  }
  // As for a serial port: a fixed margin and about two byte times a byte.
  const auto deadline = SteadyClock::now() + Ms(1000) + Ms(2 * bytes.size());
  if (!SendRaw(bytes, deadline)) return false;
  // The camera's bytes cross the server's serial line at 9600 baud.
  const auto now = SteadyClock::now();
  lineFreeAt_ = std::max(lineFreeAt_, now) +
                std::chrono::microseconds(1042) * static_cast<long>(bytes.size());
  return true;
}

bool NetworkLine::ReadByte(std::uint8_t& out) { return ReadByteWithin(out, 101); }

void NetworkLine::SettlePurge() {
  if (!purgePending_) return;
  if (codec_.answers().purges >= purgeAnswers_) {
    purgePending_ = false;  // Fill() dropped what came before the answer
  } else if (lost_ || SteadyClock::now() >= purgeGiveUp_) {
    // No answer: the server does without; drains go by quiet time alone.
    purgePending_ = false;
    purges_ = false;
  }
}

bool NetworkLine::ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) {
  const auto deadline = SteadyClock::now() + Ms(timeoutMs);
  for (;;) {
    SettlePurge();
    if (!purgePending_ && dataStart_ < data_.size()) {
      out = data_[dataStart_++];
      if (dataStart_ == data_.size()) {
        data_.clear();
        dataStart_ = 0;
      }
      return true;
    }
    // A lost line answers at once: nothing more will come.
    if (lost_ || AbandonRequested()) return false;
    if (!WaitAndFill(purgePending_ ? std::min(deadline, purgeGiveUp_) : deadline)) {
      SettlePurge();
      if (SteadyClock::now() >= deadline || lost_ || AbandonRequested()) return false;
    }
  }
}

bool NetworkLine::Drain() {
  // No tcdrain across a network: wait as long as the bytes written take on
  // the server's line, so that single bytes reach the camera paced as from
  // a local port.
  const auto limit = SteadyClock::now() + Ms(2000);
  SleepUntil(std::min(lineFreeAt_, limit));
  return !lost_;
}

void NetworkLine::DiscardInput() {
  data_.clear();
  dataStart_ = 0;
  if (!rfc2217_ || !purges_ || lost_ || purgePending_) return;
  // The server throws away what the camera sent that it holds. Its answer
  // is not waited for here: the quiet-time reads of the drain that follow
  // wait for it, and what came before it is dropped.
  const std::uint8_t what = telnet::kPurgeReceived;
  if (!SendRaw(telnet::Codec::ComPortRequest(telnet::kPurgeData, std::span(&what, 1)),
               SteadyClock::now() + Ms(1000)))
    return;
  purgePending_ = true;
  purgeAnswers_ = codec_.answers().purges + 1;
  purgeGiveUp_ = SteadyClock::now() + kPurgeAnswerTime;
}

std::string NetworkLine::ServerSaid() const {
  // A server that turns a client away often says why in plain text
  // ("port already in use"): its first line, printable characters only.
  std::string text;
  for (std::size_t i = dataStart_; i < data_.size() && text.size() < 80; ++i) {
    const auto c = static_cast<char>(data_[i]);
    if (c == '\r' || c == '\n') {
      if (!text.empty()) break;
      continue;
    }
    if (c >= ' ' && c <= '~') text.push_back(c);
  }
  return text.empty() ? std::string() : " (it said \"" + text + "\")";
}

std::string NetworkLine::Negotiate(SteadyClock::time_point deadline) {
  std::vector<std::uint8_t> offer = codec_.Offer();
  if (!SendRaw(offer, deadline)) return "the connection failed while opening";
  const auto waitFor = [&](auto done) {
    while (!done()) {
      if (codec_.comPortRefused()) return false;
      if (!WaitAndFill(deadline)) return false;
    }
    return true;
  };
  const bool accepted =
      waitFor([&] { return codec_.ours(telnet::kComPortOption) == telnet::OptionState::kYes; });
  if (!accepted) {
    if (lost_) return "the server closed the connection while opening" + ServerSaid();
    if (AbandonRequested()) return "stopped while opening";
    if (codec_.comPortRefused())
      return "the server refused RFC 2217 (COM port control); for a raw TCP port use "
             "socket://" +
             name_.substr(kRfc2217Prefix.size());
    return "no RFC 2217 answer in time (a raw TCP port? use socket://" +
           name_.substr(kRfc2217Prefix.size()) + ")";
  }

  const std::uint8_t baud[4] = {0, 0, kBaudRate >> 8 & 0xFF, kBaudRate & 0xFF};
  const std::uint8_t dataBits = kDataBits, parity = telnet::kParityNone, stop = telnet::kOneStopBit,
                     flow = telnet::kNoFlowControl, purge = telnet::kPurgeReceived;
  std::vector<std::uint8_t> settings;
  for (const auto& request : {telnet::Codec::ComPortRequest(telnet::kSetBaudRate, baud),
                              telnet::Codec::ComPortRequest(telnet::kSetDataSize, {&dataBits, 1}),
                              telnet::Codec::ComPortRequest(telnet::kSetParity, {&parity, 1}),
                              telnet::Codec::ComPortRequest(telnet::kSetStopSize, {&stop, 1}),
                              telnet::Codec::ComPortRequest(telnet::kSetControl, {&flow, 1}),
                              telnet::Codec::ComPortRequest(telnet::kPurgeData, {&purge, 1})})
    settings.insert(settings.end(), request.begin(), request.end());
  if (!SendRaw(settings, deadline)) return "the connection failed while opening";

  const telnet::ComPortAnswers& a = codec_.answers();
  const bool answered =
      waitFor([&] { return a.baudRate && a.dataSize && a.parity && a.stopSize && a.control; });
  if (!answered) {
    if (lost_) return "the server closed the connection while opening" + ServerSaid();
    std::string missing;
    for (const auto& [have, what] :
         {std::pair{a.baudRate.has_value(), "baud rate"},
          std::pair{a.dataSize.has_value(), "data bits"}, std::pair{a.parity.has_value(), "parity"},
          std::pair{a.stopSize.has_value(), "stop bits"},
          std::pair{a.control.has_value(), "flow control"}}) {
      if (have) continue;
      missing += missing.empty() ? "" : ", ";
      missing += what;
    }
    return "the server did not confirm the line settings in time (" + missing + ")";
  }
  if (*a.baudRate != kBaudRate)
    return "the server set " + std::to_string(*a.baudRate) + " baud, not 9600";
  if (*a.dataSize != kDataBits || *a.parity != telnet::kParityNone ||
      *a.stopSize != telnet::kOneStopBit)
    return "the server did not set 8 data bits, no parity, 1 stop bit (it answered " +
           std::to_string(*a.dataSize) + ", parity " + std::to_string(*a.parity) + ", stop " +
           std::to_string(*a.stopSize) + ")";
  if (*a.control != telnet::kNoFlowControl)
    return "the server kept flow control on (it answered " + std::to_string(*a.control) + ")";

  // The purge answer usually came with the others; a server without purge
  // gets its drains by quiet time alone.
  const auto grace = std::min(deadline, SteadyClock::now() + kPurgeGrace);
  while (a.purges == 0 && WaitAndFill(grace)) {
  }
  purges_ = a.purges > 0;
  data_.clear();  // what the camera sent before is nobody's answer
  dataStart_ = 0;
  return {};
}

}  // namespace detail

OpenResult OpenNetworkDevice(const std::string& name) {
  std::string why;
  const std::optional<NetworkAddress> address = ParseNetworkDeviceName(name, &why);
  if (!address) return Failure(OpenError::kNoDevice, name + ": " + why);
  const std::string where = Where(*address);
  const auto deadline = SteadyClock::now() + NetworkConnectTimeout();

  const std::shared_ptr<Resolved> resolved = Resolve(*address, deadline, &why);
  if (!resolved) return Failure(OpenError::kNetwork, where + ": " + why);
  const int fd = Connect(resolved->list, deadline, &why);
  if (fd < 0) return Failure(OpenError::kNetwork, where + ": " + why);
  TuneSocket(fd);

  const bool rfc2217 = address->scheme == NetworkScheme::kRfc2217;
  auto line = std::make_unique<detail::NetworkLine>(fd, rfc2217, name);
  if (rfc2217) {
    if (std::string refused = line->Negotiate(deadline); !refused.empty())
      return Failure(OpenError::kSettings, where + ": " + refused);
  }
  OpenResult result;
  result.device = std::move(line);
  return result;
}

}  // namespace vexq4::platform
