// A camera whose answers a fuzz input decides, in virtual time.
//
// Behind the script sits the simulated camera (or nothing): every line the
// host writes reaches it, and for each line the script chooses whether the
// host hears the camera's true answer, a string of fuzz bytes before it, the
// fuzz bytes instead of it, or nothing, each after a chosen delay; or it
// pulls the plug. Installs its clock and COM port 1 for its lifetime.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "fuzz_input.h"
#include "vexq4/sim/sim_camera.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::fuzz {

inline constexpr unsigned kFuzzPort = 1;

struct ScriptState;

class ScriptedLink {
 public:
  // withCamera false: nobody answers but the script.
  explicit ScriptedLink(bool withCamera = true, sim::Config config = {});
  ~ScriptedLink();
  ScriptedLink(const ScriptedLink&) = delete;
  ScriptedLink& operator=(const ScriptedLink&) = delete;

  sim::VirtualClock& clock();
  sim::SimCamera* camera();  // nullptr without a camera
  // From now on every line written takes one decision from `script`
  // (nullptr: the camera answers truly again).
  void Follow(FuzzInput* script);
  // The host hears exactly `bytes` (1 ms apart) after its next writes, and
  // nothing of the camera.
  void ReplyWith(std::span<const std::uint8_t> bytes);
  bool isOpen() const;

 private:
  std::shared_ptr<ScriptState> state_;
};

// Virtual milliseconds since `start` on the installed clock.
std::uint32_t ElapsedSince(std::uint32_t start);

}  // namespace vexq4::fuzz
