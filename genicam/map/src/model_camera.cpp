#include <array>

#include "VexQ4Comm.h"
#include "host_properties.h"
#include "vexq4/genicam/camera.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::genicam {
namespace {

constexpr int kNoConnection = VEXQ4_E_NO_CONNECTION;

// The camera's texts as every host reads them (hosts/common): the identity
// values by their names, the user ID by its row's operations.
const hosts::Property& PropertyOf(Text which) {
  switch (which) {
    case Text::kModelName:
      return *hosts::FindPropertyExactly("ModelName");
    case Text::kCameraID:
      return *hosts::FindPropertyExactly("CameraID");
    case Text::kUserID:
      return hosts::UserIdProperty();
    case Text::kFirmwareVersion:
      break;
  }
  return *hosts::FindPropertyExactly("FirmwareVersion");
}

}  // namespace

ModelCamera::ModelCamera(CVexCamInterface& model, std::function<int()> reconnect,
                         std::chrono::milliseconds retryGap)
    : model_(model), reconnect_(std::move(reconnect)), retryGap_(retryGap) {}

bool ModelCamera::Online() const { return model_.IsOnline() != 0; }

int ModelCamera::Reconnect() {
  lastTry_ = std::chrono::steady_clock::now();
  if (!reconnect_) return kNoConnection;
  return reconnect_();
}

int ModelCamera::Ready() {
  if (Online()) return 0;
  if (reconnect_ && std::chrono::steady_clock::now() - lastTry_ >= retryGap_) Reconnect();
  return Online() ? 0 : kNoConnection;
}

int ModelCamera::ReadSetting(const model::SettingRow& row, int& value) {
  if (const int ready = Ready(); ready != 0) return ready;
  const int result = model_.GetSetting(row);
  if (result == 0) value = model_.Value(row);
  return result;
}

int ModelCamera::WriteSetting(const model::SettingRow& row, int value) {
  if (const int ready = Ready(); ready != 0) return ready;
  return model_.SetSetting(row, value);
}

int ModelCamera::ReadText(Text which, std::string& text) {
  if (const int ready = Ready(); ready != 0) return ready;
  const hosts::Property& property = PropertyOf(which);
  const int result = hosts::Query(model_, property);
  if (result != 0) return result;
  const hosts::Value value = hosts::ValueOf(model_, property);
  const std::string* held = std::get_if<std::string>(&value);
  text = held ? *held : std::to_string(std::get<int>(value));
  return 0;
}

int ModelCamera::WriteUserID(std::string_view text) {
  if (const int ready = Ready(); ready != 0) return ready;
  return hosts::Apply(
      model_, hosts::UserIdProperty(),
      hosts::Checked{.ok = true, .number = 0, .text = std::string(text), .error = {}});
}

int ModelCamera::ReadNumber(Number which, int& value) {
  if (const int ready = Ready(); ready != 0) return ready;
  int result = 0;
  if (which == Number::kCurrentArea) {
    result = model_.GetEEPROMCurrentAreaNo();
    if (result == 0) value = model_.EEPROMCurrentAreaNo();
  } else {
    result = model_.GetOnePushResult();
    if (result == 0) value = model_.OnePushResult();
  }
  return result;
}

int ModelCamera::Run(Command command, int argument) {
  if (const int ready = Ready(); ready != 0) return ready;
  switch (command) {
    case Command::kLoadArea:
      return model_.LoadSettings(argument);
    case Command::kStoreArea:
      return model_.StoreSettings(argument);
    case Command::kOnePushWhiteBalance:
      return model_.SetOnePushMode();
    case Command::kAutoShading:
      return model_.StartAutoShadingCorrection();
  }
  return -1;
}

}  // namespace vexq4::genicam
