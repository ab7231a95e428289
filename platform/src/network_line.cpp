// A line on a serial device server: a TCP connection, raw (socket://) or
// with RFC 2217's Telnet framing and Com Port Control (rfc2217://),
// behaving towards the line protocol as a serial device does.
#include "network_line.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "line_problems.h"
#include "telnet.h"
#include "vexq4/platform/abandon.h"

namespace vexq4::platform::detail {
namespace {

using Ms = std::chrono::milliseconds;

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

}  // namespace

NetworkLine::NetworkLine(int fd, bool rfc2217, std::string name)
    : fd_(fd), rfc2217_(rfc2217), name_(std::move(name)) {}

NetworkLine::~NetworkLine() { ::close(fd_); }

void NetworkLine::MarkLost(int err) {
  if (lost_) return;
  lost_ = true;
  // A server that turns a client away says why and hangs up; a write that
  // fails on the closed connection must not lose its words.
  TakeLastWords();
  // EPIPE: a write after the server closed its end. A server that gave
  // its reason and hung up resets the connection when our next bytes
  // reach it: that is its hanging up too.
  const std::string said = ServerSaid();
  lostCause_ = err == 0 || err == EPIPE || (err == ECONNRESET && !said.empty())
                   ? "closed by the server"
               : err == ECONNRESET ? "reset by the server"
               : err == ETIMEDOUT  ? "the server stopped answering"
                                   : std::strerror(err);
  RecordLineProblem(name_, OpenError::kNetwork,
                    "connection to " + name_ + " lost: " + lostCause_ + said);
}

void NetworkLine::Note(std::span<const std::uint8_t> data) {
  received_ += data.size();
  constexpr std::size_t kGreetingKept = 256;
  if (wrote_ || greeting_.size() >= kGreetingKept) return;
  const std::size_t n = std::min(data.size(), kGreetingKept - greeting_.size());
  greeting_.append(reinterpret_cast<const char*>(data.data()), n);
}

void NetworkLine::TakeLastWords() {
  if (wrote_) return;
  std::uint8_t chunk[4096];
  std::vector<std::uint8_t> data, reply;
  // Words, not a flood: a few chunks at most.
  for (int i = 0; i < 4; ++i) {
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    const std::span<const std::uint8_t> got(chunk, static_cast<std::size_t>(n));
    if (!rfc2217_) {
      Note(got);
      continue;
    }
    data.clear();
    codec_.Receive(got, data, reply);  // the server is gone: nothing is answered
    Note(data);
  }
}

SteadyClock::time_point NetworkLine::ReplyDeadline() const {
  return std::min(SteadyClock::now() + Ms(1000), openingDeadline_);
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
    Note(got);
  } else {
    std::vector<std::uint8_t> reply;
    const std::size_t before = data_.size();
    codec_.Receive(got, data_, reply);
    Note(std::span(data_).subspan(before));
    if (purgePending_) {
      // Everything before the purge's answer is what the server had
      // already sent on: stale.
      dataStart_ = codec_.answers().purges >= purgeAnswers_
                       ? std::max(dataStart_, codec_.answers().purgeMark)
                       : data_.size();
    }
    // Answers to options the server asks about mid-stream; a few bytes
    // that go out at once unless the connection is failing.
    if (!reply.empty()) SendRaw(reply, ReplyDeadline());
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
  wrote_ = true;  // from now on the bytes that come are the camera's answers
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
  for (bool looked = false;; looked = true) {
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
    // A server that keeps sending what is no data for us (negotiation
    // without end, bytes dropped until a purge's answer) finds the socket
    // ready at every wait: the deadline ends the read all the same.
    if (looked && SteadyClock::now() >= deadline) return false;
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
  // ("Port already in use"): its first line, printable characters only.
  std::string text;
  for (std::size_t i = 0; i < greeting_.size() && text.size() < 80; ++i) {
    const char c = greeting_[i];
    if (c == '\r' || c == '\n') {
      if (!text.empty()) break;
      continue;
    }
    if (c >= ' ' && c <= '~') text.push_back(c);
  }
  return text.empty() ? std::string() : " (it said \"" + text + "\")";
}

std::string NetworkLine::OpeningFailed() const {
  if (lost_) return "the connection was " + lostCause_ + " while opening" + ServerSaid();
  if (AbandonRequested()) return "stopped while opening";
  return "the server did not take what was sent in time";
}

std::string NetworkLine::WhatTheServerSent() const {
  std::string sent;
  if (codec_.negotiations() > 0)
    sent = std::to_string(codec_.negotiations()) + " Telnet option negotiations";
  if (received_ > 0) {
    sent += sent.empty() ? "" : " and ";
    sent += std::to_string(received_) + " bytes of data";
  }
  return sent.empty() ? "nothing" : sent;
}

std::string NetworkLine::Negotiate(SteadyClock::time_point deadline, Ms limit) {
  openingDeadline_ = deadline;
  std::string failed = NegotiateSettings(deadline, limit);
  openingDeadline_ = SteadyClock::time_point::max();
  return failed;
}

std::string NetworkLine::NegotiateSettings(SteadyClock::time_point deadline, Ms limit) {
  const std::string inTime =
      "within the connect time-out (" + std::to_string(limit.count()) + " ms)";
  std::vector<std::uint8_t> offer = codec_.Offer();
  if (!SendRaw(offer, deadline)) return OpeningFailed();
  // The deadline is looked at after every fill: a server that keeps
  // sending finds the socket ready at once, at every wait.
  const auto waitFor = [&](auto done) {
    while (!done()) {
      if (codec_.comPortRefused()) return false;
      if (SteadyClock::now() >= deadline || !WaitAndFill(deadline)) return done();
    }
    return true;
  };
  const bool accepted =
      waitFor([&] { return codec_.ours(telnet::kComPortOption) == telnet::OptionState::kYes; });
  if (!accepted) {
    if (lost_ || AbandonRequested()) return OpeningFailed();
    const std::string raw = "socket://" + name_.substr(kRfc2217Prefix.size());
    if (codec_.comPortRefused())
      return "the server refused RFC 2217 (COM port control); for a raw TCP port use " + raw;
    // Negotiation without the option is a Telnet server that ignores it;
    // no negotiation at all, a raw TCP port.
    return "no RFC 2217 answer " + inTime + "; the server sent " + WhatTheServerSent() +
           (codec_.negotiations() > 0 ? " but did not take COM port control"
                                      : " (a raw TCP port? use " + raw + ")");
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
  if (!SendRaw(settings, deadline)) return OpeningFailed();

  const telnet::ComPortAnswers& a = codec_.answers();
  const bool answered =
      waitFor([&] { return a.baudRate && a.dataSize && a.parity && a.stopSize && a.control; });
  if (!answered) {
    if (lost_ || AbandonRequested()) return OpeningFailed();
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
    return "the server did not confirm the line settings " + inTime + " (no " + missing +
           "); it sent " + WhatTheServerSent();
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
  while (a.purges == 0 && SteadyClock::now() < grace && WaitAndFill(grace)) {
  }
  purges_ = a.purges > 0;
  data_.clear();  // what the camera sent before is nobody's answer
  dataStart_ = 0;
  return {};
}

}  // namespace vexq4::platform::detail
