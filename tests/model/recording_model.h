// A model that records every notification and message line, in order, as
// the control would see them.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "vexq4/model/VexCamInterface.h"

class RecordingModel : public CVexCamInterface {
 public:
  std::vector<std::string> events;  // "ShutterSpeedChanged", "OnlineStatusChanged(0)", ...
  std::vector<std::string> lines;   // CommandMessage lines
  // Runs after each record, with the record; lets a test change the camera
  // at an exact point of an operation.
  std::function<void(const std::string&)> onRecord;

  void Clear() {
    events.clear();
    lines.clear();
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
  }

  void OnlineStatusChanged(int v) override {
    Record("OnlineStatusChanged(" + std::to_string(v) + ")");
  }
  void SynchronizedStatusChanged(int v) override {
    CVexCamInterface::SynchronizedStatusChanged(v);
    Record("SynchronizedStatusChanged(" + std::to_string(v) + ")");
  }
  void SendingToCamStatusChanged(int v) override {
    CVexCamInterface::SendingToCamStatusChanged(v);
    Record("SendingToCamStatusChanged(" + std::to_string(v) + ")");
  }
  void ReceiveFromCamStatusChanged(int v) override {
    CVexCamInterface::ReceiveFromCamStatusChanged(v);
    Record("ReceiveFromCamStatusChanged(" + std::to_string(v) + ")");
  }
  void CommandMessage(std::string line) override {
    lines.push_back(line);
    if (onRecord) onRecord(line);
  }

#define RECORD(Name) \
  void Name() override { Record(#Name); }
  RECORD(ComPortChanged)
  RECORD(FrameGrabberChanged)
  RECORD(ShutterSpeedChanged)
  RECORD(TriggerTypeChanged)
  RECORD(TriggerPolarityChanged)
  RECORD(SmearlessChanged)
  RECORD(RCTFVALTypeChanged)
  RECORD(ShutterModeChanged)
  RECORD(ProgrammableExposureChanged)
  RECORD(BlueGainLevelChanged)
  RECORD(BlueBlackLevelChanged)
  RECORD(ProgrammableExposureRedChanged)
  RECORD(ProgrammableExposureGreenChanged)
  RECORD(ProgrammableExposureBlueChanged)
  RECORD(BlueKneePointChanged)
  RECORD(RedKneeSlopeChanged)
  RECORD(GreenKneeSlopeChanged)
  RECORD(BlueKneeSlopeChanged)
  RECORD(TriggerInputChanged)
  RECORD(AccumulationChanged)
  RECORD(OutputBitAllocationChanged)
  RECORD(PartialScanChanged)
  RECORD(BinningChanged)
  RECORD(WhiteBalanceChanged)
  RECORD(MasterGainLevelChanged)
  RECORD(RedGainLevelChanged)
  RECORD(RedBlackLevelChanged)
  RECORD(Red3200KWBalPresetChanged)
  RECORD(Blue3200KWBalPresetChanged)
  RECORD(Red4600KWBalPresetChanged)
  RECORD(Blue4600KWBalPresetChanged)
  RECORD(Red5600KWBalPresetChanged)
  RECORD(Blue5600KWBalPresetChanged)
  RECORD(GreenBlackLevelChanged)
  RECORD(GreenKneePointChanged)
  RECORD(RedKneePointChanged)
  RECORD(KneeSelectChanged)
  RECORD(ShadingModeChanged)
  RECORD(ColorBarChanged)
  RECORD(UserIDChanged)
  RECORD(CameraIDChanged)
  RECORD(ModelNameChanged)
  RECORD(EEPROMCurrentAreaNoChanged)
  RECORD(OnePushResultChanged)
  RECORD(AutoWhiteAreaChanged)
#undef RECORD

 private:
  void Record(std::string event) {
    events.push_back(event);
    if (onRecord) onRecord(event);
  }
};

// The status texts, as the Communication window shows them.
inline const std::string kOffline = "Operation failed. The Camera is offline ******";
inline const std::string kTimeout = "Timeout waiting for answer *******************";
inline const std::string kUnknown = "Unknown Command ******************************";
