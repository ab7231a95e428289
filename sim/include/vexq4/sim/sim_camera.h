// A simulated RX-Q4 as seen from its serial line.
//
// One model serves every use: unit tests drive it in virtual time through
// the platform seams (VirtualLink), the vexq4-sim executable and the
// command-line host's --sim serve it on a pseudo-terminal in real time, and
// the simulated frame grabber reaches it through that pseudo-terminal.
//
// The camera is a byte stream in both directions. The host's bytes arrive
// with Receive(); the camera's answer is queued with the time at which each
// byte is on the host's side of the line (paced at 9600 baud, 10 bits per
// byte, after a short reply latency).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexq4::sim {

inline constexpr int kShadingValues = 768;
inline constexpr int kShadingFrameBytes = 1546;
inline constexpr int kAreas = 4;  // 0 factory, 1..3 user areas

// Defaults the tests assert against.
inline constexpr char kDefaultCameraId[] = "10042";
inline constexpr char kDefaultModelName[] = "RX-Q4CL";
inline constexpr char kDefaultUserId[] = "";
inline constexpr int kDefaultFirmwareVersion = 120;
inline constexpr std::uint32_t kDefaultReplyLatencyMs = 5;
inline constexpr std::uint32_t kDefaultAutoShadingMs = 4000;

// The answer to a line the camera does not take: an unknown mnemonic, a
// query of a set-only code, a bad number, an empty line, a refused area, a
// shading frame with a wrong checksum. It carries no "=" and no "COMPLETE".
inline constexpr char kErrorReply[] = "ERROR\r\n";
// Gains a one-push white balance (AW=0) measures when it succeeds.
inline constexpr int kOnePushRedGain = 37;
inline constexpr int kOnePushBlueGain = -24;
// A gap longer than this between two bytes of a shading frame drops it.
inline constexpr std::uint32_t kFrameGapMs = 500;

// How a command is acknowledged: "COMPLETE\r\n" alone, or preceded by the
// echo line "XX=value\r\n". The protocol allows both.
enum class ReplyShape { kComplete, kEchoThenComplete };

// Faults that the next replies carry; each stays until cleared.
struct Faults {
  bool silent = false;            // answer nothing at all
  bool garble = false;            // reply bytes replaced by noise (keeps CR LF)
  bool truncate = false;          // reply cut before its CR LF
  bool echoQuery = false;         // a query is first echoed ("SH?\r\n")
  bool overlongLine = false;      // a reply of 150 bytes without CR LF
  bool corruptShading = false;    // one value byte of the frame flipped
  bool shortShading = false;      // only the first 1000 bytes of the frame
  bool rejectCommands = false;    // commands answered without "COMPLETE"
  std::uint32_t lateReplyMs = 0;  // extra delay before every reply
  // Each reply line a further 0..N ms late, drawn afresh (in order: the
  // line still sends one byte after another).
  std::uint32_t lateReplySpreadMs = 0;
  // A command (or shading frame) refused with ERROR by chance, one in N;
  // 0 never.
  std::uint32_t rejectOneIn = 0;
};

struct Identity {
  std::string cameraId = kDefaultCameraId;
  std::string modelName = kDefaultModelName;
  std::string userId = kDefaultUserId;
  int firmwareVersion = kDefaultFirmwareVersion;
  int eepromArea = 0;  // the area last loaded or stored
};

struct Config {
  Identity identity;
  ReplyShape shape = ReplyShape::kComplete;
  std::uint32_t replyLatencyMs = kDefaultReplyLatencyMs;
  std::uint32_t autoShadingMs = kDefaultAutoShadingMs;  // ATSH acknowledged after this
  bool paceAt9600 = true;  // false: every byte of a reply is there at once
  Faults faults;
  // Working values by mnemonic ("GA" -> 100); unset ones take the factory
  // defaults. Area contents by area (0..3) and mnemonic.
  std::map<std::string, int, std::less<>> values;
  std::array<std::map<std::string, int, std::less<>>, kAreas> areas;
  std::uint32_t onePushResult = 0;  // what AWRS answers after AW=0
};

// One line (or binary frame) that reached the camera.
struct ReceivedLine {
  std::string text;      // without CR LF; a shading upload reads "<SHD frame>"
  std::uint32_t timeMs;  // when its last byte arrived
};

class SimCamera {
 public:
  explicit SimCamera(Config config = {});

  // Bytes from the host, the last of them arriving at `nowMs`.
  void Receive(std::span<const std::uint8_t> bytes, std::uint32_t nowMs);

  // When the next byte of the camera's answer is there; nullopt if none is
  // queued.
  std::optional<std::uint32_t> NextByteTime() const;
  // The next byte, if it is there at `nowMs`.
  std::optional<std::uint8_t> PopByte(std::uint32_t nowMs);
  // Bytes queued for the host (whatever their time).
  std::size_t PendingBytes() const;

  // The camera's state, for tests and for the executable's options.
  int Value(std::string_view mnemonic) const;
  void SetValue(std::string_view mnemonic, int value);
  int AreaValue(int area, std::string_view mnemonic) const;
  void SetAreaValue(int area, std::string_view mnemonic, int value);
  Identity& identity();
  std::array<std::uint16_t, kShadingValues>& shadingTable();
  Faults& faults();
  Config& config();

  // Every line the camera received, in order.
  const std::vector<ReceivedLine>& log() const;
  void ClearLog();

 private:
  struct Impl;
  // Pimpl keeps the header light for the executables and tests.
  std::shared_ptr<Impl> impl_;
};

// True for the mnemonics of the numeric settings the camera stores (the
// ones Value/SetValue and the areas hold; "GA", "WPB3", not "ID" or "AW").
bool IsStoredSetting(std::string_view mnemonic);

// 16-bit shift-register checksum of the shading frame (polynomial 0xA001,
// bits taken least significant first). "abc" gives 0x8BA3.
std::uint16_t ShadingChecksum(std::span<const std::uint8_t> bytes);

}  // namespace vexq4::sim
