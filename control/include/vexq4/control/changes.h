// What the camera model reports, as the control passes it on: the model's
// notifications (vexq4/model/settings.h), each with the event it fires (if
// any), the tool windows that show the value, and where the new value lives
// in the model.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

#include "vexq4/control/automation.h"
#include "vexq4/model/VexCamInterface.h"

class CXVexCamCtrl;
class QString;

namespace vexq4::control {

// The tool windows by index: the order of their frames, visibility
// properties, toolbar buttons and profile sections.
enum ToolWindow : int {
  kShutterWindow = static_cast<int>(model::Window::kShutter),
  kGainWindow = static_cast<int>(model::Window::kGain),
  kCommunicationWindow = static_cast<int>(model::Window::kCommunication),
  kAboutWindow = static_cast<int>(model::Window::kAbout),
  kToolWindowCount = 4,
};

// Bits of ChangeInfo::windows.
enum WindowMask : unsigned {
  kShutterBit = model::kShutterBit,
  kGainBit = model::kGainBit,
  kCommunicationBit = model::kCommunicationBit,
  kAboutBit = model::kAboutBit,
};

// The model's notifications except CommandMessage, in the model's order.
#define VEXQ4_CHANGE(Name, ...) Name,
enum class Change : int {
  VEXQ4_MODEL_NOTIFICATIONS(VEXQ4_CHANGE, VEXQ4_CHANGE, VEXQ4_CHANGE, VEXQ4_CHANGE, VEXQ4_CHANGE)
      kCount,
};
#undef VEXQ4_CHANGE

using ChangeInfo = model::NotificationRow;

inline std::span<const ChangeInfo> Changes() { return model::Notifications(); }
inline const ChangeInfo& InfoOf(Change change) {
  return model::Notifications()[static_cast<std::size_t>(change)];
}
// The setting a change announces, or nullptr.
inline const model::SettingRow* SettingOf(Change change) { return InfoOf(change).setting; }
// The change that announces a setting.
inline Change ChangeOf(const model::SettingRow& setting) {
  const auto changes = Changes();
  const auto it = std::find_if(changes.begin(), changes.end(),
                               [&](const ChangeInfo& info) { return info.setting == &setting; });
  return static_cast<Change>(it - changes.begin());
}

// A setting's typed automation members, for the windows that bind widgets
// to it, with its description (the profile key and default among it).
struct SettingMembers {
  const model::SettingRow* row = nullptr;
  short (CXVexCamCtrl::*get)() = nullptr;
  void (CXVexCamCtrl::*set)(short) = nullptr;
  short (CXVexCamCtrl::*range)(short*, short*) = nullptr;   // nullptr: no range query
  short (CXVexCamCtrl::*entry)(short, QString*) = nullptr;  // list settings
  void (CXVexCamCtrl::*setText)(const QString&) = nullptr;  // list settings
};
// The members of the setting `change` announces (all null for the other
// notifications).
VEXQ4_CONTROL_API const SettingMembers& MembersOf(Change change);

}  // namespace vexq4::control
