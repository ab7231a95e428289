// A settings file as the truth of a camera: what it means setting by
// setting, how the camera differs from it, and an apply that sends only
// the differences and reads them back. The command-line host (diff, apply,
// --verify), the Python package and the studio's compare window all go
// through these; they only present the results.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vexq4/model/VexCamInterface.h"

namespace vexq4::model {

// ---- The orders the whole-camera code already keeps (codes of settings.h).
// The settings file's keys in the order they are written.
VEXQ4_MODEL_API std::span<const unsigned> SettingsFileOrder();
// The write-all's commands in their order (neither the auto white area nor
// the presets).
VEXQ4_MODEL_API std::span<const unsigned> WriteAllOrder();
// The red and blue gain registers a white balance mode uses: GAR/GAB for
// "Manual/One Push", a colour temperature's presets, none for
// "Continuous AWB".
VEXQ4_MODEL_API std::span<const unsigned> GainRegistersOfMode(int mode);

// One setting a settings file (or a write-all) holds for the camera.
struct Target {
  const SettingRow* row = nullptr;  // the register (a gain key: the one its mode uses)
  int value = 0;                    // a list setting: the index
};

// A settings file read for comparing: every key, the auto white area
// included, and the two gain keys as what the save wrote for the file's
// white balance mode (nothing for "Continuous AWB").
struct SettingsFileTargets {
  Status status = Status::kOk;  // not kOk: refused whole, nothing is to be sent
  std::string problem;          // refused: the key and what is wrong, when known
  std::vector<Target> targets;  // in the file's order
};
VEXQ4_MODEL_API SettingsFileTargets ReadSettingsFileTargets(std::string_view path);

// What a write-all of the model's cache sends and the camera should then
// hold: the write-all's settings, the red and blue gains only in
// "Manual/One Push" (in the other modes the camera decides what they do).
VEXQ4_MODEL_API std::vector<Target> WriteAllTargets(const CVexCamInterface& model);

// A setting as `vexq4 list` names it: a list setting by its text property
// (ShutterSpeedStr), any other by its property (RedGainLevel, Red3200KWBalPreset).
VEXQ4_MODEL_API std::string_view SettingName(const SettingRow& row);
// A value as that name gives it: the list's text, or the number.
VEXQ4_MODEL_API std::string SettingText(const SettingRow& row, int value);

// A setting where the camera and its target disagree.
struct Difference {
  const SettingRow* row = nullptr;
  int camera = 0;  // what the camera holds (an apply's change: before it)
  int target = 0;  // what the file holds (an apply's change: what was sent)
};

// Reads every target's register from the camera (progress `operation`,
// one step an exchange; a stop ends it at the next). kOk, or the first
// failed read's outcome (a stop: kTimeout, as a stopped operation gives).
struct Comparison {
  Status status = Status::kOk;
  bool stopped = false;
  std::vector<int> camera;  // per target, what the camera holds (read or not)
  std::vector<Difference> differences;
  bool same() const { return status == Status::kOk && differences.empty(); }
};
VEXQ4_MODEL_API Comparison CompareWithCamera(CVexCamInterface& model,
                                             std::span<const Target> targets,
                                             std::string_view operation = "CompareWithCamera");

// What an apply does with the differences: the commands in the write-all's
// order (the auto white area and a mode's presets after the mode), then
// the reads that check them: each setting sent and, after a change of the
// white balance mode, the gains or presets of the new mode.
struct ApplyPlan {
  std::vector<Difference> sends;
  std::vector<const SettingRow*> readBack;
};
VEXQ4_MODEL_API ApplyPlan PlanApply(std::span<const Difference> differences);

struct ApplyResult {
  Status status = Status::kOk;      // a read that failed (then nothing was sent)
  bool stopped = false;             // a stop ended it (status kTimeout)
  std::vector<Difference> changes;  // acknowledged and read back as sent: camera = old
  std::vector<Difference> failed;   // refused, or read back unlike the file: camera = now
  bool differed = false;            // the camera did not hold the file before
  bool holds() const { return status == Status::kOk && failed.empty(); }
};
// Reads the camera, sends what differs, reads it back. `acknowledged` is
// called for each command the camera acknowledged, as it happens. A stop
// (RequestStop, a progress handler) ends it at the next exchange.
VEXQ4_MODEL_API ApplyResult
ApplyTargets(CVexCamInterface& model, std::span<const Target> targets,
             const std::function<void(const Difference&)>& acknowledged = {});

// The progress operations of the above, for the hosts' words.
inline constexpr std::string_view kCompareOperation = "CompareWithCamera";
inline constexpr std::string_view kApplyOperation = "ApplySettingsFile";

}  // namespace vexq4::model
