#include "vexq4/sim/sim_camera.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <utility>

namespace vexq4::sim {
namespace {

// Numeric settings with their factory values. Every one has a set and a
// query form and is kept in each area.
struct Setting {
  const char* mnemonic;
  int factory;
};

constexpr Setting kSettings[] = {
    {"EB", 0},     {"SC", 0},    {"TR", 0},    {"SH", 0},     {"TP", 0},     {"SL", 0},
    {"RF", 0},     {"CBAR", 0},  {"KN", 1},    {"GA", 0},     {"SM", 0},     {"PE", 395},
    {"TI", 0},     {"LS", 0},    {"BA", 0},    {"BI", 0},     {"GAB", 0},    {"BLB", 32},
    {"PER", 395},  {"PEG", 395}, {"PEB", 395}, {"KPB", 800},  {"KSR", 64},   {"GAR", 0},
    {"BL", 32},    {"BLR", 32},  {"KPG", 800}, {"KPR", 800},  {"WB", 1},     {"KSG", 64},
    {"KSB", 64},   {"BLG", 32},  {"SDM", 1},   {"WA", 0},     {"WPR1", -68}, {"WPB1", 95},
    {"WPR2", -12}, {"WPB2", 20}, {"WPR3", 25}, {"WPB3", -30},
};

const Setting* FindSetting(std::string_view mnemonic) {
  for (const Setting& s : kSettings) {
    if (mnemonic == s.mnemonic) return &s;
  }
  return nullptr;
}

constexpr std::size_t kMaxLine = 100;        // longer lines are refused
constexpr std::size_t kOverlongBytes = 150;  // the over-long-line fault
constexpr std::size_t kShortFrameBytes = 1000;
constexpr std::size_t kMaxUserId = 16;
constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kBitsPerByte = 10;
constexpr std::int64_t kBaud = 9600;
constexpr std::uint16_t kFlatShading = 4096;  // a gain of 1.0

// Time of the k-th byte (from 1) after `start`: exact to the nanosecond, so
// a long reply does not drift.
std::int64_t ByteOffsetNs(std::int64_t k) { return k * kBitsPerByte * 1'000'000'000 / kBaud; }

// Strict decimal: optional "-", digits, nothing else, within 32 bits.
std::optional<int> ParseNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string Line(std::string_view text) {
  std::string s(text);
  s += "\r\n";
  return s;
}

}  // namespace

bool IsStoredSetting(std::string_view mnemonic) { return FindSetting(mnemonic) != nullptr; }

std::uint16_t ShadingChecksum(std::span<const std::uint8_t> bytes) {
  std::uint16_t reg = 0;
  for (std::uint8_t byte : bytes) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool low = (reg & 1u) != 0;
      reg = static_cast<std::uint16_t>(reg >> 1);
      if ((byte >> bit) & 1u) reg = static_cast<std::uint16_t>(reg | 0x8000u);
      if (low) reg ^= 0xA001u;
    }
  }
  return reg;
}

struct SimCamera::Impl {
  Config config;
  std::array<std::uint16_t, kShadingValues> shading{};
  std::vector<ReceivedLine> log;

  // Receiving.
  std::string line;           // bytes of the line being assembled
  bool lineOverflow = false;  // the line passed kMaxLine: refuse it at its end
  bool inFrame = false;       // collecting a binary shading upload
  std::vector<std::uint8_t> frame;
  std::int64_t lastByteMs = 0;

  // Sending: bytes with the time (ns, unwrapped) each is on the host's side.
  std::deque<std::pair<std::int64_t, std::uint8_t>> out;
  std::int64_t lineFreeNs = 0;  // when the last queued byte is out

  // The 32-bit millisecond clock, unwrapped so that time keeps growing
  // across its wrap.
  bool haveTime = false;
  std::uint32_t lastTick = 0;
  std::int64_t lastUnwrapped = 0;

  std::uint32_t noise = 0x2545F491u;
  // Its own sequence, so that garbled bytes stay as they were.
  std::uint32_t chance = 0x9E3779B9u;

  // 0 .. n-1, from a fixed sequence: a run repeats exactly.
  std::uint32_t Draw(std::uint32_t n) {
    chance = chance * 1664525u + 1013904223u;
    return n == 0 ? 0 : (chance >> 8) % n;
  }

  bool Refuse() {
    const Faults& f = config.faults;
    return f.rejectCommands || (f.rejectOneIn != 0 && Draw(f.rejectOneIn) == 0);
  }

  std::int64_t Unwrap(std::uint32_t tick) {
    if (!haveTime) {
      haveTime = true;
      lastTick = tick;
      lastUnwrapped = tick;
      return lastUnwrapped;
    }
    lastUnwrapped += static_cast<std::int32_t>(tick - lastTick);
    lastTick = tick;
    return lastUnwrapped;
  }

