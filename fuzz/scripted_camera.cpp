#include "scripted_camera.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>

#include "vexq4/platform/clock.h"
#include "vexq4/platform/serial_device.h"

namespace vexq4::fuzz {

void Fail(std::string_view what) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

namespace {
constexpr std::uint32_t kReadTimeoutMs = 101;  // an empty COM read
constexpr std::uint32_t kDelays[4] = {0, 250, 650, 1300};
}  // namespace

enum class Mode { kPass, kInjectThenPass, kDrop, kInjectThenDrop };

struct ScriptState {
  sim::VirtualClock clock;
  std::optional<sim::SimCamera> camera;
  std::unique_ptr<sim::SimSerialDevice> line;  // to the camera, in `clock`
  FuzzInput* script = nullptr;
  std::optional<std::deque<std::uint8_t>> armed;  // ReplyWith, for the next line
  Mode mode = Mode::kPass;
  std::deque<std::uint8_t> injected;
  std::uint32_t injectFrom = 0;
  bool unplugged = false;
  bool open = false;
  // When our last written byte has left the port (ms, as 9600 baud needs).
  double txFreeMs = 0;

  void Decide() {
    if (!script) return;
    const std::uint8_t c = script->Byte(0);
    if (c == 0xFF) {
      unplugged = true;
      return;
    }
    mode = static_cast<Mode>(c & 3);
    injected.clear();
    injectFrom = clock.now() + kDelays[(c >> 2) & 3];
    if (mode == Mode::kInjectThenPass || mode == Mode::kInjectThenDrop) {
      const std::size_t n = script->Byte(0) + 256u * ((c >> 4) & 1);
      const auto bytes = script->Take(n);
      injected.assign(bytes.begin(), bytes.end());
    }
  }

  bool ReadCamera(std::uint8_t& out, std::uint32_t timeoutMs) {
    if (line) return line->ReadByteWithin(out, timeoutMs);
    clock.Advance(timeoutMs);
    return false;
  }

  bool Read(std::uint8_t& out, std::uint32_t timeoutMs) {
    if (unplugged) {
      clock.Advance(timeoutMs);
      return false;
    }
    const bool injecting = mode == Mode::kInjectThenPass || mode == Mode::kInjectThenDrop;
    if (injecting && !injected.empty()) {
      const auto wait = static_cast<std::int32_t>(injectFrom - clock.now());
      if (wait > 0 && static_cast<std::uint32_t>(wait) > timeoutMs) {
        clock.Advance(timeoutMs);
        return false;
      }
      clock.Advance(static_cast<std::uint32_t>(std::max(wait, 0)) + 1);
      out = injected.front();
      injected.pop_front();
      return true;
    }
    if (mode == Mode::kPass || mode == Mode::kInjectThenPass) {
      if (clock.now() < injectFrom) {  // the camera's answer is late
        clock.Advance(std::min(injectFrom - clock.now(), timeoutMs));
        return false;
      }
      return ReadCamera(out, timeoutMs);
    }
    // Dropped: whatever the camera says is lost on the line.
    std::uint8_t lost = 0;
    ReadCamera(lost, timeoutMs);
    return false;
  }
};

namespace {

class ScriptedDevice final : public platform::SerialDevice {
 public:
  explicit ScriptedDevice(std::shared_ptr<ScriptState> state) : state_(std::move(state)) {
    state_->open = true;
  }
  ~ScriptedDevice() override { state_->open = false; }

  bool Write(std::span<const std::uint8_t> bytes) override {
    ScriptState& s = *state_;
    if (s.unplugged) return false;
    if (s.line) s.line->Write(bytes);
    s.txFreeMs = std::max<double>(s.txFreeMs, s.clock.now()) + bytes.size() * 10000.0 / 9600;
    if (s.armed) {
      s.mode = Mode::kInjectThenDrop;
      s.injected = std::move(*s.armed);
      s.injectFrom = s.clock.now();
      s.armed.reset();
    } else if (bytes.size() >= 2) {
      // A line (not a single byte of a shading frame) gets its answer decided.
      s.Decide();
    }
    return true;
  }
  bool ReadByte(std::uint8_t& out) override { return state_->Read(out, kReadTimeoutMs); }
  bool ReadByteWithin(std::uint8_t& out, std::uint32_t timeoutMs) override {
    return state_->Read(out, timeoutMs);
  }
  bool Drain() override {
    // As tcdrain: wait until the bytes have crossed the line.
    ScriptState& s = *state_;
    if (s.txFreeMs > s.clock.now()) {
      s.clock.Advance(static_cast<std::uint32_t>(s.txFreeMs - s.clock.now()) + 1);
    }
    return !s.unplugged;
  }

 private:
  std::shared_ptr<ScriptState> state_;
};

}  // namespace

ScriptedLink::ScriptedLink(bool withCamera, sim::Config config)
    : state_(std::make_shared<ScriptState>()) {
  if (withCamera) {
    state_->camera.emplace(std::move(config));
    state_->line = std::make_unique<sim::SimSerialDevice>(*state_->camera, state_->clock);
  }
  platform::SetClock(&state_->clock);
  std::weak_ptr<ScriptState> weak = state_;
  platform::SetSerialOpener([weak](unsigned port) {
    platform::OpenResult result;
    const auto state = weak.lock();
    if (!state || port != kFuzzPort || state->open) {
      result.error = platform::OpenError::kNoDevice;
      return result;
    }
    state->unplugged = false;  // a reconnect finds the camera plugged in again
    result.device = std::make_unique<ScriptedDevice>(state);
    return result;
  });
}

ScriptedLink::~ScriptedLink() {
  platform::SetSerialOpener({});
  platform::SetClock(nullptr);
}

sim::VirtualClock& ScriptedLink::clock() { return state_->clock; }
sim::SimCamera* ScriptedLink::camera() { return state_->camera ? &*state_->camera : nullptr; }
void ScriptedLink::Follow(FuzzInput* script) {
  state_->script = script;
  if (!script) state_->mode = Mode::kPass;
}
void ScriptedLink::ReplyWith(std::span<const std::uint8_t> bytes) {
  state_->script = nullptr;
  state_->armed.emplace(bytes.begin(), bytes.end());
}
bool ScriptedLink::isOpen() const { return state_->open; }

std::uint32_t ElapsedSince(std::uint32_t start) { return platform::TickCount() - start; }

}  // namespace vexq4::fuzz
