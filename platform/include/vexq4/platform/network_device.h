// Camera lines on serial device servers, named like serial devices:
//
//   rfc2217://HOST:PORT  Telnet with the Com Port Control option (RFC 2217):
//                        the line is set to 9600 8N1 without flow control
//                        and the server must confirm it;
//   socket://HOST:PORT   raw TCP: bytes as they are, with whatever settings
//                        the server's port has.
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets
// ([fe80::1%eth0] with its zone). Such a name goes wherever a device path
// does (VEXQ4_COM<n>, vexq4 --device); OpenSerialDevice opens either.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vexq4/platform/serial_device.h"

namespace vexq4::platform {

enum class NetworkScheme { kRfc2217, kSocket };

struct NetworkAddress {
  NetworkScheme scheme = NetworkScheme::kRfc2217;
  std::string host;  // without the brackets of an IPv6 address
  std::uint16_t port = 0;
};

// True when `name` starts with one of the schemes above (it may still be
// malformed).
bool IsNetworkDeviceName(std::string_view name);

// The address in `name`; empty, with what is wrong in `error`, when it is
// not of the forms above.
std::optional<NetworkAddress> ParseNetworkDeviceName(std::string_view name,
                                                     std::string* error = nullptr);

// How long connecting may take, the RFC 2217 negotiation included:
// VEXQ4_CONNECT_TIMEOUT_MS (100 to 60000) when set to such a number, else
// 3 s.
inline constexpr std::chrono::milliseconds kDefaultConnectTimeout{3000};
inline constexpr unsigned kMinConnectTimeoutMs = 100;
inline constexpr unsigned kMaxConnectTimeoutMs = 60000;
std::chrono::milliseconds NetworkConnectTimeout();
// Why VEXQ4_CONNECT_TIMEOUT_MS is not taken, for a host to tell its user
// once: empty when the variable is unset, empty or taken.
std::string ConnectTimeoutVariableProblem();

// Connects to the server of `name` (one of the forms above). Failures:
// kNoDevice for a malformed name, kNetwork when the server cannot be
// reached (refused, unreachable, unknown host, time-out) or hangs up while
// the RFC 2217 opening goes on, kSettings when an RFC 2217 server refuses
// the option or the line settings, or does not answer them in time. The
// detail names the host, the port and the cause, with the server's own
// words when it gave a reason ("Port already in use").
OpenResult OpenNetworkDevice(const std::string& name);

}  // namespace vexq4::platform