  void FillDefaults() {
    for (auto& area : config.areas) {
      for (const Setting& s : kSettings) area.try_emplace(s.mnemonic, s.factory);
    }
    // The working settings start as the camera does after power-up: from
    // the area it last used, with the explicitly given values on top.
    const int ea = std::clamp(config.identity.eepromArea, 0, kAreas - 1);
    for (const Setting& s : kSettings) {
      config.values.try_emplace(s.mnemonic, config.areas[ea].at(s.mnemonic));
    }
    shading.fill(kFlatShading);
  }

  // --- receiving -------------------------------------------------------

  void Receive(std::span<const std::uint8_t> bytes, std::uint32_t nowMs) {
    const std::int64_t now = Unwrap(nowMs);
    for (std::uint8_t b : bytes) {
      if (inFrame && now - lastByteMs > kFrameGapMs) DropFrame(lastByteMs);
      lastByteMs = now;
      if (inFrame) {
        frame.push_back(b);
        if (frame.size() == static_cast<std::size_t>(kShadingFrameBytes)) {
          inFrame = false;
          HandleFrame(now);
        }
        continue;
      }
      if (b == '\n') {
        std::string text = std::move(line);
        line.clear();
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const bool overflow = lineOverflow;
        lineOverflow = false;
        HandleLine(text, overflow, now);
        continue;
      }
      if (line.size() < kMaxLine) {
        line.push_back(static_cast<char>(b));
      } else {
        lineOverflow = true;
      }
      if (!lineOverflow && line == "SHD=") {
        // A binary frame follows: its bytes may be CR or LF.
        inFrame = true;
        frame.assign(line.begin(), line.end());
        line.clear();
      }
    }
  }

  void DropFrame(std::int64_t whenMs) {
    log.push_back({"<SHD frame dropped after " + std::to_string(frame.size()) + " bytes>",
                   static_cast<std::uint32_t>(whenMs)});
    inFrame = false;
    frame.clear();
  }

  void HandleFrame(std::int64_t now) {
    log.push_back({"<SHD frame>", static_cast<std::uint32_t>(now)});
    const Faults& f = config.faults;
    if (f.silent) return;
    if (Refuse()) {
      Send(kErrorReply, now, config.replyLatencyMs);
      return;
    }
    const std::span<const std::uint8_t> bytes(frame);
    const std::uint16_t sum = ShadingChecksum(bytes.subspan(8, 2 * kShadingValues));
    const std::uint16_t sent = static_cast<std::uint16_t>((bytes[kShadingFrameBytes - 2] << 8) |
                                                          bytes[kShadingFrameBytes - 1]);
    if (sum != sent) {
      Send(kErrorReply, now, config.replyLatencyMs);
      return;
    }
    for (int i = 0; i < kShadingValues; ++i) {
      shading[i] = static_cast<std::uint16_t>((bytes[8 + 2 * i] << 8) | bytes[9 + 2 * i]);
    }
    Send(Line("COMPLETE"), now, config.replyLatencyMs);
  }

  void HandleLine(const std::string& text, bool overflow, std::int64_t now) {
    log.push_back({overflow ? text + "..." : text, static_cast<std::uint32_t>(now)});
    if (config.faults.silent) return;
    if (overflow) {
      Send(kErrorReply, now, config.replyLatencyMs);
      return;
    }
    const std::size_t q = text.find('?');
    const std::size_t eq = text.find('=');
    if (q != std::string::npos && (eq == std::string::npos || q < eq)) {
      HandleQuery(text, q, now);
    } else if (eq != std::string::npos) {
      HandleCommand(text, eq, now);
    } else {
      Send(kErrorReply, now, config.replyLatencyMs);
    }
  }

  std::optional<std::string> QueryValue(std::string_view mnemonic) const {
    const Identity& id = config.identity;
    if (mnemonic == "ID") return id.cameraId;
    if (mnemonic == "MD") return id.modelName;
    if (mnemonic == "UD") return id.userId;
    if (mnemonic == "VN") return std::to_string(id.firmwareVersion);
    if (mnemonic == "EA") return std::to_string(id.eepromArea);
    if (mnemonic == "AWRS") return std::to_string(config.onePushResult);
    if (const Setting* s = FindSetting(mnemonic)) {
      const auto it = config.values.find(mnemonic);
      return std::to_string(it == config.values.end() ? s->factory : it->second);
    }
    return std::nullopt;
  }

