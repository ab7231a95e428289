// What the camera model reports, as the control passes it on: one row per
// model notification, naming the event it fires (if any), the tool windows
// that show the value, and where the new value lives in the model.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vexq4/control/automation.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::control {

// The tool windows by index: the order of their frames, visibility
// properties, toolbar buttons and profile sections.
enum ToolWindow : int {
  kShutterWindow = 0,
  kGainWindow = 1,
  kCommunicationWindow = 2,
  kAboutWindow = 3,
  kToolWindowCount = 4,
};

// Bits of ChangeInfo::windows.
enum WindowMask : unsigned {
  kShutterBit = 1u << kShutterWindow,
  kGainBit = 1u << kGainWindow,
  kCommunicationBit = 1u << kCommunicationWindow,
  kAboutBit = 1u << kAboutWindow,
};

// The model's notifications except CommandMessage, in the model's order.
enum class Change : int {
  OnlineStatusChanged,
  SynchronizedStatusChanged,
  SendingToCamStatusChanged,
  ReceiveFromCamStatusChanged,
  ComPortChanged,
  FrameGrabberChanged,
  ShutterSpeedChanged,
  TriggerTypeChanged,
  TriggerPolarityChanged,
  SmearlessChanged,
  RCTFVALTypeChanged,
  ShutterModeChanged,
  ProgrammableExposureChanged,
  BlueGainLevelChanged,
  BlueBlackLevelChanged,
  ProgrammableExposureRedChanged,
  ProgrammableExposureGreenChanged,
  ProgrammableExposureBlueChanged,
  BlueKneePointChanged,
  RedKneeSlopeChanged,
  GreenKneeSlopeChanged,
  BlueKneeSlopeChanged,
  TriggerInputChanged,
  AccumulationChanged,
  OutputBitAllocationChanged,
  PartialScanChanged,
  BinningChanged,
  WhiteBalanceChanged,
  MasterGainLevelChanged,
  RedGainLevelChanged,
  RedBlackLevelChanged,
  Red3200KWBalPresetChanged,
  Blue3200KWBalPresetChanged,
  Red4600KWBalPresetChanged,
  Blue4600KWBalPresetChanged,
  Red5600KWBalPresetChanged,
  Blue5600KWBalPresetChanged,
  GreenBlackLevelChanged,
  GreenKneePointChanged,
  RedKneePointChanged,
  KneeSelectChanged,
  ShadingModeChanged,
  ColorBarChanged,
  UserIDChanged,
  CameraIDChanged,
  ModelNameChanged,
  EEPROMCurrentAreaNoChanged,
  OnePushResultChanged,
  AutoWhiteAreaChanged,
  kCount,
};

struct ChangeInfo {
  Change change;
  std::string_view name;  // the notification's (and its event's) name
  int eventDispid;        // 0: no event
  unsigned windows;       // WindowMask bits of the windows refreshed
  // The new value: a number field, and for the texts a text field.
  int CVexCamInterface::*number;
  std::string CVexCamInterface::*text;
};

VEXQ4_CONTROL_API std::span<const ChangeInfo> Changes();
VEXQ4_CONTROL_API const ChangeInfo& InfoOf(Change change);

}  // namespace vexq4::control
