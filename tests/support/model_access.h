// The tests' way into the model's cached state: a state preset without a
// notification or a camera exchange, where a test needs the model to hold
// something it could not reach through its operations alone (an on-line
// flag without a camera, a value the camera was never sent). Hosts have no
// such way: they change the state through the operations.
#pragma once

#include <string>
#include <string_view>

#include "vexq4/model/VexCamInterface.h"

namespace vexq4::model {

struct TestAccess {
  // A setting's value (and a list setting's text), as a query would store it.
  static void Preset(CVexCamInterface& m, const SettingRow& row, int value) { m.Store(row, value); }
  // By property name or mnemonic ("RedKneeSlope", "KSR").
  static void Preset(CVexCamInterface& m, std::string_view name, int value) {
    Preset(m, *FindSetting(name), value);
  }
  static void PresetOnline(CVexCamInterface& m, int online) { m.isOnline = online; }
  static void PresetUserID(CVexCamInterface& m, std::string text) { m.userID = std::move(text); }
  static void PresetModelName(CVexCamInterface& m, std::string text) {
    m.modelName = std::move(text);
  }
  static void PresetOnePushResult(CVexCamInterface& m, int result) { m.onePushResult = result; }
  static void PresetClAllSerialInUse(CVexCamInterface& m, int inUse) { m.clAllSerialInUse = inUse; }
};

}  // namespace vexq4::model

namespace vexq4::testing {

// A setting's cached value and list text by property name or mnemonic.
inline int ValueOf(const CVexCamInterface& m, std::string_view name) {
  return m.Value(*model::FindSetting(name));
}
inline const std::string& TextOf(const CVexCamInterface& m, std::string_view name) {
  return m.Text(*model::FindSetting(name));
}

}  // namespace vexq4::testing