  void HandleQuery(const std::string& text, std::size_t q, std::int64_t now) {
    const std::string_view mnemonic = std::string_view(text).substr(0, q);
    const std::string_view rest = std::string_view(text).substr(q + 1);
    const std::uint32_t latency = config.replyLatencyMs;
    if (config.faults.echoQuery) Send(Line(text), now, latency);
    if (mnemonic == "SHD") {
      if (rest != "1024,768") {
        Send(kErrorReply, now, latency);
        return;
      }
      SendFrame(now);
      return;
    }
    const auto value = rest.empty() ? QueryValue(mnemonic) : std::nullopt;
    if (!value) {
      Send(kErrorReply, now, latency);
      return;
    }
    Send(Line(std::string(mnemonic) + "=" + *value), now, latency);
  }

  void HandleCommand(const std::string& text, std::size_t eq, std::int64_t now) {
    const std::string mnemonic = text.substr(0, eq);
    const std::string_view arg = std::string_view(text).substr(eq + 1);
    const std::uint32_t latency = config.replyLatencyMs;
    if (Refuse()) {
      Send(kErrorReply, now, latency);
      return;
    }
    if (mnemonic == "UD") {
      if (arg.size() > kMaxUserId) {
        Send(kErrorReply, now, latency);
        return;
      }
      config.identity.userId = std::string(arg);
      Acknowledge(mnemonic, std::string(arg), now, latency);
      return;
    }
    const std::optional<int> value = ParseNumber(arg);
    if (!value) {
      Send(kErrorReply, now, latency);
      return;
    }
    const int v = *value;
    if (mnemonic == "SA") {
      if (v < 1 || v >= kAreas) {  // the factory area is read-only
        Send(kErrorReply, now, latency);
        return;
      }
      config.areas[v] = config.values;
      config.identity.eepromArea = v;
    } else if (mnemonic == "LD") {
      if (v < 0 || v >= kAreas) {
        Send(kErrorReply, now, latency);
        return;
      }
      config.values = config.areas[v];
      config.identity.eepromArea = v;
    } else if (mnemonic == "AW") {
      if (v == 0 && config.onePushResult == 0) {
        config.values["GAR"] = kOnePushRedGain;
        config.values["GAB"] = kOnePushBlueGain;
      }
    } else if (mnemonic == "ATSH") {
      ComputeShading();
      // The echo (if any) comes at once; the acknowledgement once the table
      // is computed.
      if (config.shape == ReplyShape::kEchoThenComplete) {
        Send(Line(mnemonic + "=" + std::to_string(v)), now, latency);
      }
      Send(Line("COMPLETE"), now, config.autoShadingMs);
      return;
    } else if (FindSetting(mnemonic)) {
      config.values[mnemonic] = v;
    } else {
      Send(kErrorReply, now, latency);
      return;
    }
    Acknowledge(mnemonic, std::to_string(v), now, latency);
  }

  void Acknowledge(const std::string& mnemonic, const std::string& value, std::int64_t now,
                   std::uint32_t latency) {
    if (config.shape == ReplyShape::kEchoThenComplete) {
      Send(Line(mnemonic + "=" + value), now, latency);
    }
    Send(Line("COMPLETE"), now, latency);
  }

  // A bowl-shaped correction, a little different per colour, as a lens
  // falling off towards the edges would need.
  void ComputeShading() {
    for (int curve = 0; curve < 6; ++curve) {
      const double depth = 500.0 + 60.0 * (curve % 3) + (curve >= 3 ? 40.0 : 0.0);
      for (int k = 0; k < 128; ++k) {
        const double x = (k - 63.5) / 63.5;
        shading[curve * 128 + k] =
            static_cast<std::uint16_t>(std::lround(kFlatShading + depth * x * x));
      }
    }
  }

  // --- sending ---------------------------------------------------------

  std::vector<std::uint8_t> BuildFrame() const {
    std::vector<std::uint8_t> f = {'S', 'H', 'D', '=', 0x04, 0x00, 0x03, 0x00};
    f.reserve(kShadingFrameBytes);
    for (std::uint16_t v : shading) {
      f.push_back(static_cast<std::uint8_t>(v >> 8));
      f.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    const std::uint16_t sum = ShadingChecksum(std::span<const std::uint8_t>(f).subspan(8));
    f.push_back(static_cast<std::uint8_t>(sum >> 8));
    f.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return f;
  }

  void SendFrame(std::int64_t now) {
    std::vector<std::uint8_t> f = BuildFrame();
    const Faults& faults = config.faults;
    if (faults.overlongLine) {
      Send(std::string(kOverlongBytes, '#'), now, config.replyLatencyMs, false);
      return;
    }
    if (faults.corruptShading) f[8 + 100] ^= 0x01;
    if (faults.shortShading) f.resize(kShortFrameBytes);
    Queue(f, now, config.replyLatencyMs);
  }

  // Queues one reply line, with the line faults applied.
  void Send(std::string text, std::int64_t now, std::uint32_t delayMs, bool applyFaults = true) {
    const Faults& f = config.faults;
    if (applyFaults) {
      const bool hasEnd = text.size() >= 2 && text.ends_with("\r\n");
      const std::size_t body = hasEnd ? text.size() - 2 : text.size();
      if (f.overlongLine) {
        text.assign(kOverlongBytes, '#');
      } else {
        if (f.garble) {
          // Noise from the upper half of the byte range: never "=", "?", CR,
          // LF or a letter of "COMPLETE", so a garbled line cannot pass.
          for (std::size_t i = 0; i < body; ++i) {
            noise = noise * 1664525u + 1013904223u;
            text[i] = static_cast<char>(0x80u | ((noise >> 24) & 0x7Fu));
          }
        }
        if (f.truncate) text.resize(body);
      }
    }
    Queue(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), now, delayMs);
  }

