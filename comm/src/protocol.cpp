// Query and command transactions, and the numeric parameter exports.
#include "protocol.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>

#include "VexQ4Comm.h"
#include "parameters.h"
#include "ports.h"
#include "vexq4/platform/abandon.h"
#include "vexq4/platform/clock.h"

namespace vexq4::comm {
namespace {

// A camera that echoes query lines without end must not hold the reader
// forever; real echoes come once per query.
constexpr int kMaxEchoedLines = 32;

// The setting a reply line names: its text before the first "=", or
// nullopt for a line without one. A bare CR LF does not end a line, so a
// camera that sends an empty line before its answer delivers "\r\nSH=6\r\n"
// as one line: the name is read after that leading CR LF.
std::optional<std::string_view> NamedSetting(std::string_view line) {
  if (line.starts_with("\r\n")) line.remove_prefix(2);
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return line.substr(0, equals);
}

bool Write(ByteTransport& transport, std::string_view line) {
  return transport.WriteBlock(
      std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
}

// Base-10 conversion as the camera's values need it: leading white space,
// optional sign, digits up to the first non-digit; no number gives 0; values
// beyond 32 bits are clamped.
int ParseValue(std::string_view text) {
  std::size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  const long long value = negative ? -magnitude : magnitude;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace

void DrainInput(int port) {
  if (ByteTransport* transport = TransportFor(port)) transport->DrainInput(CommandDrainMs());
}

int ReadReplyLine(int port, std::span<char> buffer, std::uint32_t timeoutMs,
                  std::string_view sentLine) {
  ByteTransport* transport = TransportFor(port);
  if (!transport) return VEXQ4_E_NO_CONNECTION;
  if (buffer.size() < 4) return VEXQ4_E_TIMEOUT;
  const std::size_t limit = buffer.size() - 1;  // room for the NUL

  for (int echoes = 0; echoes <= kMaxEchoedLines; ++echoes) {
    const std::uint32_t start = platform::TickCount();
    std::fill(buffer.begin(), buffer.end(), '\0');
    std::size_t count = 0;
    bool overlong = false;
    char previous = '\0';
    bool echoed = false;
    std::uint32_t elapsed = 0;
    do {
      // A program asked to stop does not wait out a time-out (10 s for
      // auto shading).
      if (platform::AbandonRequested()) return VEXQ4_E_TIMEOUT;
      std::uint8_t byte = 0;
      if (!transport->ReadReplyByte(byte, timeoutMs - elapsed, timeoutMs)) {
        // A line that is gone answers nothing more: no use waiting.
        if (transport->LineLost()) return VEXQ4_E_TIMEOUT;
        continue;
      }
      const char c = static_cast<char>(byte);
      if (!overlong && count == limit) {
        // The line does not fit: it is never reported as a reply. Skip the
        // rest of it; its end (or the time-out) ends this read with -6.
        overlong = true;
        previous = buffer[count - 1];
      }
      if (overlong) {
        if (previous == '\r' && c == '\n') return VEXQ4_E_TIMEOUT;
        previous = c;
        continue;
      }
      buffer[count++] = c;
      if (count > 2 && buffer[count - 2] == '\r' && buffer[count - 1] == '\n') {
        // "SH?" has its '?' third; "KSR?" and "CBAR?" are only known as
        // echoes by being the very line we sent.
        const std::string_view got(buffer.data(), count);
        const bool echo = buffer[2] == '?' || (!sentLine.empty() && got == sentLine);
        if (!echo) return VEXQ4_OK;
        echoed = true;  // the camera echoed our query; read the answer
        break;
      }
    } while ((elapsed = static_cast<std::uint32_t>(platform::TickCount() - start)) < timeoutMs);
    if (!echoed) return VEXQ4_E_TIMEOUT;
  }
  return VEXQ4_E_TIMEOUT;
}

int QueryParameter(int port, std::string_view queryLine, std::span<char> valueOut) {
  ByteTransport* transport = IsReady(port) ? TransportFor(port) : nullptr;
  if (!transport) return VEXQ4_E_NO_CONNECTION;
  // A query may drain on a shorter quiet time (fast reads): late answers
  // then outlive the drain by design.
  transport->DrainInput(QueryDrainMs());
  if (!Write(*transport, queryLine)) return VEXQ4_E_NOT_ACKNOWLEDGED;

  // The answer is the line that names the query's own setting before its
  // "=". A line naming another one (a late answer to an earlier query,
  // arriving after its time-out, or garbled on the way) is not ours, with
  // either drain: taking its value would report another setting's value
  // as this one. It is skipped and reading goes on, within the same
  // time-out. A line without "=" is no answer at all (-4).
  const std::string_view mnemonic = queryLine.substr(0, queryLine.find('?'));
  const std::uint32_t start = platform::TickCount();
  std::array<char, kReplyLineSize> line{};
  std::string_view text;
  for (;;) {
    const std::uint32_t elapsed = platform::TickCount() - start;
    if (elapsed >= kReplyTimeoutMs) return VEXQ4_E_TIMEOUT;
    const int rc = ReadReplyLine(port, line, kReplyTimeoutMs - elapsed, queryLine);
    if (rc != VEXQ4_OK) return rc;
    text = line.data();
    const auto named = NamedSetting(text);
    if (!named) return VEXQ4_E_MALFORMED;
    if (*named == mnemonic) break;
  }

  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return VEXQ4_E_MALFORMED;
  const std::size_t cr = text.find('\r', equals + 1);
  if (cr == std::string_view::npos) return VEXQ4_E_MALFORMED;
  const std::string_view value = text.substr(equals + 1, cr - equals - 1);
  // A value longer than the caller's buffer is not cut to fit: it is
  // reported as malformed and the buffer stays as it was.
  if (value.size() + 1 > valueOut.size()) return VEXQ4_E_MALFORMED;
  std::copy(value.begin(), value.end(), valueOut.begin());
  valueOut[value.size()] = '\0';
  return VEXQ4_OK;
}

void WaitCommandGap(int port) {
  // The tick counts whole milliseconds, so the acknowledgement may have come
  // late in its tick: one tick more makes the gap a full 600 ms on the wire.
  if (PortSlot* slot = Slot(port)) platform::WaitSince(slot->lastCommandTick, kCommandGapMs + 1);
}

std::uint32_t CommandGapLeftMs(int port) {
  const PortSlot* slot = Slot(port);
  if (!slot) return 0;
  // As WaitCommandGap counts it: a full gap on the wire, one tick more.
  const auto elapsed = static_cast<std::uint32_t>(platform::TickCount() - slot->lastCommandTick);
  return elapsed >= kCommandGapMs + 1 ? 0 : kCommandGapMs + 1 - elapsed;
}

int QueryValueText(int port, std::string_view mnemonic, std::span<char> valueOut) {
  // Mnemonics are two to four letters and digits ("SH", "WPB3").
  const bool plain = !mnemonic.empty() && mnemonic.size() <= 4 &&
                     std::all_of(mnemonic.begin(), mnemonic.end(), [](char c) {
                       return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                     });
  if (!plain || valueOut.empty() || !Slot(port)) return VEXQ4_E_ARGUMENT;
  const auto lock = LockReadyPort(port);
  if (!lock) return VEXQ4_E_NO_CONNECTION;
  std::array<char, 8> query{};
  std::snprintf(query.data(), query.size(), "%.*s?\r\n", static_cast<int>(mnemonic.size()),
                mnemonic.data());
  return QueryParameter(port, query.data(), valueOut);
}

void NoteAcknowledged(int port) {
  if (PortSlot* slot = Slot(port)) slot->lastCommandTick = platform::TickCount();
}

int ReadAcknowledgement(int port, std::uint32_t timeoutMs) {
  std::array<char, kReplyLineSize> line{};
  if (const int rc = ReadReplyLine(port, line, timeoutMs); rc != VEXQ4_OK) return rc;
  if (std::strchr(line.data(), '=') != nullptr) {
    // The camera may echo the command before acknowledging it.
    if (const int rc = ReadReplyLine(port, line, timeoutMs); rc != VEXQ4_OK) return rc;
  }
  if (std::strstr(line.data(), "COMPLETE") == nullptr) return VEXQ4_E_NOT_ACKNOWLEDGED;
  return VEXQ4_OK;
}

int SendCommandLine(int port, unsigned code, std::string_view commandLine) {
  ByteTransport* transport = IsReady(port) ? TransportFor(port) : nullptr;
  if (!transport) return VEXQ4_E_NO_CONNECTION;
  DrainInput(port);
  WaitCommandGap(port);
  if (!Write(*transport, commandLine)) return VEXQ4_E_NOT_ACKNOWLEDGED;
  const std::uint32_t timeout = code == kAutoShadingCode ? kAutoShadingTimeoutMs : kReplyTimeoutMs;
  if (const int rc = ReadAcknowledgement(port, timeout); rc != VEXQ4_OK) return rc;
  NoteAcknowledged(port);
  return VEXQ4_OK;
}

}  // namespace vexq4::comm

using namespace vexq4::comm;

extern "C" {

int VexQ4GetCameraData(int port, unsigned code, int* value) {
  const Parameter* parameter = QueryableParameter(code);
  if (!value || !parameter || !Slot(port)) return VEXQ4_E_ARGUMENT;
  const auto lock = LockReadyPort(port);
  if (!lock) return VEXQ4_E_NO_CONNECTION;

  std::array<char, 8> query{};  // "CBAR?\r\n" and the "WP" queries fill it
  std::snprintf(query.data(), query.size(), "%.*s?\r\n",
                static_cast<int>(parameter->mnemonic.size()), parameter->mnemonic.data());
  std::array<char, kReplyLineSize> text{};
  const int rc = QueryParameter(port, query.data(), text);
  if (rc == VEXQ4_OK) *value = ParseValue(text.data());
  return rc;
}

int VexQ4SendCameraData(int port, unsigned code, int value) {
  const Parameter* parameter = SettableParameter(code);
  if (!parameter || !Slot(port)) return VEXQ4_E_ARGUMENT;
  const auto lock = LockReadyPort(port);
  if (!lock) return VEXQ4_E_NO_CONNECTION;

  std::array<char, 20> command{};  // "WPB3=-2147483648\r\n" is the longest
  std::snprintf(command.data(), command.size(), "%.*s=%d\r\n",
                static_cast<int>(parameter->mnemonic.size()), parameter->mnemonic.data(), value);
  return SendCommandLine(port, code, command.data());
}

}  // extern "C"
