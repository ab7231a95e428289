// The Telnet framing of an RFC 2217 line (Telnet Com Port Control): data
// bytes escaped both ways, option negotiation wherever it turns up in the
// stream, and the COM-PORT-OPTION answers of the server collected for the
// opening to check. Pure bytes in, bytes out; the socket is the caller's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexq4::platform::telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kEcho = 1;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;

// COM-PORT-OPTION commands, client to server; the server answers each with
// the same command plus kServerOffset, carrying the value now in use.
enum ComPortCommand : std::uint8_t {
  kSignature = 0,
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kSetControl = 5,
  kPurgeData = 12,
};
inline constexpr std::uint8_t kServerOffset = 100;

inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kOneStopBit = 1;
inline constexpr std::uint8_t kNoFlowControl = 1;  // SET-CONTROL: outbound (or both)
// PURGE-DATA: the server's buffer of data received from the serial port
// (bytes of the camera not yet sent on to us).
inline constexpr std::uint8_t kPurgeReceived = 1;

// One side of an option (RFC 1143): we never turn an option off, so an
// option is off, asked for, or on.
enum class OptionState : std::uint8_t { kNo, kWantYes, kYes };

// What the server last answered to each COM-PORT-OPTION setting.
struct ComPortAnswers {
  std::optional<std::uint32_t> baudRate;
  std::optional<std::uint8_t> dataSize;
  std::optional<std::uint8_t> parity;
  std::optional<std::uint8_t> stopSize;
  std::optional<std::uint8_t> control;
  unsigned purges = 0;  // PURGE-DATA answers so far
  // Where the last PURGE-DATA answer came in the data: the size of the data
  // vector of that Receive call at that point. What came before is what
  // the server purged after it had already sent it.
  std::size_t purgeMark = 0;
};

class Codec {
 public:
  // The opening offer: binary both ways, no go-ahead, and COM-PORT-OPTION
  // on our side (a client uses WILL, the server answers DO or DONT).
  std::vector<std::uint8_t> Offer();

  // Takes bytes received from the server: the camera's data goes to `data`,
  // negotiation is answered into `reply` (to be sent back), and the
  // server's COM-PORT-OPTION answers are collected. A sequence split
  // across two calls is handled.
  void Receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
               std::vector<std::uint8_t>& reply);

  // Appends the camera's `data` framed for sending: 0xFF doubled, and, only
  // when the server refused binary from us, CR followed by NUL unless an
  // LF follows (the NVT rule, which the server then undoes).
  void Encode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) const;

  // IAC SB COM-PORT-OPTION command value IAC SE, 0xFF in the value doubled.
  static std::vector<std::uint8_t> ComPortRequest(std::uint8_t command,
                                                  std::span<const std::uint8_t> value);

  OptionState ours(std::uint8_t option) const { return ours_[option]; }
  OptionState theirs(std::uint8_t option) const { return theirs_[option]; }
  // The server refused COM-PORT-OPTION (DONT after our WILL).
  bool comPortRefused() const { return comPortRefused_; }
  // How many option negotiations (WILL, WONT, DO, DONT) the server sent.
  std::uint64_t negotiations() const { return negotiations_; }
  const ComPortAnswers& answers() const { return answers_; }

 private:
  enum class State : std::uint8_t { kData, kIac, kOption, kSub, kSubIac };

  void Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& reply);
  void Subnegotiation(std::size_t dataSize);

  std::array<OptionState, 256> ours_{};    // options on our side (WILL/WONT)
  std::array<OptionState, 256> theirs_{};  // options on the server's side (DO/DONT)
  bool comPortRefused_ = false;
  std::uint64_t negotiations_ = 0;
  ComPortAnswers answers_;

  State state_ = State::kData;
  std::uint8_t verb_ = 0;
  bool afterCr_ = false;  // the last data byte was CR (non-binary input)
  // A subnegotiation's bytes; anything longer than any answer we read is
  // cut off (and, being no answer of ours, ignored).
  static constexpr std::size_t kMaxSub = 64;
  std::array<std::uint8_t, kMaxSub> sub_{};
  std::size_t subLength_ = 0;
  bool subOverflow_ = false;
};

}  // namespace vexq4::platform::telnet
