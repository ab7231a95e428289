// The device of a network line, for OpenNetworkDevice and for tests that
// put a fake server at the other end of a socket pair.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "telnet.h"
#include "vexq4/platform/serial_device.h"
#include "wait.h"

namespace vexq4::platform::detail {

inline constexpr std::string_view kRfc2217Prefix = "rfc2217://";
inline constexpr std::string_view kSocketPrefix = "socket://";

class NetworkLine final : public SerialDevice {
 public:
  // Takes `fd`, a connected stream socket. `name` is the device name the
  // user gave, for messages.
  NetworkLine(int fd, bool rfc2217, std::string name);
  ~NetworkLine() override;
  NetworkLine(const NetworkLine&) = delete;
  NetworkLine& operator=(const NetworkLine&) = delete;

  // RFC 2217 opening: the option, then 9600 8N1 without flow control,
  // confirmed by the server by `deadline`, the end of the connect
  // time-out `limit`. Empty on success, else what went wrong.
  std::string Negotiate(SteadyClock::time_point deadline, std::chrono::milliseconds limit);

  bool Write(std::span<const std::uint8_t> bytes) override;
  bool ReadByte(std::uint8_t& out) override;
  bool ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) override;
  bool Drain() override;
  bool Lost() const override { return lost_; }
  void DiscardInput() override;

  bool purges() const { return purges_; }
  const telnet::Codec& codec() const { return codec_; }

 private:
  std::string NegotiateSettings(SteadyClock::time_point deadline, std::chrono::milliseconds limit);
  bool SendRaw(std::span<const std::uint8_t> bytes, SteadyClock::time_point deadline);
  // Reads what the socket holds now into data_ (through the codec).
  void Fill();
  // Waits for the socket until `deadline`, then Fill(); false on time-out,
  // a stop request or a lost line.
  bool WaitAndFill(SteadyClock::time_point deadline);
  void MarkLost(int err);
  // Takes note of the camera's bytes as they come: before the first line
  // is written, whatever comes is the server's own (its refusal).
  void Note(std::span<const std::uint8_t> data);
  // Reads the rest of what a server that hung up before the first line
  // wrote (its reason), without answering it.
  void TakeLastWords();
  // What a server wrote before the first line, for messages.
  std::string ServerSaid() const;
  // Why the opening could not send or wait any more.
  std::string OpeningFailed() const;
  // What the server sent during the opening, for a time-out's message.
  std::string WhatTheServerSent() const;
  // The last time a reply to the server's negotiation may take to leave.
  SteadyClock::time_point ReplyDeadline() const;
  // Ends a pending purge once it is answered (or the server took too long).
  void SettlePurge();

  int fd_;
  bool rfc2217_;
  std::string name_;
  telnet::Codec codec_;
  std::vector<std::uint8_t> data_;  // the camera's bytes not yet read
  std::size_t dataStart_ = 0;
  bool lost_ = false;
  std::string lostCause_;
  bool wrote_ = false;          // a line of ours went out
  std::string greeting_;        // what came before it, its beginning
  std::uint64_t received_ = 0;  // the camera's bytes received so far
  // During the opening: its deadline, which answers to the server's
  // negotiation keep too.
  SteadyClock::time_point openingDeadline_ = SteadyClock::time_point::max();
  bool purges_ = false;  // the server answers PURGE-DATA
  // A purge asked for and not yet answered: no byte is handed out before
  // its answer, and the bytes that came before it are dropped.
  bool purgePending_ = false;
  unsigned purgeAnswers_ = 0;  // the answer count that ends it
  SteadyClock::time_point purgeGiveUp_{};
  SteadyClock::time_point lineFreeAt_{};
};

}  // namespace vexq4::platform::detail