  void Queue(std::span<const std::uint8_t> bytes, std::int64_t now, std::uint32_t delayMs) {
    if (bytes.empty()) return;
    const Faults& f = config.faults;
    const std::uint32_t late =
        f.lateReplyMs + (f.lateReplySpreadMs != 0 ? Draw(f.lateReplySpreadMs + 1) : 0);
    const std::int64_t due = (now + delayMs + late) * kNsPerMs;
    const std::int64_t start = std::max(due, lineFreeNs);
    std::int64_t k = 0;
    for (std::uint8_t b : bytes) {
      ++k;
      const std::int64_t t = config.paceAt9600 ? start + ByteOffsetNs(k) : start;
      out.emplace_back(t, b);
    }
    lineFreeNs = out.back().first;
  }

  static std::uint32_t CeilMs(std::int64_t ns) {
    return static_cast<std::uint32_t>((ns + kNsPerMs - 1) / kNsPerMs);
  }
};

SimCamera::SimCamera(Config config) : impl_(std::make_shared<Impl>()) {
  impl_->config = std::move(config);
  impl_->FillDefaults();
}

void SimCamera::Receive(std::span<const std::uint8_t> bytes, std::uint32_t nowMs) {
  impl_->Receive(bytes, nowMs);
}

std::optional<std::uint32_t> SimCamera::NextByteTime() const {
  if (impl_->out.empty()) return std::nullopt;
  return Impl::CeilMs(impl_->out.front().first);
}

std::optional<std::uint8_t> SimCamera::PopByte(std::uint32_t nowMs) {
  Impl& m = *impl_;
  const std::int64_t now = m.Unwrap(nowMs);
  if (m.inFrame && now - m.lastByteMs > kFrameGapMs) m.DropFrame(m.lastByteMs);
  if (m.out.empty() || m.out.front().first > now * kNsPerMs) return std::nullopt;
  const std::uint8_t b = m.out.front().second;
  m.out.pop_front();
  return b;
}

std::size_t SimCamera::PendingBytes() const { return impl_->out.size(); }

int SimCamera::Value(std::string_view mnemonic) const {
  const Config& c = impl_->config;
  if (mnemonic == "VN") return c.identity.firmwareVersion;
  if (mnemonic == "EA") return c.identity.eepromArea;
  if (mnemonic == "AWRS") return static_cast<int>(c.onePushResult);
  const auto it = c.values.find(mnemonic);
  return it == c.values.end() ? 0 : it->second;
}

void SimCamera::SetValue(std::string_view mnemonic, int value) {
  Config& c = impl_->config;
  if (mnemonic == "VN") {
    c.identity.firmwareVersion = value;
  } else if (mnemonic == "EA") {
    c.identity.eepromArea = value;
  } else if (mnemonic == "AWRS") {
    c.onePushResult = static_cast<std::uint32_t>(value);
  } else if (IsStoredSetting(mnemonic)) {
    c.values.insert_or_assign(std::string(mnemonic), value);
  }
}

int SimCamera::AreaValue(int area, std::string_view mnemonic) const {
  if (area < 0 || area >= kAreas) return 0;
  const auto& a = impl_->config.areas[area];
  const auto it = a.find(mnemonic);
  return it == a.end() ? 0 : it->second;
}

void SimCamera::SetAreaValue(int area, std::string_view mnemonic, int value) {
  if (area < 0 || area >= kAreas || !IsStoredSetting(mnemonic)) return;
  impl_->config.areas[area].insert_or_assign(std::string(mnemonic), value);
}

Identity& SimCamera::identity() { return impl_->config.identity; }

std::array<std::uint16_t, kShadingValues>& SimCamera::shadingTable() { return impl_->shading; }

Faults& SimCamera::faults() { return impl_->config.faults; }

Config& SimCamera::config() { return impl_->config; }

const std::vector<ReceivedLine>& SimCamera::log() const { return impl_->log; }

void SimCamera::ClearLog() { impl_->log.clear(); }

}  // namespace vexq4::sim
